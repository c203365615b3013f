#include "results/DuplicateTagFinder.h"

#include "database/Database.h"
#include "support/PipeCsv.h"
#include "support/ProcessFixture.h"

#include <string_view>

namespace korvalt::testing {
namespace {

using test_support::pipeCsvColumns;
using test_support::writePipeSqlite;

class DuplicateTagFinderTest : public ProcessFixture {
protected:
    std::unique_ptr<Database> tableWithTags(const std::vector<Value>& tags) {
        std::vector<std::vector<Value>> rows;
        std::int64_t id = 1;
        for (const Value& tag : tags) {
            std::vector<Value> row(pipeCsvColumns().size(), Value::text("x"));
            row[8] = tag;
            row[11] = Value::integer(id++);
            rows.push_back(row);
        }
        const std::string path = tempPath("tags.db");
        writePipeSqlite(path, rows);
        return OpenDatabase(path);
    }
};

TEST(DuplicateTagFinderRules, TagsTheEngineMustAnswer) {
    struct Case {
        std::string_view tag;
        bool engine;
    };
    const Case cases[] = {
        {"P-1", false},
        {"HV-7 ", false},
        {"R\xC3\xBC"
         "ck",
         false},         // UTF-8 is fine
        {"A]!-", false}, // ] ! - are plain characters outside brackets
        {"X#1", true},
        {"X[2]", true},
        {"A?", true},
        {"B*", true},
        {"O'BRIEN-1", true},
        {std::string_view("N\0L", 3), true},
        {"\xC3(", true},            // a lead byte without its continuation
        {"\xE0\x80\x80", true},     // overlong
        {"\xED\xA0\x80", true},     // surrogate
        {"\xF4\x90\x80\x80", true}, // beyond U+10FFFF
        {"\xC3", true},             // cut off
        {"\xF0\x9F\x94\xA7", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DuplicateTagFinder::needsEngine(c.tag), c.engine) << c.tag;
    }
}

TEST_F(DuplicateTagFinderTest, CountsTagsThatBeginWithTheTagIgnoringCase) {
    auto db = tableWithTags({Value::text("P-1"), Value::text("p-1"), Value::text("P-2"),
                             Value::text("V-10"), Value::text("V-101"), Value::text("HV-7 "),
                             Value::text("HV-7"), Value::null(), Value::text(""),
                             Value::text("\xC3\x98"
                                         "50"),
                             Value::text("\xC3\xB8"
                                         "5"),
                             Value::text("\xE2\x84\xAA"
                                         "1"),
                             Value::text("k")});
    DuplicateTagFinder finder(*db);
    struct Case {
        std::string_view tag;
        bool duplicate;
    };
    const Case cases[] = {
        {"P-1", true},
        {"p-1", true},
        {"P-2", false},
        {"P-", true},
        {"V-10", true},
        {"V-101", false},
        {"HV-7", true},
        {"HV-7 ", false},
        {"Q", false},
        {"\xC3\x98"
         "5",
         true}, // Ø5 begins Ø50 and ø5
        {"\xC3\xB8"
         "50",
         false},     // only Ø50
        {"K", true}, // Kelvin sign folds to k
        {"P-10", false},
    };
    for (const Case& c : cases) {
        const auto answer = finder.beginsAtLeastTwo(c.tag);
        ASSERT_TRUE(answer.has_value()) << c.tag;
        EXPECT_EQ(*answer, c.duplicate) << c.tag;
    }
    EXPECT_FALSE(finder.beginsAtLeastTwo("X#1").has_value());
}

TEST_F(DuplicateTagFinderTest, UnreadableTableLeavesEveryTagToTheEngine) {
    auto db = OpenDatabase(KORVALT_FIXTURES_DIR "/no-pipe.mdb");
    DuplicateTagFinder finder(*db);
    EXPECT_FALSE(finder.beginsAtLeastTwo("P-1").has_value());
}

} // namespace
} // namespace korvalt::testing

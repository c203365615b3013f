#include "results/DuplicateTagFinder.h"
#include "results/FoldedTagIndex.h"

#include "database/Database.h"
#include "support/PipeCsv.h"
#include "support/ProcessFixture.h"

#include <random>
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
                             Value::text("k"),
                             // Long tags that agree in their first eight bytes,
                             // and a NUL inside a tag, which sorts before any
                             // other byte.
                             Value::text("LONG-TAG-000000001"), Value::text("long-tag-000000001x"),
                             Value::text("LONG-TAG-000000002"), Value::text(std::string("NU", 2)),
                             Value::text(std::string("nu\0z", 4))});
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
        {"LONG-TAG-000000001", true},
        {"LONG-TAG-000000001X", false},
        {"LONG-TAG-00000000", true},
        {"LONG-TAG-000000002", false},
        {"long-tag-0", true},
        {"NU", true},
        {"LONG-TAG-000000003", false},
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

// Random tags over a small alphabet, short and long around the 8 bytes the
// index sorts by first and the 16 it keeps in its hash table, against
// counting by brute force.
TEST(DuplicateTagFinderRules, FoldedIndexAgreesWithCountingEveryTag) {
    std::mt19937 rng(7);
    const std::string letters = std::string("aAb-1\0", 6) + "\xC3\x98";
    for (int round = 0; round < 20; ++round) {
        std::uniform_int_distribution<int> lengths(0, 20);
        std::uniform_int_distribution<std::size_t> letter(0, letters.size() - 1);
        auto randomText = [&] {
            std::string text(static_cast<std::size_t>(lengths(rng)), ' ');
            for (char& c : text) {
                c = letters[letter(rng)];
            }
            return text;
        };
        std::vector<std::string> tags;
        std::vector<std::string> folded;
        FoldedTagIndex index;
        const int count = std::uniform_int_distribution<int>(0, 200)(rng);
        for (int t = 0; t < count; ++t) {
            // A third of the tags repeat an earlier one, often longer, so
            // that long tags too meet equal ones and ones they begin.
            std::string tag = randomText();
            if (t % 3 == 2) {
                tag = tags[rng() % tags.size()] + tag.substr(0, tag.size() % 3);
            }
            tags.push_back(tag);
            ASSERT_TRUE(index.add(tag));
            folded.emplace_back();
            FoldedTagIndex::appendFolded(tag, folded.back());
        }
        index.seal();
        for (int q = 0; q < 300; ++q) {
            // Half the questions are tags of the table, as in the check.
            std::string asked;
            if (q % 2 == 0 && !folded.empty()) {
                asked = folded[static_cast<std::size_t>(q) % folded.size()];
            } else {
                FoldedTagIndex::appendFolded(randomText(), asked);
            }
            int begun = 0;
            for (const std::string& tag : folded) {
                begun += tag.starts_with(asked) ? 1 : 0;
            }
            EXPECT_EQ(index.beginsAtLeastTwo(asked), begun >= 2) << round << " " << asked;
        }
    }
}

} // namespace
} // namespace korvalt::testing

#include "results/DuplicateTagFinder.h"
#include "results/FieldText.h"
#include "results/FoldedTagIndex.h"

#include "database/Database.h"
#include "support/PipeCsv.h"
#include "support/ProcessFixture.h"

#include <algorithm>
#include <limits>
#include <random>

namespace korvalt::testing {
namespace {

TEST(FieldText, ShowsValuesInPlainDecimalWithTheLocalesPoint) {
    const struct {
        Value value;
        const char* point;
        std::string expected;
        bool blank, nonBlank;
    } cases[] = {
        {Value::text("HV-7 "), ".", "HV-7 ", false, true},
        {Value::text("   "), ".", "   ", true, false},
        {Value::text(""), ".", "", true, false},
        {Value::text("2.5"), ",", "2.5", false, true},
        {Value::null(), ".", "", false, false},
        {Value::integer(40000), ".", "40000", false, true},
        {Value::integer(std::numeric_limits<std::int64_t>::min()), ".", "-9223372036854775808",
         false, true},
        {Value::real(6.0), ",", "6", false, true},
        {Value::real(-0.0), ".", "0", false, true},
        {Value::real(250.5), ".", "250.5", false, true},
        {Value::real(-3.25), ",", "-3,25", false, true},
        {Value::real(0.1 + 0.2), ".", "0.30000000000000004", false, true},
        {Value::real(1e20), ".", "100000000000000000000", false, true},
        {Value::real(1.5e-7), ".", "0.00000015", false, true},
        {Value::real(std::numeric_limits<double>::denorm_min()), ".",
         "0." + std::string(323, '0') + "5", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(FieldText::toText(c.value, c.point), c.expected);
        EXPECT_EQ(FieldText::isBlank(c.value), c.blank);
        EXPECT_EQ(FieldText::isNonBlank(c.value), c.nonBlank);
    }
    const std::string big = FieldText::toText(Value::real(std::numeric_limits<double>::max()), ".");
    EXPECT_EQ(big.substr(0, 6) + std::to_string(big.size()), "179769309");
    EXPECT_EQ(big.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(FieldText::toText(Value::real(2.5)), "2" + FieldText::localeDecimalPoint() + "5");
}

// The texts between the bars of `list`.
std::vector<std::string> split(std::string_view list) {
    std::vector<std::string> out(1);
    for (char c : list)
        if (c == '|')
            out.emplace_back();
        else
            out.back().push_back(c);
    return out;
}

TEST(DuplicateTagFinder, TagsTheEngineMustAnswer) {
    for (const std::string& tag : split("P-1|HV-7 |R\u00FCck|A]!-|\U0001F527"))
        EXPECT_FALSE(DuplicateTagFinder::needsEngine(tag)) << tag;
    for (const std::string& tag : split("X#1|X[2]|A?|B*|O'BRIEN-1|\xC3(|\xE0\x80\x80|\xED\xA0\x80|"
                                        "\xF4\x90\x80\x80|\xC3"))
        EXPECT_TRUE(DuplicateTagFinder::needsEngine(tag)) << tag;
    EXPECT_TRUE(DuplicateTagFinder::needsEngine(std::string_view("N\0L", 3)));
}

using DuplicateTagFinderTest = ProcessFixture;

TEST_F(DuplicateTagFinderTest, CountsTagsThatBeginWithTheTagIgnoringCase) {
    std::vector<std::vector<Value>> rows;
    for (const std::string& tag :
         split("P-1|p-1|P-2|V-10|V-101|HV-7 |HV-7||\u00D850|\u00F85|\u212A1|k|"
               "LONG-TAG-000000001|long-tag-000000001x|LONG-TAG-000000002|-")) {
        rows.emplace_back(test_support::pipeCsvColumns().size(), Value::text("x"));
        rows.back()[8] = tag == "-" ? Value::null() : Value::text(tag);
        rows.back()[11] = Value::integer(static_cast<std::int64_t>(rows.size()));
    }
    test_support::writePipeSqlite(tempPath("tags.db"), rows);
    const auto db = OpenDatabase(tempPath("tags.db"));
    DuplicateTagFinder finder(*db);
    for (const std::string& tag :
         split("P-1|p-1|P-|V-10|HV-7|\u00D85|K|LONG-TAG-000000001|LONG-TAG-00000000|long-tag-0"))
        EXPECT_EQ(finder.beginsAtLeastTwo(tag), std::optional<bool>(true)) << tag;
    for (const std::string& tag : split("P-2|V-101|HV-7 |Q|\u00F850|P-10|LONG-TAG-000000001X|"
                                        "LONG-TAG-000000002|LONG-TAG-000000003"))
        EXPECT_EQ(finder.beginsAtLeastTwo(tag), std::optional<bool>(false)) << tag;
    EXPECT_EQ(finder.beginsAtLeastTwo("X#1"), std::nullopt);
    const auto noPipe = OpenDatabase(KORVALT_FIXTURES_DIR "/no-pipe.mdb");
    EXPECT_EQ(DuplicateTagFinder(*noPipe).beginsAtLeastTwo("P-1"), std::nullopt);
}

// Random tags over a small alphabet, around the 8 bytes the index sorts by
// first and the 16 it keeps in its hash table, against counting every tag.
TEST(FoldedTagIndex, AgreesWithCountingEveryTag) {
    std::mt19937 rng(7);
    const std::string letters = std::string("aAb-1\0", 6) + "\xC3\x98";
    auto randomText = [&] {
        std::string text(rng() % 21, ' ');
        for (char& c : text)
            c = letters[rng() % letters.size()];
        return text;
    };
    for (int round = 0; round < 20; ++round) {
        std::vector<std::string> tags, folded;
        FoldedTagIndex index;
        for (int t = 0, count = static_cast<int>(rng() % 201); t < count; ++t) {
            std::string tag = randomText();
            if (t % 3 == 2) // an earlier tag, often longer
                tag = tags[rng() % tags.size()] + tag.substr(0, tag.size() % 3);
            tags.push_back(tag);
            ASSERT_TRUE(index.add(tag));
            FoldedTagIndex::appendFolded(tag, folded.emplace_back());
        }
        index.seal();
        EXPECT_EQ(index.size(), tags.size());
        for (int q = 0; q < 300; ++q) {
            std::string asked;
            if (q % 2 == 0 && !folded.empty())
                asked = folded[static_cast<std::size_t>(q) % folded.size()];
            else
                FoldedTagIndex::appendFolded(randomText(), asked);
            const auto begun =
                std::count_if(folded.begin(), folded.end(),
                              [&](const std::string& f) { return f.starts_with(asked); });
            EXPECT_EQ(index.beginsAtLeastTwo(asked), begun >= 2) << round << " " << asked;
        }
    }
}

} // namespace
} // namespace korvalt::testing

#include "results/DuplicateTagFinder.h"
#include "results/FieldText.h"
#include "results/FoldedTagIndex.h"
#include "results/clsDataHandler.h"

#include "database/Database.h"
#include "database/Recordset.h"
#include "startup/Module1.h"
#include "support/PipeCsv.h"
#include "support/ProcessFixture.h"
#include "ui/ResultsListView.h"

#include <algorithm>
#include <limits>
#include <random>

namespace korvalt::testing {
namespace {

using Strings = std::vector<std::string>;
constexpr const char* kById = "SELECT * FROM PIPE ORDER BY UNIQUE_ID ASC";

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
Strings split(std::string_view list) {
    Strings out(1);
    for (char c : list)
        if (c == '|')
            out.emplace_back();
        else
            out.back().push_back(c);
    return out;
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
    // Wildcards, an apostrophe, NUL and text that is not UTF-8 are left to the engine.
    const std::pair<const char*, std::optional<bool>> groups[] = {
        {"P-1|p-1|P-|V-10|HV-7|\u00D85|K|LONG-TAG-000000001|LONG-TAG-00000000|long-tag-0", true},
        {"P-2|V-101|HV-7 |Q|\u00F850|P-10|LONG-TAG-000000001X|LONG-TAG-000000002|"
         "LONG-TAG-000000003|R\u00FCck|A]!-|\U0001F527",
         false},
        {"X#1|X[2]|A?|B*|O'BRIEN-1|\xC3(|\xE0\x80\x80|\xED\xA0\x80|\xF4\x90\x80\x80|\xC3",
         std::nullopt},
    };
    for (const auto& [tags, answer] : groups)
        for (const std::string& tag : split(tags))
            EXPECT_EQ(finder.beginsAtLeastTwo(tag), answer) << tag;
    EXPECT_EQ(finder.beginsAtLeastTwo(std::string_view("N\0L", 3)), std::nullopt);
    const auto noPipe = OpenDatabase(KORVALT_FIXTURES_DIR "/no-pipe.mdb");
    EXPECT_EQ(DuplicateTagFinder(*noPipe).beginsAtLeastTwo("P-1"), std::nullopt);
}

// Random tags around the index's 8- and 16-byte limits, against counting every tag.
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
        Strings tags, folded;
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

// Offers fields by name only, so the writers take their way for any recordset.
class ByName : public Recordset {
public:
    explicit ByName(std::unique_ptr<Recordset> inner) : m_inner(std::move(inner)) {}
    bool isEof() const override { return m_inner->isEof(); }
    void moveNext() override { m_inner->moveNext(); }
    const Value& fields(std::string_view name) const override { return m_inner->fields(name); }
    long recordCount() const override { return m_inner->recordCount(); }
    void close() override { m_inner->close(); }
    std::unique_ptr<Recordset> m_inner;
};
class ByNameDatabase : public Database {
public:
    explicit ByNameDatabase(std::unique_ptr<Database> inner) : m_inner(std::move(inner)) {}
    void execute(const std::string& sql) override { m_inner->execute(sql); }
    std::unique_ptr<Recordset> openRecordset(const std::string& sql) override {
        return std::make_unique<ByName>(m_inner->openRecordset(sql));
    }
    const std::string& path() const override { return m_inner->path(); }
    std::unique_ptr<Database> m_inner;
};

// The Access file, its SQLite copy and the copy read by name must list the same rows.
class DataHandlerTest : public ProcessFixture, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        ProcessFixture::SetUp();
        gsSupportFooter = BuildSupportFooter();
        std::string path = KORVALT_FIXTURES_DIR "/pipe-small.mdb";
        if (GetParam() != "mdb") {
            path = tempPath("pipe-small.db");
            test_support::writePipeSqlite(
                path, test_support::loadPipeCsv(KORVALT_FIXTURES_DIR "/pipe-small.csv"));
        }
        gDatabase = OpenDatabase(path);
        if (GetParam() == "by-name")
            gDatabase = std::make_unique<ByNameDatabase>(std::move(gDatabase));
        gDatabaseOpen = true;
    }
    // Every row shown, joined by '|': text, sub-items 1..subItems, key ("-"
    // for none); `kept` puts a row "kept" keyed 2 in the list first.
    Strings run(std::string sql, std::int16_t mode, int subItems, bool kept = false) {
        list.clearItems();
        if (kept)
            list.setTag(list.addItem("kept"), 2);
        clsDataHandler(list).SendToDatabase(sql, mode);
        EXPECT_EQ(gDatabaseControl, nullptr);
        Strings rows;
        for (int p = 0; p < list.count(); ++p) {
            rows.push_back(list.text(p));
            for (int k = 1; k <= subItems; ++k)
                rows.back() += "|" + list.subItem(p, k);
            const auto key = list.tag(p);
            rows.back() += "|" + (key ? std::to_string(*key) : "-");
        }
        return rows;
    }
    ResultsListView list;
};

TEST_P(DataHandlerTest, EachModeListsItsRows) {
    const std::string pt = FieldText::localeDecimalPoint();
    const std::string ordered =
        "SELECT * FROM PIPE ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC";
    auto items = run(kById, 1, 10);
    ASSERT_EQ(items.size(), 40u);
    EXPECT_EQ(fake.lastRecordsRead, 40u);
    EXPECT_EQ(items[12],
              "AREA2.dwg|Pipe A312 TP316L SCH 10|2.5\"-P-2001-SS300|SS300|PIP0002|2.5|2" + pt +
                  "5|0|P-20|250" + pt + "5|PIPE|-");
    // Whole numbers without a point; Null empty; trailing spaces and non-ASCII text kept.
    EXPECT_EQ(
        (Strings{items[8], items[13], items[19], items[27]}),
        (Strings{"AREA1.dwg|Elbow 45 A234 WPB|4\"-P-1001-CS150|CS150|ELB0020|4|4|0||0|ELBOW|-",
                 "AREA2.dwg|Pipe A312 TP316L SCH 10|6\"-P-2002-SS300|SS300|PIP0003|6|6|0|P-21|"
                 "6000|PIPE|-",
                 "AREA2.dwg|Butterfly Valve Wafer|12\"-P-2008-SS300|SS300|VLV0500|12|12|0|HV-7 "
                 "|0|BFLY VALVE|-",
                 "AREA4.dwg|Ventil Ø50 Rückschlag|DN50-W-4002|All|VLV0700|2|2|0|RV-1|0|"
                 "Rückschlagventil|-"}));
    items = run(ordered, 1, 1);
    EXPECT_EQ((Strings{items.front(), items[1], items.back()}),
              (Strings{"|Orphan Elbow|-", "AREA1.dwg|Check Valve A105|-",
                       "O'Neil-4.dwg|Cap A234 WPB|-"}));

    // Blank line numbers and tags are listed; Null ones are not.
    EXPECT_EQ(run(ordered, 3, 5), (Strings{"AREA1.dwg|Reducer Concentric A234 WPB||4x2|R-1||-",
                                           "AREA1.dwg|Reducer Eccentric A234 WPB|   |4x2|R-2||-"}));
    EXPECT_EQ(run(kById, 7, 5),
              (Strings{"AREA1.dwg|Elbow 90 LR A234 WPB|4\"-P-1001-CS150|4|||-",
                       "AREA1.dwg|Elbow 90 LR A234 WPB|4\"-P-1001-CS150|4|   ||-"}));

    // One row per distinct value, no sub-items or key; Null and "" both show empty.
    items = run("SELECT DISTINCT LINE_NUM FROM Pipe WHERE DWG_NAME = 'AREA1.dwg'", 19, 1);
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (Strings{"   ||-", "2\"-P-1003-CS150||-", "2\"-P-1004-CS150||-",
                              "4\"-P-1001-CS150||-", "4\"-P-1002-CS150||-", "||-", "||-"}));
    EXPECT_TRUE(fake.messages.empty());
    // A rejected statement is reported once, and nothing is listed.
    EXPECT_TRUE(run("SELECT * FROM PIPE WHERE", 11, 1).empty());
    EXPECT_EQ(fake.messages.size(), 1u);
}

// Tags beginning two tags or more, ignoring case (a P-50 key past 16 bits); X#1 and X[2]
// do not match themselves, and O'BRIEN-1 breaks its own statement, which is reported.
TEST_P(DataHandlerTest, DuplicateTagsOverTheWholeTable) {
    EXPECT_EQ(run(kById, 11, 0), (Strings{"P-1|1", "P-1|2", "p-1|3", "P-2|4", "V-10|5", "HV-7|21",
                                          "P-50|34", "P-50|40000"}));
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text.rfind("Error Number 3075 in routine GetRecordSet", 0), 0u);
    EXPECT_NE(fake.messages[0].text.find("O'BRIEN-1"), std::string::npos);

    // Filters restrict the candidates, not the tags they are compared with;
    // a row already keyed in the list keeps its record from a second row.
    const std::pair<const char*, Strings> cases[] = {
        {"UNIQUE_ID = 4", {"kept|2", "P-2|4"}},
        {"Tag = 'p-1' ORDER BY UNIQUE_ID", {"kept|2", "P-1|1", "p-1|3"}},
        {"UNIQUE_ID > 30 ORDER BY UNIQUE_ID DESC", {"kept|2", "P-50|40000", "P-50|34"}},
    };
    for (const auto& [where, rows] : cases)
        EXPECT_EQ(run(std::string("SELECT * FROM PIPE WHERE ") + where, 11, 0, true), rows)
            << where;
}

INSTANTIATE_TEST_SUITE_P(Files, DataHandlerTest, ::testing::Values("mdb", "sqlite", "by-name"));

} // namespace
} // namespace korvalt::testing

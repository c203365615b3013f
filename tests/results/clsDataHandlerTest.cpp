#include "results/clsDataHandler.h"

#include "database/Database.h"
#include "database/Recordset.h"
#include "results/FieldText.h"
#include "startup/Module1.h"
#include "support/PipeCsv.h"
#include "support/ProcessFixture.h"
#include "ui/ResultsListView.h"

#include <algorithm>

namespace korvalt::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;
constexpr const char* kById = "SELECT * FROM PIPE ORDER BY UNIQUE_ID ASC";

// Offers fields by name only, so that the writers take the way they take for
// any recordset rather than reading the engine's text in place.
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

// The forty records as the Access file, as our SQLite file, and the latter
// read by name only: every row must come out the same.
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
    // Every row as shown (text, then sub-items 1..subItems, then the key).
    Rows run(std::string sql, std::int16_t mode, int subItems) {
        list.clearItems();
        clsDataHandler(list).SendToDatabase(sql, mode);
        EXPECT_EQ(gDatabaseControl, nullptr);
        Rows rows;
        for (int p = 0; p < list.count(); ++p) {
            rows.push_back({list.text(p)});
            for (int k = 1; k <= subItems; ++k)
                rows.back().push_back(list.subItem(p, k));
            const auto key = list.tag(p);
            rows.back().push_back(key ? std::to_string(*key) : "-");
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
    EXPECT_EQ(items[0], (std::vector<std::string>{"AREA1.dwg", "Pipe A106-B SCH 40",
                                                  "4\"-P-1001-CS150", "CS150", "PIP0001", "4", "4",
                                                  "0", "P-1", "120", "PIPE", "-"}));
    EXPECT_EQ(items[12], (std::vector<std::string>{"AREA2.dwg", "Pipe A312 TP316L SCH 10",
                                                   "2.5\"-P-2001-SS300", "SS300", "PIP0002", "2.5",
                                                   "2" + pt + "5", "0", "P-20", "250" + pt + "5",
                                                   "PIPE", "-"}));
    EXPECT_EQ(items[13][6] + items[13][9] + items[8][8] + "|" + items[7][8] + items[19][8],
              "66000|   HV-7 ");
    EXPECT_EQ(items[27][1], "Ventil \xC3\x98"
                            "50 R\xC3\xBC"
                            "ckschlag");
    items = run(ordered, 1, 1);
    EXPECT_EQ(items.front()[0] + items[1][1] + items.back()[0], "Check Valve A105O'Neil-4.dwg");

    // Blank line numbers and tags are listed; Null ones are not.
    EXPECT_EQ(run(ordered, 3, 5),
              (Rows{{"AREA1.dwg", "Reducer Concentric A234 WPB", "", "4x2", "R-1", "", "-"},
                    {"AREA1.dwg", "Reducer Eccentric A234 WPB", "   ", "4x2", "R-2", "", "-"}}));
    EXPECT_EQ(
        run(kById, 7, 5),
        (Rows{{"AREA1.dwg", "Elbow 90 LR A234 WPB", "4\"-P-1001-CS150", "4", "", "", "-"},
              {"AREA1.dwg", "Elbow 90 LR A234 WPB", "4\"-P-1001-CS150", "4", "   ", "", "-"}}));

    // One row per distinct value; Null and empty text both show empty.
    for (auto [sql, mode, expected] :
         {std::tuple{"SELECT DISTINCT DWG_NAME FROM Pipe", 18,
                     std::vector<std::string>{"", "AREA1.dwg", "AREA2.dwg", "AREA3 \"north\".dwg",
                                              "AREA4.dwg", "AREA5.dwg", "O'Neil-4.dwg"}},
          {"SELECT DISTINCT LINE_NUM FROM Pipe WHERE DWG_NAME = 'AREA1.dwg'",
           19,
           {"", "", "   ", "2\"-P-1003-CS150", "2\"-P-1004-CS150", "4\"-P-1001-CS150",
            "4\"-P-1002-CS150"}}}) {
        std::vector<std::string> shown;
        for (const auto& row : run(sql, static_cast<std::int16_t>(mode), 1)) {
            EXPECT_EQ(row[1] + row[2], "-");
            shown.push_back(row[0]);
        }
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(shown, expected);
    }
    EXPECT_TRUE(fake.messages.empty());
    // Modes without a writer open the query and list nothing.
    for (std::int16_t mode : std::initializer_list<std::int16_t>{0, 2, 5, 20, -1})
        EXPECT_TRUE(run(kById, mode, 1).empty()) << mode;
    // A rejected statement is reported once, and nothing is listed.
    for (std::int16_t mode : std::initializer_list<std::int16_t>{1, 3, 7, 11, 18, 19}) {
        fake.messages.clear();
        EXPECT_TRUE(run("SELECT * FROM PIPE WHERE", mode, 1).empty()) << mode;
        EXPECT_EQ(fake.messages.size(), 1u) << mode;
    }
}

// Tags that begin at least two tags, ignoring case: P-1 (three), P-2 (P-20,
// P-21), V-10 but not V-101, HV-7 but not "HV-7 ", P-50 twice (one key
// beyond 16 bits); the wildcard tags X#1 and X[2] do not match themselves,
// and O'BRIEN-1 breaks its own statement, which is reported.
TEST_P(DataHandlerTest, DuplicateTagsOverTheWholeTable) {
    const auto rows = run(kById, 11, 5);
    std::vector<std::string> keys;
    for (const auto& row : rows)
        keys.push_back(row[0] + "=" + row.back());
    EXPECT_EQ(keys, (std::vector<std::string>{"P-1=1", "P-1=2", "p-1=3", "P-2=4", "V-10=5",
                                              "HV-7=21", "P-50=34", "P-50=40000"}));
    EXPECT_EQ(rows[2],
              (std::vector<std::string>{"p-1", "AREA1.dwg", "4\"-P-1002-CS150",
                                        "Gate Valve A105 Class 150", "Gate Valve", "3", "3"}));
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text.rfind("Error Number 3075 in routine GetRecordSet", 0), 0u);
    EXPECT_NE(fake.messages[0].text.find("O'BRIEN-1"), std::string::npos);

    // Filters restrict the candidates, not the tags they are compared with;
    // a row already keyed in the list keeps its record from a second row.
    const struct {
        const char* where;
        std::vector<std::string> keys;
    } cases[] = {
        {"UNIQUE_ID = 4", {"4"}},
        {"Tag = 'p-1' ORDER BY UNIQUE_ID", {"1", "3"}},
        {"UNIQUE_ID > 30 ORDER BY UNIQUE_ID DESC", {"40000", "34"}},
    };
    for (const auto& c : cases) {
        list.clearItems();
        list.setTag(list.addItem("kept"), 2);
        std::string sql = std::string("SELECT * FROM PIPE WHERE ") + c.where;
        std::int16_t mode = 11;
        clsDataHandler(list).SendToDatabase(sql, mode);
        std::vector<std::string> found;
        for (int p = 1; p < list.count(); ++p)
            found.push_back(std::to_string(list.tag(p).value_or(-1)));
        EXPECT_EQ(list.text(0), "kept");
        EXPECT_EQ(found, c.keys) << c.where;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, DataHandlerTest, ::testing::Values("mdb", "sqlite", "by-name"));

} // namespace
} // namespace korvalt::testing

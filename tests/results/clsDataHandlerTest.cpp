#include "results/clsDataHandler.h"

#include "database/Database.h"
#include "database/Recordset.h"
#include "results/FieldText.h"
#include "results/ListSnapshot.h"
#include "startup/Module1.h"
#include "support/PipeCsv.h"
#include "support/ProcessFixture.h"
#include "ui/ResultsListView.h"

#include <algorithm>

namespace korvalt::testing {
namespace {

constexpr const char* kOrdered =
    "SELECT * FROM PIPE ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC";
constexpr const char* kById = "SELECT * FROM PIPE ORDER BY UNIQUE_ID ASC";

// A recordset that offers its fields by name only, so that the writers take
// the way they take for any recordset rather than reading in place.
class ByNameRecordset : public Recordset {
public:
    explicit ByNameRecordset(std::unique_ptr<Recordset> inner) : m_inner(std::move(inner)) {}
    bool isEof() const override { return m_inner->isEof(); }
    void moveNext() override { m_inner->moveNext(); }
    const Value& fields(std::string_view name) const override { return m_inner->fields(name); }
    long recordCount() const override { return m_inner->recordCount(); }
    void close() override { m_inner->close(); }

private:
    std::unique_ptr<Recordset> m_inner;
};

class ByNameDatabase : public Database {
public:
    explicit ByNameDatabase(std::unique_ptr<Database> inner) : m_inner(std::move(inner)) {}
    void execute(const std::string& sql) override { m_inner->execute(sql); }
    std::unique_ptr<Recordset> openRecordset(const std::string& sql) override {
        return std::make_unique<ByNameRecordset>(m_inner->openRecordset(sql));
    }
    const std::string& path() const override { return m_inner->path(); }

private:
    std::unique_ptr<Database> m_inner;
};

// The same forty records as an Access file and as our own SQLite file, the
// latter also read by name only: every row must come out the same.
class DataHandlerTest : public ProcessFixture, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        ProcessFixture::SetUp();
        gsSupportFooter = BuildSupportFooter();
        std::string path = std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.mdb";
        if (GetParam() != "mdb") {
            path = tempPath("pipe-small.db");
            test_support::writePipeSqlite(
                path,
                test_support::loadPipeCsv(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv"));
        }
        gDatabase = OpenDatabase(path);
        if (GetParam() == "sqlite-by-name")
            gDatabase = std::make_unique<ByNameDatabase>(std::move(gDatabase));
        gDatabaseOpen = true;
        point = FieldText::localeDecimalPoint();
    }

    std::vector<ListRow> run(std::string sql, std::int16_t mode, int subItems) {
        clsDataHandler handler(list);
        handler.SendToDatabase(sql, mode);
        EXPECT_EQ(gDatabaseControl, nullptr) << "mode " << mode;
        return snapshot(list, subItems);
    }

    // The keys (UNIQUE_ID) of the rows of mode 11, in order.
    static std::vector<std::int64_t> keys(const std::vector<ListRow>& rows) {
        std::vector<std::int64_t> out;
        for (const ListRow& row : rows) {
            EXPECT_TRUE(row.key.has_value()) << row;
            out.push_back(row.key.value_or(-1));
        }
        return out;
    }

    ResultsListView list;
    std::string point;
};

TEST_P(DataHandlerTest, ItemRowsShowEveryRecordInElevenColumns) {
    const auto rows = run(kById, 1, 10);
    ASSERT_EQ(rows.size(), 40u);
    EXPECT_EQ(rows[0], (ListRow{"AREA1.dwg",
                                {"Pipe A106-B SCH 40", "4\"-P-1001-CS150", "CS150", "PIP0001", "4",
                                 "4", "0", "P-1", "120", "PIPE"},
                                std::nullopt}));
    // Sizes and lengths in plain decimal form.
    EXPECT_EQ(rows[12],
              (ListRow{"AREA2.dwg",
                       {"Pipe A312 TP316L SCH 10", "2.5\"-P-2001-SS300", "SS300", "PIP0002", "2.5",
                        "2" + point + "5", "0", "P-20", "250" + point + "5", "PIPE"},
                       std::nullopt}));
    EXPECT_EQ(rows[13].subItems[5], "6");
    EXPECT_EQ(rows[13].subItems[8], "6000");
    // Null shows as an empty cell; blank text keeps its spaces.
    EXPECT_EQ(rows[8].subItems[7], "");
    EXPECT_EQ(rows[7].subItems[7], "   ");
    EXPECT_EQ(rows[19].subItems[7], "HV-7 ");
    EXPECT_EQ(rows[27].subItems[0], "Ventil \xC3\x98"
                                    "50 R\xC3\xBC"
                                    "ckschlag");
    EXPECT_EQ(rows[32].text, "");
    EXPECT_EQ(rows[33].subItems[8], "3000");
}

TEST_P(DataHandlerTest, ItemRowsFollowTheRecordsetOrder) {
    const auto rows = run(kOrdered, 1, 10);
    ASSERT_EQ(rows.size(), 40u);
    EXPECT_EQ(rows.front().text, "");
    EXPECT_EQ(rows.back().text, "O'Neil-4.dwg");
    // Within AREA1.dwg the long descriptions come in ascending order.
    EXPECT_EQ(rows[1].subItems[0], "Check Valve A105");
}

TEST_P(DataHandlerTest, NoLineNumberRowsListBlankButNotNullLineNumbers) {
    const auto rows = run(kOrdered, 3, 5);
    const std::vector<ListRow> expected = {
        {"AREA1.dwg", {"Reducer Concentric A234 WPB", "", "4x2", "R-1", ""}, std::nullopt},
        {"AREA1.dwg", {"Reducer Eccentric A234 WPB", "   ", "4x2", "R-2", ""}, std::nullopt},
    };
    EXPECT_EQ(rows, expected);
}

TEST_P(DataHandlerTest, NoTagRowsListBlankButNotNullTags) {
    const auto rows = run(kById, 7, 5);
    const std::vector<ListRow> expected = {
        {"AREA1.dwg", {"Elbow 90 LR A234 WPB", "4\"-P-1001-CS150", "4", "", ""}, std::nullopt},
        {"AREA1.dwg", {"Elbow 90 LR A234 WPB", "4\"-P-1001-CS150", "4", "   ", ""}, std::nullopt},
    };
    EXPECT_EQ(rows, expected);
}

TEST_P(DataHandlerTest, DuplicateTagRowsOverTheWholeTable) {
    const auto rows = run(kById, 11, 6);
    // P-1, P-1 and p-1 find one another; P-2 begins P-20 and P-21; V-10
    // begins V-101 but not the other way round; HV-7 begins "HV-7 " but not
    // the other way round; P-50 twice, one of them with an identifier beyond
    // 16 bits. The wildcard tags X#1 and X[2] do not even match themselves.
    EXPECT_EQ(keys(rows), (std::vector<std::int64_t>{1, 2, 3, 4, 5, 21, 34, 40000}));
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0],
              (ListRow{"P-1",
                       {"AREA1.dwg", "4\"-P-1001-CS150", "Pipe A106-B SCH 40", "PIPE", "1", ""},
                       1}));
    EXPECT_EQ(rows[2], (ListRow{"p-1",
                                {"AREA1.dwg", "4\"-P-1002-CS150", "Gate Valve A105 Class 150",
                                 "Gate Valve", "3", ""},
                                3}));
    EXPECT_EQ(rows[5].text, "HV-7");
    EXPECT_EQ(rows[7].subItems[4], "40000");

    // O'BRIEN-1 breaks its own statement: the gateway says so, once.
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_NE(fake.messages[0].text.find("in routine GetRecordSet"), std::string::npos);
    EXPECT_NE(fake.messages[0].text.find("O'BRIEN-1"), std::string::npos);
}

TEST_P(DataHandlerTest, DuplicateTagFiltersRestrictOnlyTheCandidates) {
    struct Case {
        const char* sql;
        std::vector<std::int64_t> keys;
    };
    const Case cases[] = {
        {"SELECT * FROM PIPE WHERE UNIQUE_ID = 2", {2}},
        {"SELECT * FROM PIPE WHERE UNIQUE_ID = 4", {4}},
        {"SELECT * FROM PIPE WHERE UNIQUE_ID = 6", {}},
        {"SELECT * FROM PIPE WHERE DWG_NAME = 'AREA2.dwg' ORDER BY UNIQUE_ID", {21}},
        {"SELECT * FROM PIPE WHERE Tag = 'p-1' ORDER BY UNIQUE_ID", {1, 2, 3}},
        {"SELECT * FROM PIPE WHERE UNIQUE_ID > 30 ORDER BY UNIQUE_ID DESC", {40000, 34}},
    };
    for (const Case& c : cases) {
        list.clearItems();
        EXPECT_EQ(keys(run(c.sql, 11, 6)), c.keys) << c.sql;
    }
    // Only AREA2.dwg holds O'BRIEN-1, whose statement the gateway rejects.
    EXPECT_EQ(fake.messages.size(), 1u);
}

TEST_P(DataHandlerTest, DrawingAndLineNumberRowsShowOneField) {
    auto rows = run("SELECT DISTINCT DWG_NAME FROM Pipe", 18, 1);
    std::vector<std::string> names;
    for (const ListRow& row : rows) {
        names.push_back(row.text);
        EXPECT_EQ(row.subItems[0], "");
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"", "AREA1.dwg", "AREA2.dwg", "AREA3 \"north\".dwg",
                                               "AREA4.dwg", "AREA5.dwg", "O'Neil-4.dwg"}));

    list.clearItems();
    rows = run("SELECT DISTINCT LINE_NUM FROM Pipe WHERE DWG_NAME = 'AREA1.dwg'", 19, 1);
    std::vector<std::string> lines;
    for (const ListRow& row : rows) {
        lines.push_back(row.text);
    }
    std::sort(lines.begin(), lines.end());
    // Null and the empty text both show as an empty cell.
    EXPECT_EQ(lines,
              (std::vector<std::string>{"", "", "   ", "2\"-P-1003-CS150", "2\"-P-1004-CS150",
                                        "4\"-P-1001-CS150", "4\"-P-1002-CS150"}));
}

TEST_P(DataHandlerTest, UnknownModeOpensTheQueryAndWritesNothing) {
    for (std::int16_t mode : std::initializer_list<std::int16_t>{0, 2, 5, 20, -1}) {
        EXPECT_TRUE(run(kById, mode, 1).empty()) << mode;
    }
    EXPECT_TRUE(fake.messages.empty());
}

TEST_P(DataHandlerTest, RejectedQueryWritesNothing) {
    for (std::int16_t mode : std::initializer_list<std::int16_t>{1, 3, 7, 11, 18, 19}) {
        fake.messages.clear();
        EXPECT_TRUE(run("SELECT * FROM PIPE WHERE", mode, 1).empty()) << mode;
        EXPECT_EQ(fake.messages.size(), 1u) << mode;
    }
}

TEST_P(DataHandlerTest, WritersAppendToWhatTheListHolds) {
    const auto id = list.addItem("kept");
    list.setTag(id, 2);
    // The row already keyed 2 keeps record 2 from being listed again.
    const auto rows = run("SELECT * FROM PIPE WHERE Tag = 'P-1' ORDER BY UNIQUE_ID", 11, 1);
    // P-1 matches p-1 as well.
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].text, "kept");
    EXPECT_EQ(rows[1].key, 1);
    EXPECT_EQ(rows[2].key, 3);
}

INSTANTIATE_TEST_SUITE_P(Files, DataHandlerTest,
                         ::testing::Values("mdb", "sqlite", "sqlite-by-name"));

class DataHandlerEmptyTest : public ProcessFixture {};

TEST_F(DataHandlerEmptyTest, EmptyTableGivesNoRows) {
    gDatabase = OpenDatabase(std::string(KORVALT_FIXTURES_DIR) + "/pipe-empty.mdb");
    gDatabaseOpen = true;
    ResultsListView list;
    for (std::int16_t mode : std::initializer_list<std::int16_t>{1, 3, 7, 11, 18, 19}) {
        std::string sql = mode == 18 ? "SELECT DISTINCT DWG_NAME FROM Pipe" : kById;
        clsDataHandler(list).SendToDatabase(sql, mode);
        EXPECT_EQ(list.count(), 0) << mode;
        EXPECT_EQ(gDatabaseControl, nullptr) << mode;
    }
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(DataHandlerEmptyTest, MissingTableShowsTheLocationWindowAndWritesNothing) {
    gDatabase = OpenDatabase(std::string(KORVALT_FIXTURES_DIR) + "/no-pipe.mdb");
    gDatabaseOpen = true;
    ResultsListView list;
    std::string sql = kById;
    std::int16_t mode = 1;
    clsDataHandler(list).SendToDatabase(sql, mode);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(gDatabaseControl, nullptr);
    EXPECT_EQ(fake.modals.size(), 1u);
    EXPECT_FALSE(gTableFound);
}

} // namespace
} // namespace korvalt::testing

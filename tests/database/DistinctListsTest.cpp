#include "database/DistinctLists.h"

#include "database/EngineError.h"
#include "database/SqliteDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace korvalt {
namespace {

using Row = std::optional<std::string>; // nullopt for Null

std::vector<Row> readAll(Recordset& records, const std::string& field) {
    std::vector<Row> rows;
    for (; !records.isEof(); records.moveNext()) {
        const Value& value = records.fields(field);
        rows.push_back(value.isNull() ? Row() : Row(value.asText()));
    }
    return rows;
}

// What the engine itself answers, through the collation the statements use.
std::vector<Row> engineAnswer(sqlite3* db, const std::string& column) {
    const std::string sql = "SELECT DISTINCT " + column + " COLLATE JETNOCASE FROM Pipe ORDER BY " +
                            column + " COLLATE JETNOCASE ASC";
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK);
    std::vector<Row> rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        if (sqlite3_column_type(statement, 0) == SQLITE_NULL) {
            rows.emplace_back();
            continue;
        }
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        rows.emplace_back(
            std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, 0))));
    }
    sqlite3_finalize(statement);
    return rows;
}

void exec(sqlite3* db, const std::string& sql) {
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
}

void insert(sqlite3* db, const std::vector<std::vector<Row>>& rows) {
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO Pipe VALUES (?, ?, ?)", -1, &statement, nullptr),
              SQLITE_OK);
    for (const auto& row : rows) {
        for (int k = 0; k < 3; ++k) {
            const Row& cell = row[static_cast<std::size_t>(k)];
            if (cell)
                sqlite3_bind_text(statement, k + 1, cell->data(), static_cast<int>(cell->size()),
                                  SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(statement, k + 1);
        }
        ASSERT_EQ(sqlite3_step(statement), SQLITE_DONE);
        sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
}

// Texts that collide under case folding in every way the collation knows:
// ASCII and Latin-1 capitals, Greek final sigma, the Kelvin sign (which
// folds to an ASCII k), a byte that is not UTF-8, shared long prefixes
// (beyond the eight bytes the sort looks at first) and empty text.
std::string randomText(std::mt19937& random) {
    static const std::vector<std::string> pieces = {
        "a",      "A",      "k", "K", "\u212A", "\u00e9", "\u00c9",     "\u03c3",
        "\u03a3", "\u03c2", "-", "1", " ",      "\xff",   "LINE-0042-", "line-0042-"};
    std::string text;
    const int length = std::uniform_int_distribution<int>(0, 5)(random);
    for (int i = 0; i < length; ++i)
        text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
    return text;
}

class DistinctListsTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = SqliteDatabase::openMemory("lists");
        exec(handle(), "CREATE TABLE Pipe (DWG_NAME TEXT, Tag VARCHAR(40), Line_Num REAL)");
    }
    sqlite3* handle() const { return db->handle(); }

    std::unique_ptr<SqliteDatabase> db;
};

TEST_F(DistinctListsTest, AnswersAsTheEngineDoesEvenForTextsThatDifferOnlyInCase) {
    std::mt19937 random(7);
    std::vector<std::vector<Row>> rows;
    for (int i = 0; i < 10000; ++i) { // more than one batch of the scan
        const bool null = i % 23 == 0;
        rows.push_back({null ? Row() : Row(randomText(random)), Row(randomText(random)), Row()});
    }
    insert(handle(), rows);

    DistinctLists lists(handle());
    for (const std::string column : {"DWG_NAME", "Tag"}) {
        const auto answer =
            lists.answer("SELECT DISTINCT " + column + " FROM PIPE ORDER BY " + column + " ASC");
        ASSERT_NE(answer, nullptr) << column;
        const std::vector<Row> expected = engineAnswer(handle(), column);
        EXPECT_GT(expected.size(), 100u);
        EXPECT_EQ(readAll(*answer, column), expected) << column;
    }
    // The same list asked for again is read afresh, and the same.
    const auto again = lists.answer("select distinct tag from pipe order by TAG;");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(readAll(*again, "TAG"), engineAnswer(handle(), "Tag"));
}

TEST_F(DistinctListsTest, FollowsChangesMadeThroughThisConnectionAndByOtherPrograms) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("pipe.db").toStdString();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    exec(other, "CREATE TABLE Pipe (DWG_NAME TEXT, Tag TEXT); "
                "INSERT INTO Pipe VALUES ('a.dwg', 'T1'), ('b.dwg', 'T2')");
    const auto file = SqliteDatabase::openFile(path);
    const std::string sql = "SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC";
    DistinctLists lists(file->handle());
    const auto names = [&] {
        const auto answer = lists.answer(sql);
        EXPECT_NE(answer, nullptr);
        return answer ? readAll(*answer, "DWG_NAME") : std::vector<Row>();
    };
    ASSERT_EQ(lists.answer("SELECT DISTINCT Tag FROM Pipe ORDER BY Tag")->isEof(), false);

    file->execute("DELETE FROM Pipe WHERE DWG_NAME = 'A.DWG'");
    EXPECT_EQ(names(), std::vector<Row>{"b.dwg"});
    exec(other, "INSERT INTO Pipe VALUES ('C.dwg', 'T3'), (NULL, 'T4')");
    EXPECT_EQ(names(), (std::vector<Row>{Row(), "b.dwg", "C.dwg"}));
    sqlite3_close(other);
}

TEST_F(DistinctListsTest, LeavesToTheEngineWhatItCannotAnswerExactly) {
    insert(handle(), {{Row("a"), Row("t"), Row()}});
    exec(handle(), "INSERT INTO Pipe VALUES (X'0102', 't', 1.5)");
    DistinctLists lists(handle());
    // Bytes among the texts, a column without text affinity.
    EXPECT_EQ(lists.answer("SELECT DISTINCT DWG_NAME FROM Pipe ORDER BY DWG_NAME"), nullptr);
    EXPECT_EQ(lists.answer("SELECT DISTINCT Line_Num FROM Pipe ORDER BY Line_Num"), nullptr);
    // A missing table or column: the engine raises its own error.
    EXPECT_EQ(lists.answer("SELECT DISTINCT Tag FROM Nothing ORDER BY Tag"), nullptr);
    EXPECT_EQ(lists.answer("SELECT DISTINCT Size FROM Pipe ORDER BY Size"), nullptr);
    EXPECT_NE(lists.answer("SELECT DISTINCT Tag FROM Pipe ORDER BY Tag"), nullptr);
    // The engine may scan an index instead of the table; a view is not a table.
    exec(handle(), "CREATE VIEW Pipes AS SELECT * FROM Pipe");
    EXPECT_EQ(lists.answer("SELECT DISTINCT Tag FROM Pipes ORDER BY Tag"), nullptr);
    exec(handle(), "CREATE INDEX ByTag ON Pipe (Tag)");
    EXPECT_EQ(lists.answer("SELECT DISTINCT Tag FROM Pipe ORDER BY Tag"), nullptr);
}

TEST(DistinctListsMatch, TakesOnlyTheListStatement) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"SELECT DISTINCT TAG FROM PIPE ORDER BY TAG ASC", true},
        {"  select   distinct Tag from Pipe order by tag ;", true},
        {"SELECT DISTINCT TAG FROM PIPE ORDER BY TAG DESC", false},
        {"SELECT DISTINCT TAG FROM PIPE ORDER BY DB_CODE ASC", false},
        {"SELECT DISTINCT TAG FROM PIPE WHERE TAG = 'x' ORDER BY TAG", false},
        {"SELECT DISTINCT TAG FROM PIPE", false},
        {"SELECT TAG FROM PIPE ORDER BY TAG", false},
        {"SELECT DISTINCT [TAG] FROM PIPE ORDER BY [TAG]", false},
        {"SELECT DISTINCT TAG, DB_CODE FROM PIPE ORDER BY TAG", false},
        {"SELECT DISTINCT ORDER FROM PIPE ORDER BY ORDER", false},
    };
    for (const auto& [sql, listStatement] : cases)
        EXPECT_EQ(DistinctLists::match(sql).has_value(), listStatement) << sql;
    const auto request =
        DistinctLists::match("SELECT DISTINCT Line_Num FROM Pipe ORDER BY LINE_NUM");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->column, "Line_Num");
    EXPECT_EQ(request->table, "Pipe");
}

TEST_F(DistinctListsTest, ItsRowsReadLikeAnyOtherRecordset) {
    DistinctLists lists(handle());
    const auto empty = lists.answer("SELECT DISTINCT Tag FROM Pipe ORDER BY Tag");
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->isEof());
    EXPECT_EQ(empty->recordCount(), 0);

    insert(handle(), {{Row("a"), Row("x"), Row()}, {Row("b"), Row("X"), Row()}});
    const auto tags = lists.answer("SELECT DISTINCT Tag FROM Pipe ORDER BY Tag");
    ASSERT_NE(tags, nullptr);
    EXPECT_NE(tags->recordCount(), 0);
    EXPECT_EQ(tags->fields("TAG").asText(), "x");
    const auto number = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const EngineError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number([&] { (void)tags->fields("Size"); }), 3265);
    tags->moveNext();
    EXPECT_TRUE(tags->isEof());
    EXPECT_EQ(number([&] { (void)tags->fields("Tag"); }), 3021);
    EXPECT_EQ(number([&] { tags->moveNext(); }), 3021);
    tags->close();
    EXPECT_EQ(number([&] { tags->moveNext(); }), 3420);
}

TEST(SqliteDatabaseProgress, TellsOfLongWorkUntilTold) {
    const auto db = SqliteDatabase::openMemory();
    int calls = 0;
    db->setProgress([&calls] { ++calls; });
    const char* work = "CREATE TABLE n AS WITH RECURSIVE c(i) AS "
                       "(SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 200000) SELECT i FROM c";
    exec(db->handle(), work);
    EXPECT_GT(calls, 0);
    const int before = calls;
    db->setProgress({});
    exec(db->handle(), "CREATE TABLE m AS SELECT * FROM n ORDER BY i DESC");
    EXPECT_EQ(calls, before);
}

} // namespace
} // namespace korvalt

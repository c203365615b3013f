#include "database/Database.h"
#include "database/EngineError.h"
#include "database/SqliteDatabase.h"
#include "support/EngineCases.h"
#include "support/PipeCsv.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include <memory>
#include <string>

namespace korvalt {
namespace {

using test_support::errorOf;
using test_support::readField;
using Strings = std::vector<std::string>;

// A fresh SQLite copy of the small fixture in its own folder.
class PipeFile {
public:
    PipeFile() : m_path(m_dir.filePath("pipe.db").toStdString()) {
        const std::string csv = std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv";
        test_support::writePipeSqlite(m_path, test_support::loadPipeCsv(csv));
    }
    const std::string& path() const { return m_path; }
    std::unique_ptr<Database> open() const { return OpenDatabase(m_path); }

private:
    QTemporaryDir m_dir;
    std::string m_path;
};

std::size_t countRecords(Database& db) {
    return readField(db, "SELECT * FROM PIPE", "UNIQUE_ID").size();
}

void exec(sqlite3* db, const std::string& sql) {
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
}

TEST(SqliteEngine, AnswersEveryEngineCase) {
    PipeFile file;
    const auto db = file.open();
    for (const auto& c : test_support::engineQueryCases())
        test_support::checkEngineCase(*db, c);
    EXPECT_EQ(countRecords(*db), 40u); // no case changed the data, accepted or not
}

// Capital and small letter of each block the folding covers are one letter
// to =, LIKE, DISTINCT (the lists' own answer and the engine's) and ORDER BY.
TEST(SqliteEngine, LettersOfEveryFoldedScriptIgnoreCase) {
    std::vector<std::pair<std::string, Strings>> checks;
    // In the order of their small letters' code points.
    const std::pair<std::string, std::string> pairs[] = {
        {"A", "a"}, {"À", "à"}, {"Þ", "þ"}, {"Ÿ", "ÿ"},  {"Ā", "ā"}, {"Ł", "ł"}, {"Ž", "ž"},
        {"Ǆ", "ǆ"}, {"Ș", "ș"}, {"Ț", "ț"}, {"Ə", "ə"},  {"Ά", "ά"}, {"Α", "α"}, {"Ω", "ω"},
        {"Ϊ", "ϊ"}, {"А", "а"}, {"Я", "я"}, {"Ѐ", "ѐ"},  {"Ѣ", "ѣ"}, {"Ӂ", "ӂ"}, {"Ԯ", "ԯ"},
        {"Ա", "ա"}, {"Ḁ", "ḁ"}, {"Ỹ", "ỹ"}, {"Ａ", "ａ"}};
    const auto db = SqliteDatabase::openMemory();
    std::string sql = "CREATE TABLE Pipe (Tag TEXT, N INTEGER); INSERT INTO Pipe VALUES ('x', 0)";
    Strings capitals;
    Strings both;
    for (const auto& [capital, small] : pairs) {
        for (const std::string& letter : {capital, small}) {
            both.push_back("x" + letter);
            sql += ", ('x" + letter + "', " + std::to_string(both.size()) + ")";
        }
        capitals.push_back("x" + capital);
        const std::string where = "SELECT * FROM Pipe WHERE Tag ";
        for (const std::string& query :
             {where + "= 'X" + small + "' ORDER BY N", where + "= 'x" + capital + "' ORDER BY N",
              where + "LIKE '?" + small + "' ORDER BY N",
              where + "LIKE 'x[" + capital + "]' ORDER BY N"})
            checks.emplace_back(query, Strings{"x" + capital, "x" + small});
    }
    exec(db->handle(), sql);
    for (const auto& [query, expected] : checks)
        EXPECT_EQ(readField(*db, query, "Tag"), expected) << query;
    // DISTINCT keeps the first of each, the Null-free "x" before them all.
    capitals.insert(capitals.begin(), "x");
    both.insert(both.begin(), "x");
    EXPECT_EQ(readField(*db, "SELECT DISTINCT Tag FROM Pipe ORDER BY Tag", "Tag"), capitals);
    EXPECT_EQ(readField(*db, "SELECT DISTINCT Tag FROM Pipe WHERE N >= 0 ORDER BY Tag", "Tag"),
              capitals);
    EXPECT_EQ(readField(*db, "SELECT * FROM Pipe ORDER BY Tag, N", "Tag"), both);
}

TEST(SqliteEngine, RecordsetsReadForwardOnceByNameOrPosition) {
    PipeFile file;
    auto db = file.open();
    EXPECT_EQ(db->path(), file.path());
    auto empty = db->openRecordset("SELECT * FROM PIPE WHERE Tag = 'nothing'");
    EXPECT_TRUE(empty->isEof());
    EXPECT_EQ(empty->recordCount(), 0);
    auto rs = db->openRecordset("SELECT Tag, main_nom AS [\xC5\xBFize], UNIQUE_ID, NOTES, LENGTH, "
                                "CAST('ab' AS BLOB) AS B FROM PIPE WHERE UNIQUE_ID IN (13, 9, 7) "
                                "ORDER BY UNIQUE_ID DESC");
    db.reset(); // the recordset keeps what it needs
    EXPECT_NE(rs->recordCount(), 0);
    EXPECT_EQ(rs->fields("tAG"), Value::text("P-20"));
    EXPECT_EQ(rs->fields("SIZE"), Value::real(2.5)); // the long s folds to s
    EXPECT_EQ(rs->fields("unique_id"), Value::integer(13));
    EXPECT_EQ(rs->fields("NOTES"), Value::null());
    EXPECT_EQ(errorOf([&] { rs->fields("Tag "); }), "3265 Item not found in this collection.");
    EXPECT_EQ(rs->fieldPosition("tAG"), 0);
    EXPECT_EQ(rs->fieldPosition("\xC5\xBFIZE"), 1);
    EXPECT_EQ(rs->fieldPosition("Tag "), -1);
    EXPECT_EQ(rs->textAt(0), std::optional<std::string_view>("P-20"));
    EXPECT_EQ(rs->textAt(1), std::nullopt);
    EXPECT_EQ(rs->valueAt(1), Value::real(2.5));
    EXPECT_EQ(rs->valueAt(2), Value::integer(13));
    EXPECT_EQ(rs->valueAt(3), Value::null());
    EXPECT_EQ(rs->textAt(5), std::optional<std::string_view>("ab"));
    EXPECT_EQ(rs->valueAt(5), Value::text("ab"));
    rs->moveNext();
    EXPECT_EQ(rs->fields("Tag"), Value::null());
    rs->moveNext();
    EXPECT_EQ(rs->fields("Tag"), Value::text(""));
    EXPECT_EQ(rs->textAt(0), std::optional<std::string_view>(""));
    rs->moveNext();
    EXPECT_TRUE(rs->isEof());
    for (const auto& call :
         std::vector<std::function<void()>>{[&] { rs->moveNext(); }, [&] { rs->fields("Tag"); },
                                            [&] { rs->textAt(0); }, [&] { rs->valueAt(0); }})
        EXPECT_EQ(errorOf(call), "3021 No current record.");
    rs->close();
    EXPECT_TRUE(rs->isEof());
}

TEST(SqliteEngine, RefusalsSayWhy) {
    PipeFile file;
    const auto db = file.open();
    const auto query = [&](const char* sql) {
        return errorOf([&] { readField(*db, sql, "Tag"); });
    };
    const auto run = [&](const char* sql) { return errorOf([&] { db->execute(sql); }); };
    EXPECT_EQ(query("SELECT * FROM main.Valve"),
              "3078 The database engine cannot find the input table or query 'Valve'. Make sure "
              "it exists and that its name is spelled correctly.");
    EXPECT_EQ(query("SELECT Missing(Tag) FROM Pipe"),
              "3085 Undefined function 'Missing' in expression.");
    EXPECT_EQ(query("SELECT * FROM Pipe WHERE Size = 1"), "3061 Too few parameters. Expected 1.");
    EXPECT_EQ(query("SELECT * FROM Pipe WHERE Tag LIKE 'a' ESCAPE 'b'"),
              "3000 LIKE ... ESCAPE is not part of this SQL dialect");
    EXPECT_EQ(query("SELECT * FROM Pipe WHERE Tag LIKE 'X[2'"),
              "3075 Invalid pattern string 'X[2'.");
    EXPECT_EQ(query("SELECT * FROM Pipe WHERE Tag LIKE NULL"), "accepted");
    EXPECT_EQ(query("DELETE FROM Pipe"), "3219 Invalid operation.");
    EXPECT_EQ(run("SELECT * FROM PIPE"), "3065 Cannot execute a select query.");
    EXPECT_EQ(countRecords(*db), 40u);

    // Another program holding the file.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.path().c_str(), &other), SQLITE_OK);
    exec(other, "BEGIN IMMEDIATE");
    EXPECT_EQ(run("DELETE FROM pipe WHERE DWG_NAME = 'AREA1.dwg'"),
              "3218 Could not update; currently locked.");
    exec(other, "ROLLBACK");
    sqlite3_close(other);
    EXPECT_EQ(run("DELETE FROM pipe WHERE DWG_NAME = 'AREA1.dwg'"), "accepted");
    EXPECT_EQ(countRecords(*db), 28u);

    // A database that may not change, or only lose records.
    const auto memory = SqliteDatabase::openMemory("imported.mdb");
    exec(memory->handle(), "CREATE TABLE Pipe (Tag TEXT); INSERT INTO Pipe VALUES ('T'), ('U')");
    memory->setReadOnly("Not here.");
    EXPECT_EQ(memory->path(), "imported.mdb");
    const std::string refused = "3027 Cannot update. Database or object is read-only. Not here.";
    EXPECT_EQ(errorOf([&] { memory->execute("DELETE FROM Pipe WHERE Tag = 'u'"); }), refused);
    memory->setReadOnly("Not here.", true);
    EXPECT_EQ(errorOf([&] { memory->execute("UPDATE Pipe SET Tag = 'x'"); }), refused);
    EXPECT_EQ(errorOf([&] { memory->execute("  delete FROM Pipe WHERE Tag = 'u'"); }), "accepted");
    EXPECT_EQ(readField(*memory, "SELECT * FROM Pipe", "Tag"), Strings{"T"});
}

TEST(SqliteEngine, TellsOfLongWorkUntilTold) {
    const auto db = SqliteDatabase::openMemory();
    int calls = 0;
    db->setProgress([&calls] { ++calls; });
    exec(db->handle(), "CREATE TABLE n AS WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                       "FROM c WHERE i < 200000) SELECT i FROM c");
    EXPECT_GT(calls, 0);
    const int before = calls;
    db->setProgress({});
    exec(db->handle(), "CREATE TABLE m AS SELECT * FROM n ORDER BY i DESC");
    EXPECT_EQ(calls, before);
}

} // namespace
} // namespace korvalt

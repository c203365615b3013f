#include "database/Database.h"
#include "database/DistinctLists.h"
#include "database/SqliteDatabase.h"
#include "support/EngineCases.h"
#include "support/PipeCsv.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

namespace korvalt {
namespace {

using test_support::errorOf;
using test_support::readField;
using Strings = std::vector<std::string>;

// A fresh SQLite copy of the small fixture in its own folder.
class SqliteEngine : public ::testing::Test {
protected:
    SqliteEngine() {
        const std::string csv = std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv";
        test_support::writePipeSqlite(path, test_support::loadPipeCsv(csv));
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath("pipe.db").toStdString();
};

void exec(sqlite3* db, const std::string& sql) {
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
}

// In every block folded, capital and small letter are one to =, LIKE, DISTINCT and ORDER BY.
TEST_F(SqliteEngine, LettersOfEveryFoldedScriptIgnoreCase) {
    // In the order of their small letters' code points.
    const std::pair<std::string, std::string> pairs[] = {
        {"A", "a"}, {"À", "à"}, {"Þ", "þ"}, {"Ÿ", "ÿ"},  {"Ā", "ā"}, {"Ł", "ł"}, {"Ž", "ž"},
        {"Ǆ", "ǆ"}, {"Ș", "ș"}, {"Ț", "ț"}, {"Ə", "ə"},  {"Ά", "ά"}, {"Α", "α"}, {"Ω", "ω"},
        {"Ϊ", "ϊ"}, {"А", "а"}, {"Я", "я"}, {"Ѐ", "ѐ"},  {"Ѣ", "ѣ"}, {"Ӂ", "ӂ"}, {"Ԯ", "ԯ"},
        {"Ա", "ա"}, {"Ḁ", "ḁ"}, {"Ỹ", "ỹ"}, {"Ａ", "ａ"}};
    const auto db = SqliteDatabase::openMemory();
    std::string sql = "CREATE TABLE Pipe (Tag TEXT, N INTEGER); INSERT INTO Pipe VALUES ('x', 0)";
    Strings capitals{"x"}; // DISTINCT keeps the first of each, the Null-free "x" before them all
    Strings both{"x"};
    for (const auto& [capital, small] : pairs) {
        for (const std::string& letter : {capital, small}) {
            sql += ", ('x" + letter + "', " + std::to_string(both.size()) + ")";
            both.push_back("x" + letter);
        }
        capitals.push_back("x" + capital);
    }
    exec(db->handle(), sql);
    for (const auto& [capital, small] : pairs) {
        const std::string where = "SELECT * FROM Pipe WHERE Tag ";
        for (const std::string& query :
             {where + "= 'X" + small + "'", where + "= 'x" + capital + "'",
              where + "LIKE '?" + small + "'", where + "LIKE 'x[" + capital + "]'"})
            EXPECT_EQ(readField(*db, query + " ORDER BY N", "Tag"),
                      (Strings{"x" + capital, "x" + small}))
                << query;
    }
    EXPECT_EQ(readField(*db, "SELECT DISTINCT Tag FROM Pipe ORDER BY Tag", "Tag"), capitals);
    EXPECT_EQ(readField(*db, "SELECT DISTINCT Tag FROM Pipe WHERE N >= 0 ORDER BY Tag", "Tag"),
              capitals);
    EXPECT_EQ(readField(*db, "SELECT * FROM Pipe ORDER BY Tag, N", "Tag"), both);
}

TEST_F(SqliteEngine, RecordsetsReadForwardOnceByNameOrPosition) {
    auto db = OpenDatabase(path);
    EXPECT_EQ(db->path(), path);
    auto rs = db->openRecordset("SELECT Tag, main_nom AS [\xC5\xBFize], UNIQUE_ID, NOTES, LENGTH, "
                                "CAST('ab' AS BLOB) AS B FROM PIPE WHERE UNIQUE_ID IN (13, 9, 7) "
                                "ORDER BY UNIQUE_ID DESC");
    db.reset(); // the recordset keeps what it needs
    EXPECT_EQ(rs->fields("tAG"), Value::text("P-20"));
    EXPECT_EQ(rs->fields("SIZE"), Value::real(2.5)); // the long s folds to s
    EXPECT_EQ(rs->fields("unique_id"), Value::integer(13));
    EXPECT_EQ(rs->fields("NOTES"), Value::null());
    EXPECT_EQ(errorOf([&] { rs->fields("Tag "); }), "3265 Item not found in this collection.");
    EXPECT_EQ((std::vector{rs->fieldPosition("tAG"), rs->fieldPosition("\xC5\xBFIZE"),
                           rs->fieldPosition("Tag ")}),
              (std::vector{0, 1, -1}));
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

TEST_F(SqliteEngine, AnswersEveryEngineCaseAndSaysWhyItRefuses) {
    const auto db = OpenDatabase(path);
    for (const auto& c : test_support::engineQueryCases())
        test_support::checkEngineCase(*db, c);
    const auto ask = [&](const char* sql) { return errorOf([&] { readField(*db, sql, "Tag"); }); };
    const auto run = [&](const char* sql) { return errorOf([&] { db->execute(sql); }); };
    EXPECT_EQ(ask("SELECT * FROM main.Valve"),
              "3078 The database engine cannot find the input table or query 'Valve'. Make sure "
              "it exists and that its name is spelled correctly.");
    EXPECT_EQ(ask("SELECT Missing(Tag) FROM Pipe"),
              "3085 Undefined function 'Missing' in expression.");
    EXPECT_EQ(ask("SELECT * FROM Pipe WHERE Size = 1"), "3061 Too few parameters. Expected 1.");
    EXPECT_EQ(ask("SELECT * FROM Pipe WHERE Tag LIKE 'a' ESCAPE 'b'"),
              "3000 LIKE ... ESCAPE is not part of this SQL dialect");
    EXPECT_EQ(ask("SELECT * FROM Pipe WHERE Tag LIKE 'X[2'"), "3075 Invalid pattern string 'X[2'.");
    EXPECT_EQ(ask("SELECT * FROM Pipe WHERE Tag LIKE NULL"), "accepted");
    EXPECT_EQ(ask("DELETE FROM Pipe"), "3219 Invalid operation.");
    EXPECT_EQ(run("SELECT * FROM PIPE"), "3065 Cannot execute a select query.");
    const std::string ids = "SELECT * FROM PIPE ORDER BY UNIQUE_ID";
    EXPECT_EQ(readField(*db, ids, "UNIQUE_ID").size(), 40u); // nothing so far changed the data

    // Another program holding the file.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    exec(other, "BEGIN IMMEDIATE");
    EXPECT_EQ(run("DELETE FROM pipe WHERE DWG_NAME = 'AREA1.dwg'"),
              "3218 Could not update; currently locked.");
    exec(other, "ROLLBACK");
    sqlite3_close(other);
    EXPECT_EQ(run("DELETE FROM pipe WHERE DWG_NAME = 'AREA1.dwg'"), "accepted");
    EXPECT_EQ(readField(*db, ids, "UNIQUE_ID").size(), 28u);

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

TEST_F(SqliteEngine, TellsOfLongWorkUntilTold) {
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

// Texts colliding under folding (Latin-1, final sigma, Kelvin sign), no UTF-8, long prefixes.
std::string randomValue(std::mt19937& random) {
    static const char* const pieces[] = {
        "a",      "A",      "k", "K", "\u212A", "\u00e9", "\u00c9",     "\u03c3",
        "\u03a3", "\u03c2", "-", "1", " ",      "\xff",   "LINE-0042-", "line-0042-"};
    if (random() % 23 == 0)
        return "NULL";
    std::string text = "'";
    for (auto length = random() % 6; length > 0; --length)
        text += pieces[random() % std::size(pieces)];
    return text + "'";
}

// The lists' own answer is the engine's over many batches, read afresh after anyone's change.
TEST(DistinctLists, AnswerAsTheEngineDoesAndFollowChanges) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("pipe.db").toStdString();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    exec(other, "CREATE TABLE Pipe (DWG_NAME TEXT, Tag VARCHAR(40), Size REAL)");
    std::mt19937 random(7);
    std::string insert = "BEGIN; INSERT INTO Pipe VALUES ('a.dwg', 'x', 1)";
    for (int i = 0; i < 10000; ++i)
        insert += ", (" + randomValue(random) + ", " + randomValue(random) + ", 1)";
    exec(other, insert + "; COMMIT");

    const auto db = SqliteDatabase::openFile(path);
    DistinctLists lists(db->handle());
    for (const std::string column : {"DWG_NAME", "Tag", "Tag"}) {
        const std::string list = "SELECT DISTINCT " + column + " FROM Pipe ORDER BY " + column;
        EXPECT_NE(lists.answer(list), nullptr);
        const std::string engine = // a condition leaves the statement to the engine
            "SELECT DISTINCT " + column + " FROM Pipe WHERE Size = 1 ORDER BY " + column + " ASC";
        EXPECT_EQ(readField(*db, list + " ASC;", column), readField(*db, engine, column)) << column;
    }
    const std::string names = "select distinct dwg_name from PIPE order by DWG_NAME";
    db->execute("DELETE FROM Pipe WHERE Size = 1");
    exec(other, "INSERT INTO Pipe VALUES ('b.dwg', 't', 2), (NULL, 't', 2), ('B.DWG', 't', 2)");
    sqlite3_close(other);
    EXPECT_EQ(readField(*db, names, "DWG_name"), (Strings{"<Null>", "b.dwg"}));
    db->execute("DELETE FROM Pipe WHERE DWG_NAME IS NULL");
    EXPECT_EQ(readField(*db, names, "DWG_name"), (Strings{"b.dwg"}));
}

// A damaged table or schema gives the engine's error, never a list cut short.
TEST(DistinctLists, DamagedFileGivesTheErrorNotAShortList) {
    QTemporaryDir dir;
    for (const std::streamoff damagedAt : {4096 * 40, 100}) {
        const std::string path = dir.filePath(QString::number(damagedAt)).toStdString();
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
        exec(raw, "PRAGMA page_size = 4096; CREATE TABLE Pipe (Tag TEXT); WITH RECURSIVE c(i) AS "
                  "(SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 3000) INSERT INTO Pipe "
                  "SELECT printf('T-%05d-%s', i, hex(zeroblob(40))) FROM c");
        sqlite3_close(raw);
        std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).seekp(damagedAt)
            << std::string(4000, '\xff');
        const auto db = SqliteDatabase::openFile(path);
        for (const char* sql :
             {"SELECT DISTINCT Tag FROM Pipe ORDER BY Tag", "SELECT * FROM Pipe"}) {
            SCOPED_TRACE(sql + std::string(" damaged at ") + std::to_string(damagedAt));
            std::size_t read = 0;
            EXPECT_EQ(errorOf([&] {
                          for (auto rs = db->openRecordset(sql); !rs->isEof(); rs->moveNext())
                              ++read;
                      }),
                      "3049 Cannot open database '" + path +
                          "'. It may not be a database that your application recognizes, or "
                          "the file may be corrupt.")
                << read << " rows read";
        }
    }
}

TEST(DistinctLists, TakeOnlyTheListStatementOfAPlainTextColumn) {
    const std::pair<std::string, bool> statements[] = {
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
        {"SELECT DISTINCT TAG FROM ORDER ORDER BY TAG", false},
    };
    for (const auto& [sql, taken] : statements)
        EXPECT_EQ(DistinctLists::match(sql).has_value(), taken) << sql;
    const auto request =
        DistinctLists::match("SELECT DISTINCT Line_Num FROM Pipe ORDER BY LINE_NUM")
            .value_or(DistinctLists::Request{});
    EXPECT_EQ(request.column + " " + request.table, "Line_Num Pipe");

    const auto db = SqliteDatabase::openMemory();
    exec(db->handle(), "CREATE TABLE Pipe (DWG_NAME TEXT, Tag CHAR(9), Line_Num CLOB, Size REAL);"
                       "INSERT INTO Pipe VALUES ('a', 't', 'l', 1.5), (X'0102', 'T', NULL, 2)");
    DistinctLists lists(db->handle());
    const auto answered = [&](const std::string& column, const char* table = "Pipe") {
        return lists.answer("SELECT DISTINCT " + column + " FROM " + table + " ORDER BY " +
                            column) != nullptr;
    };
    const auto lines = lists.answer("SELECT DISTINCT Line_Num FROM Pipe ORDER BY Line_Num");
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(lines->valueAt(0), Value::null());
    EXPECT_EQ(errorOf([&] { lines->valueAt(1); }), "3265 Item not found in this collection.");
    // Its rows read like any other recordset's.
    const auto tags = lists.answer("SELECT DISTINCT Tag FROM Pipe ORDER BY Tag");
    ASSERT_NE(tags, nullptr);
    EXPECT_EQ(tags->recordCount(), 1);
    EXPECT_EQ(tags->fieldPosition("TAG"), 0);
    EXPECT_EQ(tags->fields("tag"), Value::text("t"));
    EXPECT_EQ(errorOf([&] { tags->fields("Tags"); }), "3265 Item not found in this collection.");
    tags->moveNext();
    EXPECT_TRUE(tags->isEof());
    EXPECT_EQ(errorOf([&] { tags->textAt(0); }), "3021 No current record.");
    EXPECT_EQ(errorOf([&] { tags->moveNext(); }), "3021 No current record.");
    tags->close();
    EXPECT_EQ(errorOf([&] { tags->moveNext(); }), "3420 Object invalid or no longer set.");
    EXPECT_FALSE(answered("DWG_NAME")); // bytes among the texts
    EXPECT_FALSE(answered("Size"));     // no text column
    EXPECT_FALSE(answered("Nothing"));
    EXPECT_FALSE(answered("Tag", "Nothing"));
    exec(db->handle(), "CREATE VIEW Pipes AS SELECT * FROM Pipe");
    EXPECT_FALSE(answered("Tag", "Pipes"));
    exec(db->handle(), "CREATE INDEX ByTag ON Pipe (Tag)"); // the engine may read the index
    EXPECT_FALSE(answered("Tag"));
}

std::string openFailure(const std::string& path) {
    return errorOf([&] { OpenDatabase(path)->openRecordset("SELECT * FROM Pipe"); });
}

// The kind of a file is told by its content; what cannot be opened says why.
TEST(DatabaseFactory, OpensByContentAndTellsProblemsApart) {
    QTemporaryDir dir;
    const std::string in = dir.path().toStdString() + "/";
    const std::string invalid = "' isn't a valid path. Make sure that the path name is spelled "
                                "correctly and that you are connected to the server on which the "
                                "file resides.";
    const std::string notADatabase = "3343 Unrecognized database format '" + in;
    const struct {
        std::string name;
        std::optional<std::string> content; // none: no such file; "/": a folder
        std::string expected;
    } cases[] = {
        {"missing.mdb", {}, "3024 Could not find file '" + in + "missing.mdb'."},
        {"no-folder/pipe.mdb", {}, "3044 '" + in + "no-folder/pipe.mdb" + invalid},
        {"folder.mdb", "/",
         "3051 The database engine cannot open the file '" + in +
             "folder.mdb'. It is already opened exclusively by another user, or you need "
             "permission to view its data."},
        {"empty.mdb", "", notADatabase + "empty.mdb'."},
        {"short.db", "SQLite format ", notADatabase + "short.db'."},
        {"short.mdb", std::string("\0\1\0\0Standard Jet D", 18), notADatabase + "short.mdb'."},
        {"damaged.db", std::string("SQLite format 3\0", 16) + std::string(4000, 'x'),
         notADatabase + "damaged.db'."},
    };
    for (const auto& c : cases) {
        const std::string path = in + c.name;
        if (c.content == "/")
            std::filesystem::create_directory(path);
        else if (c.content)
            std::ofstream(path, std::ios::binary) << *c.content;
        EXPECT_EQ(openFailure(path), c.expected);
    }
    EXPECT_EQ(openFailure(""), "3044 '" + invalid);
    EXPECT_EQ(openFailure("Unknown"), "3044 'Unknown" + invalid);

    const std::string sqlite = in + "pipe.mdb"; // an SQLite file whatever its name
    test_support::writePipeSqlite(sqlite, {});
    EXPECT_EQ(OpenDatabase(sqlite)->path(), sqlite);
}

} // namespace
} // namespace korvalt

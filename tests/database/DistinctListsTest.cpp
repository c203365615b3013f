#include "database/DistinctLists.h"

#include "database/EngineError.h"
#include "database/SqliteDatabase.h"
#include "support/EngineCases.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace korvalt {
namespace {

using test_support::errorOf;
using test_support::readField;
using Strings = std::vector<std::string>;

void exec(sqlite3* db, const std::string& sql) {
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
}

// Texts that collide under case folding in every way the collation knows
// (ASCII and Latin-1 capitals, final sigma, the Kelvin sign), a byte that
// is not UTF-8, prefixes longer than eight bytes, empty text and Null.
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

// The lists' own answer is the engine's, row for row, over more rows than
// one batch of the scan; and it is read afresh after every change, by this
// connection or by another program.
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
        const Strings expected = readField(
            *db,
            "SELECT DISTINCT " + column + " FROM Pipe WHERE Size = 1 ORDER BY " + column + " ASC",
            column);
        EXPECT_EQ(readField(*db, list + " ASC;", column), expected) << column;
    }
    const std::string names = "select distinct dwg_name from PIPE order by DWG_NAME";
    db->execute("DELETE FROM Pipe WHERE Size = 1");
    exec(other, "INSERT INTO Pipe VALUES ('b.dwg', 't', 2), (NULL, 't', 2), ('B.DWG', 't', 2)");
    sqlite3_close(other);
    EXPECT_EQ(readField(*db, names, "DWG_name"), (Strings{"<Null>", "b.dwg"}));
    db->execute("DELETE FROM Pipe WHERE DWG_NAME IS NULL");
    EXPECT_EQ(readField(*db, names, "DWG_name"), (Strings{"b.dwg"}));
}

// A table that cannot be read to its end, or a schema that cannot be read,
// gives the engine's error, never a list cut short.
TEST(DistinctLists, DamagedFileGivesTheErrorNotAShortList) {
    QTemporaryDir dir;
    for (const std::streamoff damagedAt : {4096 * 40, 100}) {
        const std::string path = dir.filePath("pipe.db").toStdString();
        std::filesystem::remove(path);
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
        DistinctLists::match("SELECT DISTINCT Line_Num FROM Pipe ORDER BY LINE_NUM");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->column + " " + request->table, "Line_Num Pipe");

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

} // namespace
} // namespace korvalt

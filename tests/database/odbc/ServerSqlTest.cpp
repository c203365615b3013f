#include "database/PipeSchema.h"
#include "database/SqliteDatabase.h"
#include "database/odbc/ServerSql.h"
#include "support/EngineCases.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace korvalt {
namespace {

constexpr ServerDialect kPg = ServerDialect::PostgreSql;
constexpr ServerDialect kMs = ServerDialect::SqlServer;
using test_support::errorOf;

// The Pipe table as a server may spell it, and a second table whose name needs quoting
// and whose Tag is a number.
ServerSchema pipeSchema() {
    ServerTable pipe{"Pipe", {}};
    for (const char* name : {"DWG_NAME", "LONG_DESC", "Line_Num", "Spec_File", "ALPHA_SIZE", "Tag",
                             "SHORT_DESC", "NOTES"})
        pipe.columns.push_back({name, true});
    for (const char* name : {"main_nom", "LENGTH", "UNIQUE_ID"})
        pipe.columns.push_back({name, false});
    return {{pipe, {"Other \"x\"", {{"Val", true}, {"N", false}, {"Tag", false}}}}};
}

// `sql` with each {x} as the case-folded key of x on the dialect's server.
std::string keyed(const std::string& sql, ServerDialect dialect) {
    const bool pg = dialect == kPg;
    const std::string open = pg ? "translate(lower(" : "(LOWER(";
    const std::string close =
        pg ? " COLLATE \"und-x-icu\"), 'µͅςϐϑϕϖϰϱϵẛ', 'μισβθφπκρεṡ') COLLATE \"C\""
           : ") + NCHAR(1)) COLLATE Latin1_General_100_BIN2";
    std::string out;
    for (const char c : sql)
        out += c == '{' ? open : c == '}' ? close : std::string(1, c);
    return out;
}

TEST(ServerSql, TranslationKeepsTheFileEngineMeaning) {
    const std::string all = "SELECT * FROM PIPE WHERE ";
    const std::string allPg = R"(SELECT * FROM "Pipe" WHERE )";
    const struct {
        ServerDialect dialect;
        std::string jet;
        std::string server; // {x}: the key x compares by
    } cases[] = {
        // The statements the program sends; names as the server spells them.
        {kPg, "SELECT * FROM PIPE ORDER BY Dwg_name ASC, alpha_size",
         R"(SELECT * FROM "Pipe" ORDER BY {"DWG_NAME"} ASC NULLS FIRST, {"ALPHA_SIZE"} )"
         "NULLS FIRST"},
        {kPg, all + "SPEC_FILE = 'CS150' AND ALPHA_SIZE <> '4'",
         allPg + R"({"Spec_File"} = {'CS150'} AND {"ALPHA_SIZE"} <> {'4'})"},
        {kPg, "SELECT DISTINCT LINE_NUM FROM Pipe WHERE SPEC_FILE = 'SS300' ORDER BY LINE_NUM",
         R"(SELECT min("Line_Num") AS "Line_Num" FROM "Pipe" WHERE {"Spec_File"} = {'SS300'} )"
         R"(GROUP BY {"Line_Num"} ORDER BY {"Line_Num"} NULLS FIRST)"},
        {kPg, R"(DELETE FROM pipe WHERE DWG_NAME = "O'Neil ""north"".dwg")",
         R"(DELETE FROM "Pipe" WHERE {"DWG_NAME"} = {'O''Neil "north".dwg'})"},
        // Backslashes are plain characters; % _ and \ mean themselves in LIKE.
        {kPg, all + R"(Tag = 'a\b' AND Tag LIKE '1%_\?*' AND Tag NOT LIKE '*5')",
         allPg + R"({"Tag"} = {'a\b'} AND {"Tag"} LIKE {'1\%\_\\_%'} AND {"Tag"} NOT LIKE {'%5'})"},
        // # and classes: an anchored regular expression, members as code points, either case.
        {kPg, all + "Tag LIKE 'P.#(+)?**$' OR Tag NOT LIKE '[!a-c]x[[][*]['']a[]b[!]'",
         allPg + R"({"Tag"} ~ {'^P\.[0-9]\(\+\)..*\$$'} OR {"Tag"} !~ )"
                 R"({'^[^\x61-\x63]x[\x5b][\x2a][\x27]ab[\x21]$'})"},
        {kPg, all + "Tag LIKE '[A-CÜa-b]' OR Tag LIKE '[Z-a]'",
         allPg + R"({"Tag"} ~ {'^[\x41-\x43\x61-\x63\xdc\xfc]$'} OR {"Tag"} ~ {'^[\x5a-\x61]$'})"},
        // Numbers compare as numbers, a number against a text column as text.
        {kPg, all + "UNIQUE_ID > 35 AND main_nom <= -2.5 AND Tag Is Not Null ORDER BY 1 DESC",
         allPg + R"("UNIQUE_ID" > 35 AND "main_nom" <= - 2.5 AND "Tag" Is Not Null )"
                 "ORDER BY 1 DESC NULLS LAST"},
        {kPg, all + "UNIQUE_ID = '40000' OR Tag >= 5 OR -5 < Tag OR Tag = Null",
         allPg +
             R"("UNIQUE_ID" = '40000' OR {"Tag"} >= {'5'} OR {'-5'} < {"Tag"} OR "Tag" = Null)"},
        {kPg, all + "UNIQUE_ID LIKE '4*' AND (Tag & 'x' LIKE 'a?')",
         allPg + R"({CAST("UNIQUE_ID" AS text)} LIKE {'4%'} AND ({("Tag" || 'x')} LIKE {'a_'}))"},
        {kPg, R"(DELETE p.* FROM Pipe AS p WHERE Tag & 'x' = "ab" OR (p.tag = [NOTES]))",
         R"(DELETE FROM "Pipe" AS "p" WHERE {("Tag" || 'x')} = {'ab'} )"
         R"(OR ({"p"."Tag"} = {"NOTES"}))"},
        {kPg,
         R"(SELECT [val], n FROM [other "x"] WHERE Val IN (SELECT Tag FROM Pipe WHERE )"
         R"(Pipe.Tag = 'q') ORDER BY [Other "x"].val DESC)",
         R"(SELECT "Val", "N" FROM "Other ""x""" WHERE "Val" IN (SELECT "Tag" FROM "Pipe" WHERE )"
         R"({"Pipe"."Tag"} = {'q'}) ORDER BY {"Other ""x"""."Val"} DESC NULLS LAST)"},
        // = assigns in SET; a table name before (.
        {kPg, "UPDATE pipe SET tag = 'Q', notes = tag WHERE tag = 'n'",
         R"(UPDATE "Pipe" SET "Tag" = 'Q', "NOTES" = "Tag" WHERE {"Tag"} = {'n'})"},
        {kPg, "INSERT INTO pipe (tag, unique_id) VALUES ('x', 9)",
         R"(INSERT INTO "Pipe" ("Tag", "UNIQUE_ID") VALUES ('x', 9))"},
        // DISTINCT of several columns; of anything else it stays the server's.
        {kPg, "SELECT DISTINCT Tag, unique_id, Pipe.Notes FROM Pipe ORDER BY Tag DESC, UNIQUE_ID",
         R"(SELECT min("Tag") AS "Tag", "UNIQUE_ID", min("Pipe"."NOTES") AS "NOTES" FROM "Pipe" )"
         R"(GROUP BY {"Tag"}, "UNIQUE_ID", {"Pipe"."NOTES"} ORDER BY {"Tag"} DESC NULLS LAST, )"
         R"("UNIQUE_ID" NULLS FIRST)"},
        {kPg, "SELECT DISTINCT Tag FROM Pipe UNION SELECT Tag FROM Pipe",
         R"(SELECT DISTINCT "Tag" FROM "Pipe" UNION SELECT "Tag" FROM "Pipe")"},
        {kPg, "SELECT DISTINCT * FROM Pipe", R"(SELECT DISTINCT * FROM "Pipe")"},
        {kPg, "SELECT Tag FROM Pipe GROUP BY Tag", R"(SELECT "Tag" FROM "Pipe" GROUP BY "Tag")"},
        {kPg, "SELECT DISTINCT Tag & 'x' FROM Pipe", R"(SELECT DISTINCT "Tag" || 'x' FROM "Pipe")"},
        {kPg, "SELECT DISTINCTROW Tag FROM Pipe WHERE Tag IN (SELECT DISTINCTROW Tag FROM Pipe);",
         R"(SELECT "Tag" FROM "Pipe" WHERE "Tag" IN (SELECT DISTINCTROW "Tag" FROM "Pipe"))"},
        {kMs, "SELECT DISTINCT DWG_NAME FROM PIPE WHERE UNIQUE_ID LIKE '4*' ORDER BY DWG_NAME DESC",
         "SELECT MIN([DWG_NAME]) AS [DWG_NAME] FROM [Pipe] "
         R"(WHERE {CAST([UNIQUE_ID] AS nvarchar(max))} LIKE N'4%' + NCHAR(1) ESCAPE N'\' )"
         "GROUP BY {[DWG_NAME]} ORDER BY {[DWG_NAME]} DESC"},
        {kMs, R"(DELETE FROM pipe WHERE DWG_NAME = "O'Neil" & Tag)",
         "DELETE FROM [Pipe] WHERE {[DWG_NAME]} = {(N'O''Neil' + [Tag])}"},
        {kMs, R"(SELECT * FROM [Other "x"] WHERE Val NOT LIKE 'Ü%_[!A-B]#*?[%-^]')",
         R"(SELECT * FROM [Other "x"] WHERE {[Val]} NOT LIKE N'ü\%\_[^A-Ba-b][0-9]%_[\%-\^]')"
         R"( + NCHAR(1) ESCAPE N'\')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.jet);
        EXPECT_EQ(ServerSql::translate(c.jet, pipeSchema(), c.dialect), keyed(c.server, c.dialect));
    }
}

// Refused as the SQLite back end refuses (a record there, so patterns are read); a pattern is text.
TEST(ServerSql, RefusesWhatTheFileEngineRefuses) {
    auto sqlite = SqliteDatabase::openMemory();
    ASSERT_EQ(
        sqlite3_exec(sqlite->handle(), pipe_schema::kCreatePipeTable, nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite->execute("INSERT INTO Pipe (Tag) VALUES ('P-1')");
    for (const char* sql :
         {"SELECT * FROM PIPE WHERE Tag LIKE 'O'BRIEN-1*'", "SELECT * FROM PIPE WHERE Tag = 'open",
          "SELECT * FROM PIPE WHERE Tag LIKE '[b-a]'", "SELECT * FROM PIPE WHERE",
          "SELECT * FROM Valve", "SELECT DISTINCT DWG_NAME FROM Pipes ORDER BY DWG_NAME",
          "SELECT * FROM PIPE WHERE NoSuchColumn = 'x'", "SELECT * FROM PIPE; DELETE FROM PIPE",
          "SELECT * FROM PIPE ORDER BY", "SELECT FROM PIPE", "SELECT * FROM WHERE Tag = 'x'",
          "SELECT * FROM [PIPE WHERE Tag = 'x'", "PRAGMA table_info(Pipe)"}) {
        SCOPED_TRACE(sql);
        const std::string expected = errorOf([&] { sqlite->openRecordset(sql); });
        ASSERT_NE(expected, "accepted");
        for (const ServerDialect dialect : {kPg, kMs})
            EXPECT_EQ(errorOf([&] { ServerSql::translate(sql, pipeSchema(), dialect); }), expected);
    }
    EXPECT_EQ(errorOf([] {
                  ServerSql::translate("SELECT * FROM Pipe WHERE Tag LIKE Spec_File", pipeSchema(),
                                       kPg);
              }),
              "3251 Operation is not supported for this type of object: LIKE with a pattern that "
              "is not a text.");
}

} // namespace
} // namespace korvalt

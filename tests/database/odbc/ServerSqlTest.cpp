#include "database/EngineError.h"
#include "database/PipeSchema.h"
#include "database/SqliteDatabase.h"
#include "database/odbc/ServerSql.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace korvalt {
namespace {

constexpr ServerDialect kPg = ServerDialect::PostgreSql;
constexpr ServerDialect kMs = ServerDialect::SqlServer;

// The Pipe table as a server may spell it, with a column of its own, and a
// second table whose name needs quoting.
ServerSchema pipeSchema() {
    ServerTable pipe{"Pipe", {}};
    for (const char* name : {"DWG_NAME", "LONG_DESC", "Line_Num", "Spec_File", "ALPHA_SIZE", "Tag",
                             "SHORT_DESC", "NOTES"})
        pipe.columns.push_back({name, true});
    for (const char* name : {"main_nom", "LENGTH", "UNIQUE_ID"})
        pipe.columns.push_back({name, false});
    return {{pipe, {"Other \"x\"", {{"Val", true}, {"N", false}}}}};
}

// The case-folded key of an expression on PostgreSQL and on SQL Server.
std::string pg(const std::string& expression) {
    return "translate(lower(" + expression +
           " COLLATE \"und-x-icu\"), 'µͅςϐϑϕϖϰϱϵẛ', 'μισβθφπκρεṡ') COLLATE \"C\"";
}
std::string ms(const std::string& expression) {
    return "(LOWER(" + expression + ") + NCHAR(1)) COLLATE Latin1_General_100_BIN2";
}

TEST(ServerSql, TranslationKeepsTheFileEngineMeaning) {
    const std::string all = "SELECT * FROM PIPE WHERE ";
    const std::string allPg = "SELECT * FROM \"Pipe\" WHERE ";
    const std::string tagPg = pg("\"Tag\"");
    const struct {
        ServerDialect dialect;
        std::string jet;
        std::string server;
    } cases[] = {
        // The statements the program sends; names as the server spells them.
        {kPg, "SELECT * FROM PIPE ORDER BY Dwg_name ASC, alpha_size",
         "SELECT * FROM \"Pipe\" ORDER BY " + pg("\"DWG_NAME\"") + " ASC NULLS FIRST, " +
             pg("\"ALPHA_SIZE\"") + " NULLS FIRST"},
        {kPg, all + "SPEC_FILE = 'CS150' AND ALPHA_SIZE <> '4'",
         allPg + pg("\"Spec_File\"") + " = " + pg("'CS150'") + " AND " + pg("\"ALPHA_SIZE\"") +
             " <> " + pg("'4'")},
        {kPg, "SELECT DISTINCT LINE_NUM FROM Pipe WHERE SPEC_FILE = 'SS300' ORDER BY LINE_NUM",
         "SELECT min(\"Line_Num\") AS \"Line_Num\" FROM \"Pipe\" WHERE " + pg("\"Spec_File\"") +
             " = " + pg("'SS300'") + " GROUP BY " + pg("\"Line_Num\"") + " ORDER BY " +
             pg("\"Line_Num\"") + " NULLS FIRST"},
        {kPg, "DELETE FROM pipe WHERE DWG_NAME = \"O'Neil \"\"north\"\".dwg\"",
         "DELETE FROM \"Pipe\" WHERE " + pg("\"DWG_NAME\"") + " = " +
             pg("'O''Neil \"north\".dwg'")},
        // Backslashes are plain characters; % _ and \ mean themselves in LIKE.
        {kPg, all + "Tag = 'a\\b' AND Tag LIKE '1%_\\?*' AND Tag NOT LIKE '*5'",
         allPg + tagPg + " = " + pg("'a\\b'") + " AND " + tagPg + " LIKE " + pg("'1\\%\\_\\\\_%'") +
             " AND " + tagPg + " NOT LIKE " + pg("'%5'")},
        // # and classes: an anchored regular expression, class members as code
        // points, capitals with their small letters.
        {kPg, all + "Tag LIKE 'P.#(+)?**$' OR Tag NOT LIKE '[!a-c]x[[][*]['']a[]b[!]'",
         allPg + tagPg + " ~ " + pg("'^P\\.[0-9]\\(\\+\\)..*\\$$'") + " OR " + tagPg + " !~ " +
             pg("'^[^\\x61-\\x63]x[\\x5b][\\x2a][\\x27]ab[\\x21]$'")},
        {kPg, all + "Tag LIKE '[A-CÜa-b]' OR Tag LIKE '[Z-a]'",
         allPg + tagPg + " ~ " + pg("'^[\\x41-\\x43\\x61-\\x63\\xdc\\xfc]$'") + " OR " + tagPg +
             " ~ " + pg("'^[\\x5a-\\x61]$'")},
        // Numbers compare as numbers, a number against a text column as text.
        {kPg, all + "UNIQUE_ID > 35 AND main_nom <= -2.5 AND Tag Is Not Null ORDER BY 1 DESC",
         allPg + "\"UNIQUE_ID\" > 35 AND \"main_nom\" <= - 2.5 AND \"Tag\" Is Not Null ORDER BY 1 "
                 "DESC NULLS LAST"},
        {kPg, all + "UNIQUE_ID = '40000' OR Tag >= 5 OR -5 < Tag OR Tag = Null",
         allPg + "\"UNIQUE_ID\" = '40000' OR " + tagPg + " >= " + pg("'5'") + " OR " + pg("'-5'") +
             " < " + tagPg + " OR \"Tag\" = Null"},
        {kPg, all + "UNIQUE_ID LIKE '4*' AND (Tag & 'x' LIKE 'a?')",
         allPg + pg("CAST(\"UNIQUE_ID\" AS text)") + " LIKE " + pg("'4%'") + " AND (" +
             pg("(\"Tag\" || 'x')") + " LIKE " + pg("'a_'") + ")"},
        {kPg, "DELETE p.* FROM Pipe AS p WHERE Tag & 'x' = \"ab\" OR (p.tag = [NOTES])",
         "DELETE FROM \"Pipe\" AS \"p\" WHERE " + pg("(\"Tag\" || 'x')") + " = " + pg("'ab'") +
             " OR (" + pg("\"p\".\"Tag\"") + " = " + pg("\"NOTES\"") + ")"},
        {kPg,
         "SELECT [val], n FROM [other \"x\"] WHERE Val IN (SELECT Tag FROM Pipe WHERE "
         "Pipe.Tag = 'q') ORDER BY [Other \"x\"].val DESC",
         "SELECT \"Val\", \"N\" FROM \"Other \"\"x\"\"\" WHERE \"Val\" IN (SELECT \"Tag\" FROM "
         "\"Pipe\" WHERE " +
             pg("\"Pipe\".\"Tag\"") + " = " + pg("'q'") + ") ORDER BY " +
             pg("\"Other \"\"x\"\"\".\"Val\"") + " DESC NULLS LAST"},
        // = assigns in SET; a table name before (.
        {kPg, "UPDATE pipe SET tag = 'Q', notes = tag WHERE tag = 'n'",
         "UPDATE \"Pipe\" SET \"Tag\" = 'Q', \"NOTES\" = \"Tag\" WHERE " + tagPg + " = " +
             pg("'n'")},
        {kPg, "INSERT INTO pipe (tag, unique_id) VALUES ('x', 9)",
         "INSERT INTO \"Pipe\" (\"Tag\", \"UNIQUE_ID\") VALUES ('x', 9)"},
        // DISTINCT of several columns; of anything else it stays the server's.
        {kPg, "SELECT DISTINCT Tag, unique_id, Pipe.Notes FROM Pipe ORDER BY Tag DESC, UNIQUE_ID",
         "SELECT min(\"Tag\") AS \"Tag\", \"UNIQUE_ID\", min(\"Pipe\".\"NOTES\") AS \"NOTES\" FROM "
         "\"Pipe\" GROUP BY " +
             tagPg + ", \"UNIQUE_ID\", " + pg("\"Pipe\".\"NOTES\"") + " ORDER BY " + tagPg +
             " DESC NULLS LAST, \"UNIQUE_ID\" NULLS FIRST"},
        {kPg, "SELECT DISTINCT Tag FROM Pipe UNION SELECT Tag FROM Pipe",
         "SELECT DISTINCT \"Tag\" FROM \"Pipe\" UNION SELECT \"Tag\" FROM \"Pipe\""},
        {kPg, "SELECT DISTINCT * FROM Pipe", "SELECT DISTINCT * FROM \"Pipe\""},
        {kPg, "SELECT Tag FROM Pipe GROUP BY Tag", "SELECT \"Tag\" FROM \"Pipe\" GROUP BY \"Tag\""},
        {kPg, "SELECT DISTINCT Tag & 'x' FROM Pipe",
         "SELECT DISTINCT \"Tag\" || 'x' FROM \"Pipe\""},
        {kPg, "SELECT DISTINCTROW Tag FROM Pipe WHERE Tag IN (SELECT DISTINCTROW Tag FROM Pipe);",
         "SELECT \"Tag\" FROM \"Pipe\" WHERE \"Tag\" IN (SELECT DISTINCTROW \"Tag\" FROM "
         "\"Pipe\")"},
        {kMs, "SELECT DISTINCT DWG_NAME FROM PIPE WHERE UNIQUE_ID LIKE '4*' ORDER BY DWG_NAME DESC",
         "SELECT MIN([DWG_NAME]) AS [DWG_NAME] FROM [Pipe] WHERE " +
             ms("CAST([UNIQUE_ID] AS nvarchar(max))") +
             " LIKE N'4%' + NCHAR(1) ESCAPE N'\\' "
             "GROUP BY " +
             ms("[DWG_NAME]") + " ORDER BY " + ms("[DWG_NAME]") + " DESC"},
        {kMs, "DELETE FROM pipe WHERE DWG_NAME = \"O'Neil\" & Tag",
         "DELETE FROM [Pipe] WHERE " + ms("[DWG_NAME]") + " = " + ms("(N'O''Neil' + [Tag])")},
        {kMs, "SELECT * FROM [Other \"x\"] WHERE Val NOT LIKE 'Ü%_[!A-B]#*?[%-^]'",
         "SELECT * FROM [Other \"x\"] WHERE " + ms("[Val]") +
             " NOT LIKE N'ü\\%\\_[^A-Ba-b][0-9]%_[\\%-\\^]' + NCHAR(1) ESCAPE N'\\'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.jet);
        EXPECT_EQ(ServerSql::translate(c.jet, pipeSchema(), c.dialect), c.server);
    }
}

// What the file engine refuses fails with the SQLite back end's number and
// words (a record there, so that the pattern is read); a pattern is a text.
TEST(ServerSql, RefusesWhatTheFileEngineRefuses) {
    const auto failure = [](const auto& call) -> std::pair<int, std::string> {
        try {
            call();
        } catch (const EngineError& e) {
            return {e.number(), e.description()};
        }
        return {0, ""};
    };
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
        const auto expected = failure([&] { sqlite->openRecordset(sql); });
        ASSERT_NE(expected.first, 0) << "the SQLite back end accepts it";
        for (const ServerDialect dialect : {kPg, kMs})
            EXPECT_EQ(failure([&] { ServerSql::translate(sql, pipeSchema(), dialect); }), expected);
    }
    EXPECT_EQ(failure([] {
                  ServerSql::translate("SELECT * FROM Pipe WHERE Tag LIKE Spec_File", pipeSchema(),
                                       kPg);
              }),
              std::pair(engine_errors::kNotSupported,
                        std::string("Operation is not supported for this type of object: LIKE "
                                    "with a pattern that is not a text.")));
}

} // namespace
} // namespace korvalt

#include "database/EngineError.h"
#include "database/PipeSchema.h"
#include "database/SqliteDatabase.h"
#include "database/odbc/ServerSql.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <ostream>
#include <string>

namespace korvalt {
namespace {

// The Pipe table as a server may spell it, with a column of its own, and a
// second table whose name needs quoting.
ServerSchema pipeSchema() {
    ServerSchema schema;
    ServerTable pipe{"Pipe", {}};
    for (const char* name : {"DWG_NAME", "LONG_DESC", "Line_Num", "Spec_File", "DB_CODE",
                             "ALPHA_SIZE", "Tag", "SHORT_DESC", "NOTES"}) {
        pipe.columns.push_back({name, true});
    }
    for (const char* name : {"main_nom", "red_nom", "LENGTH", "UNIQUE_ID"}) {
        pipe.columns.push_back({name, false});
    }
    schema.tables.push_back(pipe);
    schema.tables.push_back({"Other \"x\"", {{"Val", true}}});
    return schema;
}

// The case-folded key of an expression on PostgreSQL, as the translation
// writes it.
std::string pg(const std::string& expression) {
    return "translate(lower(" + expression +
           " COLLATE \"und-x-icu\"), '\xC2\xB5\xCD\x85\xCF\x82\xCF\x90\xCF\x91\xCF\x95\xCF\x96"
           "\xCF\xB0\xCF\xB1\xCF\xB5\xE1\xBA\x9B', '\xCE\xBC\xCE\xB9\xCF\x83\xCE\xB2\xCE\xB8\xCF"
           "\x86\xCF\x80\xCE\xBA\xCF\x81\xCE\xB5\xE1\xB9\xA1') COLLATE \"C\"";
}

struct Translation {
    ServerDialect dialect;
    std::string jet;
    std::string server;
};

void PrintTo(const Translation& t, std::ostream* os) {
    *os << t.jet;
}

class ServerSqlTranslation : public ::testing::TestWithParam<Translation> {};

TEST_P(ServerSqlTranslation, KeepsTheFileEngineMeaning) {
    EXPECT_EQ(ServerSql::translate(GetParam().jet, pipeSchema(), GetParam().dialect),
              GetParam().server);
}

constexpr ServerDialect kPg = ServerDialect::PostgreSql;
constexpr ServerDialect kMs = ServerDialect::SqlServer;
const std::string kAll = "SELECT * FROM PIPE WHERE ";
const std::string kAllPg = "SELECT * FROM \"Pipe\" WHERE ";

const Translation kTranslations[] = {
    // The statements the program sends; names as the server spells them.
    {kPg, "SELECT * FROM PIPE ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC",
     "SELECT * FROM \"Pipe\" ORDER BY " + pg("\"DWG_NAME\"") + " ASC NULLS FIRST, " +
         pg("\"LONG_DESC\"") + " ASC NULLS FIRST, " + pg("\"ALPHA_SIZE\"") + " ASC NULLS FIRST"},
    {kPg, kAll + "SPEC_FILE = 'CS150' AND ALPHA_SIZE = '4'",
     kAllPg + pg("\"Spec_File\"") + " = " + pg("'CS150'") + " AND " + pg("\"ALPHA_SIZE\"") + " = " +
         pg("'4'")},
    {kPg, "SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC",
     "SELECT min(\"DWG_NAME\") AS \"DWG_NAME\" FROM \"Pipe\" GROUP BY " + pg("\"DWG_NAME\"") +
         " ORDER BY " + pg("\"DWG_NAME\"") + " ASC NULLS FIRST"},
    {kPg, "SELECT DISTINCT LINE_NUM FROM Pipe WHERE SPEC_FILE = 'SS300'",
     "SELECT min(\"Line_Num\") AS \"Line_Num\" FROM \"Pipe\" WHERE " + pg("\"Spec_File\"") + " = " +
         pg("'SS300'") + " GROUP BY " + pg("\"Line_Num\"")},
    {kPg, kAll + "Tag LIKE 'P-1*'", kAllPg + pg("\"Tag\"") + " LIKE " + pg("'P-1%'")},
    {kPg, "DELETE FROM pipe WHERE DWG_NAME = \"O'Neil \"\"north\"\".dwg\"",
     "DELETE FROM \"Pipe\" WHERE " + pg("\"DWG_NAME\"") + " = " + pg("'O''Neil \"north\".dwg'")},
    // Literals: backslashes are plain characters; non-ASCII text as it is.
    {kPg, kAll + "Tag = 'a\\b' AND LONG_DESC = 'ø50 RÜCK'",
     kAllPg + pg("\"Tag\"") + " = " + pg("'a\\b'") + " AND " + pg("\"LONG_DESC\"") + " = " +
         pg("'ø50 RÜCK'")},
    // LIKE: % _ and \ of the user's text mean themselves.
    {kPg, kAll + "Tag LIKE '100%_\\?*'",
     kAllPg + pg("\"Tag\"") + " LIKE " + pg("'100\\%\\_\\\\_%'")},
    {kPg, kAll + "Tag NOT LIKE '*50%'", kAllPg + pg("\"Tag\"") + " NOT LIKE " + pg("'%50\\%'")},
    // # and classes go to an anchored regular expression, its own special
    // characters escaped, class members as code points.
    {kPg, kAll + "Tag LIKE 'P.#(+)?*$'",
     kAllPg + pg("\"Tag\"") + " ~ " + pg("'^P\\.[0-9]\\(\\+\\)..*\\$$'")},
    {kPg, kAll + "Tag NOT LIKE '[!a-c]x[[][*]['']'",
     kAllPg + pg("\"Tag\"") + " !~ " + pg("'^[^\\x61-\\x63]x[\\x5b][\\x2a][\\x27]$'")},
    // A class of capitals also holds their small letters (the text is folded).
    {kPg, kAll + "Tag LIKE '[A-CÜ]'",
     kAllPg + pg("\"Tag\"") + " ~ " + pg("'^[\\x41-\\x43\\x61-\\x63\\xdc\\xfc]$'")},
    {kPg, kAll + "Tag LIKE 'a[]b[!]'", kAllPg + pg("\"Tag\"") + " ~ " + pg("'^ab[\\x21]$'")},
    // Numbers compare as numbers; Null tests and the order of Null.
    {kPg, kAll + "UNIQUE_ID > 35 AND main_nom = -2.5 AND Tag Is Not Null ORDER BY UNIQUE_ID DESC",
     kAllPg + "\"UNIQUE_ID\" > 35 AND \"main_nom\" = - 2.5 AND \"Tag\" Is Not Null ORDER BY "
              "\"UNIQUE_ID\" DESC NULLS LAST"},
    // A number column against text compares numbers; a text column against a
    // number compares text, as SQLite does.
    {kPg, kAll + "UNIQUE_ID = '40000'", kAllPg + "\"UNIQUE_ID\" = '40000'"},
    {kPg, kAll + "Tag = 5", kAllPg + pg("\"Tag\"") + " = " + pg("'5'")},
    // A number column tested by a pattern is tested as text.
    {kPg, kAll + "UNIQUE_ID LIKE '4*'",
     kAllPg + pg("CAST(\"UNIQUE_ID\" AS text)") + " LIKE " + pg("'4%'")},
    {kPg, "DELETE p.* FROM Pipe AS p WHERE Tag & 'x' = \"ab\" OR (p.tag = [NOTES])",
     "DELETE FROM \"Pipe\" AS \"p\" WHERE " + pg("(\"Tag\" || 'x')") + " = " + pg("'ab'") +
         " OR (" + pg("\"p\".\"Tag\"") + " = " + pg("\"NOTES\"") + ")"},
    {kPg, "SELECT [val] FROM [other \"x\"] ORDER BY 1",
     "SELECT \"Val\" FROM \"Other \"\"x\"\"\" ORDER BY 1 NULLS FIRST"},
    // The other statement kinds: = assigns in SET, a table name before (.
    {kPg, "UPDATE pipe SET tag = 'Q' WHERE tag = 'n'",
     "UPDATE \"Pipe\" SET \"Tag\" = 'Q' WHERE " + pg("\"Tag\"") + " = " + pg("'n'")},
    {kPg, "INSERT INTO pipe (tag, unique_id) VALUES ('x', 9)",
     "INSERT INTO \"Pipe\" (\"Tag\", \"UNIQUE_ID\") VALUES ('x', 9)"},
    // DISTINCT of several columns; of anything else it stays the server's.
    {kPg, "SELECT DISTINCT Tag, unique_id FROM Pipe ORDER BY Tag DESC, UNIQUE_ID",
     "SELECT min(\"Tag\") AS \"Tag\", \"UNIQUE_ID\" FROM \"Pipe\" GROUP BY " + pg("\"Tag\"") +
         ", \"UNIQUE_ID\" ORDER BY " + pg("\"Tag\"") +
         " DESC NULLS LAST, \"UNIQUE_ID\" NULLS "
         "FIRST"},
    {kPg, "SELECT DISTINCT * FROM Pipe", "SELECT DISTINCT * FROM \"Pipe\""},
    {kPg, "SELECT DISTINCTROW Tag FROM Pipe;", "SELECT \"Tag\" FROM \"Pipe\""},
    // SQL Server.
    {kMs, "SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC",
     "SELECT MIN([DWG_NAME]) AS [DWG_NAME] FROM [Pipe] GROUP BY (LOWER([DWG_NAME]) + NCHAR(1)) "
     "COLLATE Latin1_General_100_BIN2 ORDER BY (LOWER([DWG_NAME]) + NCHAR(1)) COLLATE "
     "Latin1_General_100_BIN2 ASC"},
    {kMs, "DELETE FROM pipe WHERE DWG_NAME = \"O'Neil\"",
     "DELETE FROM [Pipe] WHERE (LOWER([DWG_NAME]) + NCHAR(1)) COLLATE Latin1_General_100_BIN2 = "
     "(LOWER(N'O''Neil') + NCHAR(1)) COLLATE Latin1_General_100_BIN2"},
    {kMs, "SELECT * FROM [Other \"x\"] WHERE Val LIKE 'Ü%_[!A-B]#*'",
     "SELECT * FROM [Other \"x\"] WHERE (LOWER([Val]) + NCHAR(1)) COLLATE Latin1_General_100_BIN2 "
     "LIKE N'ü\\%\\_[^A-Ba-b][0-9]%' + NCHAR(1) ESCAPE N'\\'"},
};
INSTANTIATE_TEST_SUITE_P(Statements, ServerSqlTranslation, ::testing::ValuesIn(kTranslations));

// Statements the file engine refuses fail with the numbers and words the
// SQLite back end gives for the same text (on a table holding a record, so
// that the pattern is read there too).
class ServerSqlRefusal : public ::testing::TestWithParam<std::string> {};

TEST_P(ServerSqlRefusal, GivesTheFileEngineError) {
    auto sqlite = SqliteDatabase::openMemory();
    ASSERT_EQ(
        sqlite3_exec(sqlite->handle(), pipe_schema::kCreatePipeTable, nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite->execute("INSERT INTO Pipe (Tag) VALUES ('P-1')");
    int sqliteNumber = 0;
    std::string sqliteText;
    try {
        sqlite->openRecordset(GetParam());
    } catch (const EngineError& e) {
        sqliteNumber = e.number();
        sqliteText = e.description();
    }
    ASSERT_NE(sqliteNumber, 0) << "the SQLite back end accepts it";
    for (const ServerDialect dialect : {kPg, kMs}) {
        try {
            ServerSql::translate(GetParam(), pipeSchema(), dialect);
            ADD_FAILURE() << "accepted";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), sqliteNumber);
            EXPECT_EQ(e.description(), sqliteText);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Statements, ServerSqlRefusal,
    ::testing::Values("SELECT * FROM PIPE WHERE Tag LIKE 'O'BRIEN-1*'",        // 3075
                      "SELECT * FROM PIPE WHERE Tag = 'open",                  // 3075
                      "SELECT * FROM PIPE WHERE Tag LIKE 'X[2'",               // 3075
                      "SELECT * FROM PIPE WHERE Tag LIKE '[b-a]'",             // 3075
                      "SELECT * FROM PIPE WHERE",                              // 3075
                      "SELECT * FROM Valve",                                   // 3078
                      "SELECT DISTINCT DWG_NAME FROM Pipes ORDER BY DWG_NAME", // 3078
                      "SELECT * FROM PIPE WHERE NoSuchColumn = 'x'",           // 3061
                      "SELECT * FROM PIPE; DELETE FROM PIPE",                  // 3142
                      "SELECT * FROM PIPE ORDER BY",                           // 3138
                      "SELECT FROM PIPE",                                      // 3141
                      "SELECT * FROM WHERE Tag = 'x'",                         // 3131
                      "SELECT * FROM [PIPE WHERE Tag = 'x'",                   // 3126
                      "PRAGMA table_info(Pipe)"));                             // 3129

// The wildcards of a pattern are read here, so it must be a text.
TEST(ServerSqlRefusal, PatternThatIsNotAText) {
    try {
        ServerSql::translate("SELECT * FROM Pipe WHERE Tag LIKE Spec_File", pipeSchema(), kPg);
        ADD_FAILURE() << "accepted";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), engine_errors::kNotSupported);
    }
}

} // namespace
} // namespace korvalt

#include "database/EngineError.h"
#include "database/JetSql.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace korvalt {
namespace {

struct Translation {
    const char* jet;
    const char* sqlite;
};

void PrintTo(const Translation& t, std::ostream* os) {
    *os << t.jet;
}

class JetSqlTranslation : public ::testing::TestWithParam<Translation> {};

TEST_P(JetSqlTranslation, RewritesTheDialect) {
    EXPECT_EQ(JetSql::toSqlite(GetParam().jet), GetParam().sqlite);
}

const Translation kTranslations[] = {
    // The statements the program sends.
    {"SELECT * FROM PIPE ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC",
     "SELECT * FROM PIPE ORDER BY Dwg_name COLLATE JETNOCASE ASC, long_Desc COLLATE JETNOCASE "
     "ASC, alpha_size COLLATE JETNOCASE ASC"},
    {"SELECT * FROM PIPE WHERE SPEC_FILE = 'CS150' AND ALPHA_SIZE = '4'",
     "SELECT * FROM PIPE WHERE SPEC_FILE = 'CS150' COLLATE JETNOCASE AND ALPHA_SIZE = '4' "
     "COLLATE JETNOCASE"},
    {"SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC",
     "SELECT DISTINCT DWG_NAME COLLATE JETNOCASE AS \"DWG_NAME\" FROM PIPE ORDER BY DWG_NAME "
     "COLLATE JETNOCASE ASC"},
    {"SELECT DISTINCT LINE_NUM FROM Pipe WHERE SPEC_FILE = 'CS150'",
     "SELECT DISTINCT LINE_NUM COLLATE JETNOCASE AS \"LINE_NUM\" FROM Pipe WHERE SPEC_FILE = "
     "'CS150' COLLATE JETNOCASE"},
    {"SELECT * FROM PIPE WHERE Tag LIKE 'P-1*'",
     "SELECT * FROM PIPE WHERE Tag LIKE 'P-1*' COLLATE JETNOCASE"},
    {"DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\"",
     "DELETE FROM pipe WHERE DWG_NAME = 'AREA1.dwg' COLLATE JETNOCASE"},
    // Literals and names.
    {"SELECT * FROM T WHERE a = \"it's\"", "SELECT * FROM T WHERE a = 'it''s' COLLATE JETNOCASE"},
    {"SELECT * FROM T WHERE a = \"say \"\"hi\"\"\"",
     "SELECT * FROM T WHERE a = 'say \"hi\"' COLLATE JETNOCASE"},
    {"SELECT * FROM T WHERE a = 'O''Neil'",
     "SELECT * FROM T WHERE a = 'O''Neil' COLLATE JETNOCASE"},
    {"SELECT * FROM T WHERE a = ''", "SELECT * FROM T WHERE a = '' COLLATE JETNOCASE"},
    {"SELECT [Line Num], `x` FROM [My Table]", "SELECT \"Line Num\", \"x\" FROM \"My Table\""},
    {"SELECT a & 'x' FROM T", "SELECT a || 'x' COLLATE JETNOCASE FROM T"},
    {"SELECT * FROM T WHERE n >= 1.5e3 AND m <> 2", "SELECT * FROM T WHERE n >= 1.5e3 AND m <> 2"},
    {"select * from t where (a = 1)", "select * from t where (a = 1)"},
    // DISTINCT only rewrites plain column names.
    {"SELECT DISTINCT a, t.b, [c d] FROM t",
     "SELECT DISTINCT a COLLATE JETNOCASE AS \"a\", t . b COLLATE JETNOCASE AS \"b\", \"c d\" "
     "COLLATE JETNOCASE AS \"c d\" FROM t"},
    {"SELECT DISTINCT * FROM t", "SELECT DISTINCT * FROM t"},
    {"SELECT DISTINCT a + 1, b AS c FROM t", "SELECT DISTINCT a + 1, b AS c FROM t"},
    {"SELECT DISTINCTROW * FROM t", "SELECT * FROM t"},
    {"SELECT * FROM t WHERE a IN (SELECT DISTINCT b FROM u)",
     "SELECT * FROM t WHERE a IN (SELECT DISTINCT b COLLATE JETNOCASE AS \"b\" FROM u)"},
    // ORDER BY terms, with and without a direction; keywords only when unquoted.
    {"SELECT * FROM t ORDER BY a DESC, b, 2",
     "SELECT * FROM t ORDER BY a COLLATE JETNOCASE DESC, b COLLATE JETNOCASE, 2 COLLATE "
     "JETNOCASE"},
    {"SELECT [Order] FROM t ORDER BY [Order]",
     "SELECT \"Order\" FROM t ORDER BY \"Order\" COLLATE JETNOCASE"},
    // DELETE forms and the single trailing semicolon.
    {"DELETE * FROM Pipe WHERE Tag = 'x'", "DELETE FROM Pipe WHERE Tag = 'x' COLLATE JETNOCASE"},
    {"DELETE Pipe.* FROM Pipe", "DELETE FROM Pipe"},
    {"SELECT * FROM PIPE;", "SELECT * FROM PIPE"},
    {"  SELECT * FROM PIPE ;  \n", "SELECT * FROM PIPE"},
    {"SELECT 'a;b' FROM t", "SELECT 'a;b' COLLATE JETNOCASE FROM t"},
    // Nothing can turn into a comment or an operator the dialect lacks.
    {"SELECT 1--1 FROM t", "SELECT 1 - - 1 FROM t"},
    {"SELECT 2/*3 FROM t", "SELECT 2 / * 3 FROM t"},
    {"SELECT a==b FROM t", "SELECT a = = b FROM t"},
};
INSTANTIATE_TEST_SUITE_P(Statements, JetSqlTranslation, ::testing::ValuesIn(kTranslations));

struct Rejection {
    const char* jet;
    int number;
    const char* description; // empty: any
};

void PrintTo(const Rejection& r, std::ostream* os) {
    *os << r.jet;
}

class JetSqlRejection : public ::testing::TestWithParam<Rejection> {};

TEST_P(JetSqlRejection, RaisesTheEngineError) {
    const Rejection& r = GetParam();
    try {
        const std::string sql = JetSql::toSqlite(r.jet);
        ADD_FAILURE() << "accepted as: " << sql;
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), r.number) << e.description();
        if (*r.description != '\0') {
            EXPECT_EQ(e.description(), r.description);
        }
    }
}

const Rejection kRejections[] = {
    {"SELECT * FROM PIPE WHERE Tag LIKE 'O'BRIEN-1*'", 3075,
     "Syntax error in string in query expression 'Tag LIKE 'O'BRIEN-1*''."},
    {"SELECT * FROM PIPE WHERE Tag = \"abc", 3075,
     "Syntax error in string in query expression 'Tag = \"abc'."},
    {"SELECT 'abc FROM PIPE", 3075, ""},
    {"SELECT * FROM PIPE; DROP TABLE Pipe", 3142, "Characters found after end of SQL statement."},
    {"SELECT * FROM PIPE;;", 3142, ""},
    {"SELECT * FROM PIPE; SELECT 'x", 3142, ""},
    {"", 3129, ""},
    {"   ", 3129, ""},
    {";", 3129, ""},
    {"PRAGMA table_info(Pipe)", 3129, ""},
    {"ATTACH 'x' AS y", 3129, ""},
    {"[SELECT] * FROM PIPE", 3129, ""},
    {"SELECT * FROM [PIPE", 3126, "Invalid bracketing of name '[PIPE'."},
    {"SELECT [] FROM PIPE", 3126, ""},
    {"SELECT * FROM PIPE WHERE a = ?", 3075, ""},
    {"SELECT * FROM PIPE WHERE a = :x", 3075, ""},
    {"SELECT * FROM PIPE WHERE a = @x", 3075, ""},
    {"SELECT * FROM PIPE WHERE a = $x", 3075, ""},
    {"SELECT * FROM PIPE WHERE d = #1/1/2000#", 3075, ""},
    {"SELECT * FROM PIPE WHERE a = 1 | 2", 3075, ""},
};
INSTANTIATE_TEST_SUITE_P(Malformed, JetSqlRejection, ::testing::ValuesIn(kRejections));

TEST(JetSql, NulCharactersNeverReachTheEngine) {
    const std::string outside("SELECT * FROM PIPE\0 DROP", 24);
    const std::string inside("SELECT * FROM PIPE WHERE a = 'x\0y'", 34);
    EXPECT_THROW(JetSql::toSqlite(outside), EngineError);
    EXPECT_THROW(JetSql::toSqlite(inside), EngineError);
}

// Where SQLite found a syntax error decides which clause the engine blames.
TEST(JetSqlSyntaxError, NamesTheClauseWhereSqliteStopped) {
    const std::string del = "DELETE FROM pipe WHERE DWG_NAME = \"AREA3 \"north\".dwg\"";
    const std::string translated = JetSql::toSqlite(del);
    const auto north = static_cast<int>(translated.find("north"));
    const EngineError inWhere = JetSql::syntaxError(del, north);
    EXPECT_EQ(inWhere.number(), 3075);
    EXPECT_EQ(inWhere.description(), "Syntax error (missing operator) in query expression "
                                     "'DWG_NAME = \"AREA3 \"north\".dwg\"'.");

    const std::string order = "SELECT * FROM t WHERE a = 1 ORDER BY b c";
    const auto c = static_cast<int>(JetSql::toSqlite(order).rfind(" c") + 1);
    EXPECT_EQ(JetSql::syntaxError(order, c).number(), 3138);
    EXPECT_EQ(JetSql::syntaxError(order, 0).number(), 3141);

    const std::string where = "SELECT * FROM t WHERE a = 1 b ORDER BY c";
    const auto b = static_cast<int>(JetSql::toSqlite(where).find(" b ") + 1);
    const EngineError expression = JetSql::syntaxError(where, b);
    EXPECT_EQ(expression.number(), 3075);
    EXPECT_EQ(expression.description(),
              "Syntax error (missing operator) in query expression 'a = 1 b'.");

    // The keyword itself is where SQLite noticed the FROM clause was empty.
    const std::string from = "SELECT * FROM WHERE a = 1";
    const auto at = static_cast<int>(JetSql::toSqlite(from).find("WHERE"));
    EXPECT_EQ(JetSql::syntaxError(from, at).number(), 3131);

    // Unknown position: the end of the statement.
    EXPECT_EQ(JetSql::syntaxError("SELECT * FROM t WHERE", -1).number(), 3075);
    EXPECT_EQ(JetSql::syntaxError("SELECT * FROM t ORDER BY", -1).number(), 3138);
}

TEST(JetSqlSyntaxError, ReportsTheTranslationErrorForUntranslatableText) {
    EXPECT_EQ(JetSql::syntaxError("SELECT 'x", 3).number(), 3075);
    EXPECT_EQ(JetSql::syntaxError("SELECT 1; x", 3).number(), 3142);
}

} // namespace
} // namespace korvalt

#include "database/EngineError.h"
#include "database/JetSql.h"

#include <gtest/gtest.h>

#include <string>

namespace korvalt {
namespace {

const std::string kSelectClause = "The SELECT statement includes a reserved word or an argument "
                                  "name that is misspelled or missing, or the punctuation is "
                                  "incorrect.";
const std::string kNotAStatement = "Invalid SQL statement; expected 'DELETE', 'INSERT', "
                                   "'PROCEDURE', 'SELECT', or 'UPDATE'.";
const std::string kMissingOperator = "Syntax error (missing operator) in query expression '";

TEST(JetSql, RewritesTheDialect) {
    const struct {
        const char* jet;
        const char* sqlite;
    } cases[] = {
        // The statements the program sends.
        {"SELECT * FROM PIPE ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC",
         "SELECT * FROM PIPE ORDER BY Dwg_name COLLATE JETNOCASE ASC, long_Desc COLLATE "
         "JETNOCASE ASC, alpha_size COLLATE JETNOCASE ASC"},
        {"SELECT * FROM PIPE WHERE SPEC_FILE = 'CS150' AND Tag LIKE 'P-1*'",
         "SELECT * FROM PIPE WHERE SPEC_FILE = 'CS150' COLLATE JETNOCASE AND Tag LIKE 'P-1*' "
         "COLLATE JETNOCASE"},
        {"SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC",
         "SELECT DISTINCT DWG_NAME COLLATE JETNOCASE AS \"DWG_NAME\" FROM PIPE ORDER BY DWG_NAME "
         "COLLATE JETNOCASE ASC"},
        {"DELETE FROM pipe WHERE DWG_NAME = \"AREA1.dwg\"",
         "DELETE FROM pipe WHERE DWG_NAME = 'AREA1.dwg' COLLATE JETNOCASE"},
        // Literals and names.
        {"SELECT * FROM T WHERE a = \"it's\" OR a = \"say \"\"hi\"\"\" OR a = 'O''Neil' OR a = ''",
         "SELECT * FROM T WHERE a = 'it''s' COLLATE JETNOCASE OR a = 'say \"hi\"' COLLATE "
         "JETNOCASE OR a = 'O''Neil' COLLATE JETNOCASE OR a = '' COLLATE JETNOCASE"},
        {"SELECT [Line Num], `x` FROM [My Table]", "SELECT \"Line Num\", \"x\" FROM \"My Table\""},
        {"SELECT a & 'x' FROM T", "SELECT a || 'x' COLLATE JETNOCASE FROM T"},
        {"SELECT * FROM T WHERE n >= 1.5e3 AND m <> 2 AND k <= .5E-2 AND j > 3e",
         "SELECT * FROM T WHERE n >= 1.5e3 AND m <> 2 AND k <= .5E-2 AND j > 3 e"},
        {"select * from t where (a = 1)", "select * from t where (a = 1)"},
        {"SELECT \xC3\x84rea_1 FROM t", "SELECT \xC3\x84rea_1 FROM t"},
        // DISTINCT only rewrites plain column names.
        {"SELECT DISTINCT a, t.b, [c d] FROM t",
         "SELECT DISTINCT a COLLATE JETNOCASE AS \"a\", t . b COLLATE JETNOCASE AS \"b\", \"c d\" "
         "COLLATE JETNOCASE AS \"c d\" FROM t"},
        {"SELECT DISTINCT * FROM t", "SELECT DISTINCT * FROM t"},
        {"SELECT DISTINCT a + 1, b AS c FROM t", "SELECT DISTINCT a + 1, b AS c FROM t"},
        {"SELECT DISTINCTROW * FROM t", "SELECT * FROM t"},
        // Parentheses: only what stands at the level of the clause is a term,
        // and a quoted parenthesis is no parenthesis.
        {"SELECT DISTINCT Max(a, b), c FROM t",
         "SELECT DISTINCT Max (a, b), c COLLATE JETNOCASE AS \"c\" FROM t"},
        {"SELECT * FROM t ORDER BY Mid(a, 2) DESC, b",
         "SELECT * FROM t ORDER BY Mid (a, 2) COLLATE JETNOCASE DESC, b COLLATE JETNOCASE"},
        {"SELECT * FROM t WHERE a IN (SELECT DISTINCT b FROM u WHERE (c = ')') ORDER BY b) "
         "ORDER BY [d(], e",
         "SELECT * FROM t WHERE a IN (SELECT DISTINCT b COLLATE JETNOCASE AS \"b\" FROM u WHERE (c "
         "= ')' COLLATE JETNOCASE) ORDER BY b COLLATE JETNOCASE) ORDER BY \"d(\" COLLATE "
         "JETNOCASE, e COLLATE JETNOCASE"},
        {"SELECT DISTINCT [a)], '(' FROM t",
         "SELECT DISTINCT \"a)\" COLLATE JETNOCASE AS \"a)\", '(' COLLATE JETNOCASE FROM t"},
        // ORDER BY terms, with and without a direction; keywords only unquoted.
        {"SELECT * FROM t ORDER BY a DESC, b, 2",
         "SELECT * FROM t ORDER BY a COLLATE JETNOCASE DESC, b COLLATE JETNOCASE, 2 COLLATE "
         "JETNOCASE"},
        {"SELECT [Order] FROM t ORDER BY [Order]",
         "SELECT \"Order\" FROM t ORDER BY \"Order\" COLLATE JETNOCASE"},
        // DELETE forms and the single trailing semicolon.
        {"DELETE * FROM Pipe WHERE Tag = 'x'",
         "DELETE FROM Pipe WHERE Tag = 'x' COLLATE JETNOCASE"},
        {"DELETE Pipe.* FROM Pipe", "DELETE FROM Pipe"},
        {"DELETE * Pipe", "DELETE * Pipe"},
        {"DELETE t.a FROM t", "DELETE t . a FROM t"},
        {"  SELECT * FROM PIPE ;  \n", "SELECT * FROM PIPE"},
        {"SELECT 'a;b' FROM t", "SELECT 'a;b' COLLATE JETNOCASE FROM t"},
        // Nothing can turn into a comment or an operator the dialect lacks.
        {"SELECT 1--1, 2/*3, a==b FROM t", "SELECT 1 - - 1, 2 / * 3, a = = b FROM t"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.jet);
        try {
            EXPECT_EQ(JetSql::toSqlite(c.jet), c.sqlite);
        } catch (const EngineError& e) {
            ADD_FAILURE() << e.description();
        }
    }
}

TEST(JetSql, RejectsWhatItCanTellIsMalformed) {
    const struct {
        std::string jet;
        int number;
        std::string description;
    } cases[] = {
        {"SELECT * FROM PIPE WHERE Tag LIKE 'O'BRIEN-1*'", 3075,
         "Syntax error in string in query expression 'Tag LIKE 'O'BRIEN-1*''."},
        {"SELECT * FROM PIPE WHERE Tag = \"abc", 3075,
         "Syntax error in string in query expression 'Tag = \"abc'."},
        {"SELECT 'abc FROM PIPE", 3075,
         "Syntax error in string in query expression ''abc FROM PIPE'."},
        {"SELECT * FROM PIPE; DROP TABLE Pipe", 3142,
         "Characters found after end of SQL statement."},
        {"SELECT * FROM PIPE;;", 3142, "Characters found after end of SQL statement."},
        {"", 3129, kNotAStatement},
        {";", 3129, kNotAStatement},
        {"PRAGMA table_info(Pipe)", 3129, kNotAStatement},
        {"[SELECT] * FROM PIPE", 3129, kNotAStatement},
        {"SELECT * FROM [PIPE", 3126, "Invalid bracketing of name '[PIPE'."},
        {"SELECT * FROM [PI[PE]", 3126, "Invalid bracketing of name '[PI'."},
        {"SELECT [] FROM PIPE", 3126, "Invalid bracketing of name '['."},
        {"SELECT * FROM PIPE WHERE a = ?", 3075, kMissingOperator + "a = ?'."},
        {"SELECT * FROM PIPE WHERE a = :x", 3075, kMissingOperator + "a = :x'."},
        {"SELECT * FROM PIPE WHERE d = #1/1/2000# ORDER BY d", 3075,
         kMissingOperator + "d = #1/1/2000# ORDER BY d'."},
        {"SELECT * FROM PIPE WHERE a = 1 | 2", 3075, kMissingOperator + "a = 1 | 2'."},
        {"SELECT @x FROM PIPE", 3141, kSelectClause},
        {std::string("SELECT * FROM PIPE\0 DROP", 24), 3131, "Syntax error in FROM clause."},
        {std::string("SELECT * FROM PIPE WHERE a = 'x\0y'", 34), 3075,
         "Syntax error in string in query expression 'a = 'x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.jet);
        try {
            ADD_FAILURE() << "accepted as: " << JetSql::toSqlite(c.jet);
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_EQ(e.description(), c.description);
        }
    }
}

// Where SQLite found a syntax error decides which clause the engine blames
// and which expression it quotes.
TEST(JetSql, SyntaxErrorNamesTheClauseWhereSqliteStopped) {
    const struct {
        const char* jet;
        const char* at; // where SQLite stopped, in the translation; null: unknown
        int number;
        std::string description;
    } cases[] = {
        {"DELETE FROM pipe WHERE DWG_NAME = \"AREA3 \"north\".dwg\"", "north", 3075,
         kMissingOperator + "DWG_NAME = \"AREA3 \"north\".dwg\"'."},
        {"SELECT * FROM t WHERE a = 1 ORDER BY b c", "c COLLATE", 3138,
         "Syntax error in ORDER BY clause."},
        {"SELECT * FROM t WHERE a = 1 ORDER BY b c", "SELECT", 3141, kSelectClause},
        {"SELECT * FROM t WHERE a = 1 b ORDER BY c", "b ORDER", 3075,
         kMissingOperator + "a = 1 b'."},
        {"SELECT * FROM WHERE a = 1", "WHERE", 3131, "Syntax error in FROM clause."},
        {"SELECT * FROM t u v WHERE a = 1", "v WHERE", 3131, "Syntax error in FROM clause."},
        {"SELECT * FROM t WHERE (a = 1 b) ORDER BY c", "b)", 3075,
         kMissingOperator + "(a = 1 b)'."},
        {"SELECT * FROM t WHERE a IN (SELECT b FROM u WHERE c d) ORDER BY e", "d)", 3075,
         kMissingOperator + "c d'."},
        {"SELECT a FROM t WHERE b c GROUP BY a", "c GROUP", 3075, kMissingOperator + "b c'."},
        {"SELECT a FROM t GROUP BY a HAVING b c", "c", 3075, kMissingOperator + "b c'."},
        {"SELECT a FROM t GROUP BY a b", "b", 3075, kMissingOperator + "BY a b'."},
        {"SELECT a FROM t WHERE b c UNION SELECT a FROM u", "c UNION", 3075,
         kMissingOperator + "b c'."},
        {"UPDATE t SET a = 1 b WHERE c = 2", "b WHERE", 3075, kMissingOperator + "a = 1 b'."},
        {"SELECT * FROM t WHERE", nullptr, 3075, kMissingOperator + "'."},
        {"SELECT * FROM t ORDER BY", nullptr, 3138, "Syntax error in ORDER BY clause."},
        {"SELECT 'x", "x", 3075, "Syntax error in string in query expression ''x'."},
        {"SELECT 1; x", "1", 3142, "Characters found after end of SQL statement."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.jet) + " at " + (c.at ? c.at : "the end"));
        int offset = -1;
        if (c.at != nullptr) {
            try {
                offset = static_cast<int>(JetSql::toSqlite(c.jet).rfind(c.at));
            } catch (const EngineError&) {
                offset = 3;
            }
        }
        const EngineError e = JetSql::syntaxError(c.jet, offset);
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.description(), c.description);
    }
}

} // namespace
} // namespace korvalt

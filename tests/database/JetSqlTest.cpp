#include "database/EngineError.h"
#include "database/JetLike.h"
#include "database/JetSql.h"
#include "database/TextFold.h"
#include "support/EngineCases.h"

#include <gtest/gtest.h>

#include <QChar>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace korvalt {
namespace {

const std::string kSelectClause = "3141 The SELECT statement includes a reserved word or an "
                                  "argument name that is misspelled or missing, or the "
                                  "punctuation is incorrect.";
const std::string kNotAStatement = "3129 Invalid SQL statement; expected 'DELETE', 'INSERT', "
                                   "'PROCEDURE', 'SELECT', or 'UPDATE'.";
const std::string kEndOfStatement = "3142 Characters found after end of SQL statement.";
const std::string kFromClause = "3131 Syntax error in FROM clause.";
const std::string kOrderBy = "3138 Syntax error in ORDER BY clause.";
const std::string kInString = "3075 Syntax error in string in query expression '";
const std::string kMissingOperator = "3075 Syntax error (missing operator) in query expression '";

TEST(JetSql, RewritesTheDialect) {
    const struct {
        const char* jet;
        const char* sqlite;
    } cases[] = {
        // The statements the program sends.
        {"SELECT * FROM PIPE WHERE SPEC_FILE = 'CS150' AND Tag LIKE 'P-1*'",
         "SELECT * FROM PIPE WHERE SPEC_FILE = 'CS150' COLLATE JETNOCASE AND Tag LIKE 'P-1*' "
         "COLLATE JETNOCASE"},
        {"SELECT DISTINCT DWG_NAME FROM PIPE ORDER BY DWG_NAME ASC",
         "SELECT DISTINCT DWG_NAME COLLATE JETNOCASE AS \"DWG_NAME\" FROM PIPE ORDER BY DWG_NAME "
         "COLLATE JETNOCASE ASC"},
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
        // Only what stands at the level of the clause is a term; quoted parentheses are none.
        {"SELECT DISTINCT Max(a, b), c FROM t",
         "SELECT DISTINCT Max (a, b), c COLLATE JETNOCASE AS \"c\" FROM t"},
        {"SELECT * FROM t ORDER BY Mid(a, 2) DESC, b",
         "SELECT * FROM t ORDER BY Mid (a, 2) COLLATE JETNOCASE DESC, b COLLATE JETNOCASE"},
        {"SELECT * FROM t WHERE a IN (SELECT DISTINCT b FROM u WHERE (c = ')') ORDER BY b) "
         "ORDER BY [d(], e",
         "SELECT * FROM t WHERE a IN (SELECT DISTINCT b COLLATE JETNOCASE AS \"b\" FROM u WHERE (c "
         "= ')' COLLATE JETNOCASE) ORDER BY b COLLATE JETNOCASE) ORDER BY \"d(\" COLLATE "
         "JETNOCASE, e COLLATE JETNOCASE"},
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
    for (const auto& c : cases)
        EXPECT_EQ(JetSql::toSqlite(c.jet), c.sqlite) << c.jet;
}

TEST(JetSql, RejectsWhatItCanTellIsMalformed) {
    const struct {
        std::string jet;
        std::string expected;
    } cases[] = {
        {"SELECT * FROM PIPE WHERE Tag LIKE 'O'BRIEN-1*'", kInString + "Tag LIKE 'O'BRIEN-1*''."},
        {"SELECT * FROM PIPE WHERE Tag = \"abc", kInString + "Tag = \"abc'."},
        {"SELECT 'abc FROM PIPE", kInString + "'abc FROM PIPE'."},
        {"SELECT * FROM PIPE;;", kEndOfStatement},
        {"", kNotAStatement},
        {";", kNotAStatement},
        {"[SELECT] * FROM PIPE", kNotAStatement},
        {"SELECT * FROM [PIPE", "3126 Invalid bracketing of name '[PIPE'."},
        {"SELECT * FROM [PI[PE]", "3126 Invalid bracketing of name '[PI'."},
        {"SELECT [] FROM PIPE", "3126 Invalid bracketing of name '['."},
        {"SELECT * FROM PIPE WHERE a = ?", kMissingOperator + "a = ?'."},
        {"SELECT * FROM PIPE WHERE a = :x", kMissingOperator + "a = :x'."},
        {"SELECT * FROM PIPE WHERE d = #1/1/2000# ORDER BY d",
         kMissingOperator + "d = #1/1/2000# ORDER BY d'."},
        {"SELECT * FROM PIPE WHERE a = 1 | 2", kMissingOperator + "a = 1 | 2'."},
        {"SELECT @x FROM PIPE", kSelectClause},
        {std::string("SELECT * FROM PIPE\0 DROP", 24), kFromClause},
        {std::string("SELECT * FROM PIPE WHERE a = 'x\0y'", 34), kInString + "a = 'x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(test_support::errorOf([&] { JetSql::toSqlite(c.jet); }), c.expected) << c.jet;
}

// Where SQLite stopped decides which clause the engine blames and which expression it quotes.
TEST(JetSql, SyntaxErrorNamesTheClauseWhereSqliteStopped) {
    const struct {
        const char* jet;
        const char* at; // where SQLite stopped, in the translation; null: unknown
        std::string expected;
    } cases[] = {
        {"DELETE FROM pipe WHERE DWG_NAME = \"AREA3 \"north\".dwg\"", "north",
         kMissingOperator + "DWG_NAME = \"AREA3 \"north\".dwg\"'."},
        {"SELECT * FROM t WHERE a = 1 ORDER BY b c", "c COLLATE", kOrderBy},
        {"SELECT * FROM t WHERE a = 1 ORDER BY b c", "SELECT", kSelectClause},
        {"SELECT * FROM t WHERE a = 1 b ORDER BY c", "b ORDER", kMissingOperator + "a = 1 b'."},
        {"SELECT * FROM WHERE a = 1", "WHERE", kFromClause},
        {"SELECT * FROM t u v WHERE a = 1", "v WHERE", kFromClause},
        {"SELECT * FROM t WHERE (a = 1 b) ORDER BY c", "b)", kMissingOperator + "(a = 1 b)'."},
        {"SELECT * FROM t WHERE a IN (SELECT b FROM u WHERE c d) ORDER BY e", "d)",
         kMissingOperator + "c d'."},
        {"SELECT a FROM t WHERE b c GROUP BY a", "c GROUP", kMissingOperator + "b c'."},
        {"SELECT a FROM t GROUP BY a HAVING b c", "c", kMissingOperator + "b c'."},
        {"SELECT a FROM t GROUP BY a b", "b", kMissingOperator + "BY a b'."},
        {"SELECT a FROM t WHERE b c UNION SELECT a FROM u", "c UNION", kMissingOperator + "b c'."},
        {"UPDATE t SET a = 1 b WHERE c = 2", "b WHERE", kMissingOperator + "a = 1 b'."},
        {"SELECT * FROM t WHERE", nullptr, kMissingOperator + "'."},
        {"SELECT * FROM t ORDER BY", nullptr, kOrderBy},
        {"SELECT 'x", "x", kInString + "'x'."},
        {"SELECT 1; x", "1", kEndOfStatement},
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
        EXPECT_EQ(std::to_string(e.number()) + " " + e.description(), c.expected);
    }
}

// Each pattern with texts it matches and texts it does not.
const struct {
    const char* pattern;
    std::vector<std::string> matching;
    std::vector<std::string> other;
} kPatterns[] = {
    // Literal characters: the whole text, in any case; SQL's wildcards are plain.
    {"abc", {"abc", "ABC"}, {"ab", "abcd", "abc "}},
    {"a%c", {"a%c"}, {"abc"}},
    {"a_c", {"a_c"}, {"abc"}},
    {"a]", {"a]"}, {"a"}},
    // * ? #
    {"?", {"\xC3\xA9", "\xff"}, {"", "ab", "\xC3\xA9\xC3\xA9"}},
    {"a*", {"a", "abc", "A**"}, {"", "ba"}},
    {"a?c", {"abc", "aXc"}, {"ac", "abbc"}},
    {"a#c", {"a0c", "a1c", "a9c"}, {"abc", "a/c", "a:c", "a12c", "ac"}},
    {"*abd", {"abcabd", "abd"}, {"abdc"}},
    {"*ab*ab", {"abab", "aabxab"}, {"ab"}},
    {"m*iss*ppi", {"mississippi"}, {"mississipp"}},
    {"*a*a*a", {"aaa", "xaxaxa"}, {"aa", "aaab"}},
    {"**a**", {"a", "bab"}, {"b"}},
    // Classes, ranges, negation and the escapes they give.
    {"[abc]", {"a", "b", "c", "B"}, {"d", "", "ab"}},
    {"[a-z]", {"a", "m", "z", "M"}, {"5", "{"}},
    {"[A-Z]", {"m"}, {"5"}},
    {"[Z-a]", {"Z", "A", "_"}, {"Y", "b"}}, // in the range as written or once folded
    {"[b-c]", {"b", "c"}, {"a", "d"}},
    {"[!abc]", {"d", "z"}, {"a", "A", "c", ""}},
    {"[a-]", {"a", "-"}, {"b"}},
    {"[-a]", {"-", "a"}, {"b"}},
    {"[!]", {"!"}, {"a"}},
    {"a[]b", {"ab"}, {"axb"}},
    {"[ü]", {"\xC3\x9C", "\xC3\xBC"}, {"u"}},
    {"[à-å]", {"ä", "Ä"}, {"æ", "a"}},
    {"[K-K]", {"k", "\xE2\x84\xAA"}, {"j"}},
    {"[a-b][c-d]", {"ac", "BD"}, {"a", "ca", "ab"}},
    // Folding beyond ASCII; no folding of accents or of ß to ss.
    {"ΆΈΉ", {"άέή"}, {"ΑΕΗ"}},
    {"ς", {"σ", "Σ"}, {"s"}},
    {"ẞ", {"ß"}, {"ss"}},
    {"ǆ", {"Ǆ", "ǅ"}, {"dž"}},
    // Bytes that are not UTF-8 are characters equal only to themselves.
    {"\xc3", {"\xc3"}, {"\xc4", "\xc3\xa9"}},
    {"x*", {"x\xe2\x82"}, {}},
};

TEST(JetLike, MatchesLikeTheFileEngine) {
    for (const auto& p : kPatterns) {
        for (const std::string& text : p.matching)
            EXPECT_TRUE(JetLike::matches(text, p.pattern)) << text << " LIKE " << p.pattern;
        for (const std::string& text : p.other)
            EXPECT_FALSE(JetLike::matches(text, p.pattern)) << text << " LIKE " << p.pattern;
    }
    for (const char* pattern : {"[abc", "a[", "[", "[!", "X[2", "[z-a]", "[9-0]"})
        EXPECT_EQ(test_support::errorOf([&] { JetLike::matches("abc", pattern); }),
                  std::string("3075 Invalid pattern string '") + pattern + "'.");
    // One remembered star: linear in the text, even with many stars.
    const std::string text(20000, 'a');
    std::string stars;
    for (int i = 0; i < 40; ++i)
        stars += "*a";
    EXPECT_TRUE(JetLike::matches(text, stars));
    EXPECT_FALSE(JetLike::matches(text, stars + "*b"));
    EXPECT_FALSE(JetLike::matches(text + "b", stars + "*a"));
}

// Latin, Greek, Cyrillic, Armenian, Latin Extended Additional, letter-like, Roman numeral,
// circled and fullwidth forms fold as Unicode says; all else stays, U+01A6 too.
TEST(TextFold, FoldsEveryLetterOfItsScriptsAsUnicodeDoes) {
    const auto folded = [](char32_t c) {
        return (c < 0x600 && c != 0x1A6) || inRange(c, 0x1E00, 0x1EFF) || c == 0x2126 ||
               c == 0x212A || c == 0x212B || inRange(c, 0x2160, 0x216F) ||
               inRange(c, 0x24B6, 0x24CF) || inRange(c, 0xFF21, 0xFF3A);
    };
    int wrong = 0;
    for (char32_t c = 0; c < 0x10000 && wrong < 20; ++c) {
        const char32_t expected = folded(c) ? QChar::toCaseFolded(c) : c;
        if (foldCodePoint(c) != expected) {
            ++wrong;
            ADD_FAILURE() << std::hex << "U+" << static_cast<std::uint32_t>(c) << " folds to U+"
                          << static_cast<std::uint32_t>(foldCodePoint(c));
        }
    }
    EXPECT_EQ(JetLike::fold("RÜCKSCHLAG Ø50-X ȘȚ ΑΒΓ ПРИВЕТ \xff B"),
              "rückschlag ø50-x șț αβγ привет \xff b");
}

// Folded order on every path: eight ASCII bytes at a time, the tail, or around non-ASCII text.
TEST(JetLike, ComparesLikeTheFoldedTexts) {
    const auto check = [](const std::string& x, const std::string& y) {
        const int expected = std::clamp(JetLike::fold(x).compare(JetLike::fold(y)), -1, 1);
        ASSERT_EQ(std::clamp(JetLike::compareNoCase(x, y), -1, 1), expected) << x << " | " << y;
        ASSERT_EQ(std::clamp(JetLike::compareNoCase(y, x), -1, 1), -expected) << x << " | " << y;
    };
    // Lengths around the word size, a difference at every position.
    const std::string base = "AbCdEfGhIjKlMnOpQrStUvWxYz";
    for (std::size_t length : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 23u, 24u, 25u}) {
        const std::string a = base.substr(0, length);
        for (std::size_t at = 0; at < length; ++at) {
            for (const char* other :
                 {"@", "[", "`", "{", "B", "b", "\xC3\xA4", "\xE2\x84\xAA", "\xC5\xBF", "\xff"}) {
                std::string b = a;
                b.replace(at, 1, other);
                check(a, b);
            }
            std::string flipped = a; // case only: equal
            flipped[at] = static_cast<char>(flipped[at] ^ 0x20);
            EXPECT_EQ(JetLike::compareNoCase(a, flipped), 0) << a << " | " << flipped;
            check(a, a.substr(0, at));
            check(a + "a", flipped);
        }
    }
    EXPECT_EQ(JetLike::compareNoCase("\xff", "\xfe"), 1);
    EXPECT_EQ(JetLike::compareNoCase("a\xff", "A\xff"), 0);
}

} // namespace
} // namespace korvalt

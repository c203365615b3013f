#pragma once

// The pieces of ServerSql shared between its source files.

#include "database/JetTokens.h"
#include "database/odbc/ServerSql.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvalt::server_sql {

// A table or column name as the server wants it quoted.
std::string quoteName(std::string_view name, ServerDialect dialect);

// A text literal of the server holding exactly `text`.
std::string textLiteral(std::string_view text, ServerDialect dialect);

// What to write before and after an expression so that the whole yields its
// text with the letters case-folded, comparing and sorting by code point:
// the key of the file engine's case-insensitive comparisons. `single` says
// the expression is one name or literal (no brackets needed); `cast` that it
// is not text and must be turned into text first.
struct Wrap {
    std::string open;
    std::string close;
};
Wrap foldWrap(ServerDialect dialect, bool single, bool cast = false);

// What follows an ORDER BY term so that Null sorts first in ascending and
// last in descending order, as in the file engine ("" when that is the
// server's own order).
std::string nullOrder(ServerDialect dialect, bool descending);

// The server's text concatenation operator (the dialect's &).
std::string concatOperator(ServerDialect dialect);

// "min" for the value kept of each group of a case-insensitive DISTINCT.
std::string minFunction(ServerDialect dialect);

// A LIKE test of the file engine's pattern syntax, for a server: `op`
// replaces the LIKE (or NOT LIKE) keyword(s) and `pattern` the pattern
// literal; the tested text must be wrapped in foldWrap(). Raises
// EngineError 3075 for a malformed pattern, as the file engine does.
struct LikeTest {
    std::string op;
    std::string pattern;
};
LikeTest likeTest(std::string_view jetPattern, bool negated, ServerDialect dialect);

} // namespace korvalt::server_sql

namespace korvalt::server_sql {

// The server's text of a statement the file engine's rules accept.
std::string translateChecked(const std::string& jetSql, const ServerSchema& schema,
                             ServerDialect dialect);

// One statement's translation, token by token: each token keeps its place
// and may be replaced, dropped or wrapped in text before and after it.
class Statement {
public:
    Statement(std::vector<JetToken> tokens, const ServerSchema& schema, ServerDialect dialect);
    std::string translate();

private:
    enum class Operand { TextColumn, NumberColumn, Text, Number, Concat, Null, Other };
    struct Span {
        std::size_t first;
        std::size_t last;
        bool empty;
    };

    // Reading the tokens (ServerSql.cpp).
    bool keyword(std::size_t i, std::string_view word) const;
    bool symbol(std::size_t i, std::string_view s) const;
    bool isName(std::size_t i) const;
    bool isComparison(std::size_t i) const;
    bool endsOperand(std::size_t i) const;
    void levels();
    void markTables();
    void names();
    const ServerTable* findTable(std::string_view name) const;
    const ServerColumn* lookUpColumn(std::size_t i) const;
    void dropDeleteColumns();
    Span operand(std::size_t from, int level, bool forward) const;
    Operand kind(const Span& span) const;
    static bool isText(Operand o) {
        return o == Operand::TextColumn || o == Operand::Text || o == Operand::Concat;
    }
    std::string assemble() const;

    // The clauses (ServerSqlClauses.cpp).
    void wrap(const Span& span, bool cast = false);
    void comparisons();
    void like(std::size_t k);
    void compare(std::size_t k);
    void orderBy();
    void distinct();

    std::vector<JetToken> m_t;
    const ServerSchema& m_schema;
    ServerDialect m_dialect;
    std::vector<int> m_level; // ( and ) at the level around them
    std::vector<std::string> m_prefix;
    std::vector<std::string> m_suffix;
    std::vector<std::optional<std::string>> m_replace; // "" drops the token
    std::vector<const ServerColumn*> m_column;         // for names of columns
    std::vector<bool> m_isTable;
    std::vector<const ServerTable*> m_tables; // those the statement names
    std::string m_groupBy;                    // added before token m_groupAt
    std::size_t m_groupAt = 0;
};

} // namespace korvalt::server_sql

#include "database/odbc/ServerSql.h"

#include "database/EngineError.h"
#include "database/JetTokens.h"
#include "database/odbc/ServerSqlParts.h"

#include <array>

namespace korvalt::server_sql {

namespace {

using Kind = JetTokenKind;

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Names match as SQLite matches them (ignoring ASCII case), so that a name
// the check of the statement accepted is found here.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Words of the grammar, written as they come; any other bare word is a name
// (or, before a bracket, a function).
constexpr std::array<std::string_view, 44> kKeywords = {
    "SELECT", "DISTINCT", "DISTINCTROW", "FROM",  "WHERE", "AND",     "OR",     "NOT",    "LIKE",
    "IS",     "NULL",     "ORDER",       "BY",    "ASC",   "DESC",    "DELETE", "INSERT", "INTO",
    "VALUES", "UPDATE",   "SET",         "AS",    "IN",    "BETWEEN", "GROUP",  "HAVING", "JOIN",
    "INNER",  "LEFT",     "RIGHT",       "OUTER", "ON",    "UNION",   "ALL",    "EXISTS", "TRUE",
    "FALSE",  "MOD",      "CASE",        "WHEN",  "THEN",  "ELSE",    "END",    "ESCAPE"};

// Words that end an operand of a comparison.
constexpr std::array<std::string_view, 25> kOperandEnds = {
    "AND",  "OR",    "NOT", "IS",     "LIKE",     "BETWEEN", "IN",    "WHERE", "SELECT",
    "FROM", "ORDER", "BY",  "GROUP",  "HAVING",   "SET",     "ON",    "JOIN",  "WHEN",
    "THEN", "ELSE",  "END", "VALUES", "DISTINCT", "AS",      "ESCAPE"};

template <std::size_t N>
bool oneOf(const std::array<std::string_view, N>& words, std::string_view word) {
    for (const std::string_view w : words) {
        if (sameName(w, word)) {
            return true;
        }
    }
    return false;
}

const ServerColumn* findColumn(const ServerTable& table, std::string_view name) {
    for (const ServerColumn& column : table.columns) {
        if (sameName(column.name, name)) {
            return &column;
        }
    }
    return nullptr;
}

} // namespace

Statement::Statement(std::vector<JetToken> tokens, const ServerSchema& schema,
                     ServerDialect dialect)
    : m_t(std::move(tokens)), m_schema(schema), m_dialect(dialect), m_level(m_t.size(), 0),
      m_prefix(m_t.size()), m_suffix(m_t.size()), m_replace(m_t.size()),
      m_column(m_t.size(), nullptr), m_isTable(m_t.size(), false), m_groupAt(m_t.size()) {}

std::string Statement::translate() {
    levels();
    markTables();
    names();
    dropDeleteColumns();
    comparisons();
    orderBy();
    distinct();
    return assemble();
}

bool Statement::keyword(std::size_t i, std::string_view word) const {
    return i < m_t.size() && m_t[i].kind == Kind::Name && sameName(m_t[i].text, word);
}

bool Statement::symbol(std::size_t i, std::string_view s) const {
    return i < m_t.size() && m_t[i].kind == Kind::Symbol && m_t[i].text == s;
}

bool Statement::isName(std::size_t i) const {
    return i < m_t.size() && (m_t[i].kind == Kind::QuotedName ||
                              (m_t[i].kind == Kind::Name && !oneOf(kKeywords, m_t[i].text)));
}

bool Statement::isComparison(std::size_t i) const {
    constexpr std::array<std::string_view, 6> kOperators = {"=", "<>", "<", ">", "<=", ">="};
    if (i >= m_t.size() || m_t[i].kind != Kind::Symbol) {
        return false;
    }
    for (const std::string_view op : kOperators) {
        if (m_t[i].text == op) {
            return true;
        }
    }
    return false;
}

bool Statement::endsOperand(std::size_t i) const {
    return (m_t[i].kind == Kind::Name && oneOf(kOperandEnds, m_t[i].text)) || isComparison(i) ||
           symbol(i, ",");
}

void Statement::levels() {
    int level = 0;
    for (std::size_t i = 0; i < m_t.size(); ++i) {
        if (symbol(i, ")")) {
            --level;
        }
        m_level[i] = level;
        if (symbol(i, "(")) {
            ++level;
        }
    }
}

// Names after FROM (and its commas), JOIN, UPDATE and INTO are tables.
void Statement::markTables() {
    for (std::size_t i = 0; i < m_t.size(); ++i) {
        if ((keyword(i, "JOIN") || keyword(i, "UPDATE") || keyword(i, "INTO")) && isName(i + 1)) {
            m_isTable[i + 1] = true;
        }
        if (!keyword(i, "FROM")) {
            continue;
        }
        for (std::size_t j = i + 1; j < m_t.size() && m_level[j] >= m_level[i]; ++j) {
            if (m_level[j] != m_level[i]) {
                continue;
            }
            if (m_t[j].kind == Kind::Name && oneOf(kKeywords, m_t[j].text)) {
                break;
            }
            if (isName(j) && (j == i + 1 || symbol(j - 1, ","))) {
                m_isTable[j] = true;
            }
        }
    }
    for (std::size_t i = 0; i < m_t.size(); ++i) {
        if (m_isTable[i]) {
            if (const ServerTable* table = findTable(m_t[i].text)) {
                m_tables.push_back(table);
            }
        }
    }
}

const ServerTable* Statement::findTable(std::string_view name) const {
    for (const ServerTable& table : m_schema.tables) {
        if (sameName(table.name, name)) {
            return &table;
        }
    }
    return nullptr;
}

const ServerColumn* Statement::lookUpColumn(std::size_t i) const {
    const std::string& name = m_t[i].text;
    if (i >= 2 && symbol(i - 1, ".")) {
        if (const ServerTable* table = findTable(m_t[i - 2].text)) {
            return findColumn(*table, name);
        } // else an alias of one of the statement's tables
    }
    for (const ServerTable* table : m_tables) {
        if (const ServerColumn* column = findColumn(*table, name)) {
            return column;
        }
    }
    return nullptr;
}

// Every name as the server spells it, quoted. A name the schema does not
// know (an alias) is quoted as written.
void Statement::names() {
    for (std::size_t i = 0; i < m_t.size(); ++i) {
        if (!isName(i) || (m_t[i].kind == Kind::Name && symbol(i + 1, "(") && !m_isTable[i])) {
            continue; // a word of the grammar, or a function
        }
        std::string spelling = m_t[i].text;
        if (m_isTable[i] || symbol(i + 1, ".")) {
            if (const ServerTable* table = findTable(spelling)) {
                spelling = table->name;
            }
        } else if (i == 0 || !keyword(i - 1, "AS")) {
            m_column[i] = lookUpColumn(i);
            if (m_column[i] != nullptr) {
                spelling = m_column[i]->name;
            }
        }
        m_replace[i] = quoteName(spelling, m_dialect);
    }
}

// DELETE * FROM t, DELETE t.* FROM t  ->  DELETE FROM t
void Statement::dropDeleteColumns() {
    if (!keyword(0, "DELETE")) {
        return;
    }
    for (std::size_t i = 1; i < m_t.size() && !keyword(i, "FROM"); ++i) {
        m_replace[i] = "";
    }
}

// The operand of a comparison at `level`: the tokens from `from` onwards (or
// backwards) up to a word or symbol that ends it at that level.
Statement::Span Statement::operand(std::size_t from, int level, bool forward) const {
    Span span{from, from, true};
    for (std::size_t j = from; j < m_t.size(); j = forward ? j + 1 : j - 1) {
        if (m_level[j] < level || (m_level[j] == level && endsOperand(j))) {
            break;
        }
        (forward ? span.last : span.first) = j;
        span.empty = false;
        if (j == 0) {
            break;
        }
    }
    return span;
}

Statement::Operand Statement::kind(const Span& span) const {
    const std::size_t first = span.first;
    const std::size_t last = span.last;
    if (span.empty) {
        return Operand::Other;
    }
    if ((first == last || (last == first + 2 && symbol(first + 1, "."))) &&
        m_column[last] != nullptr) {
        return m_column[last]->text ? Operand::TextColumn : Operand::NumberColumn;
    }
    if (first == last) {
        if (m_t[first].kind == Kind::Text) {
            return Operand::Text;
        }
        if (m_t[first].kind == Kind::Number) {
            return Operand::Number;
        }
        return keyword(first, "NULL") ? Operand::Null : Operand::Other;
    }
    if (last == first + 1 && symbol(first, "-") && m_t[last].kind == Kind::Number) {
        return Operand::Number;
    }
    for (std::size_t j = first; j <= last; ++j) {
        if (m_level[j] == m_level[first] && symbol(j, "&")) {
            return Operand::Concat;
        }
    }
    return Operand::Other;
}

std::string Statement::assemble() const {
    std::string out;
    bool tightAfter = true; // nothing before the first token
    for (std::size_t i = 0; i <= m_t.size(); ++i) {
        if (i == m_groupAt && !m_groupBy.empty()) {
            out += " " + m_groupBy;
            tightAfter = false;
        }
        if (i == m_t.size()) {
            break;
        }
        std::string piece;
        if (m_replace[i]) {
            piece = *m_replace[i];
        } else if (m_t[i].kind == Kind::Text) {
            piece = textLiteral(m_t[i].text, m_dialect);
        } else if (symbol(i, "&")) {
            piece = concatOperator(m_dialect);
        } else {
            piece = m_t[i].text;
        }
        if (piece.empty() && m_prefix[i].empty() && m_suffix[i].empty()) {
            continue;
        }
        const bool tight = symbol(i, ",") || symbol(i, ")") || symbol(i, ".");
        if (!tightAfter && !tight) {
            out += ' ';
        }
        out += m_prefix[i] + piece + m_suffix[i];
        tightAfter = symbol(i, "(") || symbol(i, ".");
    }
    return out;
}

std::string translateChecked(const std::string& jetSql, const ServerSchema& schema,
                             ServerDialect dialect) {
    return Statement(jetTokens(jetSql), schema, dialect).translate();
}

} // namespace korvalt::server_sql

#include "database/JetSql.h"

#include "database/JetTokens.h"

#include <string_view>
#include <vector>

namespace korvalt {

namespace {

using engine_errors::kBracketing;
using engine_errors::kFromClause;
using engine_errors::kNotAStatement;
using engine_errors::kOrderByClause;
using engine_errors::kSelectClause;

constexpr const char* kCollate = " COLLATE JETNOCASE";

using TokenKind = JetTokenKind;
using Token = JetToken;

struct Lexed {
    std::vector<Token> tokens;
    std::size_t statementEnd = 0; // before a trailing ;
};

enum class Problem { Syntax, UnterminatedText, BadName };
enum class Clause { None, SelectList, From, Condition, OrderBy, Other };

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || u >= 0x80;
}
bool isNameChar(char c) {
    return isNameStart(c) || isDigit(c);
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// `upper` is a keyword as this file writes them, in capitals.
bool equalsKeyword(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        char x = text[i];
        if (x >= 'a' && x <= 'z') {
            x = static_cast<char>(x - 32);
        }
        if (x != upper[i]) {
            return false;
        }
    }
    return true;
}

// Keywords are only recognised unquoted: [Order] is a column.
bool isKeyword(const std::vector<Token>& t, std::size_t i, std::string_view word) {
    return i < t.size() && t[i].kind == TokenKind::Name && equalsKeyword(t[i].text, word);
}
bool isSymbol(const std::vector<Token>& t, std::size_t i, std::string_view symbol) {
    return i < t.size() && t[i].kind == TokenKind::Symbol && t[i].text == symbol;
}
bool isName(const std::vector<Token>& t, std::size_t i) {
    return i < t.size() && (t[i].kind == TokenKind::Name || t[i].kind == TokenKind::QuotedName);
}

std::string trim(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isSpace(s[b])) {
        ++b;
    }
    while (e > b && isSpace(s[e - 1])) {
        --e;
    }
    return std::string(s.substr(b, e - b));
}

// The clause a token belongs to, found from the nearest clause keyword before
// it, and the text of that clause (what the engine quotes as the "query
// expression").
struct ClauseSpan {
    Clause clause = Clause::None;
    std::size_t begin = 0;
    std::size_t end = 0;
};

ClauseSpan clauseAt(const Lexed& lexed, std::size_t at) {
    const std::vector<Token>& t = lexed.tokens;
    ClauseSpan span;
    span.end = lexed.statementEnd;
    if (t.empty()) {
        return span;
    }
    std::size_t k = at < t.size() ? at : t.size() - 1;
    // An error found at a clause keyword belongs to the clause before it:
    // in "SELECT * FROM WHERE ..." the FROM clause is the faulty one.
    if (at < t.size() && at > 0 &&
        (isKeyword(t, at, "FROM") || isKeyword(t, at, "WHERE") || isKeyword(t, at, "ORDER") ||
         isKeyword(t, at, "GROUP") || isKeyword(t, at, "HAVING"))) {
        k = at - 1;
    }
    std::size_t keyword = t.size();
    for (;; --k) {
        if (isKeyword(t, k, "WHERE") || isKeyword(t, k, "HAVING")) {
            span.clause = Clause::Condition;
        } else if (isKeyword(t, k, "FROM")) {
            span.clause = Clause::From;
        } else if (isKeyword(t, k, "BY") && k > 0 && isKeyword(t, k - 1, "ORDER")) {
            span.clause = Clause::OrderBy;
        } else if (isKeyword(t, k, "SELECT")) {
            span.clause = Clause::SelectList;
        } else if (isKeyword(t, k, "SET") || isKeyword(t, k, "VALUES") ||
                   isKeyword(t, k, "GROUP")) {
            span.clause = Clause::Other;
        }
        if (span.clause != Clause::None) {
            keyword = k;
            break;
        }
        if (k == 0) {
            break;
        }
    }
    if (keyword == t.size()) {
        return span; // the whole statement
    }
    span.begin = t[keyword].end;
    int depth = 0;
    for (std::size_t j = keyword + 1; j < t.size(); ++j) {
        if (isSymbol(t, j, "(")) {
            ++depth;
        } else if (isSymbol(t, j, ")")) {
            if (--depth < 0) {
                span.end = t[j].begin;
                break;
            }
        } else if (depth == 0 && ((isKeyword(t, j, "ORDER") && isKeyword(t, j + 1, "BY")) ||
                                  isKeyword(t, j, "GROUP") || isKeyword(t, j, "HAVING") ||
                                  isKeyword(t, j, "UNION") ||
                                  (span.clause != Clause::Condition && isKeyword(t, j, "WHERE")))) {
            span.end = t[j].begin;
            break;
        }
    }
    return span;
}

EngineError clauseError(const Lexed& lexed, const std::string& sql, std::size_t at,
                        Problem problem) {
    const ClauseSpan span = clauseAt(lexed, at);
    const std::size_t end = span.end < span.begin ? span.begin : span.end;
    const std::string expression = trim(std::string_view(sql).substr(span.begin, end - span.begin));
    if (problem == Problem::UnterminatedText) {
        return EngineError(engine_errors::kSyntaxError,
                           "Syntax error in string in query expression '" + expression + "'.");
    }
    switch (span.clause) {
    case Clause::From:
        return EngineError(kFromClause, "Syntax error in FROM clause.");
    case Clause::OrderBy:
        return EngineError(kOrderByClause, "Syntax error in ORDER BY clause.");
    case Clause::SelectList:
        return EngineError(kSelectClause,
                           "The SELECT statement includes a reserved word or an argument name "
                           "that is misspelled or missing, or the punctuation is incorrect.");
    default:
        return EngineError(engine_errors::kSyntaxError,
                           "Syntax error (missing operator) in query expression '" + expression +
                               "'.");
    }
}

Lexed lex(const std::string& sql) {
    Lexed lexed;
    lexed.statementEnd = sql.size();
    std::vector<Token>& t = lexed.tokens;
    const std::size_t n = sql.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = sql[i];
        const std::size_t begin = i;
        if (isSpace(c)) {
            ++i;
        } else if (c == '\'' || c == '"') {
            // Both quotes delimit text; the quote itself is written twice.
            std::string value;
            bool closed = false;
            ++i;
            while (i < n && sql[i] != '\0') {
                if (sql[i] == c) {
                    if (i + 1 < n && sql[i + 1] == c) {
                        value += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += sql[i++];
            }
            if (!closed) {
                throw clauseError(lexed, sql, t.size(), Problem::UnterminatedText);
            }
            t.push_back({TokenKind::Text, std::move(value), begin, i});
        } else if (c == '[' || c == '`') {
            const char close = c == '[' ? ']' : '`';
            std::size_t j = i + 1;
            while (j < n && sql[j] != close && sql[j] != '\0' && sql[j] != '[') {
                ++j;
            }
            if (j >= n || sql[j] != close || j == i + 1) {
                throw EngineError(kBracketing,
                                  "Invalid bracketing of name '" + sql.substr(i, j - i) + "'.");
            }
            t.push_back({TokenKind::QuotedName, sql.substr(i + 1, j - i - 1), begin, j + 1});
            i = j + 1;
        } else if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(sql[i + 1]))) {
            while (i < n && isDigit(sql[i])) {
                ++i;
            }
            if (i < n && sql[i] == '.') {
                ++i;
                while (i < n && isDigit(sql[i])) {
                    ++i;
                }
            }
            if (i < n && (sql[i] == 'e' || sql[i] == 'E')) {
                std::size_t j = i + 1;
                if (j < n && (sql[j] == '+' || sql[j] == '-')) {
                    ++j;
                }
                if (j < n && isDigit(sql[j])) {
                    i = j;
                    while (i < n && isDigit(sql[i])) {
                        ++i;
                    }
                }
            }
            t.push_back({TokenKind::Number, sql.substr(begin, i - begin), begin, i});
        } else if (isNameStart(c)) {
            while (i < n && isNameChar(sql[i])) {
                ++i;
            }
            t.push_back({TokenKind::Name, sql.substr(begin, i - begin), begin, i});
        } else if (c == ';') {
            // The statement ends here; only blanks may follow.
            for (std::size_t j = i + 1; j < n; ++j) {
                if (!isSpace(sql[j])) {
                    throw EngineError(engine_errors::kTrailingCharacters,
                                      "Characters found after end of SQL statement.");
                }
            }
            lexed.statementEnd = i;
            break;
        } else if ((c == '<' || c == '>') && i + 1 < n &&
                   (sql[i + 1] == '=' || (c == '<' && sql[i + 1] == '>'))) {
            t.push_back({TokenKind::Symbol, sql.substr(i, 2), begin, i + 2});
            i += 2;
        } else if (std::string_view("=<>+-*/&(),.").find(c) != std::string_view::npos) {
            // Each symbol stands alone in the output, so that no two of them
            // can form an operator or comment the dialect does not have.
            t.push_back({TokenKind::Symbol, std::string(1, c), begin, i + 1});
            ++i;
        } else {
            throw clauseError(lexed, sql, t.size(), Problem::Syntax);
        }
    }
    return lexed;
}

std::string quoted(std::string_view s, char quote) {
    std::string out(1, quote);
    for (char c : s) {
        out += c;
        if (c == quote) {
            out += quote;
        }
    }
    out += quote;
    return out;
}

struct Translation {
    Lexed lexed;
    std::string sql;
    std::vector<std::size_t> outputStart; // per token, where it begins in `sql`
};

// SELECT DISTINCT a, t.b  ->  SELECT DISTINCT a COLLATE JETNOCASE AS "a", ...
// so that values differing only in case count as one, while the result
// column keeps the name the caller asks for.
void collateDistinctColumns(const std::vector<Token>& t, const std::vector<int>& depth,
                            std::vector<std::string>& suffix, std::vector<bool>& skip) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!isKeyword(t, i, "SELECT")) {
            continue;
        }
        if (isKeyword(t, i + 1, "DISTINCTROW")) {
            skip[i + 1] = true; // whole records are distinct anyway
            continue;
        }
        if (!isKeyword(t, i + 1, "DISTINCT")) {
            continue;
        }
        std::size_t start = i + 2;
        for (std::size_t j = start; j <= t.size(); ++j) {
            const bool atEnd = j == t.size();
            const bool boundary =
                atEnd || (depth[j] == depth[i] &&
                          (isSymbol(t, j, ",") || isSymbol(t, j, ")") || isKeyword(t, j, "FROM")));
            if (!boundary) {
                continue;
            }
            const std::size_t len = j - start;
            const bool plain = (len == 1 && isName(t, start)) ||
                               (len == 3 && isName(t, start) && isSymbol(t, start + 1, ".") &&
                                isName(t, start + 2));
            if (plain) {
                suffix[j - 1] += std::string(kCollate) + " AS " + quoted(t[j - 1].text, '"');
            }
            if (!isSymbol(t, j, ",")) {
                break;
            }
            start = j + 1;
        }
    }
}

// ORDER BY a ASC, b  ->  ORDER BY a COLLATE JETNOCASE ASC, b COLLATE JETNOCASE
void collateOrderTerms(const std::vector<Token>& t, const std::vector<int>& depth,
                       std::vector<std::string>& suffix) {
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (!isKeyword(t, i, "ORDER") || !isKeyword(t, i + 1, "BY")) {
            continue;
        }
        std::size_t start = i + 2;
        for (std::size_t j = start; j <= t.size(); ++j) {
            const bool atEnd = j == t.size();
            const bool boundary =
                atEnd || (depth[j] == depth[i] && (isSymbol(t, j, ",") || isSymbol(t, j, ")")));
            if (!boundary) {
                continue;
            }
            std::size_t last = j;
            if (last > start && (isKeyword(t, last - 1, "ASC") || isKeyword(t, last - 1, "DESC"))) {
                --last;
            }
            if (last > start) {
                suffix[last - 1] += kCollate;
            }
            if (!isSymbol(t, j, ",")) {
                break;
            }
            start = j + 1;
        }
    }
}

// DELETE * FROM t, DELETE t.* FROM t  ->  DELETE FROM t
void dropDeleteColumns(const std::vector<Token>& t, std::vector<bool>& skip) {
    if (!isKeyword(t, 0, "DELETE")) {
        return;
    }
    if (isSymbol(t, 1, "*") && isKeyword(t, 2, "FROM")) {
        skip[1] = true;
    } else if (isName(t, 1) && isSymbol(t, 2, ".") && isSymbol(t, 3, "*") &&
               isKeyword(t, 4, "FROM")) {
        skip[1] = skip[2] = skip[3] = true;
    }
}

Translation translate(const std::string& jetSql) {
    Translation tr;
    tr.lexed = lex(jetSql);
    const std::vector<Token>& t = tr.lexed.tokens;
    if (!(isKeyword(t, 0, "SELECT") || isKeyword(t, 0, "DELETE") || isKeyword(t, 0, "INSERT") ||
          isKeyword(t, 0, "UPDATE"))) {
        throw EngineError(kNotAStatement, "Invalid SQL statement; expected 'DELETE', 'INSERT', "
                                          "'PROCEDURE', 'SELECT', or 'UPDATE'.");
    }
    // Nesting level before each token: a ) has the level of what it closes.
    std::vector<int> depth(t.size() + 1, 0);
    for (std::size_t i = 0; i < t.size(); ++i) {
        depth[i + 1] = depth[i] + (isSymbol(t, i, "(") ? 1 : 0) - (isSymbol(t, i, ")") ? 1 : 0);
    }
    std::vector<std::string> suffix(t.size());
    std::vector<bool> skip(t.size(), false);
    dropDeleteColumns(t, skip);
    collateDistinctColumns(t, depth, suffix, skip);
    collateOrderTerms(t, depth, suffix);

    tr.outputStart.assign(t.size(), 0);
    for (std::size_t i = 0; i < t.size(); ++i) {
        tr.outputStart[i] = tr.sql.size();
        if (skip[i]) {
            continue;
        }
        const bool tight =
            isSymbol(t, i, ",") || isSymbol(t, i, ")") || (i > 0 && isSymbol(t, i - 1, "("));
        if (!tr.sql.empty() && !tight) {
            tr.sql += ' ';
            tr.outputStart[i] = tr.sql.size();
        }
        switch (t[i].kind) {
        case TokenKind::Text:
            tr.sql += quoted(t[i].text, '\'') + kCollate;
            break;
        case TokenKind::QuotedName:
            tr.sql += quoted(t[i].text, '"');
            break;
        case TokenKind::Symbol:
            tr.sql += t[i].text == "&" ? "||" : t[i].text;
            break;
        default:
            tr.sql += t[i].text;
            break;
        }
        tr.sql += suffix[i];
    }
    return tr;
}

} // namespace

std::vector<JetToken> jetTokens(const std::string& jetSql) {
    return lex(jetSql).tokens;
}

std::string JetSql::toSqlite(const std::string& jetSql) {
    return translate(jetSql).sql;
}

EngineError JetSql::syntaxError(const std::string& jetSql, int sqliteErrorOffset) {
    try {
        const Translation tr = translate(jetSql);
        std::size_t at = tr.lexed.tokens.size();
        if (sqliteErrorOffset >= 0 && static_cast<std::size_t>(sqliteErrorOffset) < tr.sql.size()) {
            const auto offset = static_cast<std::size_t>(sqliteErrorOffset);
            for (std::size_t i = 0; i < tr.outputStart.size() && tr.outputStart[i] <= offset; ++i) {
                at = i;
            }
        }
        return clauseError(tr.lexed, jetSql, at, Problem::Syntax);
    } catch (const EngineError& e) {
        return e;
    }
}

} // namespace korvalt

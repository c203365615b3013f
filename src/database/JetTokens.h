#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace korvalt {

// The tokens of one statement of the file engine's dialect, as JetSql reads
// them, for other translations of the same dialect.
enum class JetTokenKind { Name, QuotedName, Number, Text, Symbol };

struct JetToken {
    JetTokenKind kind;
    std::string text; // as written; for Text and QuotedName the unquoted content
    std::size_t begin;
    std::size_t end;
};

// The tokens up to a trailing ; (Symbol tokens are = <> < > <= >= + - * / &
// ( ) , and .). Raises EngineError as JetSql::toSqlite does for text it cannot
// read: an unterminated string or name, characters after the end of the
// statement, a character the dialect does not know.
std::vector<JetToken> jetTokens(const std::string& jetSql);

} // namespace korvalt

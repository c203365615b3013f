#pragma once

#include "database/EngineError.h"

#include <string>

namespace korvalt {

// The file engine's SQL dialect, run on SQLite. Statements are rewritten token
// by token, never parsed in full:
//   - 'single' and "double" quoted texts are both text literals;
//   - [bracketed] names are names;
//   - & joins texts;
//   - text comparisons, DISTINCT and ORDER BY ignore letter case (through the
//     JETNOCASE collation), LIKE uses the engine's wildcards (through the
//     connection's like() function);
//   - DELETE * FROM t and DELETE t.* FROM t mean DELETE FROM t;
//   - one statement per call, a single trailing ; allowed.
// Only SELECT, DELETE, INSERT and UPDATE statements are accepted.
class JetSql {
public:
    // Returns the SQLite text of one statement. Raises EngineError with the
    // engine's number and wording for what it can tell is malformed: an
    // unterminated string or name (3075), characters after the end of the
    // statement (3142), a character the dialect does not know (3075), a
    // statement that is not a query or action (3129).
    static std::string toSqlite(const std::string& jetSql);

    // The error the engine reports for a statement that SQLite rejected as a
    // syntax error. `sqliteErrorOffset` is where in the SQLite text the error
    // was found (-1 when unknown); it decides which clause is reported:
    // the condition (3075, quoting it), FROM (3131), ORDER BY (3138) or the
    // column list (3141).
    static EngineError syntaxError(const std::string& jetSql, int sqliteErrorOffset);
};

} // namespace korvalt

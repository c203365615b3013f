#pragma once

#include <memory>
#include <string>
#include <vector>

namespace korvalt {

// What the program needs to know of a database server's tables to run its
// statements there: the names as the server spells them, and which columns
// hold text. Read from the server's catalog when the connection opens.
struct ServerColumn {
    std::string name; // as the server spells it
    bool text = false;
};
struct ServerTable {
    std::string name; // as the server spells it
    std::vector<ServerColumn> columns;
};
struct ServerSchema {
    std::vector<ServerTable> tables;
};

enum class ServerDialect { PostgreSql, SqlServer };

// Statements of the file engine's dialect (the ones JetSql.h accepts),
// translated for a database server so that they mean there what they mean
// in the file engine: text compared without regard to letter case with =,
// LIKE with the engine's wildcards (* ? # [...] [!...]) and nothing else
// special (%, _ and backslashes in the user's text mean themselves), DISTINCT
// and ORDER BY ignoring letter case, Null apart from empty text and sorted
// first, table and column names in any letter case (written as the server
// spells them), 'single' and "double" quoted literals.
class ServerSql {
public:
    // The server's text of one statement. Raises EngineError with the file
    // engine's number for what the file engine would reject: the same
    // numbers the SQLite back end raises for the same text (malformed
    // statement 3075, 3142, 3129, ...; a missing table 3078; an unknown
    // column 3061).
    static std::string translate(const std::string& jetSql, const ServerSchema& schema,
                                 ServerDialect dialect);
};

// The same translation for many statements on one schema: the statements are
// checked against an empty copy of the schema's tables in the file engine's
// own SQL layer, which this object builds once rather than per statement.
class ServerSqlTranslator {
public:
    ServerSqlTranslator(ServerSchema schema, ServerDialect dialect);
    ~ServerSqlTranslator();
    ServerSqlTranslator(const ServerSqlTranslator&) = delete;
    ServerSqlTranslator& operator=(const ServerSqlTranslator&) = delete;

    // As ServerSql::translate. Not for two threads at once.
    std::string translate(const std::string& jetSql);

private:
    class Shadow;
    ServerSchema m_schema;
    ServerDialect m_dialect;
    std::unique_ptr<Shadow> m_shadow;
};

} // namespace korvalt

#include "database/odbc/ServerSql.h"

#include "database/EngineError.h"
#include "database/SqliteConnection.h"
#include "database/odbc/ServerSqlParts.h"

#include <sqlite3.h>

namespace korvalt {

namespace {

std::string sqliteName(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

} // namespace

// The statement is checked where the file engine's errors are already told
// apart: the SQLite back end, on empty tables of the same names and columns.
// The server's answer to a malformed statement would be in its own words and
// numbers; this way the program sees the same numbers on every back end.
class ServerSqlTranslator::Shadow {
public:
    explicit Shadow(const ServerSchema& schema) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK) {
            sqlite3_close_v2(db);
            throw EngineError(engine_errors::kResourcesExceeded, "System resource exceeded.");
        }
        m_connection = std::make_unique<SqliteConnection>(db, std::string());
        for (const ServerTable& table : schema.tables) {
            create(table);
        }
    }

    // Raises the error the SQLite back end raises for the statement, if any.
    void check(const std::string& jetSql) {
        try {
            m_connection->prepare(jetSql, true);
        } catch (const EngineError& e) {
            // Raised only once the statement was read: it is a valid action.
            if (e.number() != engine_errors::kInvalidOperation) {
                throw;
            }
        }
    }

private:
    void create(const ServerTable& table) {
        // A server may hold names SQLite takes for the same (its names ignore
        // ASCII case): the first of them is kept, as the lookup finds it.
        std::string sql = "CREATE TABLE " + sqliteName(table.name) + " (";
        std::vector<const std::string*> seen;
        for (const ServerColumn& column : table.columns) {
            bool duplicate = false;
            for (const std::string* name : seen) {
                duplicate = duplicate || sqlite3_stricmp(name->c_str(), column.name.c_str()) == 0;
            }
            if (duplicate) {
                continue;
            }
            sql += (seen.empty() ? "" : ", ") + sqliteName(column.name) +
                   (column.text ? " TEXT" : " NUMERIC");
            seen.push_back(&column.name);
        }
        if (seen.empty()) {
            sql += "\"\"";
        }
        sql += ")";
        // A second table of the same name, ignoring case, fails: the first stays.
        sqlite3_exec(m_connection->handle(), sql.c_str(), nullptr, nullptr, nullptr);
    }

    std::unique_ptr<SqliteConnection> m_connection;
};

ServerSqlTranslator::ServerSqlTranslator(ServerSchema schema, ServerDialect dialect)
    : m_schema(std::move(schema)), m_dialect(dialect),
      m_shadow(std::make_unique<Shadow>(m_schema)) {}

ServerSqlTranslator::~ServerSqlTranslator() = default;

std::string ServerSqlTranslator::translate(const std::string& jetSql) {
    m_shadow->check(jetSql);
    return server_sql::translateChecked(jetSql, m_schema, m_dialect);
}

std::string ServerSql::translate(const std::string& jetSql, const ServerSchema& schema,
                                 ServerDialect dialect) {
    ServerSqlTranslator translator(schema, dialect);
    return translator.translate(jetSql);
}

} // namespace korvalt

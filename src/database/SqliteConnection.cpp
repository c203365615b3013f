#include "database/SqliteConnection.h"

#include "database/JetLike.h"
#include "database/JetSql.h"

#include <sqlite3.h>

#include <string_view>

namespace korvalt {

namespace {

using engine_errors::kCannotOpen;
using engine_errors::kDiskError;
using engine_errors::kInvalidOperation;
using engine_errors::kLocked;
using engine_errors::kResourcesExceeded;
using engine_errors::kSelectNotExecutable;
using engine_errors::kUndefinedFunction;

std::string_view viewOf(sqlite3_value* value) {
    const auto* text = sqlite3_value_text(value);
    const int size = sqlite3_value_bytes(value);
    if (text == nullptr || size <= 0) {
        return {};
    }
    return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)};
}

int collateNoCase(void*, int sizeA, const void* a, int sizeB, const void* b) {
    return JetLike::compareNoCase(
        std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(sizeA)),
        std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(sizeB)));
}

void destroyPattern(void* pattern) {
    std::unique_ptr<JetLike> owner(static_cast<JetLike*>(pattern));
}

// like(pattern, text) is what SQLite calls for "text LIKE pattern". The
// compiled pattern is kept with the statement while the pattern argument
// stays the same, so a constant pattern is parsed once per query.
void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    auto* connection = static_cast<SqliteConnection*>(sqlite3_user_data(context));
    if (argc != 2) {
        sqlite3_result_error(context, "LIKE ... ESCAPE is not part of this SQL dialect", -1);
        return;
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    try {
        auto* pattern = static_cast<JetLike*>(sqlite3_get_auxdata(context, 0));
        if (pattern == nullptr) {
            auto compiled = std::make_unique<JetLike>(viewOf(argv[0]));
            pattern = compiled.get();
            sqlite3_set_auxdata(context, 0, compiled.release(), destroyPattern);
            // SQLite may drop the cache at once (it then already destroyed it).
            pattern = static_cast<JetLike*>(sqlite3_get_auxdata(context, 0));
            if (pattern == nullptr) {
                sqlite3_result_int(context, JetLike::matches(viewOf(argv[1]), viewOf(argv[0])));
                return;
            }
        }
        sqlite3_result_int(context, pattern->matches(viewOf(argv[1])) ? 1 : 0);
    } catch (const EngineError& e) {
        connection->setPendingError(e);
        sqlite3_result_error(context, e.what(), -1);
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
    }
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string after(std::string_view text, std::string_view marker) {
    const auto at = text.find(marker);
    std::string rest(at == std::string_view::npos ? text : text.substr(at + marker.size()));
    if (rest.rfind("main.", 0) == 0) {
        rest.erase(0, 5);
    }
    return rest;
}

} // namespace

void SqliteConnection::Finalize::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

SqliteConnection::SqliteConnection(sqlite3* handle, std::string path)
    : m_db(handle), m_path(std::move(path)) {
    sqlite3_extended_result_codes(m_db, 0);
    sqlite3_busy_timeout(m_db, 2000);
    // "name" must never quietly turn into a text when no column has that name.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    int rc = sqlite3_create_collation(m_db, "JETNOCASE", SQLITE_UTF8, nullptr, collateNoCase);
    if (rc == SQLITE_OK) {
        rc = sqlite3_create_function(m_db, "like", 2, flags, this, likeFunction, nullptr, nullptr);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_create_function(m_db, "like", 3, flags, this, likeFunction, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(m_db);
        sqlite3_close_v2(m_db);
        throw EngineError(engine_errors::kGeneral, message);
    }
}

SqliteConnection::~SqliteConnection() {
    sqlite3_close_v2(m_db);
}

namespace {

// The translated statement begins with DELETE (the dialect's one statement
// per call, so that is what it does). A translation begins with its first
// keyword, a whole word, and is always one of DELETE, INSERT, SELECT, UPDATE.
bool isDelete(const std::string& sqliteText) {
    return sqlite3_strnicmp(sqliteText.c_str(), "DELETE", 6) == 0;
}

} // namespace

SqliteConnection::Statement SqliteConnection::prepare(const std::string& jetSql, bool forReading) {
    const std::string sql = JetSql::toSqlite(jetSql);
    sqlite3_stmt* raw = nullptr;
    m_pending.reset();
    // The translation is one statement that begins with its keyword and holds
    // no comment, so SQLite always makes a statement of all of it.
    const int rc =
        sqlite3_prepare_v2(m_db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    Statement statement(raw);
    if (rc != SQLITE_OK) {
        raise(rc, jetSql);
    }
    const bool changesData = sqlite3_stmt_readonly(statement.get()) == 0;
    if (forReading && changesData) {
        throw EngineError(kInvalidOperation, "Invalid operation.");
    }
    if (!forReading && !changesData && sqlite3_column_count(statement.get()) > 0) {
        throw EngineError(kSelectNotExecutable, "Cannot execute a select query.");
    }
    if (changesData && m_readOnlyReason && !(m_exceptDeletes && isDelete(sql))) {
        throw EngineError(engine_errors::kReadOnly,
                          "Cannot update. Database or object is read-only. " + *m_readOnlyReason);
    }
    return statement;
}

bool SqliteConnection::step(sqlite3_stmt* statement, const std::string& jetSql) {
    m_pending.reset();
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    sqlite3_reset(statement);
    raise(rc, jetSql);
}

void SqliteConnection::checkReadable() {
    const int rc = sqlite3_exec(m_db, "PRAGMA schema_version", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        raise(rc, "PRAGMA schema_version");
}

void SqliteConnection::raise(int rc, const std::string& jetSql) {
    if (m_pending) {
        const EngineError error = *m_pending;
        m_pending.reset();
        throw error;
    }
    const std::string message = sqlite3_errmsg(m_db);
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw EngineError(kLocked, "Could not update; currently locked.");
    case SQLITE_READONLY:
        throw EngineError(engine_errors::kReadOnly,
                          "Cannot update. Database or object is read-only.");
    case SQLITE_NOTADB:
        throw EngineError(engine_errors::kUnrecognizedFormat,
                          "Unrecognized database format '" + m_path + "'.");
    case SQLITE_CORRUPT:
        throw EngineError(kCannotOpen, "Cannot open database '" + m_path +
                                           "'. It may not be a database that your application "
                                           "recognizes, or the file may be corrupt.");
    case SQLITE_IOERR:
        throw EngineError(kDiskError, "Disk or network error.");
    case SQLITE_FULL:
    case SQLITE_NOMEM:
        throw EngineError(kResourcesExceeded, "System resource exceeded.");
    default:
        break;
    }
    if (contains(message, "no such table: ")) {
        throw EngineError(engine_errors::kTableNotFound,
                          "The database engine cannot find the input table or query '" +
                              after(message, "no such table: ") +
                              "'. Make sure it exists and that its name is spelled correctly.");
    }
    if (contains(message, "no such column: ")) {
        // The engine takes an unknown name for a parameter nobody supplied.
        throw EngineError(engine_errors::kTooFewParameters, "Too few parameters. Expected 1.");
    }
    if (contains(message, "no such function: ")) {
        throw EngineError(kUndefinedFunction, "Undefined function '" +
                                                  after(message, "no such function: ") +
                                                  "' in expression.");
    }
    if (contains(message, "syntax error") || contains(message, "incomplete input") ||
        contains(message, "unrecognized token")) {
        throw JetSql::syntaxError(jetSql, sqlite3_error_offset(m_db));
    }
    throw EngineError(engine_errors::kGeneral, message);
}

} // namespace korvalt

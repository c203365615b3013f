#include "database/odbc/OdbcDatabase.h"

#include "database/EngineError.h"
#include "database/odbc/OdbcConnection.h"
#include "database/odbc/OdbcRecordset.h"
#include "database/odbc/OdbcSchema.h"

#include <sqlext.h>

#include <cctype>
#include <chrono>
#include <future>

namespace korvalt {

namespace {

// The first word of a translated statement (which starts with it), upper-cased.
std::string firstWord(const std::string& sql) {
    std::string word;
    for (const char c : sql) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalpha(u))
            break;
        word += static_cast<char>(std::toupper(u));
    }
    return word;
}

constexpr auto kBusyInterval = std::chrono::milliseconds(100);

// Letter case is folded on PostgreSQL through its ICU collations; a server
// built without ICU would refuse every statement that compares text, so it
// is refused once, saying why, at connect.
void requireUnicodeFolding(odbc::Connection& connection) {
    const odbc::Statement found =
        connection.run("SELECT 1 FROM pg_catalog.pg_collation WHERE collname = 'und-x-icu'");
    if (SQLFetch(found.get()) != SQL_SUCCESS) {
        throw EngineError(engine_errors::kGeneral,
                          "The PostgreSQL server of '" + connection.address() +
                              "' has no ICU collations (it was built without ICU); Korvalt "
                              "needs them to compare text without regard to letter case.");
    }
}

bool isQuery(const std::string& serverSql) {
    const std::string word = firstWord(serverSql);
    return word == "SELECT" || word == "WITH";
}

} // namespace

std::unique_ptr<OdbcDatabase> OdbcDatabase::connect(const std::string& connectionString) {
    auto connection = std::make_shared<odbc::Connection>(connectionString);
    const ServerDialect dialect = odbc::detectDialect(*connection);
    if (dialect == ServerDialect::PostgreSql) {
        // Backslashes in literals are then plain characters, as in the file
        // engine, whatever the server's configuration says.
        connection->run("SET standard_conforming_strings = on");
        requireUnicodeFolding(*connection);
    }
    // N'...' is national text on SQL Server and plain text on PostgreSQL.
    connection->learnTextEncoding(std::string("SELECT N'") + odbc::Connection::kNarrowProbe + "'");
    ServerSchema schema = odbc::readSchema(*connection, dialect);
    return std::make_unique<OdbcDatabase>(std::move(connection), dialect, std::move(schema));
}

OdbcDatabase::OdbcDatabase(std::shared_ptr<odbc::Connection> connection, ServerDialect dialect,
                           ServerSchema schema)
    : m_connection(std::move(connection)), m_dialect(dialect), m_schema(std::move(schema)) {}

OdbcDatabase::~OdbcDatabase() = default;

void OdbcDatabase::execute(const std::string& sql) {
    const std::string serverSql = ServerSql::translate(sql, m_schema, m_dialect);
    if (isQuery(serverSql))
        throw EngineError(engine_errors::kSelectNotExecutable, "Cannot execute a select query.");
    m_connection->setAutocommit(false);
    try {
        // The statement runs on a thread of its own so that the caller can be
        // told, now and then, that the server is still at work.
        auto running = std::async(std::launch::async, [&] { m_connection->run(serverSql); });
        while (m_stillBusy && running.wait_for(kBusyInterval) != std::future_status::ready)
            m_stillBusy();
        running.get();
        m_connection->endTransaction(true);
    } catch (...) {
        // The failure being raised is what the user must see; a rollback that
        // fails as well (the link is gone) leaves the server to roll back.
        try {
            m_connection->endTransaction(false);
            m_connection->setAutocommit(true);
        } catch (const EngineError&) {
        }
        throw;
    }
    m_connection->setAutocommit(true);
}

std::unique_ptr<Recordset> OdbcDatabase::openRecordset(const std::string& sql) {
    const std::string serverSql = ServerSql::translate(sql, m_schema, m_dialect);
    if (!isQuery(serverSql))
        throw EngineError(engine_errors::kInvalidOperation, "Invalid operation.");
    return std::make_unique<OdbcRecordset>(m_connection, serverSql,
                                           m_dialect == ServerDialect::PostgreSql, m_stillBusy);
}

void OdbcDatabase::setProgress(std::function<void()> stillBusy) {
    m_stillBusy = std::move(stillBusy);
}

const std::string& OdbcDatabase::path() const {
    return m_connection->address();
}

} // namespace korvalt

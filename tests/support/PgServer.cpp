#include "support/PgServer.h"

#include "database/Value.h"
#include "database/odbc/OdbcConnection.h"
#include "support/PipeCsv.h"

#include <unistd.h>

#include <cstdlib>
#include <iomanip>
#include <sstream>

namespace korvalt::test_support {

namespace {

std::string literal(const Value& v) {
    std::ostringstream out;
    out.precision(17);
    if (v.isNull())
        out << "NULL";
    else if (v.isInteger())
        out << v.asInteger();
    else if (v.isReal())
        out << v.asReal();
    else
        out << std::quoted(v.asText(), '\'', '\'');
    return out.str();
}

// Test programs running side by side share the server: the first creates the table, under a lock.
std::string loadStatement() {
    std::string columns, rows;
    for (const std::string& name : pipeCsvColumns()) {
        const bool real =
            name == "main_nom" || name == "red_nom" || name == "LENGTH" || name == "WEIGHT";
        columns += ", \"" + name +
                   (name == "UNIQUE_ID" ? "\" INTEGER"
                    : real              ? "\" DOUBLE PRECISION"
                                        : "\" TEXT");
    }
    for (const auto& row : loadPipeCsv(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv")) {
        std::string values;
        for (const Value& v : row)
            values += ", " + literal(v);
        rows += ", (" + values.substr(2) + ")";
    }
    return "DO $korvalt$ BEGIN PERFORM pg_advisory_xact_lock(72401); IF to_regclass('\"Pipe\"') "
           "IS NULL THEN CREATE TABLE \"Pipe\" (" +
           columns.substr(2) + "); INSERT INTO \"Pipe\" VALUES " + rows.substr(2) +
           "; END IF; END $korvalt$";
}

} // namespace

// One server for the whole run of the test program, set up at the first call.
const PgServer::Shared& PgServer::shared() {
    static const Shared shared = []() -> Shared {
        const char* given = std::getenv("KORVALT_TEST_PG");
        if (given == nullptr || *given == '\0')
            return {nullptr, "skipped: KORVALT_TEST_PG (an ODBC connection string) is not set; "
                             "scripts/test-server starts a server that fits"};
        try {
            auto server = std::make_unique<PgServer>(given);
            server->run({loadStatement()});
            return {std::move(server), ""};
        } catch (const std::exception& e) {
            return {nullptr, std::string("the test server could not be set up: ") + e.what(), true};
        }
    }();
    return shared;
}

void PgServer::run(const std::vector<std::string>& statements) const {
    odbc::Connection connection(m_connection);
    // A backslash in a literal is a plain character, whatever the server says.
    connection.run("SET standard_conforming_strings = on");
    for (const std::string& sql : statements)
        connection.run(sql);
}

PrivateCopy::PrivateCopy(const PgServer& server, const std::string& prefix)
    : m_server(server), m_schema(prefix + "_" + std::to_string(getpid())),
      m_connection(
          server.connectionStringWith("ConnSettings={SET search_path TO " + m_schema + "}")) {
    m_server.run({"DROP SCHEMA IF EXISTS " + m_schema + " CASCADE", "CREATE SCHEMA " + m_schema,
                  "SET search_path TO " + m_schema, loadStatement()});
}

PrivateCopy::~PrivateCopy() {
    m_server.run({"DROP SCHEMA IF EXISTS " + m_schema + " CASCADE"});
}

} // namespace korvalt::test_support

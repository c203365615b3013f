#include "support/PgServer.h"

#include "database/Value.h"
#include "database/odbc/OdbcConnection.h"
#include "support/PipeCsv.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace korvalt::test_support {

namespace {

std::string literal(const Value& v) {
    if (v.isNull())
        return "NULL";
    if (v.isInteger())
        return std::to_string(v.asInteger());
    if (v.isReal()) {
        std::array<char, 32> buffer{};
        std::snprintf(buffer.data(), buffer.size(), "%.17g", v.asReal());
        return buffer.data();
    }
    std::string out = "'";
    for (const char c : v.asText())
        out += c == '\'' ? "''" : std::string(1, c);
    return out + "'";
}

// Test programs running side by side share the server: the first creates the
// table, under a lock, and the others find it there.
std::string loadStatement() {
    const std::vector<std::string>& columns = pipeCsvColumns();
    std::string create = "CREATE TABLE \"Pipe\" (";
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::string& name = columns[c];
        const bool real =
            name == "main_nom" || name == "red_nom" || name == "LENGTH" || name == "WEIGHT";
        create += (c == 0 ? "\"" : ", \"") + name + "\" " +
                  (name == "UNIQUE_ID" ? "INTEGER"
                   : real              ? "DOUBLE PRECISION"
                                       : "TEXT");
    }
    std::string insert = "INSERT INTO \"Pipe\" VALUES ";
    const auto rows = loadPipeCsv(std::string(KORVALT_FIXTURES_DIR) + "/pipe-small.csv");
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            insert += (c == 0 ? (r == 0 ? "(" : ", (") : ", ") + literal(rows[r][c]);
        insert += ")";
    }
    return "DO $korvalt$ BEGIN PERFORM pg_advisory_xact_lock(72401); IF to_regclass('\"Pipe\"') "
           "IS NULL THEN " +
           create + "); " + insert + "; END IF; END $korvalt$";
}

struct Shared {
    std::unique_ptr<PgServer> server;
    std::string whyNot;
    bool failed = false;
};

// One server for the whole run of the test program, set up at the first call.
Shared& state() {
    static Shared shared = [] {
        Shared s;
        const char* given = std::getenv("KORVALT_TEST_PG");
        if (given == nullptr || *given == '\0') {
            s.whyNot = "skipped: KORVALT_TEST_PG (an ODBC connection string) is not set; "
                       "scripts/test-server starts a server that fits";
            return s;
        }
        try {
            s.server = std::make_unique<PgServer>(given);
            s.server->run({loadStatement()});
        } catch (const std::exception& e) {
            s.server.reset();
            s.failed = true;
            s.whyNot = std::string("the PostgreSQL test server could not be set up: ") + e.what();
        }
        return s;
    }();
    return shared;
}

} // namespace

PgServer* PgServer::shared() {
    return state().server.get();
}

const std::string& PgServer::whyNot() {
    return state().whyNot;
}

bool PgServer::setupFailed() {
    return state().failed;
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

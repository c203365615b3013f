#pragma once

#include <string>
#include <vector>

namespace korvalt::test_support {

// The PostgreSQL server KORVALT_TEST_PG names (as scripts/test-server prints
// it), with the records of fixtures/pipe-small.csv in a table "Pipe" spelled
// as the fixture spells it, created at first use.
class PgServer {
public:
    // The server of this run; nullptr when none is named (whyNot() says so)
    // or its table could not be set up (setupFailed()).
    static PgServer* shared();
    static const std::string& whyNot();
    static bool setupFailed();

    explicit PgServer(std::string connection) : m_connection(std::move(connection)) {}
    const std::string& connectionString() const { return m_connection; }
    std::string connectionStringWith(const std::string& attribute) const {
        return m_connection + (m_connection.ends_with(';') ? "" : ";") + attribute;
    }
    // Runs statements of the server's own SQL, in order, on one connection.
    void run(const std::vector<std::string>& statements) const;

private:
    std::string m_connection;
};

// A fresh copy of the table in a schema of its own (`prefix` and the process
// id), dropped at the end: for a test that changes data.
class PrivateCopy {
public:
    PrivateCopy(const PgServer& server, const std::string& prefix);
    ~PrivateCopy();
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;
    const std::string& schema() const { return m_schema; }
    const std::string& connection() const { return m_connection; } // works in the schema

private:
    const PgServer& m_server;
    std::string m_schema;
    std::string m_connection;
};

// `server` becomes the shared server, or the test ends skipped or failed.
#define KORVALT_PG_SERVER_OR_SKIP(server)                                                          \
    ::korvalt::test_support::PgServer* server = ::korvalt::test_support::PgServer::shared();       \
    if (server == nullptr) {                                                                       \
        if (::korvalt::test_support::PgServer::setupFailed())                                      \
            FAIL() << ::korvalt::test_support::PgServer::whyNot();                                 \
        GTEST_SKIP() << ::korvalt::test_support::PgServer::whyNot();                               \
    }

} // namespace korvalt::test_support

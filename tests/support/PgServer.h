#pragma once

#include <string>
#include <vector>

namespace korvalt::test_support {

// The PostgreSQL server that KORVALT_TEST_PG names (an ODBC connection
// string, as scripts/test-server prints it), holding the records of
// fixtures/pipe-small.csv in a table "Pipe" with the fixture's column
// spellings, created at first use when the server has none.
class PgServer {
public:
    // The server of this run; nullptr when none is named (whyNot() says so)
    // or its table could not be set up (setupFailed()).
    static PgServer* shared();
    static const std::string& whyNot();
    static bool setupFailed();

    explicit PgServer(std::string connection) : m_connection(std::move(connection)) {}
    const std::string& connectionString() const { return m_connection; }
    std::string connectionStringWith(const std::string& attribute) const;
    // Runs statements of the server's own SQL, in order, on one connection.
    void run(const std::vector<std::string>& statements) const;

private:
    std::string m_connection;
};

// A fresh copy of the fixture table in a schema of its own (`prefix` and the
// process id), for a test that changes data while other test programs read
// the shared one; dropped at the end.
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

// In a test body: `server` becomes the shared server, or the test ends as
// skipped (no server named) or failed (one that does not work).
#define KORVALT_PG_SERVER_OR_SKIP(server)                                                          \
    ::korvalt::test_support::PgServer* server = ::korvalt::test_support::PgServer::shared();       \
    if (server == nullptr) {                                                                       \
        if (::korvalt::test_support::PgServer::setupFailed())                                      \
            FAIL() << ::korvalt::test_support::PgServer::whyNot();                                 \
        GTEST_SKIP() << ::korvalt::test_support::PgServer::whyNot();                               \
    }

} // namespace korvalt::test_support

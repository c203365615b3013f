#pragma once

#include <memory>
#include <string>
#include <vector>

namespace korvalt::test_support {

// A PostgreSQL server holding the records of fixtures/pipe-small.csv in a
// table "Pipe" (spelled in mixed case, quoted, with the fixture's column
// spellings), for the tests of the database-server back end.
//
// The server is the one the environment variable KORVALT_TEST_PG names (an
// ODBC connection string; a "Pipe" table is created there when it has none,
// and must otherwise hold the fixture's records), or else one of the
// test program's own: a throwaway cluster in a temporary folder on a free
// loopback port, run by an unprivileged user when the tests run as root, and
// stopped when the program ends, however it ends.
class PgServer {
public:
    // The server of this run of the test program, set up at the first call;
    // nullptr when there is none: whyNot() then says why, and setupFailed()
    // whether that is a failure (a server given or installed that does not
    // work) rather than a machine without one. KORVALT_PG_SERVER_OR_SKIP does
    // the right thing with both in a test.
    static PgServer* shared();
    static const std::string& whyNot();
    static bool setupFailed();

    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // An ODBC connection string for the server, through the "PostgreSQL
    // Unicode" driver (or the one of KORVALT_TEST_PG).
    const std::string& connectionString() const { return m_connection; }
    // The same with one more attribute, such as "DATABASE=nothere".
    std::string connectionStringWith(const std::string& attribute) const;

    // A schema of the test's own holding a fresh copy of the fixture table,
    // for a test that changes data while others read the shared one (the
    // server may serve several test programs at once); the connection
    // string that works in it. dropSchema() removes it again.
    std::string privateCopy(const std::string& schema) const;
    void dropSchema(const std::string& schema) const;
    // Runs statements of the server's own SQL, in order, through plain ODBC
    // (not through the program's engine). Throws std::runtime_error.
    void run(const std::vector<std::string>& statements) const;

    struct Cluster;
    // Use shared().
    PgServer(std::string connection, std::unique_ptr<Cluster> cluster);

private:
    struct Shared;
    static Shared& state();
    static std::unique_ptr<PgServer> start(std::string& whyNot);

    std::string m_connection;
    std::unique_ptr<Cluster> m_cluster;
};

// In a test body: `server` becomes the shared server, or the test ends as
// skipped (no server on this machine) or failed (one that does not work).
#define KORVALT_PG_SERVER_OR_SKIP(server)                                                          \
    ::korvalt::test_support::PgServer* server = ::korvalt::test_support::PgServer::shared();       \
    if (server == nullptr) {                                                                       \
        if (::korvalt::test_support::PgServer::setupFailed())                                      \
            FAIL() << ::korvalt::test_support::PgServer::whyNot();                                 \
        GTEST_SKIP() << ::korvalt::test_support::PgServer::whyNot();                               \
    }

// A loopback port nobody listens on at the moment of the call.
int freeLoopbackPort();

} // namespace korvalt::test_support

#pragma once

#include <memory>
#include <string>
#include <vector>

namespace korvalt::test_support {

// The PostgreSQL server KORVALT_TEST_PG names (as scripts/test-server prints it), with the records
// of fixtures/pipe-small.csv in a table "Pipe" spelled as the fixture spells it, made at first use.
class PgServer {
public:
    // The server of this run: none if none is named or it could not be set up (failed): whyNot.
    struct Shared {
        std::unique_ptr<PgServer> server;
        std::string whyNot;
        bool failed = false;
    };
    static const Shared& shared();

    explicit PgServer(std::string connection) : m_connection(std::move(connection)) {}
    std::string connectionStringWith(const std::string& attribute) const {
        return m_connection + (m_connection.ends_with(';') ? "" : ";") + attribute;
    }
    // Runs statements of the server's own SQL, in order, on one connection.
    void run(const std::vector<std::string>& statements) const;

private:
    std::string m_connection;
};

// A fresh copy of the table in a schema of its own (`prefix` and process id), dropped at the end.
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
    const auto& server##Shared = ::korvalt::test_support::PgServer::shared();                      \
    if (server##Shared.failed)                                                                     \
        FAIL() << server##Shared.whyNot;                                                           \
    if (!server##Shared.server)                                                                    \
        GTEST_SKIP() << server##Shared.whyNot;                                                     \
    ::korvalt::test_support::PgServer* server = server##Shared.server.get()

} // namespace korvalt::test_support

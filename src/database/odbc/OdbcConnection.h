#pragma once

#include <sql.h>

#include <memory>
#include <string>
#include <vector>

namespace korvalt::odbc {

struct FreeStatement {
    void operator()(SQLHSTMT statement) const;
};
// A statement handle, freed with its cursor when it goes.
using Statement = std::unique_ptr<void, FreeStatement>;

// One connection to a database server through the ODBC driver manager. Every
// failed call is raised as EngineError: numbers the rest of the program
// tests for where the meaning matches (a server out of reach 3024, an
// unknown data source 3044, a missing table 3078), otherwise the driver's
// own words with the ODBC state. No text raised carries a password.
class Connection {
public:
    // Connects without prompting anybody.
    explicit Connection(const std::string& connectionString);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The connection string with its password hidden.
    const std::string& address() const { return m_address; }
    SQLHDBC handle() const { return m_dbc; }

    Statement newStatement();
    // Runs a statement (UTF-8) on a new handle; a statement that changes
    // nothing or finds no rows is no failure.
    Statement run(const std::string& sql);
    // Text answer of SQLGetInfo.
    std::string info(SQLUSMALLINT type);
    // A text column of the current row of a statement, read whole into
    // `out` (UTF-8); false for Null.
    bool getText(SQLHSTMT statement, SQLUSMALLINT column, std::string& out) const;
    // The same added to the end of `out`, which a Null leaves as it was.
    bool appendText(SQLHSTMT statement, SQLUSMALLINT column, std::string& out) const;
    // Whether the driver hands out text as UTF-8 when asked for narrow
    // characters, learnt by having the server send `probeSql`'s one value,
    // which must be kNarrowProbe. Narrow text then skips the conversion to
    // UTF-16 and back; a driver that converts to a local code page instead
    // (or any failure) keeps the wide calls.
    void learnTextEncoding(const std::string& probeSql);
    bool narrowTextIsUtf8() const { return m_narrowUtf8; }
    static constexpr const char* kNarrowProbe = "\xC3\x98\xE2\x82\xAC\xF0\x9F\x98\x80"; // Ø€😀
    void setAutocommit(bool on);
    void endTransaction(bool commit);

    // Raises the failure the handle's diagnostics describe; `connecting`
    // while the connection is being made.
    [[noreturn]] void fail(SQLSMALLINT handleType, SQLHANDLE handle, bool connecting = false) const;
    // Passes a successful return code, raises any other.
    void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle) const;

private:
    std::string m_address;
    std::vector<std::string> m_passwords;
    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
    bool m_connected = false;
    bool m_narrowUtf8 = false;
};

inline bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

} // namespace korvalt::odbc

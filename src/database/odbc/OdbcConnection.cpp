#include "database/odbc/OdbcConnection.h"

#include "database/Database.h"
#include "database/EngineError.h"
#include "database/odbc/OdbcText.h"

#include <sqlext.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace korvalt::odbc {

namespace {

// The file engine's numbers for a failure reported by an ODBC driver.
constexpr int kCallFailed = 3146;
constexpr int kConnectionFailed = 3151;
// Enough for every driver message met so far; a longer one is cut.
constexpr SQLSMALLINT kMessageUnits = 1024;
constexpr int kMostRecords = 4;

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

struct Diagnostics {
    std::string firstState;
    std::string text;
};

Diagnostics readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    Diagnostics out;
    std::string firstWarning;
    for (SQLSMALLINT record = 1; record <= kMostRecords; ++record) {
        std::array<SQLWCHAR, 6> state{};
        std::array<SQLWCHAR, kMessageUnits> message{};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(handleType, handle, record, state.data(), &native,
                                            message.data(), kMessageUnits, &length);
        if (!succeeded(rc))
            break;
        const std::string code = fromWide(state.data(), 5);
        const auto units =
            static_cast<std::size_t>(std::min<SQLSMALLINT>(length, kMessageUnits - 1));
        std::string text = fromWide(message.data(), units);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == ';'))
            text.pop_back();
        // Warnings (class 01) may come before the error that says what went wrong.
        std::string& first = startsWith(code, "01") ? firstWarning : out.firstState;
        if (first.empty())
            first = code;
        if (!out.text.empty())
            out.text += " ";
        out.text += text + " (SQLSTATE " + code + ")";
    }
    if (out.firstState.empty())
        out.firstState = firstWarning.empty() ? "HY000" : firstWarning;
    if (out.text.empty())
        out.text = "The ODBC driver gave no reason (SQLSTATE HY000)";
    return out;
}

} // namespace

void FreeStatement::operator()(SQLHSTMT statement) const {
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
}

Connection::Connection(const std::string& connectionString)
    : m_address(HidePassword(connectionString)), m_passwords(passwordsIn(connectionString)) {
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env))) {
        throw EngineError(kConnectionFailed,
                          "ODBC--connection to '" + m_address + "' failed. No ODBC environment.");
    }
    SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc))) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
        throw EngineError(kConnectionFailed,
                          "ODBC--connection to '" + m_address + "' failed. No ODBC connection.");
    }
    WideString wide = toWide(connectionString);
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc =
        SQLDriverConnectW(m_dbc, nullptr, wide.data(), static_cast<SQLSMALLINT>(wide.size()),
                          nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT);
    // Nothing of the password stays in memory that the program does not need.
    std::fill(wide.begin(), wide.end(), SQLWCHAR{0});
    if (!succeeded(rc)) {
        try {
            fail(SQL_HANDLE_DBC, m_dbc, true);
        } catch (...) {
            SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
            SQLFreeHandle(SQL_HANDLE_ENV, m_env);
            throw;
        }
    }
    m_connected = true;
}

Connection::~Connection() {
    if (m_connected)
        SQLDisconnect(m_dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

void Connection::fail(SQLSMALLINT handleType, SQLHANDLE handle, bool connecting) const {
    Diagnostics d = readDiagnostics(handleType, handle);
    const std::string text = withoutPasswords(std::move(d.text), m_passwords);
    const std::string& state = d.firstState;
    if (connecting) {
        // IM002: no such data source and no default driver; IM003: the named
        // driver cannot be loaded. Both mean the address names nothing.
        // The unixODBC driver manager reports a driver library it cannot load
        // with nothing but a general warning (01000).
        if (state == "IM002" || state == "IM003" || state == "01000" || state == "IM007" ||
            state == "IM010" || state == "IM011" || state == "IM012") {
            throw EngineError(engine_errors::kInvalidPath,
                              "'" + m_address + "' isn't a valid data source. " + text);
        }
        // Class 08: the server is not there, refuses, or the link broke.
        if (startsWith(state, "08") || state == "HYT00" || state == "HYT01") {
            throw EngineError(engine_errors::kFileNotFound,
                              "Could not reach the database server of '" + m_address + "'. " +
                                  text);
        }
        throw EngineError(kConnectionFailed,
                          "ODBC--connection to '" + m_address + "' failed. " + text);
    }
    // 42P01 is PostgreSQL's own state for a missing table, 42S02 the
    // standard one (SQL Server).
    if (state == "42P01" || state == "42S02") {
        throw EngineError(engine_errors::kTableNotFound,
                          "The database engine cannot find the input table or query. " + text);
    }
    throw EngineError(kCallFailed, "ODBC--call failed. " + text);
}

void Connection::check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle) const {
    if (!succeeded(rc))
        fail(handleType, handle);
}

Statement Connection::newStatement() {
    SQLHSTMT raw = SQL_NULL_HSTMT;
    check(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &raw), SQL_HANDLE_DBC, m_dbc);
    return Statement(raw);
}

Statement Connection::run(const std::string& sql) {
    Statement statement = newStatement();
    WideString wide = toWide(sql);
    const SQLRETURN rc =
        SQLExecDirectW(statement.get(), wide.data(), static_cast<SQLINTEGER>(wide.size()));
    if (rc != SQL_NO_DATA)
        check(rc, SQL_HANDLE_STMT, statement.get());
    return statement;
}

std::string Connection::info(SQLUSMALLINT type) {
    std::array<SQLWCHAR, 256> buffer{};
    SQLSMALLINT bytes = 0;
    check(SQLGetInfoW(m_dbc, type, buffer.data(),
                      static_cast<SQLSMALLINT>(buffer.size() * sizeof(SQLWCHAR)), &bytes),
          SQL_HANDLE_DBC, m_dbc);
    const std::size_t units =
        std::min(buffer.size() - 1, static_cast<std::size_t>(bytes) / sizeof(SQLWCHAR));
    return fromWide(buffer.data(), units);
}

bool Connection::getText(SQLHSTMT statement, SQLUSMALLINT column, std::string& out) const {
    out.clear();
    return appendText(statement, column, out);
}

bool Connection::appendText(SQLHSTMT statement, SQLUSMALLINT column, std::string& out) const {
    if (m_narrowUtf8) {
        std::array<char, 512> buffer{};
        constexpr auto kBytes = static_cast<SQLLEN>(sizeof(buffer));
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc =
                SQLGetData(statement, column, SQL_C_CHAR, buffer.data(), kBytes, &indicator);
            if (rc == SQL_NO_DATA)
                return true;
            check(rc, SQL_HANDLE_STMT, statement);
            if (indicator == SQL_NULL_DATA)
                return false;
            // Pieces are bytes: a character split between two joins up again.
            const bool whole = indicator != SQL_NO_TOTAL && indicator < kBytes;
            out.append(buffer.data(),
                       whole ? static_cast<std::size_t>(indicator) : buffer.size() - 1);
            if (whole)
                return true;
        }
    }
    std::array<SQLWCHAR, 256> buffer{};
    constexpr auto kBytes = static_cast<SQLLEN>(sizeof(buffer));
    constexpr std::size_t kUnits = std::tuple_size_v<decltype(buffer)> - 1; // and a terminator
    // A long text comes in pieces; they are joined before conversion so that
    // a character split between two pieces stays whole.
    WideString pieces;
    for (bool first = true;; first = false) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(statement, column, SQL_C_WCHAR, buffer.data(), kBytes, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        check(rc, SQL_HANDLE_STMT, statement);
        if (indicator == SQL_NULL_DATA)
            return false;
        const bool whole = indicator != SQL_NO_TOTAL && indicator < kBytes;
        const std::size_t units =
            whole ? static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) : kUnits;
        if (first && whole) {
            appendFromWide(buffer.data(), units, out);
            return true;
        }
        pieces.append(buffer.data(), units);
        if (whole)
            break;
    }
    appendFromWide(pieces.data(), pieces.size(), out);
    return true;
}

void Connection::learnTextEncoding(const std::string& probeSql) {
    m_narrowUtf8 = false;
    try {
        const Statement statement = run(probeSql);
        if (SQLFetch(statement.get()) != SQL_SUCCESS)
            return;
        std::array<char, 64> buffer{};
        SQLLEN indicator = 0;
        if (SQLGetData(statement.get(), 1, SQL_C_CHAR, buffer.data(),
                       static_cast<SQLLEN>(buffer.size()), &indicator) != SQL_SUCCESS ||
            indicator < 0)
            return;
        m_narrowUtf8 = std::string_view(buffer.data(), static_cast<std::size_t>(indicator)) ==
                       std::string_view(kNarrowProbe);
    } catch (const EngineError&) {
        // The wide calls stay.
    }
}

void Connection::setAutocommit(bool on) {
    const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    check(SQLSetConnectAttrW(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0),
          SQL_HANDLE_DBC, m_dbc);
}

void Connection::endTransaction(bool commit) {
    check(SQLEndTran(SQL_HANDLE_DBC, m_dbc, commit ? SQL_COMMIT : SQL_ROLLBACK), SQL_HANDLE_DBC,
          m_dbc);
}

} // namespace korvalt::odbc

#include "database/odbc/OdbcSchema.h"

#include "database/EngineError.h"
#include "database/odbc/OdbcConnection.h"
#include "database/odbc/OdbcText.h"

#include <sqlext.h>

namespace korvalt::odbc {

namespace {

// Result columns of SQLColumns.
constexpr SQLUSMALLINT kTableName = 3;
constexpr SQLUSMALLINT kColumnName = 4;
constexpr SQLUSMALLINT kDataType = 5;

bool isTextType(SQLSMALLINT type) {
    switch (type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
        return true;
    default:
        return false;
    }
}

std::string currentSchema(Connection& connection, ServerDialect dialect) {
    const Statement statement = connection.run(
        dialect == ServerDialect::PostgreSql ? "SELECT current_schema()" : "SELECT SCHEMA_NAME()");
    std::string name;
    const SQLRETURN rc = SQLFetch(statement.get());
    if (rc != SQL_NO_DATA) {
        connection.check(rc, SQL_HANDLE_STMT, statement.get());
        connection.getText(statement.get(), 1, name);
    }
    return name;
}

// The catalog functions take patterns: the schema's own name must match
// only itself.
std::string escapedPattern(Connection& connection, const std::string& name) {
    const std::string escape = connection.info(SQL_SEARCH_PATTERN_ESCAPE);
    if (escape.empty())
        return name;
    std::string out;
    for (const char c : name) {
        if (c == '%' || c == '_' || escape.find(c) != std::string::npos)
            out += escape;
        out += c;
    }
    return out;
}

} // namespace

ServerDialect detectDialect(Connection& connection) {
    const std::string name = connection.info(SQL_DBMS_NAME);
    if (name.find("PostgreSQL") != std::string::npos)
        return ServerDialect::PostgreSql;
    if (name.find("SQL Server") != std::string::npos)
        return ServerDialect::SqlServer;
    throw EngineError(engine_errors::kNotSupported,
                      "The database server of '" + connection.address() + "' is " + name +
                          "; only PostgreSQL and Microsoft SQL Server are supported.");
}

ServerSchema readSchema(Connection& connection, ServerDialect dialect) {
    const std::string schema = currentSchema(connection, dialect);
    const Statement statement = connection.newStatement();
    WideString schemaPattern = toWide(escapedPattern(connection, schema));
    WideString any = toWide("%");
    connection.check(SQLColumnsW(statement.get(), nullptr, 0, schemaPattern.data(),
                                 static_cast<SQLSMALLINT>(schemaPattern.size()), any.data(),
                                 SQL_NTS, any.data(), SQL_NTS),
                     SQL_HANDLE_STMT, statement.get());
    ServerSchema out;
    std::string table;
    ServerColumn column;
    for (;;) {
        const SQLRETURN rc = SQLFetch(statement.get());
        if (rc == SQL_NO_DATA)
            break;
        connection.check(rc, SQL_HANDLE_STMT, statement.get());
        connection.getText(statement.get(), kTableName, table);
        connection.getText(statement.get(), kColumnName, column.name);
        SQLSMALLINT type = 0;
        SQLLEN indicator = 0;
        connection.check(
            SQLGetData(statement.get(), kDataType, SQL_C_SSHORT, &type, sizeof(type), &indicator),
            SQL_HANDLE_STMT, statement.get());
        column.text = isTextType(type);
        // The rows come ordered by table, then by position.
        if (out.tables.empty() || out.tables.back().name != table)
            out.tables.push_back(ServerTable{table, {}});
        out.tables.back().columns.push_back(column);
    }
    return out;
}

} // namespace korvalt::odbc

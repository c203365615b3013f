#pragma once

#include "database/odbc/ServerSql.h"

namespace korvalt::odbc {

class Connection;

// Which SQL the server speaks, from the name its driver reports. Raises
// EngineError for a server whose dialect the program does not know.
ServerDialect detectDialect(Connection& connection);

// The tables and columns of the schema the connection works in (the first
// one on PostgreSQL's search path, the user's default schema on SQL Server).
ServerSchema readSchema(Connection& connection, ServerDialect dialect);

} // namespace korvalt::odbc

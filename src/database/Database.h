#pragma once

#include "database/Recordset.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace korvalt {

// An open database file. Statements are written in the file engine's SQL
// dialect (see JetSql.h); every failure is raised as EngineError.
class Database {
public:
    virtual ~Database() = default;
    // Runs a statement at once. A rejected statement raises EngineError and
    // changes nothing.
    virtual void execute(const std::string& sql) = 0;
    // Opens a forward recordset on a query.
    virtual std::unique_ptr<Recordset> openRecordset(const std::string& sql) = 0;
    // Path the database was opened from; for a database server, the
    // connection string with its password hidden (HidePassword).
    virtual const std::string& path() const = 0;
    // Called now and then while a statement keeps the engine busy (a sort
    // or a scan of a large table), so that the user can be shown that work
    // goes on. Nothing by default.
    virtual void setProgress(std::function<void()> stillBusy) { (void)stillBusy; }
};

// Opens a database file by path, recognising its kind by its content:
// our own SQLite file (read and write) or an Access .mdb file (Jet 3/Jet 4,
// read into memory; a delete changes the file too, other changes are refused
// with error 3027). An ODBC connection string (IsConnectionString) opens a
// database server instead.
// Raises EngineError 3024 (file not found, server not reachable), 3044 (invalid
// path, unknown data source) or another number with a description (not a
// database, damaged file, ...).
std::unique_ptr<Database> OpenDatabase(const std::string& path);

// Whether an address is an ODBC connection string rather than a file path:
// it begins with DSN= or DRIVER=, in any letter case.
bool IsConnectionString(std::string_view address);

// The address as it may be shown or written anywhere: the values of the
// PWD= and PASSWORD= attributes of a connection string replaced by ***.
// A file path comes back unchanged.
std::string HidePassword(std::string_view address);

} // namespace korvalt

#pragma once

#include "database/Recordset.h"

#include <functional>
#include <memory>
#include <string>

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
    // Path the database was opened from.
    virtual const std::string& path() const = 0;
    // Called now and then while a statement keeps the engine busy (a sort
    // or a scan of a large table), so that the user can be shown that work
    // goes on. Nothing by default.
    virtual void setProgress(std::function<void()> stillBusy) { (void)stillBusy; }
};

// Opens a database file by path, recognising its kind by its content:
// our own SQLite file (read and write) or an Access .mdb file (Jet 3/Jet 4,
// read into memory; a delete changes the file too, other changes are refused
// with error 3027).
// Raises EngineError 3024 (file not found), 3044 (invalid path) or another
// number with a description (not a database, damaged file, ...).
std::unique_ptr<Database> OpenDatabase(const std::string& path);

} // namespace korvalt

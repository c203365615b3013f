#pragma once

#include "database/Database.h"

#include <cstddef>
#include <functional>
#include <string>

namespace korvalt {

struct ServerLoadOptions {
    // Drop a Pipe table the server already has (in any letter case) and
    // load a new one in its place; without it such a table is refused.
    bool replace = false;
    // Told the number of records sent so far, now and then during the load.
    std::function<void(std::size_t)> progress;
};

// Copies every record of the Pipe table of `source` (anything OpenDatabase
// opens) into a new table "Pipe" on the database server an ODBC connection
// string names, in the schema the connection works in, and returns the
// record count. The columns are the Pipe columns the program reads, in table
// order; other columns of the source are left behind.
//
// One server transaction covers the whole load, including the drop of the
// table being replaced: a failure at any point leaves the server as it was.
// The source is read forward, never held whole. Raises EngineError (the
// server's or the source's failure, or a Pipe table in the way); no message
// shows the password of the connection string.
std::size_t loadIntoServer(Database& source, const std::string& connectionString,
                           const ServerLoadOptions& options = {});

} // namespace korvalt

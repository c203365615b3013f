#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace korvalt {

// Copies the user tables of an Access file (Jet 3 or Jet 4 .mdb) into SQLite.
//
// Every table keeps its Access name and its columns in column order, typed as
//   text, memo, replication id       -> TEXT COLLATE NOCASE
//   yes/no                           -> INTEGER, -1 for Yes and 0 for No (never Null)
//   byte, integer, long integer      -> INTEGER
//   single, double, currency,
//   decimal                          -> REAL (currency and decimal rounded once,
//                                       from their exact decimal value)
//   date/time                        -> TEXT 'YYYY-MM-DD HH:MM:SS'
//   binary, OLE object               -> BLOB
// Null and the empty string stay apart. System tables (MSys*) and linked tables
// are left out. All of it happens in one savepoint: on failure the target is
// left as it was.
//
// Raises EngineError: 3024 when the file does not exist, 3343 when it is not a
// Jet 3/Jet 4 database or its catalog cannot be read, 3049 when a table's
// definition or data cannot be read (damaged or truncated file), 3000 when
// SQLite refuses a table.
class MdbImport {
public:
    struct Table {
        std::string name;
        std::uint32_t tdefPage = 0; // where its definition starts in the file
        // The name of the copy's row key, whose value is the row's address
        // in the file (page << 8 | slot of its header); empty when every
        // name for it is taken by a column.
        std::string rowKey;
    };

    // Reads every user table of an Access file into `target`.
    static std::vector<Table> importInto(const std::string& path, sqlite3* target);
};

} // namespace korvalt

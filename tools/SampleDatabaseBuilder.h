#pragma once

#include "PipeCsvReader.h"

#include <cstddef>
#include <string>
#include <vector>

namespace korvalt {

// Turns the records of a pipe CSV file into our SQLite database file.
class SampleDatabaseBuilder {
public:
    // Writes a new database at `dbPath` holding the Pipe table with one record
    // per row after the header row `rows[0]`, and returns the record count.
    //
    // Header names pick the Pipe columns, without regard to ASCII case;
    // columns the table does not have are skipped, and every Pipe column must
    // be present. An unquoted empty field is stored as Null; other fields of
    // REAL and INTEGER columns must hold a number, stored as such; text
    // columns get the text as written.
    //
    // The file is built beside `dbPath` and renamed over it when complete, so
    // an existing file is either replaced whole or left alone. Raises
    // std::runtime_error describing the first problem.
    static std::size_t build(const std::vector<PipeCsvReader::Row>& rows,
                             const std::string& dbPath);
};

} // namespace korvalt

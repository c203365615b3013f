#pragma once

#include "database/Value.h"

#include <string>
#include <vector>

namespace korvalt::test_support {

// Columns of the fixture CSV files: the Pipe columns the program reads, in
// table order, then three it must ignore (COMP_ID, WEIGHT, NOTES).
const std::vector<std::string>& pipeCsvColumns();

// Reads a pipe CSV fixture (header row; an unquoted empty field is Null, a
// quoted one is empty text; UNIQUE_ID whole numbers, main_nom, red_nom, LENGTH
// and WEIGHT real numbers, everything else text). Rows hold the values in
// pipeCsvColumns() order. Throws std::runtime_error on a malformed file.
std::vector<std::vector<Value>> loadPipeCsv(const std::string& path);

// Creates a SQLite database file at `path` (replacing any file there) with
// the Pipe table plus the three ignored columns, filled with `rows`.
void writePipeSqlite(const std::string& path, const std::vector<std::vector<Value>>& rows);

} // namespace korvalt::test_support

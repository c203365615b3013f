#pragma once

#include "database/Value.h"

#include <string>
#include <vector>

namespace korvalt::test_support {

// The Pipe columns in table order, then three the program must ignore.
const std::vector<std::string>& pipeCsvColumns();

// The records of a pipe CSV fixture in pipeCsvColumns() order: an unquoted
// empty field is Null, a quoted one empty text; numeric columns get numbers.
std::vector<std::vector<Value>> loadPipeCsv(const std::string& path);

// A new SQLite file at `path` whose Pipe table, with the ignored columns, holds `rows`.
void writePipeSqlite(const std::string& path, const std::vector<std::vector<Value>>& rows);

} // namespace korvalt::test_support

#pragma once

#include "database/DistinctText.h"

#include <vector>

struct sqlite3_stmt;

namespace korvalt {

// What one pass over a table learnt of one of its columns.
struct ScannedColumn {
    DistinctText texts; // the distinct texts, first ones kept, in table order
    bool hasNull = false;
    bool onlyText = true; // no number or bytes met; otherwise `texts` is incomplete
};

// Steps a statement to its end, feeding column k of every row to
// columns[k]. The statement is stepped on the calling thread while the
// columns are worked on by two others (each column by one thread, so its
// texts keep table order); on one thread when no other can be had.
// False when stepping failed (the columns are then incomplete).
bool scanColumns(sqlite3_stmt* statement, std::vector<ScannedColumn>& columns);

} // namespace korvalt

#pragma once

#include "database/access/JetFormat.h"

#include <vector>

namespace korvalt::access {

class PageFile;
struct TableDef;

// Marks `rows` (header slots, as indexes name them) deleted on the table's
// data pages, in `file`'s page images: the deleted flags on each row's slot
// and, for a row that moved to another page, on the slot it moved to, so
// no reader still sees it there. The row bytes stay where they are (free
// space does not change) and the definition's row count goes down by the
// number of rows.
//
// Raises 3049 when a row is not a live row of the table, or a moved row's
// pointers do not lead to a slot of the table marked as a moved row within
// a few hops: the file is not what it was read as.
void deleteDataRows(PageFile& file, const TableDef& table, const std::vector<RowId>& rows);

} // namespace korvalt::access

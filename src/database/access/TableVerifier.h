#pragma once

#include "database/access/JetFormat.h"

#include <cstddef>
#include <string>
#include <vector>

namespace korvalt::access {

class FaultList;
class PageFile;
struct TableDef;
struct TableRows;

// A structural check of one table in an Access file, run on the file before
// any delete (a file that fails is not touched) and on the new copy after
// it (a copy that fails never replaces the original):
//   - every leaf entry of every index points at a live row of the table,
//     through its header slot;
//   - every live row appears exactly once in every index (rows whose key
//     columns are all Null excepted for an index that ignores Nulls);
//   - each index tree is sound (order, node entries, links, free space);
//   - free space is consistent on the table's data pages;
//   - the definition's row count equals the live rows;
//   - overflow headers and their targets are paired.
// Returns the faults found, each a short sentence naming the page and slot
// or the index; empty when clean. Only the first 50 are listed, then one
// sentence counting the rest. Damage never makes it throw.
std::vector<std::string> verifyTable(PageFile& file, const TableDef& table);

// The cross-check verifyTable makes for the table's k-th real index, apart
// so it can be timed: `entries` are the rows of its leaf entries (in any
// order), `rows` what the data walk found.
void compareIndexRows(const TableDef& table, std::size_t k, const std::vector<RowId>& entries,
                      const TableRows& rows, FaultList& faults);

} // namespace korvalt::access

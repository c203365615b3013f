#pragma once

#include "database/access/FileReplacement.h"
#include "database/access/JetFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvalt::access {

// Deletes rows of one table inside an Access file, the only change Korvalt
// makes to such files. `rows` are the rows' addresses (header slots) as the
// in-memory copy read them; `openedAs` is the file's stamp from then.
//
// The file is checked first and refused, unchanged, when it is not in a
// state Korvalt can change safely: another program has it open (a lock file
// beside it), it or its folder is read-only, it changed since it was read,
// it is an encoded or replicated database, the table takes part in an
// enforced relationship or has column types Korvalt does not know, the
// table's structure is already faulty (checked here unless `knownSound`
// says the caller checked the file with this stamp already), or an index
// page would overflow.
// Otherwise the changed pages are written into a copy of the file, the copy
// is checked the same way, and only then does it replace the file (the old
// one kept as NAME.bak). Raises EngineError with the reason; returns the
// new file's stamp.
FileStamp deleteRowsInFile(const std::string& path, const FileStamp& openedAs,
                           std::uint32_t tdefPage, const std::string& tableName,
                           const std::vector<RowId>& rows, bool knownSound = false);

// Whether the table's structure passes the check deleteRowsInFile makes
// before writing; false also when the file cannot be read for it.
bool tableIsSound(const std::string& path, std::uint32_t tdefPage);

class PageFile;
struct TableDef;

// The page changes of deleting `rows` from a table, made in `file`'s page
// images only: the rows flagged deleted, the row count lowered, the rows'
// entries removed from every index. The checks of deleteRowsInFile are not
// made here. Raises 3049 when the rows or the indexes are not as expected
// and 3047 when an index page would overflow.
void deleteRowsInPages(PageFile& file, const TableDef& table, const std::vector<RowId>& rows);

} // namespace korvalt::access

#pragma once

#include "database/access/ImportBatch.h"
#include "database/access/MdbRows.h"

#include <sqlite3.h>

#include <string>

namespace korvalt::access {

// How the copy of an Access table takes each column's values: the kind of
// value, the SQLite type it is stored as, and the conversion of one field
// (on the thread that walks the file) and its binding (on the thread that
// inserts the rows).

enum class Kind {
    Bool,
    Byte,
    Int16,
    Int32,
    Money,
    Single,
    Double,
    Date,
    Numeric,
    Guid,
    Text,
    Memo,
    Binary,
    Ole
};

struct ColumnPlan {
    Kind kind = Kind::Binary;
    int fixedSize = 0; // bytes a present fixed-size value needs
    int scale = 0;     // decimal only
    std::string buffer;
};

ColumnPlan planColumn(const MdbColumn* col);
// The column type of the copy.
const char* sqlType(Kind kind);
// Converts one field of the row libmdb holds in its page buffer into `out`.
void convertValue(Source& src, const MdbField& field, ColumnPlan& plan, ImportBatch& out);
void bindCell(sqlite3_stmt* stmt, int param, const ImportBatch& batch,
              const ImportBatch::Cell& cell);

} // namespace korvalt::access

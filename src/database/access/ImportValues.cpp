#include "database/access/ImportValues.h"

#include "database/access/JetText.h"
#include "database/access/JetValues.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace korvalt::access {

ColumnPlan planColumn(const MdbColumn* col) {
    ColumnPlan plan;
    switch (col->col_type) {
    case MDB_BOOL:
        plan.kind = Kind::Bool;
        break;
    case MDB_BYTE:
        plan.kind = Kind::Byte;
        plan.fixedSize = 1;
        break;
    case MDB_INT:
        plan.kind = Kind::Int16;
        plan.fixedSize = 2;
        break;
    case MDB_LONGINT:
    case MDB_COMPLEX:
        plan.kind = Kind::Int32;
        plan.fixedSize = 4;
        break;
    case MDB_MONEY:
        plan.kind = Kind::Money;
        plan.fixedSize = 8;
        break;
    case MDB_FLOAT:
        plan.kind = Kind::Single;
        plan.fixedSize = 4;
        break;
    case MDB_DOUBLE:
        plan.kind = Kind::Double;
        plan.fixedSize = 8;
        break;
    case MDB_DATETIME:
        plan.kind = Kind::Date;
        plan.fixedSize = 8;
        break;
    case MDB_NUMERIC:
        plan.kind = Kind::Numeric;
        plan.fixedSize = 17;
        // libmdb's col_prec holds the byte Access keeps the scale in.
        plan.scale = std::clamp(col->col_prec, 0, 38);
        break;
    case MDB_REPID:
        plan.kind = Kind::Guid;
        plan.fixedSize = 16;
        break;
    case MDB_TEXT:
        plan.kind = Kind::Text;
        break;
    case MDB_MEMO:
        plan.kind = Kind::Memo;
        break;
    case MDB_OLE:
        plan.kind = Kind::Ole;
        break;
    default: // binary and anything unknown: the raw bytes
        plan.kind = Kind::Binary;
        break;
    }
    return plan;
}

const char* sqlType(Kind kind) {
    switch (kind) {
    case Kind::Bool:
    case Kind::Byte:
    case Kind::Int16:
    case Kind::Int32:
        return "INTEGER";
    case Kind::Money:
    case Kind::Single:
    case Kind::Double:
    case Kind::Numeric:
        return "REAL";
    case Kind::Date:
        return "DATETIME";
    case Kind::Guid:
    case Kind::Text:
    case Kind::Memo:
        return "TEXT COLLATE NOCASE";
    case Kind::Binary:
    case Kind::Ole:
        return "BLOB";
    }
    return "BLOB";
}

void convertValue(Source& src, const MdbField& field, ColumnPlan& plan, ImportBatch& out) {
    if (plan.kind == Kind::Bool) {
        // A yes/no value lives in the null bitmap itself: set means Yes.
        out.addInteger(field.is_null ? 0 : -1);
        return;
    }
    if (field.is_null || field.siz < plan.fixedSize) {
        out.addNull();
        return;
    }
    const unsigned char* p = src.mdb->pg_buf + field.start;
    const auto size = static_cast<std::size_t>(field.siz);
    std::string& buf = plan.buffer;
    switch (plan.kind) {
    case Kind::Bool:
        break;
    case Kind::Byte:
        out.addInteger(p[0]);
        break;
    case Kind::Int16:
        out.addInteger(static_cast<std::int16_t>(get16(p)));
        break;
    case Kind::Int32:
        out.addInteger(static_cast<std::int32_t>(get32(p)));
        break;
    case Kind::Money:
        out.addReal(moneyValue(p));
        break;
    case Kind::Single:
        out.addReal(singleValue(p));
        break;
    case Kind::Double:
        out.addReal(doubleValue(p));
        break;
    case Kind::Numeric:
        out.addReal(numericValue(p, plan.scale));
        break;
    case Kind::Date: {
        const double value = doubleValue(p);
        if (formatDate(value, buf))
            out.addText(buf);
        else
            out.addReal(value);
        break;
    }
    case Kind::Guid:
        formatGuid(p, buf);
        out.addText(buf);
        break;
    case Kind::Text:
        decodeText(src, p, size, buf);
        out.addText(buf);
        break;
    case Kind::Memo:
        readLongValue(src, p, field.siz);
        decodeText(src, reinterpret_cast<const unsigned char*>(src.longValue.data()),
                   src.longValue.size(), buf);
        out.addText(buf);
        break;
    case Kind::Binary:
        out.addBlob(std::string_view(reinterpret_cast<const char*>(p), size));
        break;
    case Kind::Ole:
        readLongValue(src, p, field.siz);
        out.addBlob(src.longValue);
        break;
    }
}

void bindCell(sqlite3_stmt* stmt, int param, const ImportBatch& batch,
              const ImportBatch::Cell& cell) {
    switch (cell.type) {
    case ImportBatch::Type::Null:
        sqlite3_bind_null(stmt, param);
        break;
    case ImportBatch::Type::Integer:
        sqlite3_bind_int64(stmt, param, cell.integer);
        break;
    case ImportBatch::Type::Real:
        sqlite3_bind_double(stmt, param, cell.real);
        break;
    case ImportBatch::Type::Text:
        sqlite3_bind_text64(stmt, param, batch.at(cell), cell.length, SQLITE_STATIC, SQLITE_UTF8);
        break;
    case ImportBatch::Type::Blob:
        sqlite3_bind_blob64(stmt, param, batch.at(cell), cell.length, SQLITE_STATIC);
        break;
    }
}

} // namespace korvalt::access

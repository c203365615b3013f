#pragma once

#include "database/Value.h"

#include <optional>
#include <stdexcept>
#include <string_view>

namespace korvalt {

// Forward-only result of a query, positioned on its first record when it is
// handed out. Read once, from the first record to the end.
class Recordset {
public:
    virtual ~Recordset() = default;

    // True when there is no current record: at once for an empty result, and
    // after moving past the last record.
    virtual bool isEof() const = 0;
    virtual void moveNext() = 0;
    // Value of a column of the current record; the name is matched without
    // regard to letter case. Throws EngineError (3265) for an unknown column.
    virtual const Value& fields(std::string_view name) const = 0;
    // Only meaningful right after opening and only when compared with zero:
    // zero exactly when the result is empty.
    virtual long recordCount() const = 0;
    // Releases the statement; the database stays open.
    virtual void close() = 0;

    // Reading by position, for writers that read the same fields of every
    // record of a large result. The position of a column, or -1 when there
    // is no such column or the recordset offers no reading by position (its
    // fields are then read by name, with fields()).
    virtual int fieldPosition(std::string_view name) const {
        (void)name;
        return -1;
    }
    // The field at a position of the current record when it holds text: the
    // text, valid until the record changes. std::nullopt for any other value,
    // which valueAt() gives. Both need a current record.
    virtual std::optional<std::string_view> textAt(int position) const {
        (void)position;
        return std::nullopt;
    }
    virtual const Value& valueAt(int position) const {
        (void)position;
        throw std::out_of_range("no field at that position");
    }
};

} // namespace korvalt

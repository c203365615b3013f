#pragma once

#include "database/BatchQueue.h"
#include "database/access/JetFormat.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvalt::access {

// Rows read from an Access file, their values already converted, on their way
// from the thread that walks the file's pages to the thread that inserts them
// into the SQLite copy: the two halves of reading a table then run at once.
struct ImportBatch {
    enum class Type : std::uint8_t { Null, Integer, Real, Text, Blob };
    struct Cell {
        Type type = Type::Null;
        std::int64_t integer = 0;
        double real = 0;
        std::size_t offset = 0; // text and bytes: where in `bytes`
        std::size_t length = 0;
    };

    std::vector<RowId> rows;
    std::vector<Cell> cells; // row after row, one per column
    std::string bytes;

    void addNull() { cells.push_back({}); }
    void addInteger(std::int64_t value) { cells.push_back({Type::Integer, value, 0, 0, 0}); }
    void addReal(double value) { cells.push_back({Type::Real, 0, value, 0, 0}); }
    void addText(std::string_view text) { addBytes(Type::Text, text); }
    void addBlob(std::string_view data) { addBytes(Type::Blob, data); }
    const char* at(const Cell& cell) const { return bytes.data() + cell.offset; }

private:
    void addBytes(Type type, std::string_view data) {
        cells.push_back({type, 0, 0, bytes.size(), data.size()});
        bytes.append(data);
    }
};

// Batches go from the page walk to the inserts through a queue of two.
using ImportQueue = BatchQueue<ImportBatch>;

} // namespace korvalt::access

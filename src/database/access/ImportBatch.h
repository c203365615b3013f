#pragma once

#include "database/access/JetFormat.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
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

// A bounded hand-over of batches from one producer to one consumer. The
// producer ends with finish() (with the error that stopped it, if any); the
// consumer gives up with cancel(), after which push() refuses.
class ImportQueue {
public:
    explicit ImportQueue(std::size_t capacity = 2) : m_capacity(capacity) {}

    // False when the consumer has given up.
    bool push(ImportBatch&& batch);
    void finish(std::exception_ptr error = nullptr);
    // False once the producer has finished and every batch was taken; then
    // raises what stopped the producer, if anything did.
    bool pop(ImportBatch& batch);
    void cancel();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ImportBatch> m_batches;
    std::size_t m_capacity;
    bool m_finished = false;
    bool m_cancelled = false;
    std::exception_ptr m_error;
};

} // namespace korvalt::access

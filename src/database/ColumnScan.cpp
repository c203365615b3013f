#include "database/ColumnScan.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <system_error>
#include <thread>

namespace korvalt {

namespace {

constexpr std::size_t kBatchRows = 4096;
constexpr std::size_t kBatchesQueued = 8; // per worker: bounds the memory read ahead

enum class Kind : std::uint8_t { Text, Null, Other };

// Rows read from the statement, column by column, with their texts copied
// end to end (the statement's own buffers last only until the next step).
struct Batch {
    struct Cell {
        std::uint32_t offset;
        std::uint32_t length;
        Kind kind;
    };
    std::string bytes;
    std::vector<std::vector<Cell>> cells; // per column, in row order
};

// Reads up to kBatchRows rows; `rc` is the last step's result.
std::shared_ptr<Batch> readBatch(sqlite3_stmt* statement, std::size_t columns, int& rc) {
    auto batch = std::make_shared<Batch>();
    batch->cells.resize(columns);
    for (auto& cells : batch->cells)
        cells.reserve(kBatchRows);
    for (std::size_t row = 0; row < kBatchRows && (rc = sqlite3_step(statement)) == SQLITE_ROW;
         ++row) {
        for (std::size_t k = 0; k < columns; ++k) {
            const int column = static_cast<int>(k);
            switch (sqlite3_column_type(statement, column)) {
            case SQLITE_TEXT: {
                const auto* text = sqlite3_column_text(statement, column);
                const auto length =
                    static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
                const auto offset = static_cast<std::uint32_t>(batch->bytes.size());
                if (text != nullptr)
                    batch->bytes.append(reinterpret_cast<const char*>(text), length);
                batch->cells[k].push_back(
                    {offset, static_cast<std::uint32_t>(text ? length : 0), Kind::Text});
                break;
            }
            case SQLITE_NULL:
                batch->cells[k].push_back({0, 0, Kind::Null});
                break;
            default:
                batch->cells[k].push_back({0, 0, Kind::Other});
            }
        }
    }
    return batch;
}

void feed(const Batch& batch, std::size_t k, ScannedColumn& column) {
    for (const Batch::Cell& cell : batch.cells[k]) {
        if (!column.onlyText)
            return;
        if (cell.kind == Kind::Text)
            column.texts.add({batch.bytes.data() + cell.offset, cell.length});
        else if (cell.kind == Kind::Null)
            column.hasNull = true;
        else
            column.onlyText = false;
    }
}

// Batches handed from the reading thread to one worker, in order.
class BatchQueue {
public:
    void push(std::shared_ptr<const Batch> batch) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_batches.size() < kBatchesQueued; });
        m_batches.push_back(std::move(batch));
        m_changed.notify_all();
    }
    void close() {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }
    // The next batch; nullptr once closed and empty.
    std::shared_ptr<const Batch> pop() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_batches.empty() || m_closed; });
        if (m_batches.empty())
            return nullptr;
        auto batch = std::move(m_batches.front());
        m_batches.pop_front();
        m_changed.notify_all();
        return batch;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<const Batch>> m_batches;
    bool m_closed = false;
};

// Splits the columns between two workers by their cost in the first batch:
// every row costs a lookup, every new text a copy and more table.
std::array<std::vector<std::size_t>, 2> share(const std::vector<ScannedColumn>& columns) {
    std::vector<std::size_t> heaviest(columns.size());
    std::iota(heaviest.begin(), heaviest.end(), std::size_t{0});
    const auto cost = [&](std::size_t k) { return kBatchRows + columns[k].texts.size(); };
    std::stable_sort(heaviest.begin(), heaviest.end(),
                     [&](std::size_t a, std::size_t b) { return cost(a) > cost(b); });
    std::array<std::vector<std::size_t>, 2> shares;
    std::array<std::size_t, 2> load{};
    for (const std::size_t k : heaviest) {
        const std::size_t w = load[0] <= load[1] ? 0 : 1;
        shares[w].push_back(k);
        load[w] += cost(k);
    }
    return shares;
}

} // namespace

bool scanColumns(sqlite3_stmt* statement, std::vector<ScannedColumn>& columns) {
    const std::size_t count = columns.size();
    int rc = SQLITE_ROW;
    // The first rows on this thread: a small table ends here, and they tell
    // which columns are costly.
    const std::shared_ptr<Batch> first = readBatch(statement, count, rc);
    for (std::size_t k = 0; k < count; ++k)
        feed(*first, k, columns[k]);
    if (rc != SQLITE_ROW)
        return rc == SQLITE_DONE;

    const auto shares = share(columns);
    std::array<BatchQueue, 2> queues;
    std::atomic<bool> failed = false;
    std::vector<std::jthread> workers;
    try {
        for (std::size_t w = 0; w < 2; ++w) {
            workers.emplace_back([&, w] {
                while (const auto batch = queues[w].pop()) {
                    if (failed)
                        continue; // drained, so that the reader is never held up
                    try {
                        for (const std::size_t k : shares[w])
                            feed(*batch, k, columns[k]);
                    } catch (...) {
                        failed = true;
                    }
                }
            });
        }
    } catch (const std::system_error&) {
        // No threads to be had: whatever started has nothing to do yet.
        for (auto& queue : queues)
            queue.close();
        workers.clear();
        while (rc == SQLITE_ROW) {
            const auto batch = readBatch(statement, count, rc);
            for (std::size_t k = 0; k < count; ++k)
                feed(*batch, k, columns[k]);
        }
        return rc == SQLITE_DONE;
    }
    while (rc == SQLITE_ROW && !failed) {
        const std::shared_ptr<const Batch> batch = readBatch(statement, count, rc);
        for (auto& queue : queues)
            queue.push(batch);
    }
    for (auto& queue : queues)
        queue.close();
    workers.clear(); // joins
    return rc == SQLITE_DONE && !failed;
}

} // namespace korvalt

#include "database/access/ImportBatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace korvalt::access {
namespace {

ImportBatch batchOf(RowId row) {
    ImportBatch batch;
    batch.rows.push_back(row);
    batch.addText("tag-" + std::to_string(row));
    return batch;
}

// The consumer gets every batch in order and then the error that stopped the
// reader, never the error first and never a batch lost behind it.
TEST(ImportQueue, HandsOverEveryBatchInOrderThenTheReadersError) {
    ImportQueue queue(64);
    for (RowId row = 1; row <= 50; ++row)
        ASSERT_TRUE(queue.push(batchOf(row)));
    queue.finish(std::make_exception_ptr(std::runtime_error("page 7 damaged")));
    ImportBatch batch;
    RowId expected = 1;
    try {
        while (queue.pop(batch)) {
            ASSERT_EQ(batch.rows.at(0), expected);
            EXPECT_EQ(std::string(batch.at(batch.cells.at(0)), batch.cells.at(0).length),
                      "tag-" + std::to_string(expected));
            ++expected;
        }
        FAIL() << "the reader's error was not raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "page 7 damaged");
    }
    EXPECT_EQ(expected, 51U);
}

// A consumer that fails (an insert refused) must free a reader waiting for
// room, or the import would hang instead of reporting the failure.
TEST(ImportQueue, CancelReleasesAReaderWaitingForRoom) {
    ImportQueue queue(1);
    std::atomic<int> pushed = 0;
    bool refused = false;
    std::jthread reader([&] {
        while (queue.push(batchOf(1)))
            ++pushed;
        refused = true;
    });
    // The first batch fills the queue; the reader then waits for room.
    while (pushed == 0)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    queue.cancel();
    reader.join();
    EXPECT_TRUE(refused);
    EXPECT_EQ(pushed, 1);
}

} // namespace
} // namespace korvalt::access

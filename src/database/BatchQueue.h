#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>

namespace korvalt {

// A bounded hand-over of batches of rows from one producer thread to one
// consumer, so that reading rows and using them run at once. The producer
// ends with finish() (with the error that stopped it, if any); the consumer
// gives up with cancel(), after which push() refuses.
template <typename Batch> class BatchQueue {
public:
    explicit BatchQueue(std::size_t capacity = 2) : m_capacity(capacity) {}

    // Waits for room; false when the consumer has given up.
    bool push(Batch&& batch) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_cancelled || m_batches.size() < m_capacity; });
        if (m_cancelled)
            return false;
        m_batches.push_back(std::move(batch));
        m_changed.notify_all();
        return true;
    }

    void finish(std::exception_ptr error = nullptr) {
        const std::lock_guard lock(m_mutex);
        m_finished = true;
        m_error = std::move(error);
        m_changed.notify_all();
    }

    // Waits for a batch. False once the producer has finished and every
    // batch was taken; then raises what stopped the producer, if anything did.
    bool pop(Batch& batch) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_finished || !m_batches.empty(); });
        if (!m_batches.empty()) {
            batch = std::move(m_batches.front());
            m_batches.pop_front();
            m_changed.notify_all();
            return true;
        }
        if (m_error)
            std::rethrow_exception(m_error);
        return false;
    }

    // Whether pop() would return at once, waiting at most `timeout` for it.
    template <typename Rep, typename Period>
    bool ready(std::chrono::duration<Rep, Period> timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_finished || !m_batches.empty(); });
    }

    void cancel() {
        const std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_batches.clear();
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_batches;
    std::size_t m_capacity;
    bool m_finished = false;
    bool m_cancelled = false;
    std::exception_ptr m_error;
};

} // namespace korvalt

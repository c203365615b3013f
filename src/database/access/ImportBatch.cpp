#include "database/access/ImportBatch.h"

#include <utility>

namespace korvalt::access {

bool ImportQueue::push(ImportBatch&& batch) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_cancelled || m_batches.size() < m_capacity; });
    if (m_cancelled)
        return false;
    m_batches.push_back(std::move(batch));
    m_changed.notify_all();
    return true;
}

void ImportQueue::finish(std::exception_ptr error) {
    const std::lock_guard lock(m_mutex);
    m_finished = true;
    m_error = std::move(error);
    m_changed.notify_all();
}

bool ImportQueue::pop(ImportBatch& batch) {
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

void ImportQueue::cancel() {
    const std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_batches.clear();
    m_changed.notify_all();
}

} // namespace korvalt::access

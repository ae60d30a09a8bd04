#pragma once

#include <atomic>
#include <climits>

namespace pictrove {

// How many rows of a picture are finished, shared between the thread that
// reduces the picture and the one that writes it out as rows come ready.
class RowProgress {
public:
    void publish(int rows)
    {
        m_rows.store(rows, std::memory_order_release);
        m_rows.notify_all();
    }
    // Every row is done.
    void finish() { publish(INT_MAX); }
    // The picture will never be finished: waiters give up.
    void abandon()
    {
        m_abandoned.store(true, std::memory_order_release);
        publish(INT_MAX);
    }
    // Blocks until at least `rows` rows are finished; false when the picture
    // was abandoned instead.
    bool waitFor(int rows) const
    {
        int seen = m_rows.load(std::memory_order_acquire);
        while (seen < rows) {
            m_rows.wait(seen, std::memory_order_acquire);
            seen = m_rows.load(std::memory_order_acquire);
        }
        return !m_abandoned.load(std::memory_order_acquire);
    }

private:
    std::atomic<int> m_rows{0};
    std::atomic<bool> m_abandoned{false};
};

} // namespace pictrove

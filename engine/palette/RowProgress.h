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
    // Blocks until at least `rows` rows are finished.
    void waitFor(int rows) const
    {
        int seen = m_rows.load(std::memory_order_acquire);
        while (seen < rows) {
            m_rows.wait(seen, std::memory_order_acquire);
            seen = m_rows.load(std::memory_order_acquire);
        }
    }
    // Releases every waiter, whatever happened to the picture.
    void finish() { publish(INT_MAX); }

private:
    std::atomic<int> m_rows{0};
};

} // namespace pictrove

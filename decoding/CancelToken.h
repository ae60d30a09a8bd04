#pragma once

#include <atomic>

namespace pictrove {

// Lets one thread end another thread's picture load: a load given the token
// returns soon after cancel() with LoadResult::cancelled set, whether it is
// still waiting for the decoder or the decode is under way. The decode is
// ended, not waited for. Thread-safe; cancel() may be called any number of
// times, from any thread, before, during or after the load.
class CancelToken {
public:
    CancelToken();
    ~CancelToken();
    CancelToken(const CancelToken &) = delete;
    CancelToken &operator=(const CancelToken &) = delete;

    void cancel();
    bool cancelled() const { return m_cancelled.load(std::memory_order_acquire); }
    // Becomes readable once cancelled, for poll(); -1 when the system gave
    // no descriptor (a load then looks at cancelled() between short waits).
    int waitFd() const { return m_fd; }

private:
    std::atomic<bool> m_cancelled{false};
    int m_fd = -1;
};

} // namespace pictrove

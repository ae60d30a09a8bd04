#include "decoding/CancelToken.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace pictrove {

CancelToken::CancelToken() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelToken::~CancelToken()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void CancelToken::cancel()
{
    if (m_cancelled.exchange(true, std::memory_order_acq_rel))
        return;
    if (m_fd >= 0) {
        const std::uint64_t one = 1;
        // The counter only has to leave zero; a full one already has.
        [[maybe_unused]] const ssize_t n = ::write(m_fd, &one, sizeof one);
    }
}

} // namespace pictrove

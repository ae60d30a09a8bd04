#include "selection/DecoderProtocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace pictrove::decoderprotocol {

bool readFully(int fd, void *buffer, std::size_t size)
{
    auto *p = static_cast<char *>(buffer);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

bool writeFully(int fd, const void *buffer, std::size_t size)
{
    const auto *p = static_cast<const char *>(buffer);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

} // namespace pictrove::decoderprotocol

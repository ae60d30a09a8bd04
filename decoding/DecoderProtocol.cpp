#include "decoding/DecoderProtocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <type_traits>

namespace pictrove::decoderprotocol {

namespace {

// Repeats a partial transfer until the whole buffer has gone.
template <typename Buffer, typename Transfer>
bool transferFully(Buffer *buffer, std::size_t size, Transfer transfer)
{
    auto *p = static_cast<std::conditional_t<std::is_const_v<Buffer>, const char, char> *>(buffer);
    while (size > 0) {
        const ssize_t n = transfer(p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

} // namespace

bool readFully(int fd, void *buffer, std::size_t size)
{
    return transferFully(buffer, size, [fd](char *p, std::size_t n) { return ::read(fd, p, n); });
}

bool writeFully(int fd, const void *buffer, std::size_t size)
{
    return transferFully(buffer, size, [fd](const char *p, std::size_t n) {
        return ::send(fd, p, n, MSG_NOSIGNAL);
    });
}

} // namespace pictrove::decoderprotocol

#include "selection/DecoderProtocol.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

bool writeFullyWithDescriptor(int fd, const void *buffer, std::size_t size, int passed)
{
    if (size == 0)
        return false;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec part{const_cast<void *>(buffer), size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &passed, sizeof(int));
    ssize_t sent;
    do {
        sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent <= 0)
        return false;
    return writeFully(fd, static_cast<const char *>(buffer) + sent, size - std::size_t(sent));
}

int sealedMemoryCopy(const void *data, std::size_t size)
{
    const int fd = ::memfd_create("pictrove-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    void *map = MAP_FAILED;
    if (::ftruncate(fd, off_t(size)) == 0)
        map = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (map == MAP_FAILED) {
        ::close(fd);
        return -1;
    }
    std::memcpy(map, data, size);
    ::munmap(map, size); // a write seal needs every writable mapping gone
    if (::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isSealedMemory(int fd, std::size_t size)
{
    struct stat info {};
    const int seals = ::fcntl(fd, F_GET_SEALS);
    return seals >= 0 && (seals & F_SEAL_SHRINK) && (seals & F_SEAL_WRITE)
        && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && std::size_t(info.st_size) >= size;
}

} // namespace pictrove::decoderprotocol

#include "decoding/BufferedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pictrove {

namespace {

constexpr std::size_t bufferBytes = 64 * 1024;

// pread to the count asked for, the end of the file or an error.
std::size_t readAt(int fd, unsigned char *out, std::size_t bytes, std::int64_t at)
{
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(fd, out + done, bytes - done, off_t(at) + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    return done;
}

} // namespace

std::unique_ptr<BufferedFile> BufferedFile::open(const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<BufferedFile>(new BufferedFile(fd, std::int64_t(st.st_size)));
}

BufferedFile::BufferedFile(int fd, std::int64_t size)
    : m_fd(fd), m_size(size), m_buffer(bufferBytes)
{
}

BufferedFile::~BufferedFile()
{
    ::close(m_fd);
}

bool BufferedFile::fill()
{
    m_bufferStart = m_position;
    m_bufferBytes = readAt(m_fd, m_buffer.data(), m_buffer.size(), m_position);
    return m_bufferBytes > 0;
}

std::size_t BufferedFile::read(void *out, std::size_t size, std::size_t count)
{
    if (size == 0 || count == 0)
        return 0;
    // Two 32-bit counts, as the libraries pass them, cannot overflow here.
    const std::size_t wanted = size * count;
    auto *to = static_cast<unsigned char *>(out);
    std::size_t done = 0;
    while (done < wanted) {
        const std::int64_t inBuffer = m_position - m_bufferStart;
        if (inBuffer >= 0 && std::uint64_t(inBuffer) < m_bufferBytes) {
            const std::size_t n = std::min(wanted - done, m_bufferBytes - std::size_t(inBuffer));
            std::memcpy(to + done, m_buffer.data() + inBuffer, n);
            done += n;
            m_position += std::int64_t(n);
        } else if (wanted - done >= m_buffer.size()) {
            // Large reads skip the buffer.
            const std::size_t n = readAt(m_fd, to + done, wanted - done, m_position);
            done += n;
            m_position += std::int64_t(n);
            break;
        } else if (!fill()) {
            break;
        }
    }
    return done / size;
}

int BufferedFile::getc()
{
    unsigned char byte = 0;
    return read(&byte, 1, 1) == 1 ? int(byte) : -1;
}

int BufferedFile::seek(std::int64_t offset, int whence)
{
    const std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m_position : m_size;
    if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || base + offset < 0) {
        errno = EINVAL;
        return -1;
    }
    m_position = base + offset;
    return 0;
}

} // namespace pictrove

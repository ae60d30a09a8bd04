#include "decoding/PixelHandOver.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace pictrove::handover {

void Descriptor::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

int requiredSeals() { return F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL; }

SharedPixels::~SharedPixels() { unmap(); }

SharedPixels::SharedPixels(SharedPixels &&other) noexcept
    : m_fd(std::move(other.m_fd)), m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0))
{
}

SharedPixels &SharedPixels::operator=(SharedPixels &&other) noexcept
{
    if (this != &other) {
        unmap();
        m_fd = std::move(other.m_fd);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void SharedPixels::unmap()
{
    if (m_data)
        ::munmap(m_data, m_size);
    m_data = nullptr;
}

namespace {

// An unmapped memory file of bytes, or an empty descriptor (errno set).
Descriptor newMemoryFile(std::size_t bytes)
{
    if (bytes == 0) {
        errno = EINVAL;
        return {};
    }
    Descriptor fd(::memfd_create("pictrove-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd || ::ftruncate(fd.get(), off_t(bytes)) != 0)
        return {};
    return fd;
}

} // namespace

SharedPixels SharedPixels::create(std::size_t bytes)
{
    SharedPixels pixels;
    Descriptor fd = newMemoryFile(bytes);
    if (!fd)
        return pixels;
    // Every page is written (filled, then decoded into): faulting them in
    // at once costs half of taking them one by one.
    void *data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd.get(), 0);
    if (data == MAP_FAILED)
        return pixels;
    pixels.m_fd = std::move(fd);
    pixels.m_data = static_cast<uchar *>(data);
    pixels.m_size = bytes;
    return pixels;
}

QImage SharedPixels::picture(int width, int height, QImage::Format format) const
{
    if (!m_data || width <= 0 || height <= 0
        || std::size_t(width) * std::size_t(height) * 4 != m_size)
        return {};
    return QImage(m_data, width, height, qsizetype(width) * 4, format);
}

bool SharedPixels::seal()
{
    // A writable mapping left anywhere would make the write seal fail.
    unmap();
    return m_fd && ::fcntl(m_fd.get(), F_ADD_SEALS, requiredSeals()) == 0;
}

namespace {

// Moves size bytes at offset with pread or pwrite, however many calls it takes.
template <typename Bytes, typename Call>
bool wholeAt(Call call, int fd, Bytes *data, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = call(fd, data, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
        offset += n;
    }
    return true;
}

bool writeAt(int fd, const uchar *data, std::size_t size, off_t offset)
{
    return wholeAt(::pwrite, fd, data, size, offset);
}

bool readAt(int fd, uchar *data, std::size_t size, off_t offset)
{
    return wholeAt(::pread, fd, data, size, offset);
}

// The pixels of a mapping a picture owns, unmapped with its last copy.
struct Mapping {
    void *data;
    std::size_t size;
};

void unmapPicture(void *info)
{
    auto *mapping = static_cast<Mapping *>(info);
    ::munmap(mapping->data, mapping->size);
    delete mapping;
}

// Fresh pages of a picture about to be written whole come in large pages
// where the system allows: a fault each 2 MiB instead of each 4 KiB. Only
// whole large pages inside the buffer are advised; pages the heap already
// had are left as they are.
void adviseLargePages(uchar *data, std::size_t size)
{
    constexpr std::uintptr_t large = std::uintptr_t(2) << 20;
    const auto start = (reinterpret_cast<std::uintptr_t>(data) + large - 1) & ~(large - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(large - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
}

} // namespace

SharedPixels SharedPixels::adopt(Descriptor fd, std::size_t bytes)
{
    SharedPixels pixels;
    pixels.m_fd = std::move(fd);
    pixels.m_size = bytes;
    return pixels;
}

SharedPixels sealedCopy(const QImage &picture)
{
    if (picture.isNull() || picture.depth() != 32)
        return {};
    // Written through the file, not a mapping of it: the system fills the
    // file's pages without faulting each one into this process first, which
    // costs several times the copy itself.
    const std::size_t row = std::size_t(picture.width()) * 4;
    const std::size_t bytes = row * std::size_t(picture.height());
    Descriptor fd = newMemoryFile(bytes);
    if (!fd)
        return {};
    if (std::size_t(picture.bytesPerLine()) == row) {
        if (!writeAt(fd.get(), picture.constBits(), bytes, 0))
            return {};
    } else {
        for (int y = 0; y < picture.height(); ++y) {
            if (!writeAt(fd.get(), picture.constScanLine(y), row, off_t(row * std::size_t(y))))
                return {};
        }
    }
    SharedPixels pixels = SharedPixels::adopt(std::move(fd), bytes);
    if (!pixels.seal())
        return {};
    return pixels;
}

namespace {

// Only the decode child's one thread makes pictures.
struct ChildPictures {
    bool on = false;
    uchar filler = 0;
    std::int64_t copyUpTo = 0;
    std::vector<SharedPixels> made;
};

ChildPictures &childPictures()
{
    static ChildPictures pictures;
    return pictures;
}

} // namespace

void decodeIntoSharedMemory(uchar filler, std::int64_t copyUpTo)
{
    childPictures().on = true;
    childPictures().filler = filler;
    childPictures().copyUpTo = copyUpTo;
}

namespace {

// A picture in a private mapping of its own, in large pages where the
// system allows, started as filler. Off the heap, as a memory file would
// be: a library that writes past one of its own buffers meets the same
// neighbours whatever the decoder's heap went through before.
QImage mappedPicture(int width, int height, QImage::Format format, uchar filler)
{
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    void *data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED)
        return {};
    ::madvise(data, bytes, MADV_HUGEPAGE);
    std::memset(data, filler, bytes);
    auto *mapping = new Mapping{data, bytes};
    QImage picture(static_cast<uchar *>(data), width, height, qsizetype(width) * 4, format,
                   unmapPicture, mapping);
    if (picture.isNull())
        unmapPicture(mapping);
    return picture;
}

} // namespace

QImage newPicture(int width, int height, QImage::Format format)
{
    ChildPictures &pictures = childPictures();
    if (!pictures.on || width <= 0 || height <= 0
        || (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32))
        return QImage(width, height, format);
    if (std::int64_t(width) * height <= pictures.copyUpTo) {
        QImage picture = mappedPicture(width, height, format, pictures.filler);
        return picture.isNull() ? QImage(width, height, format) : picture;
    }
    SharedPixels pixels = SharedPixels::create(std::size_t(width) * std::size_t(height) * 4);
    if (pixels.isNull())
        return QImage(width, height, format);
    std::memset(pixels.data(), pictures.filler, pixels.size());
    QImage picture = pixels.picture(width, height, format);
    pictures.made.push_back(std::move(pixels));
    return picture;
}

SharedPixels takeSharedPixelsOf(const QImage &picture)
{
    std::vector<SharedPixels> &made = childPictures().made;
    if (picture.isNull() || picture.depth() != 32
        || picture.bytesPerLine() != qsizetype(picture.width()) * 4)
        return {};
    for (auto it = made.begin(); it != made.end(); ++it) {
        if (it->data() == picture.constBits()
            && it->size() == std::size_t(picture.bytesPerLine()) * std::size_t(picture.height())) {
            SharedPixels pixels = std::move(*it);
            made.erase(it);
            // Nothing may touch the picture from here on: its pages are unmapped.
            if (!pixels.seal())
                return {};
            return pixels;
        }
    }
    return {};
}

bool sendDescriptor(int socket, int fd)
{
    char byte = 'P';
    iovec io{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    for (;;) {
        const ssize_t sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (sent == 1)
            return true;
        if (sent < 0 && errno == EINTR)
            continue;
        return false;
    }
}

Taken takeDescriptor(int socket, Descriptor &out)
{
    out.reset();
    char byte = 0;
    iovec io{&byte, 1};
    // Room for more than one, so that extra descriptors are seen (and
    // closed) rather than silently cut off.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 8)] = {};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = 0;
    do {
        n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return Taken::Ended;
    int descriptors = 0;
    bool foreign = (message.msg_flags & MSG_CTRUNC) != 0;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) {
            foreign = true;
            continue;
        }
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            ++descriptors;
            if (descriptors == 1)
                out.reset(fd);
            else
                ::close(fd);
        }
    }
    if (descriptors != 1 || foreign || byte != 'P') {
        out.reset();
        return Taken::Refused;
    }
    return Taken::Done;
}

QImage adoptPixels(Descriptor fd, int width, int height, QImage::Format format,
                   std::int64_t maxPixels, std::int64_t copyUpTo, QString *reason)
{
    const auto refuse = [reason](const char *why) {
        if (reason)
            *reason = QString::fromLatin1(why);
        return QImage();
    };
    if (!fd)
        return refuse("no pixels came with the picture");
    if (width <= 0 || height <= 0 || std::int64_t(width) * height > maxPixels
        || (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32))
        return refuse("the picture's size is out of bounds");
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    // Only a memory file answers for its seals.
    const int seals = ::fcntl(fd.get(), F_GET_SEALS);
    if (seals < 0 || (seals & requiredSeals()) != requiredSeals())
        return refuse("the pixels came in memory that was not sealed");
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0
        || std::size_t(st.st_size) != bytes)
        return refuse("the pixels are not of the size the picture declares");
    if (std::int64_t(width) * height <= copyUpTo) {
        QImage image(width, height, format);
        if (image.isNull())
            return refuse("not enough memory for the picture");
        adviseLargePages(image.bits(), bytes);
        if (!readAt(fd.get(), image.bits(), bytes, 0))
            return refuse("the pixels could not be read");
        return image;
    }
    void *data = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED | MAP_POPULATE, fd.get(), 0);
    if (data == MAP_FAILED)
        return refuse("not enough memory for the picture");
    auto *mapping = new Mapping{data, bytes};
    QImage image(static_cast<const uchar *>(data), width, height, qsizetype(width) * 4, format,
                 unmapPicture, mapping);
    if (image.isNull()) {
        unmapPicture(mapping);
        return refuse("not enough memory for the picture");
    }
    return image;
}

} // namespace pictrove::handover

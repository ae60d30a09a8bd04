#pragma once

// The decoded pixels go from the decode child to the program in a memory
// file the child fills once, seals and passes over the socket. A large
// picture is decoded straight into the file, which the program maps and
// shows as its picture; a smaller one is written into it and copied out by
// the program (see SandboxOptions::copyPixelsUpTo). Nothing is copied
// through the socket.
//
// The program trusts nothing about the file it is given: only a memory file
// that can no longer shrink, grow, be written or have its seals changed,
// and whose size is exactly the one the reply declared, is ever read. A
// file that could still shrink would fault the program (SIGBUS) the moment
// its pages went away under the mapping.

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace pictrove::handover {

// One owned file descriptor, closed on every path.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor &&other) noexcept : m_fd(other.release()) {}
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// The seals a memory file must carry before the program maps it.
int requiredSeals();

// The decoder's side: a memory file of a fixed size, mapped writable while
// the pixels are put in, then unmapped and sealed.
class SharedPixels {
public:
    SharedPixels() = default;
    ~SharedPixels();
    SharedPixels(SharedPixels &&other) noexcept;
    SharedPixels &operator=(SharedPixels &&other) noexcept;
    SharedPixels(const SharedPixels &) = delete;
    SharedPixels &operator=(const SharedPixels &) = delete;

    // Empty (and errno set) when the system gives no memory file of that size.
    static SharedPixels create(std::size_t bytes);

    bool isNull() const { return !m_fd; }
    uchar *data() const { return m_data; }
    std::size_t size() const { return m_size; }
    // A picture over the mapping, for a decoder to write into; valid until seal().
    QImage picture(int width, int height, QImage::Format format) const;

    // Unmaps the pixels and seals the file; false when a seal is refused.
    bool seal();
    int fd() const { return m_fd.get(); }

private:
    friend SharedPixels sealedCopy(const QImage &picture);
    // An unmapped file of bytes, already filled.
    static SharedPixels adopt(Descriptor fd, std::size_t bytes);
    void unmap();
    Descriptor m_fd;
    uchar *m_data = nullptr;
    std::size_t m_size = 0;
};

// The picture's rows copied into a new sealed memory file (RGB32 or ARGB32,
// rows unpadded). Empty when memory runs out.
SharedPixels sealedCopy(const QImage &picture);

// In a decode child, the true-colour pictures of more than copyUpTo pixels
// that the decoders fill are made straight in memory files, so that the
// one handed over needs no copy (see SandboxOptions::copyPixelsUpTo).
// Off unless turned on; the memory files live until the process ends.
// filler: the byte the fresh pixels start as (what the heap would give).
void decodeIntoSharedMemory(uchar filler, std::int64_t copyUpTo);
// A picture of that size and format for a decoder to fill. Turned on, an
// RGB32 or ARGB32 picture past copyUpTo lies in a memory file, a smaller
// one in a private mapping of its own; anything else is on the heap.
QImage newPicture(int width, int height, QImage::Format format);
// The memory file picture's pixels already lie in, sealed, or an empty one.
SharedPixels takeSharedPixelsOf(const QImage &picture);

// Sends one byte carrying fd over a stream socket; false when the socket is gone.
bool sendDescriptor(int socket, int fd);

// The program's side. Reads the one byte that carries a descriptor (the
// socket must be readable). Ended: the peer is gone; Refused: the byte
// came without exactly one descriptor, or with something else beside it.
enum class Taken { Done, Ended, Refused };
Taken takeDescriptor(int socket, Descriptor &out);

// The pixels of a memory file as a picture of width x height in format
// (RGB32 or ARGB32): copied when of at most copyUpTo pixels, else mapped
// read-only without a copy and unmapped when the last copy of the picture
// goes. Null, with the reason, for anything but a sealed memory file of
// exactly width * height * 4 bytes within maxPixels; such a file is never
// read or mapped.
QImage adoptPixels(Descriptor fd, int width, int height, QImage::Format format,
                   std::int64_t maxPixels, std::int64_t copyUpTo, QString *reason);

} // namespace pictrove::handover

#pragma once

// The few bytes the program and its decoder process exchange over one
// socket: a request per file, a reply, and behind it one byte that carries
// the pixels' sealed memory file (see PixelHandOver.h). Both ends are built
// from this tree, so the layout is native and unversioned.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pictrove::decoderprotocol {

// The decoder runs with its address layout fixed and in an environment of
// its own, so that every decoder process lays out its libraries and heap
// the same way: what a damaged file does in one, it does in all.

// The variables a decoder runs with, taken from environment (a null-ended
// list like environ): a few fixed ones, and those saying where libraries,
// plugins and fonts come from and how a sanitizer build reports.
class DecoderEnvironment {
public:
    explicit DecoderEnvironment(char **environment);
    DecoderEnvironment(const DecoderEnvironment &) = delete;
    DecoderEnvironment &operator=(const DecoderEnvironment &) = delete;

    const std::vector<std::string> &variables() const { return m_variables; }
    // Null-ended, for execve and posix_spawn; valid while this lives.
    char **data() { return m_pointers.data(); }

private:
    std::vector<std::string> m_variables;
    std::vector<char *> m_pointers;
};

// While it lives, processes this thread starts take the fixed address
// layout with them (the layout a decoder would otherwise start itself
// again for); other threads are unaffected. Does nothing where the system
// refuses it.
class FixedLayoutForChildren {
public:
    FixedLayoutForChildren();
    ~FixedLayoutForChildren();
    FixedLayoutForChildren(const FixedLayoutForChildren &) = delete;
    FixedLayoutForChildren &operator=(const FixedLayoutForChildren &) = delete;

private:
    int m_before = -1;
};

// The decoder process finds its end of the socket here.
constexpr int channelFd = 3;

constexpr std::uint32_t requestMagic = 0x51445450u; // "PTDQ"
constexpr std::uint32_t replyMagic = 0x52445450u;   // "PTDR"
// Sent once, when the decoder has started its libraries and takes requests.
constexpr std::uint32_t readyMagic = 0x59445450u;   // "PTDY"
// From the program while a request is under way: end that decode now. One
// that arrives after the reply has gone is skipped by the decoder.
constexpr std::uint32_t cancelMagic = 0x43445450u;  // "PTDC"
// From the decoder, before the reply: the size the file's header declares,
// read in the confined decode child, for the program to set the file's time.
constexpr std::uint32_t sizeMagic = 0x53445450u;    // "PTDS"

struct RequestHeader {
    std::uint32_t magic = requestMagic;
    std::uint32_t table = 0;      // LoaderTable
    std::uint32_t fallbackOnly = 0; // 1: only the route tried after a failure
    std::uint32_t pathBytes = 0;  // the path follows, in the file system's encoding
    std::uint32_t extensionBytes = 0; // then the extension, UTF-8
    std::int64_t maxPixels = 0;
    // The resize the picture is read for (ResizeSetting's fields): a JPEG
    // shrunk by half or more is decoded at a smaller scale. Mode 0: none.
    std::uint32_t resizeMode = 0;
    std::int32_t resizeSide = 0;
    std::int32_t resizeWidth = 0;
    std::int32_t resizeHeight = 0;
    std::int32_t resizePercent = 0;
    std::uint32_t resizeNeverEnlarge = 1;
    std::uint32_t reserved = 0;
    // Pictures of at most this many pixels are copied into their memory
    // file, larger ones decoded straight into it.
    std::int64_t copyPixelsUpTo = 0;
};

// What a header declares, in pixels, or one of these.
constexpr std::int64_t sizeNotInHeader = -1; // the format does not say before decoding
constexpr std::int64_t sizeUnreadable = -2;  // the format says, but this header is damaged

struct SizeNotice {
    std::uint32_t magic = sizeMagic;
    std::uint32_t reserved = 0;
    std::int64_t declaredPixels = sizeNotInHeader;
};

// Why a decode ended without its own reply.
enum class Ending : std::uint32_t {
    None = 0,
    Stuck = 1,     // the child used no processor time for a whole second
    Cancelled = 2, // the program asked for the decode to end
};

enum class PixelFormat : std::uint32_t { Rgb32 = 0, Argb32 = 1 };

struct ReplyHeader {
    std::uint32_t magic = replyMagic;
    std::uint32_t ok = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t depth = 0;
    PixelFormat format = PixelFormat::Rgb32;
    std::uint32_t errorBytes = 0; // UTF-8 reason follows; with ok, then the three below and
                                  // the byte carrying a memory file of width * height * 4 bytes
    std::uint32_t crashed = 0;    // 1: the decode died; the decoder itself serves on
    std::uint32_t peakKiB = 0;    // the decode's largest resident size
    Ending ending = Ending::None;  // set by the decoder itself, with ok == 0
    std::uint32_t warningBytes = 0; // UTF-8: what did not stop the decode
    std::uint32_t exifBytes = 0;    // the file's EXIF block
    std::uint32_t xmpBytes = 0;     // the file's XMP packet
    // The upright size in the file when the picture was decoded smaller
    // for a resize; 0 x 0 when it is the file's own size.
    std::int32_t fullWidth = 0;
    std::int32_t fullHeight = 0;
    // Where the child's time went, for the benchmarks: the decode itself
    // (wall and processor time) and the making of the pixels' memory file.
    std::int64_t decodeWallNs = 0;
    std::int64_t decodeCpuNs = 0;
    std::int64_t handOverNs = 0;
    // 1: the decoded rows were copied into the memory file; 0: decoded in it.
    std::uint32_t pixelsCopied = 0;
    std::uint32_t reserved = 0;
};

constexpr std::uint32_t maxPathBytes = 64 * 1024;
constexpr std::uint32_t maxErrorBytes = 64 * 1024;
constexpr std::uint32_t maxExifBytes = 1024 * 1024;
constexpr std::uint32_t maxXmpBytes = 4 * 1024 * 1024;

// Blocking whole-buffer transfers for the decoder's side; false on EOF or error.
bool readFully(int fd, void *buffer, std::size_t size);
bool writeFully(int fd, const void *buffer, std::size_t size);


} // namespace pictrove::decoderprotocol

#include "engine/core/PngWriter.h"

#include "engine/core/PngFilter.h"
#include "platform/WriteFailure.h"

#include <libdeflate.h>
#include <zlib.h>

#include <QSaveFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace pictrove {

namespace {

// Where LZ77 pays (drawings; see PieceCoder for photos), libdeflate's
// level 6 makes files smaller than zlib's level 6 in a third of its time.
// Small pictures take the slowest level, whose time there is nothing, so
// that their few hundred bytes never outgrow zlib's.
constexpr int DeflateLevel = 6;
// Palette indices are another matter: at level 6 some corpus graphics come
// out up to 2 % above zlib's, at 10 (near-optimal parsing) all 6 to 7 %
// below.
constexpr int PaletteLevel = 10;
constexpr int SmallPictureLevel = 12;
constexpr std::size_t SmallPictureBytes = std::size_t(1) << 20;

// What can go wrong between the pixels and the file, said in one place.
enum class Failure { None, NoMemory, Compressor, Compress, Join };

QString failureText(Failure failure)
{
    switch (failure) {
    case Failure::None: return {};
    case Failure::NoMemory: return QStringLiteral("not enough memory to compress the PNG picture");
    case Failure::Compressor: return QStringLiteral("the PNG compressor could not be set up");
    case Failure::Compress: return QStringLiteral("the PNG compressor failed");
    case Failure::Join: return QStringLiteral("the compressed PNG pieces could not be joined");
    }
    return {};
}

struct CompressorFree {
    void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorFree>;

class Inflater {
public:
    Inflater() { m_ready = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK; }
    ~Inflater()
    {
        if (m_ready)
            inflateEnd(&m_stream);
    }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;
    bool ready() const { return m_ready; }
    z_stream &stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

// libdeflate ends every stream it makes with a final block. A piece that
// other pieces follow must not: find where its last block begins (zlib's
// inflate stops at each block boundary with Z_BLOCK, as in zlib's gzjoin),
// clear that block's BFINAL bit, and end the piece on a byte with an empty
// stored block, so that the next piece can start on the next byte.
bool endWithoutFinal(std::vector<std::uint8_t> &piece)
{
    if (piece.empty() || piece.size() > std::size_t(UINT_MAX))
        return false;
    Inflater inflater;
    if (!inflater.ready())
        return false;
    z_stream &s = inflater.stream();
    s.next_in = piece.data();
    s.avail_in = uInt(piece.size());
    std::uint8_t sink[1 << 15];
    std::size_t lastHeader = 0; // the bit where the block being decoded began
    std::size_t end = 0;
    for (;;) {
        s.next_out = sink;
        s.avail_out = sizeof sink;
        const uInt inBefore = s.avail_in;
        const int r = inflate(&s, Z_BLOCK);
        if (r != Z_OK && r != Z_BUF_ERROR)
            return false;
        if (s.data_type & 128) {
            const std::size_t bit = std::size_t(s.next_in - piece.data()) * 8 - std::size_t(s.data_type & 7);
            if (s.data_type & 64) {
                end = bit;
                break;
            }
            lastHeader = bit;
        } else if (s.avail_out != 0 && s.avail_in == inBefore) {
            return false; // no progress: the piece is cut short
        }
    }
    piece[lastHeader / 8] &= std::uint8_t(~(1u << (lastHeader % 8)));
    piece.resize((end + 7) / 8);
    const unsigned used = unsigned(end % 8); // bits of the last byte the block fills
    if (used != 0)
        piece.back() &= std::uint8_t((1u << used) - 1);
    // Three header bits of zero (not final, stored), then to the byte.
    if (used == 0 || used > 5)
        piece.push_back(0);
    const std::uint8_t emptyStored[] = {0x00, 0x00, 0xFF, 0xFF};
    piece.insert(piece.end(), std::begin(emptyStored), std::end(emptyStored));
    return true;
}

// zlib's deflate, kept for one thread's pieces: its tables are set up once
// and only reset between pieces.
class Deflater {
public:
    Deflater(int level, int memLevel, int strategy)
    {
        m_ready = deflateInit2(&m_stream, level, Z_DEFLATED, -MAX_WBITS, memLevel, strategy) == Z_OK;
    }
    ~Deflater()
    {
        if (m_ready)
            deflateEnd(&m_stream);
    }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    // One raw deflate stream of size bytes into out; false when zlib could
    // not make it (out is then unspecified).
    bool compress(const std::uint8_t *data, std::size_t size, std::vector<std::uint8_t> &out)
    {
        if (!m_ready || size > std::size_t(UINT_MAX) || deflateReset(&m_stream) != Z_OK)
            return false;
        out.resize(deflateBound(&m_stream, uLong(size)));
        m_stream.next_in = const_cast<Bytef *>(data);
        m_stream.avail_in = uInt(size);
        m_stream.next_out = out.data();
        m_stream.avail_out = uInt(out.size());
        if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END)
            return false;
        out.resize(out.size() - m_stream.avail_out);
        return true;
    }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

// On a few bytes libdeflate's blocks can cost a byte or three more than
// zlib's; such a stream is cheap to make both ways, and the smaller kept.
constexpr std::size_t TinyStreamBytes = std::size_t(64) << 10;

void keepZlibsIfSmaller(const std::vector<std::uint8_t> &raw, std::vector<std::uint8_t> &part)
{
    Deflater zlib(6, 8, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> other;
    if (zlib.compress(raw.data(), raw.size(), other) && other.size() < part.size())
        part = std::move(other);
}

// A photo's filtered rows are noise to an LZ77 coder: the short matches it
// finds there cost more than the literals they stand for. Coding only runs
// and Huffman-coding the rest (zlib's run-length strategy, in the largest
// blocks its memory level allows) makes such rows about 2 % smaller than
// libdeflate's level 6 and zlib's filtered strategy, in two thirds of
// libdeflate's time. A piece that runs shrink to a quarter or less is a
// drawing, whose repeats LZ77 does find; one whose middle LZ77 codes
// smaller (a texture repeated further away than a run reaches) may be
// one too. Those pieces are coded by libdeflate as well and the smaller
// stream is kept. A middle that LZ77 codes barely smaller (a smooth,
// enlarged photo, say) is not worth doubling the time of a piece.
constexpr int RunsMemoryLevel = 9;
constexpr std::size_t DrawingRatio = 4;
constexpr std::size_t SliceBytes = std::size_t(128) << 10;
constexpr std::size_t LzMargin = 50; // LZ77 must save 2 % of the middle

class PieceCoder {
public:
    explicit PieceCoder(int level) : m_lz(libdeflate_alloc_compressor(level)), m_runs(6, RunsMemoryLevel, Z_RLE) {}
    bool ready() const { return bool(m_lz); }

    // The smaller raw deflate stream of raw into part; false on failure.
    bool code(const std::vector<std::uint8_t> &raw, std::vector<std::uint8_t> &part)
    {
        const bool runs = m_runs.compress(raw.data(), raw.size(), part);
        if (runs && part.size() * DrawingRatio > raw.size() && !lzWinsInTheMiddle(raw))
            return true;
        if (!lz(raw.data(), raw.size(), m_other))
            return false;
        if (!runs || m_other.size() < part.size())
            std::swap(part, m_other);
        return true;
    }

private:
    bool lz(const std::uint8_t *data, std::size_t size, std::vector<std::uint8_t> &out)
    {
        out.resize(libdeflate_deflate_compress_bound(m_lz.get(), size));
        const std::size_t n = libdeflate_deflate_compress(m_lz.get(), data, size, out.data(), out.size());
        out.resize(n);
        return n != 0;
    }

    bool lzWinsInTheMiddle(const std::vector<std::uint8_t> &raw)
    {
        if (raw.size() <= 2 * SliceBytes)
            return true; // as cheap to code whole as to sample
        const std::uint8_t *middle = raw.data() + (raw.size() - SliceBytes) / 2;
        return !m_runs.compress(middle, SliceBytes, m_slice) || !lz(middle, SliceBytes, m_other)
               || m_other.size() + m_other.size() / LzMargin < m_slice.size();
    }

    Compressor m_lz;
    Deflater m_runs;
    std::vector<std::uint8_t> m_other;
    std::vector<std::uint8_t> m_slice;
};

// The two header bytes libdeflate's own zlib wrapper writes for level.
std::array<std::uint8_t, 2> zlibHeader(int level)
{
    const unsigned hint = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (0x78u << 8) | (hint << 6);
    header += 31 - header % 31;
    return {std::uint8_t(header >> 8), std::uint8_t(header)};
}

void putBigEndian(std::uint8_t *to, std::uint32_t value)
{
    to[0] = std::uint8_t(value >> 24);
    to[1] = std::uint8_t(value >> 16);
    to[2] = std::uint8_t(value >> 8);
    to[3] = std::uint8_t(value);
}

} // namespace

namespace pngdetail {

std::size_t ZlibPieces::size() const
{
    std::size_t total = 0;
    for (const auto &part : parts)
        total += part.size();
    return total;
}

bool compressPieces(int pieceCount, const FillPiece &fill, int level, int threads, ZlibPieces &out,
                    QString *error)
{
    out.parts.clear();
    Failure failure = Failure::None;
    try {
        // The zlib header, each piece (an empty stream still has its one
        // block), the check value.
        out.parts.resize(std::size_t(std::max(pieceCount, 1)) + 2);
        std::vector<std::uint32_t> adlers(std::size_t(std::max(pieceCount, 0)), 1);
        std::vector<std::size_t> lengths(adlers.size(), 0);
        std::atomic<int> next{0};
        std::atomic<bool> failed{false};
        std::mutex noting;
        const auto note = [&](Failure f) {
            const std::lock_guard lock(noting);
            if (failure == Failure::None)
                failure = f;
            failed = true;
        };
        const auto work = [&] {
            try {
                PieceCoder coder(level);
                if (!coder.ready()) {
                    note(Failure::Compressor);
                    return;
                }
                std::vector<std::uint8_t> raw;
                for (int i = next++; i < pieceCount && !failed; i = next++) {
                    raw.clear();
                    fill(i, raw);
                    adlers[std::size_t(i)] = std::uint32_t(libdeflate_adler32(1, raw.data(), raw.size()));
                    lengths[std::size_t(i)] = raw.size();
                    std::vector<std::uint8_t> &part = out.parts[std::size_t(i) + 1];
                    if (!coder.code(raw, part)) {
                        note(Failure::Compress);
                        return;
                    }
                    if (pieceCount == 1 && raw.size() <= TinyStreamBytes)
                        keepZlibsIfSmaller(raw, part);
                    if (i + 1 < pieceCount && !endWithoutFinal(part)) {
                        note(Failure::Join);
                        return;
                    }
                    part.shrink_to_fit(); // the bound is about the size of the raw piece
                }
            } catch (const std::bad_alloc &) {
                note(Failure::NoMemory);
            }
        };
        const int helpers = std::clamp(threads, 1, std::max(pieceCount, 1)) - 1;
        std::vector<std::thread> running;
        for (int t = 0; t < helpers; ++t) {
            try {
                running.emplace_back(work);
            } catch (const std::system_error &) {
                break; // fewer threads, the same bytes
            }
        }
        work();
        for (std::thread &t : running)
            t.join();
        if (failure == Failure::None) {
            const auto header = zlibHeader(level);
            out.parts.front().assign(header.begin(), header.end());
            if (pieceCount <= 0) { // an empty stream still needs its one final block
                Compressor compressor(libdeflate_alloc_compressor(level));
                std::vector<std::uint8_t> &part = out.parts[1];
                part.resize(16);
                const std::size_t n = compressor ? libdeflate_deflate_compress(compressor.get(), nullptr, 0,
                                                                               part.data(), part.size())
                                                 : 0;
                if (n == 0)
                    failure = Failure::Compress;
                part.resize(n);
            }
            uLong adler = adlers.empty() ? 1 : adlers.front();
            for (std::size_t i = 1; i < adlers.size(); ++i)
                adler = adler32_combine(adler, adlers[i], z_off_t(lengths[i]));
            out.parts.back().resize(4);
            putBigEndian(out.parts.back().data(), std::uint32_t(adler));
        }
    } catch (const std::bad_alloc &) {
        failure = Failure::NoMemory;
    }
    if (failure != Failure::None) {
        out.parts.clear();
        if (error)
            *error = failureText(failure);
        return false;
    }
    return true;
}

} // namespace pngdetail

namespace {

// What the chunks before the picture data say, as FreeImage writes them.
struct PngHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t colourType = 0; // 0 grey, 2 RGB, 3 palette
    int channels = 1;
    std::vector<std::uint8_t> palette; // RGB triples, colour type 3 only
    std::uint32_t dotsPerMeterX = 0;
    std::uint32_t dotsPerMeterY = 0;
    std::uint8_t grey[256] = {}; // the grey level of each index, colour type 0 only
};

// FreeImage's writer decides its colour type by FreeImage_GetColorType:
// an 8-bit bitmap whose palette is the grey ramp, up or down, is written
// as grey levels (down through libpng's inversion); any other as a
// palette. That and the 24-bit bitmaps are all the library route gives
// it; anything more (text, a profile, transparency) stays with FreeImage.
bool describe(FIBITMAP *dib, PngHeader &header)
{
    if (!dib || !FreeImage_HasPixels(dib) || FreeImage_GetImageType(dib) != FIT_BITMAP)
        return false;
    const unsigned bpp = FreeImage_GetBPP(dib);
    if (bpp != 8 && bpp != 24)
        return false;
    if (FreeImage_IsTransparent(dib) || FreeImage_GetTransparencyCount(dib) > 0
        || FreeImage_HasBackgroundColor(dib))
        return false;
    const FIICCPROFILE *icc = FreeImage_GetICCProfile(dib);
    if (icc && icc->size != 0)
        return false;
    for (FREE_IMAGE_MDMODEL model : {FIMD_COMMENTS, FIMD_XMP, FIMD_EXIF_MAIN, FIMD_EXIF_EXIF, FIMD_EXIF_GPS,
                                     FIMD_EXIF_MAKERNOTE, FIMD_EXIF_INTEROP, FIMD_IPTC, FIMD_GEOTIFF,
                                     FIMD_ANIMATION, FIMD_CUSTOM, FIMD_EXIF_RAW}) {
        if (FreeImage_GetMetadataCount(model, dib) != 0)
            return false;
    }
    header.width = FreeImage_GetWidth(dib);
    header.height = FreeImage_GetHeight(dib);
    header.dotsPerMeterX = FreeImage_GetDotsPerMeterX(dib);
    header.dotsPerMeterY = FreeImage_GetDotsPerMeterY(dib);
    if (header.width == 0 || header.height == 0 || header.width > 0x7FFFFFFF || header.height > 0x7FFFFFFF
        || header.dotsPerMeterX == 0 || header.dotsPerMeterY == 0)
        return false;
    if (bpp == 24) {
        header.colourType = 2;
        header.channels = 3;
        return true;
    }
    const RGBQUAD *palette = FreeImage_GetPalette(dib);
    const unsigned colours = FreeImage_GetColorsUsed(dib);
    if (!palette || colours == 0 || colours > 256)
        return false;
    switch (FreeImage_GetColorType(dib)) {
    case FIC_MINISBLACK:
    case FIC_MINISWHITE:
        header.colourType = 0;
        for (unsigned i = 0; i < 256; ++i)
            header.grey[i] = i < colours ? palette[i].rgbRed : 0;
        return true;
    case FIC_PALETTE:
        header.colourType = 3;
        header.palette.resize(std::size_t(colours) * 3);
        for (unsigned i = 0; i < colours; ++i) {
            header.palette[i * 3] = palette[i].rgbRed;
            header.palette[i * 3 + 1] = palette[i].rgbGreen;
            header.palette[i * 3 + 2] = palette[i].rgbBlue;
        }
        return true;
    default:
        return false;
    }
}

// Row y of the PNG (top down) in its own byte order.
void pngRow(FIBITMAP *dib, const PngHeader &header, std::uint32_t y, std::uint8_t *into)
{
    const std::uint8_t *line = FreeImage_GetScanLine(dib, int(header.height - 1 - y));
    const std::size_t width = header.width;
    if (header.colourType == 2) {
        for (std::size_t x = 0; x < width; ++x, line += 3, into += 3) {
            into[0] = line[FI_RGBA_RED];
            into[1] = line[FI_RGBA_GREEN];
            into[2] = line[FI_RGBA_BLUE];
        }
    } else if (header.colourType == 0) {
        for (std::size_t x = 0; x < width; ++x)
            into[x] = header.grey[line[x]];
    } else {
        std::memcpy(into, line, width);
    }
}

// libpng's choice for rows of 8 bits or more that are not a palette: of
// the filters allowed, the one whose output has the least sum of bytes
// taken as signed, the earlier one on a tie (None, Sub, Up, Average,
// Paeth). FreeImage lets libpng try only None, Sub and Paeth on RGB rows;
// trying all five, as it does for grey levels, makes photos about 3 %
// smaller, which libdeflate needs to stay under zlib's files there (with
// FreeImage's three it ends 1 % above them). libpng drops the filters that
// look above in a picture of one row and those that look left in a
// picture one pixel wide. out receives the filter byte and the filtered
// row; trial is scratch of the same size.
constexpr unsigned filterBit(int type) { return 1u << type; }
constexpr unsigned AllFilters = 0x1F;

unsigned allowedFilters(const PngHeader &header)
{
    unsigned filters = AllFilters;
    if (header.height == 1)
        filters &= ~(filterBit(2) | filterBit(3) | filterBit(4));
    if (header.width == 1)
        filters &= ~(filterBit(1) | filterBit(3) | filterBit(4));
    // A column of RGB pixels: FreeImage's set leaves None alone there, and
    // rows that few are too short for Up to win back its filter bytes.
    if (header.width == 1 && header.colourType == 2)
        filters = filterBit(0);
    return filters;
}

// The row filtered into out (its filter byte first) by the allowed filter
// libpng would choose; trial is scratch of the same size.
void filterAdaptive(const std::uint8_t *cur, const std::uint8_t *prev, std::size_t n, std::size_t bpp,
                    unsigned filters, std::uint8_t *out, std::uint8_t *trial)
{
    std::uint8_t *best = out;
    std::uint8_t *next = trial;
    std::uint64_t least = 0;
    bool any = false;
    for (int type = pngfilter::None; type <= pngfilter::Paeth; ++type) {
        if (!(filters & filterBit(type)))
            continue;
        const std::uint64_t sum = pngfilter::filterRow(pngfilter::Type(type), cur, prev, n, bpp, next + 1);
        if (!any || sum < least) {
            any = true;
            least = sum;
            next[0] = std::uint8_t(type);
            std::swap(best, next);
        }
    }
    if (best != out)
        std::memcpy(out, best, n + 1);
}

// The filtered rows [first, last) of the picture, as libpng would write
// them: a palette row unfiltered, any other row by filterAdaptive.
void filterRows(FIBITMAP *dib, const PngHeader &header, std::uint32_t first, std::uint32_t last,
                std::vector<std::uint8_t> &into)
{
    const std::size_t n = std::size_t(header.width) * std::size_t(header.channels);
    into.resize((n + 1) * (last - first));
    std::uint8_t *out = into.data();
    if (header.colourType == 3) {
        for (std::uint32_t y = first; y < last; ++y, out += n + 1) {
            out[0] = 0;
            pngRow(dib, header, y, out + 1);
        }
        return;
    }
    std::vector<std::uint8_t> rows(n * 2, 0);
    std::vector<std::uint8_t> trial(n + 1);
    const unsigned filters = allowedFilters(header);
    std::uint8_t *prev = rows.data();
    std::uint8_t *cur = rows.data() + n;
    if (first > 0)
        pngRow(dib, header, first - 1, prev);
    for (std::uint32_t y = first; y < last; ++y, out += n + 1) {
        pngRow(dib, header, y, cur);
        filterAdaptive(cur, prev, n, std::size_t(header.channels), filters, out, trial.data());
        std::swap(prev, cur);
    }
}

// Writes the whole file through write, chunk by chunk; false as soon as a
// write fails.
using WriteBytes = std::function<bool(const void *data, std::size_t size)>;

bool writeChunk(const WriteBytes &write, const char type[4],
                std::initializer_list<std::pair<const std::uint8_t *, std::size_t>> pieces)
{
    std::size_t length = 0;
    for (const auto &[data, size] : pieces)
        length += size;
    std::uint8_t head[8];
    putBigEndian(head, std::uint32_t(length));
    std::memcpy(head + 4, type, 4);
    std::uint32_t crc = std::uint32_t(libdeflate_crc32(0, head + 4, 4));
    for (const auto &[data, size] : pieces)
        crc = std::uint32_t(libdeflate_crc32(crc, data, size));
    std::uint8_t tail[4];
    putBigEndian(tail, crc);
    if (!write(head, sizeof head))
        return false;
    for (const auto &[data, size] : pieces) {
        if (size != 0 && !write(data, size))
            return false;
    }
    return write(tail, sizeof tail);
}

bool writePng(const PngHeader &header, const pngdetail::ZlibPieces &stream, const WriteBytes &write)
{
    static const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!write(signature, sizeof signature))
        return false;
    std::uint8_t ihdr[13];
    putBigEndian(ihdr, header.width);
    putBigEndian(ihdr + 4, header.height);
    ihdr[8] = 8;
    ihdr[9] = header.colourType;
    ihdr[10] = ihdr[11] = ihdr[12] = 0; // deflate, adaptive filtering, not interlaced
    if (!writeChunk(write, "IHDR", {{ihdr, sizeof ihdr}}))
        return false;
    if (header.colourType == 3 && !writeChunk(write, "PLTE", {{header.palette.data(), header.palette.size()}}))
        return false;
    std::uint8_t phys[9];
    putBigEndian(phys, header.dotsPerMeterX);
    putBigEndian(phys + 4, header.dotsPerMeterY);
    phys[8] = 1; // per metre
    if (!writeChunk(write, "pHYs", {{phys, sizeof phys}}))
        return false;
    // One IDAT a piece; the zlib header rides with the first, the check
    // value with the last.
    const auto &parts = stream.parts;
    const std::size_t last = parts.size() - 2;
    for (std::size_t i = 1; i <= last; ++i) {
        const bool first = i == 1;
        const bool final = i == last;
        if (!writeChunk(write, "IDAT",
                        {{parts.front().data(), first ? parts.front().size() : 0},
                         {parts[i].data(), parts[i].size()},
                         {parts.back().data(), final ? parts.back().size() : 0}}))
            return false;
    }
    return writeChunk(write, "IEND", {});
}

bool compressPicture(FIBITMAP *dib, const PngHeader &header, const PngWriteOptions &options,
                     pngdetail::ZlibPieces &stream, QString *error)
{
    const std::size_t rowBytes = std::size_t(header.width) * std::size_t(header.channels) + 1;
    std::uint32_t rowsPerPiece = options.pieceRows > 0
                                     ? std::uint32_t(options.pieceRows)
                                     : std::uint32_t(std::clamp<std::size_t>(options.pieceBytes / rowBytes, 1,
                                                                             header.height));
    rowsPerPiece = std::min(rowsPerPiece, header.height);
    const std::uint32_t pieces = (header.height + rowsPerPiece - 1) / rowsPerPiece;
    const auto fill = [&](int piece, std::vector<std::uint8_t> &into) {
        const std::uint32_t first = std::uint32_t(piece) * rowsPerPiece;
        filterRows(dib, header, first, std::min(header.height, first + rowsPerPiece), into);
    };
    const int level = rowBytes * header.height <= SmallPictureBytes ? SmallPictureLevel
                      : header.colourType == 3                     ? PaletteLevel
                                                                   : DeflateLevel;
    return pngdetail::compressPieces(int(pieces), fill, level, options.threads, stream, error);
}

} // namespace

bool pngWriterTakes(FIBITMAP *dib)
{
    PngHeader header;
    return describe(dib, header);
}

QByteArray encodePng(FIBITMAP *dib, const PngWriteOptions &options, QString *error)
{
    PngHeader header;
    if (!describe(dib, header))
        return {};
    pngdetail::ZlibPieces stream;
    if (!compressPicture(dib, header, options, stream, error))
        return {};
    QByteArray file;
    try {
        file.reserve(qsizetype(stream.size() + header.palette.size() + 128 + 12 * stream.parts.size()));
        writePng(header, stream, [&](const void *data, std::size_t size) {
            file.append(static_cast<const char *>(data), qsizetype(size));
            return true;
        });
    } catch (const std::bad_alloc &) {
        if (error)
            *error = failureText(Failure::NoMemory);
        return {};
    }
    return file;
}

bool savePngChecked(FIBITMAP *dib, const QString &path, int threads, const FinishFile &finish, QString *error)
{
    PngHeader header;
    // Palette pictures stay with FreeImage: libdeflate needs its slow
    // near-optimal levels to keep every such file at zlib's size or below,
    // which would make the palette rows slower than they are.
    // So do small pictures: they take no time either way, and a few hundred
    // bytes filtered another way can come out a few bytes above zlib's.
    if (!describe(dib, header) || header.colourType == 3
        || (std::size_t(header.width) * std::size_t(header.channels) + 1) * header.height <= SmallPictureBytes)
        return saveBitmapChecked(FIF_PNG, dib, path, PNG_DEFAULT, finish);
    PngWriteOptions options;
    // 0: every core, as for a picture someone waits for.
    options.threads = threads > 0 ? threads : std::max(1, int(std::thread::hardware_concurrency()));
    if (finish) {
        const QByteArray file = encodePng(dib, options, error);
        return !file.isEmpty() && saveBytesChecked(file, path, finish);
    }
    pngdetail::ZlibPieces stream;
    if (!compressPicture(dib, header, options, stream, error))
        return false;
    // Streamed into the file: the compressed pieces are not copied again.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        noteWriteFailure();
        return false;
    }
    const bool written = writePng(header, stream, [&](const void *data, std::size_t size) {
        if (file.write(static_cast<const char *>(data), qint64(size)) == qint64(size))
            return true;
        noteWriteFailure();
        return false;
    });
    if (!written)
        return false;
    // commit() does not notice when writing out its buffer fails: flush first.
    if (!file.flush() || !file.commit()) {
        noteWriteFailure();
        return false;
    }
    return true;
}

} // namespace pictrove

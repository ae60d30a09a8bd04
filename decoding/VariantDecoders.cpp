#include "decoding/VariantDecoders.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cctype>
#include <cstring>
#include <vector>

namespace pictrove {

namespace {

LoadResult tooLarge() { return loadFailure(QStringLiteral("the picture is too large")); }
LoadResult damaged() { return loadFailure(QStringLiteral("the file is damaged")); }

// The whole file: every format here keeps its pixels well within a size we
// would accept as a picture.
std::optional<QByteArray> readWhole(const QString &path, const DecodeLimits &limits)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limits.maxPixels * 8 + (1 << 20))
        return std::nullopt;
    return file.readAll();
}

// Bounds-checked big- and little-endian fields of a byte array.
struct Reader {
    const QByteArray &d;
    bool has(qint64 at, qint64 n) const { return at >= 0 && n >= 0 && at + n <= d.size(); }
    int u8(qint64 at) const { return has(at, 1) ? quint8(d[at]) : 0; }
    int be16(qint64 at) const { return u8(at) << 8 | u8(at + 1); }
    int le16(qint64 at) const { return u8(at + 1) << 8 | u8(at); }
    quint32 be32(qint64 at) const { return quint32(be16(at)) << 16 | quint32(be16(at + 2)); }
    quint32 le32(qint64 at) const { return quint32(le16(at + 2)) << 16 | quint32(le16(at)); }
};

bool fits(std::int64_t w, std::int64_t h, const DecodeLimits &limits)
{
    return w > 0 && h > 0 && w * h <= limits.maxPixels;
}

QImage blank(int w, int h, bool alpha)
{
    return QImage(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

int to8(quint32 value, quint32 maximum) { return int((quint64(value) * 255 + maximum / 2) / maximum); }

// ---- netpbm: plain-text bitmaps, and binary maps of more than 8 bits ----

class NetpbmText {
public:
    explicit NetpbmText(const QByteArray &d) : m_d(d) {}
    void skipSpaceAndComments()
    {
        while (m_at < m_d.size()) {
            if (m_d[m_at] == '#') {
                while (m_at < m_d.size() && m_d[m_at] != '\n' && m_d[m_at] != '\r')
                    ++m_at;
            } else if (std::isspace(quint8(m_d[m_at]))) {
                ++m_at;
            } else {
                return;
            }
        }
    }
    std::optional<std::int64_t> number()
    {
        skipSpaceAndComments();
        std::int64_t v = 0;
        const qsizetype start = m_at;
        while (m_at < m_d.size() && std::isdigit(quint8(m_d[m_at])) && v < (std::int64_t(1) << 40))
            v = v * 10 + (m_d[m_at++] - '0');
        if (m_at == start)
            return std::nullopt;
        return v;
    }
    // One digit of a plain bitmap; they need nothing between them.
    std::optional<bool> bit()
    {
        skipSpaceAndComments();
        if (m_at >= m_d.size() || (m_d[m_at] != '0' && m_d[m_at] != '1'))
            return std::nullopt;
        return m_d[m_at++] == '1';
    }
    qsizetype at() const { return m_at; }
    void skip(qsizetype n) { m_at += n; }

private:
    const QByteArray &m_d;
    qsizetype m_at = 2;
};

LoadResult decodeNetpbm(const QByteArray &d, const DecodeLimits &limits)
{
    const char kind = d[1];
    NetpbmText text(d);
    const auto w = text.number(), h = text.number();
    if (!w || !h)
        return damaged();
    if (!fits(*w, *h, limits))
        return *w > 0 && *h > 0 ? tooLarge() : damaged();
    const int width = int(*w), height = int(*h);
    if (kind == '1') {
        QImage out = blank(width, height, false);
        for (int y = 0; y < height; ++y) {
            auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const auto ink = text.bit();
                if (!ink)
                    return damaged();
                line[x] = *ink ? 0xFF000000u : 0xFFFFFFFFu;
            }
        }
        return loadedPicture(out, 1);
    }
    const auto maxval = text.number();
    if (!maxval || *maxval < 1 || *maxval > 65535 || (kind != '5' && kind != '6'))
        return damaged();
    text.skip(1); // the one whitespace character before the samples
    const bool colour = kind == '6';
    const int channels = colour ? 3 : 1;
    const int bytes = *maxval > 255 ? 2 : 1;
    if (text.at() + qint64(width) * height * channels * bytes > d.size())
        return damaged();
    const auto *s = reinterpret_cast<const uchar *>(d.constData() + text.at());
    const auto sample = [&] {
        quint32 v = bytes == 2 ? quint32(s[0]) << 8 | s[1] : s[0];
        s += bytes;
        // Samples above the maximum are damage; show them as the maximum.
        return to8(std::min<quint32>(v, quint32(*maxval)), quint32(*maxval));
    };
    QImage out = blank(width, height, false);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int r = sample();
            if (!colour) {
                line[x] = qRgb(r, r, r);
                continue;
            }
            const int g = sample();
            line[x] = qRgb(r, g, sample());
        }
    }
    return loadedPicture(out, colour ? 24 : 8);
}

// Plain bitmaps, binary maps of more than 8 bits, and headers that cannot
// be read at all: DevIL spins on some of those (a comment that runs to the
// end of the file) until the time limit.
bool isNetpbmVariant(const QByteArray &head)
{
    if (head.size() < 2 || head[0] != 'P' || head[1] < '1' || head[1] > '6')
        return false;
    if (head[1] == '1')
        return true;
    NetpbmText text(head);
    const auto w = text.number(), h = text.number();
    const auto maxval = head[1] == '4' ? std::optional<std::int64_t>(1) : text.number();
    if (!w || !h || !maxval)
        return true;
    return (head[1] == '5' || head[1] == '6') && *maxval > 255;
}

// ---- SGI with two bytes a channel -----------------------------------------

LoadResult decodeSgi16(const QByteArray &d, const DecodeLimits &limits)
{
    const Reader r{d};
    const bool runLength = r.u8(2) == 1;
    const int dimension = r.be16(4);
    const int width = r.be16(6);
    const int height = dimension == 1 ? 1 : r.be16(8);
    const int depth = dimension < 3 ? 1 : r.be16(10);
    if (depth < 1 || width < 1 || height < 1)
        return damaged();
    if (!fits(width, height, limits))
        return tooLarge();
    const int channels = std::min(depth, 4);
    // Rows from the bottom, one plane a channel.
    std::vector<quint16> row(size_t(width), 0);
    std::vector<std::vector<quint16>> planes(size_t(channels), std::vector<quint16>(size_t(width) * height));
    for (int z = 0; z < channels; ++z)
        for (int y = 0; y < height; ++y) {
            const qint64 index = qint64(z) * height + y;
            if (!runLength) {
                const qint64 at = 512 + (index * width) * 2;
                if (!r.has(at, qint64(width) * 2))
                    return damaged();
                for (int x = 0; x < width; ++x)
                    row[size_t(x)] = quint16(r.be16(at + 2 * x));
            } else {
                const qint64 tables = qint64(height) * depth;
                qint64 at = r.be32(512 + index * 4);
                const qint64 end = at + r.be32(512 + tables * 4 + index * 4);
                if (!r.has(512, tables * 8) || !r.has(at, end - at))
                    return damaged();
                int x = 0;
                while (at + 2 <= end) {
                    const int packet = r.be16(at);
                    at += 2;
                    const int count = packet & 0x7F;
                    if (count == 0)
                        break;
                    if (x + count > width)
                        return damaged();
                    if (packet & 0x80) {
                        if (at + 2 * count > end)
                            return damaged();
                        for (int i = 0; i < count; ++i, at += 2)
                            row[size_t(x++)] = quint16(r.be16(at));
                    } else {
                        if (at + 2 > end)
                            return damaged();
                        const auto value = quint16(r.be16(at));
                        at += 2;
                        for (int i = 0; i < count; ++i)
                            row[size_t(x++)] = value;
                    }
                }
            }
            std::copy(row.begin(), row.end(), planes[size_t(z)].begin() + qint64(height - 1 - y) * width);
        }
    const bool alpha = channels == 2 || channels == 4;
    QImage out = blank(width, height, alpha);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * width + x;
            const auto v = [&](int z) { return to8(planes[size_t(z)][i], 65535); };
            line[x] = channels <= 2 ? qRgba(v(0), v(0), v(0), channels == 2 ? v(1) : 255)
                                    : qRgba(v(0), v(1), v(2), channels == 4 ? v(3) : 255);
        }
    }
    return loadedPicture(out, alpha ? 32 : channels == 1 ? 8 : 24);
}

bool isSgi16(const QByteArray &head)
{
    const Reader r{head};
    return head.size() >= 12 && r.be16(0) == 474 && r.u8(3) == 2 && r.u8(2) <= 1;
}

// ---- Targa ---------------------------------------------------------------

QRgb from555(int v, bool alphaBit)
{
    const auto expand = [](int c) { return (c << 3) | (c >> 2); };
    return qRgba(expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31),
                 alphaBit && !(v & 0x8000) ? 0 : 255);
}

LoadResult decodeTarga(const QByteArray &d, const DecodeLimits &limits)
{
    const Reader r{d};
    const int type = r.u8(2);
    const int mapFirst = r.le16(3), mapLength = r.le16(5), mapBits = r.u8(7);
    const int width = r.le16(12), height = r.le16(14), bits = r.u8(16), descriptor = r.u8(17);
    const int alphaBits = descriptor & 0x0F;
    const bool mapped = type == 1 || type == 9, grey = type == 3 || type == 11;
    const bool runLength = type >= 9;
    if (width == 0 || height == 0)
        return damaged();
    if (!fits(width, height, limits))
        return tooLarge();
    qint64 at = 18 + r.u8(0);
    std::vector<QRgb> map;
    if (r.u8(1) == 1) {
        const int entryBytes = (mapBits + 7) / 8;
        if (!r.has(at, qint64(mapLength) * entryBytes))
            return damaged();
        for (int i = 0; i < mapLength; ++i, at += entryBytes) {
            if (mapBits == 15 || mapBits == 16)
                map.push_back(from555(r.le16(at), mapBits == 16 && alphaBits > 0));
            else if (mapBits == 24 || mapBits == 32)
                map.push_back(qRgba(r.u8(at + 2), r.u8(at + 1), r.u8(at), mapBits == 32 && alphaBits ? r.u8(at + 3) : 255));
            else
                return loadFailure(QStringLiteral("unsupported variant of this format"));
        }
    }
    const int pixelBytes = (bits + 7) / 8;
    const auto pixelAt = [&](qint64 p) -> QRgb {
        if (mapped) {
            const int index = (pixelBytes == 2 ? r.le16(p) : r.u8(p)) - mapFirst;
            return index >= 0 && size_t(index) < map.size() ? map[size_t(index)] : 0xFF000000u;
        }
        if (grey)
            return qRgba(r.u8(p), r.u8(p), r.u8(p), bits == 16 && alphaBits ? r.u8(p + 1) : 255);
        if (bits == 15 || bits == 16)
            return from555(r.le16(p), bits == 16 && alphaBits > 0);
        return qRgba(r.u8(p + 2), r.u8(p + 1), r.u8(p), bits == 32 && alphaBits ? r.u8(p + 3) : 255);
    };
    // Pixels in stored order; runs may carry on into the next row.
    const qint64 count = qint64(width) * height;
    std::vector<QRgb> pixels;
    pixels.reserve(size_t(count));
    while (qint64(pixels.size()) < count) {
        int repeat = 1;
        bool run = false;
        if (runLength) {
            if (!r.has(at, 1))
                return damaged();
            const int packet = r.u8(at++);
            repeat = (packet & 0x7F) + 1;
            run = packet & 0x80;
        }
        repeat = int(std::min<qint64>(repeat, count - qint64(pixels.size())));
        if (!r.has(at, qint64(run ? 1 : repeat) * pixelBytes))
            return damaged();
        for (int i = 0; i < repeat; ++i) {
            pixels.push_back(pixelAt(at));
            if (!run || i + 1 == repeat)
                at += pixelBytes;
        }
    }
    const bool top = descriptor & 0x20, right = descriptor & 0x10;
    const bool alpha = alphaBits > 0 && (mapped ? (mapBits == 16 || mapBits == 32) : (bits == 16 || bits == 32));
    QImage out = blank(width, height, alpha);
    for (int row = 0; row < height; ++row) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(top ? row : height - 1 - row));
        for (int col = 0; col < width; ++col)
            line[right ? width - 1 - col : col] = pixels[size_t(row) * width + col] | (alpha ? 0 : 0xFF000000u);
    }
    return loadedPicture(out, alpha ? 32 : mapped ? 8 : grey ? 8 : 24);
}

// Grey with alpha, colour maps of 15- or 16-bit entries, and true colour
// with alpha: the Targa layouts the libraries get wrong in one table or both.
bool isTargaVariant(const QByteArray &head)
{
    const Reader r{head};
    if (head.size() < 18)
        return false;
    const int type = r.u8(2), mapBits = r.u8(7), bits = r.u8(16), alphaBits = r.u8(17) & 0x0F;
    if ((type == 3 || type == 11) && bits == 16)
        return true;
    if ((type == 1 || type == 9) && r.u8(1) == 1 && (mapBits == 15 || mapBits == 16) && (bits == 8 || bits == 16))
        return true;
    return (type == 2 || type == 10) && bits == 32 && alphaBits > 0;
}

// ---- BMP: OS/2 2.x headers, run-length encoding, bare DIBs ------------------

struct BmpLayout {
    qint64 base = 0;          // where the information header starts
    quint32 headerSize = 0;
    std::int64_t width = 0, height = 0;
    int bits = 0;
    quint32 compression = 0;
    int colours = 0;          // palette entries
    int entryBytes = 4;
    qint64 palette = 0;       // where the palette starts
    qint64 pixels = 0;        // where the pixel data starts
};

bool isOs2v2Header(quint32 size) { return size >= 16 && size <= 64 && size != 40 && size != 52 && size != 56; }

std::optional<BmpLayout> bmpLayout(const QByteArray &d)
{
    const Reader r{d};
    BmpLayout b;
    const bool fileHeader = d.startsWith("BM");
    b.base = fileHeader ? 14 : 0;
    b.headerSize = r.le32(b.base);
    if (!r.has(b.base, 16) || (b.headerSize != 12 && (b.headerSize < 16 || b.headerSize > 124)))
        return std::nullopt;
    if (b.headerSize == 12) {
        b.width = r.le16(b.base + 4);
        b.height = r.le16(b.base + 6);
        b.bits = r.le16(b.base + 10);
        b.entryBytes = 3;
    } else {
        b.width = qint32(r.le32(b.base + 4));
        b.height = qint32(r.le32(b.base + 8));
        b.bits = r.le16(b.base + 14);
        // Fields a short header leaves out are zero.
        const auto field = [&](quint32 offset) { return b.headerSize >= offset + 4 ? r.le32(b.base + offset) : 0u; };
        b.compression = field(16);
        b.colours = int(std::min<quint32>(field(32), 256));
    }
    if (b.colours == 0 && b.bits <= 8)
        b.colours = 1 << b.bits;
    const bool masks = b.headerSize == 40 && (b.compression == 3 || b.compression == 6);
    b.palette = b.base + b.headerSize + (masks ? (b.compression == 6 ? 16 : 12) : 0);
    b.pixels = fileHeader ? qint64(r.le32(10)) : b.palette + qint64(b.colours) * b.entryBytes;
    return b;
}

// Run-length pixels into one palette index a pixel, bottom row first. A
// run longer than what is left of its row carries on into the next, as
// the encoders that write such runs meant it (and as ImageMagick reads
// them); pixels no packet reaches take the first entry.
std::optional<QByteArray> expandRunLength(const QByteArray &d, const BmpLayout &b)
{
    const Reader r{d};
    const qint64 w = b.width, h = b.height;
    QByteArray out(qsizetype(w * h), '\0');
    qint64 x = 0, y = 0, at = b.pixels;
    const bool four = b.compression == 2;
    // The row counts only ends of lines and moves: a run past the end of
    // its row fills the start of the next, until that row's own data comes.
    const auto put = [&](int index) {
        if (y * w + x < w * h)
            out[qsizetype(y * w + x)] = char(index);
        ++x;
    };
    while (r.has(at, 2) && y < h) {
        const int first = r.u8(at), second = r.u8(at + 1);
        at += 2;
        if (first > 0) {
            for (int i = 0; i < first; ++i)
                put(four ? (i % 2 ? second & 15 : second >> 4) : second);
        } else if (second == 0) { // end of line
            x = 0;
            ++y;
        } else if (second == 1) { // end of bitmap
            break;
        } else if (second == 2) { // move
            x += r.u8(at);
            y += r.u8(at + 1);
            at += 2;
        } else { // literal pixels, padded to a 16-bit boundary
            const int bytes = four ? (second + 1) / 2 : second;
            if (!r.has(at, bytes))
                return std::nullopt;
            for (int i = 0; i < second; ++i)
                put(four ? (i % 2 ? r.u8(at + i / 2) & 15 : r.u8(at + i / 2) >> 4) : r.u8(at + i));
            at += bytes + (bytes & 1);
        }
    }
    return out;
}

QByteArray le32Bytes(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

LoadResult readStandardBmp(const QByteArray &bmp, int depth, const DecodeLimits &limits)
{
    QBuffer buffer;
    buffer.setData(bmp);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAllocationLimit(int(std::min<std::int64_t>(limits.maxPixels * 4 / (1024 * 1024), 1 << 20)));
    QImage image = reader.read();
    if (image.isNull())
        return loadFailure(QStringLiteral("the file is damaged: ") + reader.errorString());
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    return loadedPicture(image, depth);
}

// Rewrites the bitmap as one with a file header and a Windows information
// header, pixels expanded from runs, which Qt's reader takes.
LoadResult decodeBmpVariant(const QByteArray &d, const DecodeLimits &limits)
{
    const auto layout = bmpLayout(d);
    if (!layout)
        return damaged();
    const BmpLayout &b = *layout;
    const std::int64_t height = b.height < 0 ? -b.height : b.height;
    if (b.width <= 0 || height == 0)
        return damaged();
    if (!fits(b.width, height, limits))
        return tooLarge();
    const bool os2 = b.headerSize != 12 && isOs2v2Header(b.headerSize);
    const bool runs = b.compression == 1 || b.compression == 2;
    if (os2 && b.compression > 2)
        return loadFailure(QStringLiteral("unsupported variant of this format (OS/2 compression %1)").arg(b.compression));
    if (runs && (b.height < 0 || b.bits != (b.compression == 1 ? 8 : 4)))
        return damaged();
    const Reader r{d};
    if (!r.has(b.palette, qint64(b.colours) * b.entryBytes) || b.pixels < 0 || b.pixels > d.size())
        return damaged();
    if (!os2 && !runs) {
        // A bare DIB: only the file header is missing.
        QByteArray file = "BM" + le32Bytes(quint32(14 + d.size())) + le32Bytes(0) + le32Bytes(quint32(14 + b.pixels));
        return readStandardBmp(file + d, b.bits, limits);
    }
    QByteArray pixels;
    int bits = b.bits;
    if (runs) {
        const auto expanded = expandRunLength(d, b);
        if (!expanded)
            return damaged();
        // Rows of one byte a pixel, padded to four bytes.
        const qint64 stride = (b.width + 3) & ~qint64(3);
        pixels = QByteArray(qsizetype(stride * height), '\0');
        for (qint64 y = 0; y < height; ++y)
            std::memcpy(pixels.data() + y * stride, expanded->constData() + y * b.width, size_t(b.width));
        bits = 8;
    } else {
        pixels = d.mid(qsizetype(b.pixels));
    }
    QByteArray palette;
    for (int i = 0; i < b.colours; ++i) {
        const qint64 at = b.palette + qint64(i) * b.entryBytes;
        palette.append(char(r.u8(at))).append(char(r.u8(at + 1))).append(char(r.u8(at + 2))).append('\0');
    }
    QByteArray info = le32Bytes(40) + le32Bytes(quint32(b.width)) + le32Bytes(quint32(b.height));
    info += QByteArray("\x01\x00", 2) + QByteArray(1, char(bits)) + QByteArray(1, '\0');
    info += le32Bytes(0) + le32Bytes(quint32(pixels.size())) + le32Bytes(2835) + le32Bytes(2835);
    info += le32Bytes(quint32(b.colours)) + le32Bytes(0);
    const quint32 offset = quint32(14 + info.size() + palette.size());
    QByteArray file = "BM" + le32Bytes(offset + quint32(pixels.size())) + le32Bytes(0) + le32Bytes(offset);
    return readStandardBmp(file + info + palette + pixels, b.bits, limits);
}

bool isBmpVariant(const QByteArray &head, QStringView extension)
{
    const auto b = bmpLayout(head);
    if (!b)
        return false;
    // Without a file header, only a .dib is taken for a bitmap.
    if (!head.startsWith("BM") && extension.compare(u"dib", Qt::CaseInsensitive) != 0)
        return false;
    return !head.startsWith("BM") || (b->headerSize != 12 && isOs2v2Header(b->headerSize))
        || b->compression == 1 || b->compression == 2;
}

// ---- PNG: grey or true colour with a colour key ------------------------------

// Colour type 0 or 2 with a tRNS chunk before the pixel data. FreeImage
// shows the key of 16-bit colour and of 2- and 4-bit grey opaque; DevIL
// reads every depth right.
bool isKeyedPng(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(33);
    const Reader r{head};
    if (head.size() < 33 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR" || (r.u8(25) != 0 && r.u8(25) != 2))
        return false;
    qint64 at = 33;
    for (int chunks = 0; chunks < 1000; ++chunks) {
        if (!file.seek(at))
            return false;
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8)
            return false;
        const QByteArray type = chunk.mid(4, 4);
        if (type == "tRNS")
            return true;
        if (type == "IDAT" || type == "IEND")
            return false;
        at += 12 + qint64(Reader{chunk}.be32(0));
    }
    return false;
}

bool isExtension(QStringView extension, std::initializer_list<const char16_t *> names)
{
    for (const char16_t *name : names)
        if (extension.compare(QStringView(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

std::optional<LoadResult> decodeVariant(const QString &path, QStringView extension,
                                        const DecodeLimits &limits)
{
    if (isExtension(extension, {u"tif", u"tiff"}))
        return decodeTiffVariant(path, limits);
    if (isExtension(extension, {u"png"})) {
        if (!isKeyedPng(path))
            return std::nullopt;
        return decodeWithDevil(path, u"png", limits);
    }
    const bool netpbm = isExtension(extension, {u"pbm", u"pgm", u"ppm"});
    const bool sgi = isExtension(extension, {u"sgi", u"rgb", u"rgba", u"bw"});
    const bool targa = isExtension(extension, {u"tga", u"targa", u"vst", u"vda", u"icb"});
    const bool bmp = isExtension(extension, {u"bmp", u"dib"});
    if (!netpbm && !sgi && !targa && !bmp)
        return std::nullopt;
    QByteArray head;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        head = file.read(4096);
    }
    const auto whole = [&]() { return readWhole(path, limits); };
    const auto decodeWhole = [&](LoadResult (*decode)(const QByteArray &, const DecodeLimits &)) {
        const auto bytes = whole();
        return bytes ? decode(*bytes, limits) : tooLarge();
    };
    if (netpbm && isNetpbmVariant(head))
        return decodeWhole(decodeNetpbm);
    if (sgi && isSgi16(head))
        return decodeWhole(decodeSgi16);
    if (targa && isTargaVariant(head))
        return decodeWhole(decodeTarga);
    if (bmp && isBmpVariant(head, extension))
        return decodeWhole(decodeBmpVariant);
    return std::nullopt;
}

} // namespace pictrove

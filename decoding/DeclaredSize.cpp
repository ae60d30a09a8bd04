#include "decoding/DeclaredSize.h"

#include <QFile>
#include <QHash>

#include <cctype>

namespace pictrove {

namespace {

std::uint32_t be16(const QByteArray &b, qsizetype at)
{
    return (std::uint32_t(std::uint8_t(b[at])) << 8) | std::uint8_t(b[at + 1]);
}

std::uint32_t le16(const QByteArray &b, qsizetype at)
{
    return (std::uint32_t(std::uint8_t(b[at + 1])) << 8) | std::uint8_t(b[at]);
}

std::uint32_t le32(const QByteArray &b, qsizetype at)
{
    return le16(b, at) | (le16(b, at + 2) << 16);
}

std::uint32_t be32(const QByteArray &b, qsizetype at)
{
    return (be16(b, at) << 16) | be16(b, at + 2);
}

std::optional<DeclaredSize> pcxSize(const QByteArray &h, qsizetype at)
{
    if (h.size() < at + 12)
        return {};
    const std::int64_t xmin = le16(h, at + 4), ymin = le16(h, at + 6);
    const std::int64_t xmax = le16(h, at + 8), ymax = le16(h, at + 10);
    // Readers compute max - min + 1 in unsigned arithmetic; a reversed pair wraps.
    const std::int64_t w = xmax >= xmin ? xmax - xmin + 1 : 0x10000 + xmax - xmin + 1;
    const std::int64_t h2 = ymax >= ymin ? ymax - ymin + 1 : 0x10000 + ymax - ymin + 1;
    return DeclaredSize{w, h2};
}

// The "columns rows colours chars-per-pixel" line of an XPM.
std::optional<DeclaredSize> xpmSize(const QByteArray &head)
{
    const qsizetype brace = head.indexOf('{');
    if (brace < 0)
        return {};
    const qsizetype open = head.indexOf('"', brace);
    const qsizetype close = open < 0 ? -1 : head.indexOf('"', open + 1);
    if (close < 0)
        return {};
    const QList<QByteArray> fields = head.mid(open + 1, close - open - 1).simplified().split(' ');
    if (fields.size() < 2)
        return {};
    bool okW = false, okH = false;
    const qint64 w = fields[0].toLongLong(&okW), h = fields[1].toLongLong(&okH);
    if (!okW || !okH)
        return DeclaredSize{0x7FFFFFFF, 0x7FFFFFFF}; // unreadable counts as too large
    return DeclaredSize{w, h};
}

// Width and height from the first frame header of a JPEG, walking the
// marker segments from the start; metadata segments may fill the first
// 64 KiB, so this reads on from the file rather than the peeked head.
std::optional<DeclaredSize> jpegSize(QFile &file)
{
    if (!file.seek(0) || file.read(2) != QByteArray("\xFF\xD8", 2))
        return {};
    for (int segments = 0; segments < 512; ++segments) {
        char byte = 0;
        if (!file.getChar(&byte) || std::uint8_t(byte) != 0xFF)
            return {};
        // Any number of fill bytes may come before a marker's code.
        int code = 0xFF;
        for (int fill = 0; code == 0xFF && fill < 4096; ++fill) {
            if (!file.getChar(&byte))
                return {};
            code = std::uint8_t(byte);
        }
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7))
            continue; // markers without a segment
        const QByteArray lengthBytes = file.read(2);
        if (lengthBytes.size() < 2)
            return {};
        const std::uint32_t length = be16(lengthBytes, 0);
        // Start-of-frame markers, less the huffman table, arithmetic
        // conditioning and reserved codes that share their range.
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
            const QByteArray frame = file.read(5);
            if (frame.size() < 5)
                return {};
            return DeclaredSize{be16(frame, 3), be16(frame, 1)};
        }
        if (length < 2 || code == 0xD9 || code == 0xDA || !file.seek(file.pos() + length - 2))
            return {};
    }
    return {};
}

// The first image file directory's width and length tags.
std::optional<DeclaredSize> tiffSize(QFile &file, const QByteArray &h)
{
    if (h.size() < 8)
        return {};
    const bool little = h.startsWith(QByteArray("II*\0", 4));
    if (!little && !h.startsWith(QByteArray("MM\0*", 4)))
        return {};
    auto u16 = [little](const QByteArray &b, qsizetype at) { return little ? le16(b, at) : be16(b, at); };
    auto u32 = [little](const QByteArray &b, qsizetype at) { return little ? le32(b, at) : be32(b, at); };
    if (!file.seek(u32(h, 4)))
        return {};
    const QByteArray countBytes = file.read(2);
    if (countBytes.size() < 2)
        return {};
    const QByteArray entries = file.read(qint64(u16(countBytes, 0)) * 12);
    std::int64_t width = 0, height = 0;
    for (qsizetype at = 0; at + 12 <= entries.size(); at += 12) {
        const std::uint32_t tag = u16(entries, at), type = u16(entries, at + 2);
        // Short values sit in the first half of the value field.
        const std::int64_t value = type == 3 ? u16(entries, at + 8) : type == 4 ? u32(entries, at + 8) : -1;
        if (tag == 256)
            width = value;
        else if (tag == 257)
            height = value;
    }
    if (width < 0 || height < 0 || (width == 0 && height == 0))
        return {};
    return DeclaredSize{width, height};
}

// "P1" to "P6", then width and height as decimal text with comments between.
std::optional<DeclaredSize> netpbmSize(const QByteArray &h)
{
    if (h.size() < 2 || h[0] != 'P' || h[1] < '1' || h[1] > '6')
        return {};
    std::int64_t values[2] = {0, 0};
    qsizetype at = 2;
    for (std::int64_t &value : values) {
        for (;;) {
            while (at < h.size() && std::isspace(std::uint8_t(h[at])))
                ++at;
            if (at < h.size() && h[at] == '#') {
                while (at < h.size() && h[at] != '\n' && h[at] != '\r')
                    ++at;
                continue;
            }
            break;
        }
        const qsizetype start = at;
        while (at < h.size() && std::isdigit(std::uint8_t(h[at])) && value < (std::int64_t(1) << 40))
            value = value * 10 + (h[at++] - '0');
        if (at == start)
            return {};
    }
    return DeclaredSize{values[0], values[1]};
}

std::optional<DeclaredSize> bmpSize(const QByteArray &h)
{
    // Files carry the 14-byte file header; a bare bitmap header also occurs
    // in .dib files.
    const qsizetype at = h.startsWith("BM") ? 14 : 0;
    if (h.size() < at + 12)
        return {};
    const std::uint32_t headerSize = le32(h, at);
    if (headerSize == 12)
        return DeclaredSize{le16(h, at + 4), le16(h, at + 6)};
    if (headerSize < 16 || headerSize > 256)
        return {};
    // A negative height marks a top-down bitmap.
    const auto height = std::int32_t(le32(h, at + 8));
    return DeclaredSize{std::int32_t(le32(h, at + 4)) < 0 ? 0 : le32(h, at + 4),
                        height < 0 ? -std::int64_t(height) : height};
}

std::uint32_t le24(const QByteArray &b, qsizetype at)
{
    return le16(b, at) | (std::uint32_t(std::uint8_t(b[at + 2])) << 16);
}

// The first chunk of a RIFF WebP file: a lossy frame header, a lossless
// one, or the extended header with the canvas size.
std::optional<DeclaredSize> webpSize(const QByteArray &h)
{
    if (h.size() < 30 || !h.startsWith("RIFF") || h.mid(8, 4) != "WEBP")
        return {};
    const QByteArray chunk = h.mid(12, 4);
    if (chunk == "VP8 ") {
        // Frame tag (3 bytes), start code, then 14-bit width and height.
        if (h.mid(23, 3) != QByteArray("\x9d\x01\x2a", 3))
            return {};
        return DeclaredSize{le16(h, 26) & 0x3FFF, le16(h, 28) & 0x3FFF};
    }
    if (chunk == "VP8L") {
        if (std::uint8_t(h[20]) != 0x2F)
            return {};
        const std::uint32_t bits = le32(h, 21);
        return DeclaredSize{std::int64_t(bits & 0x3FFF) + 1, std::int64_t((bits >> 14) & 0x3FFF) + 1};
    }
    if (chunk == "VP8X")
        return DeclaredSize{std::int64_t(le24(h, 24)) + 1, std::int64_t(le24(h, 27)) + 1};
    return {};
}

// HEIF and AVIF: the primary item's image spatial extent property, found
// through the item properties association; without that association, the
// largest of the file's extents (tiles, thumbnails and alpha images have
// their own).
std::optional<DeclaredSize> heifSize(QFile &file)
{
    if (!file.seek(0))
        return {};
    // The meta box sits near the start; the pictures' data follows it.
    const QByteArray head = file.read(256 * 1024);
    if (head.size() < 16 || head.mid(4, 4) != "ftyp")
        return {};
    QList<std::optional<DeclaredSize>> properties; // in ipco order, 1-based in ipma
    std::uint32_t primary = 0;
    QList<std::uint32_t> primaryProperties;
    // Walks the boxes that contain others, down to the properties.
    const auto walk = [&](auto &&self, qsizetype from, qsizetype to, int level) -> void {
        qsizetype at = from;
        while (level < 8 && at + 8 <= to) {
            std::uint64_t size = be32(head, at);
            const QByteArray type = head.mid(at + 4, 4);
            qsizetype body = at + 8;
            if (size == 1) {
                if (at + 16 > to)
                    return;
                size = (std::uint64_t(be32(head, at + 8)) << 32) | be32(head, at + 12);
                body = at + 16;
            } else if (size == 0) {
                size = std::uint64_t(to - at);
            }
            if (size < std::uint64_t(body - at))
                return;
            const qsizetype end = size > std::uint64_t(to - at) ? to : at + qsizetype(size);
            if (type == "meta") {
                self(self, body + 4, end, level + 1); // a full box: version and flags first
            } else if (type == "iprp" || type == "ipco") {
                self(self, body, end, level + 1);
            } else if (level >= 2 && type == "ispe" && body + 12 <= end) {
                properties.append(DeclaredSize{be32(head, body + 4), be32(head, body + 8)});
            } else if (level >= 2 && type != "ipma") {
                properties.append(std::nullopt);
            }
            if (type == "pitm" && body + 6 <= end)
                primary = head[body] == 0 ? be16(head, body + 4) : be32(head, body + 4);
            if (type == "ipma" && body + 8 <= end) {
                const int version = std::uint8_t(head[body]);
                const bool wide = (std::uint8_t(head[body + 3]) & 1) != 0;
                qsizetype p = body + 8;
                for (std::uint32_t n = be32(head, body + 4); n > 0 && p < end; --n) {
                    if (p + (version < 1 ? 3 : 5) > end)
                        break;
                    const std::uint32_t item = version < 1 ? be16(head, p) : be32(head, p);
                    p += version < 1 ? 2 : 4;
                    const int count = std::uint8_t(head[p++]);
                    for (int k = 0; k < count && p + (wide ? 2 : 1) <= end; ++k) {
                        const std::uint32_t index = wide ? be16(head, p) & 0x7FFF : std::uint8_t(head[p]) & 0x7F;
                        p += wide ? 2 : 1;
                        if (item == primary)
                            primaryProperties.append(index);
                    }
                }
            }
            at = end;
        }
    };
    walk(walk, 0, head.size(), 0);
    for (const std::uint32_t index : primaryProperties)
        if (index >= 1 && index <= std::uint32_t(properties.size()) && properties[index - 1])
            return properties[index - 1];
    std::optional<DeclaredSize> largest;
    for (const auto &extent : properties)
        if (extent && (!largest || extent->pixels() > largest->pixels()))
            largest = extent;
    return largest;
}

// Reads JPEG XL's bit-packed fields, least significant bit first.
class BitReader {
public:
    explicit BitReader(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    std::uint32_t bits(int count)
    {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++m_at) {
            const qsizetype byte = m_at / 8;
            if (byte >= m_bytes.size()) {
                m_ok = false;
                return 0;
            }
            value |= std::uint32_t((std::uint8_t(m_bytes[byte]) >> (m_at % 8)) & 1) << i;
        }
        return value;
    }
    bool ok() const { return m_ok; }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
    bool m_ok = true;
};

// The start of a JPEG XL codestream: bare, or the first part of the
// container's "jxlc" or "jxlp" box.
QByteArray jxlCodestreamStart(QFile &file)
{
    if (!file.seek(0))
        return {};
    const QByteArray head = file.read(64 * 1024);
    if (head.startsWith("\xff\x0a"))
        return head;
    if (!head.startsWith(QByteArray("\0\0\0\x0cJXL \r\n\x87\n", 12)))
        return {};
    for (qsizetype at = 12; at + 8 <= head.size();) {
        std::uint64_t size = be32(head, at);
        const QByteArray type = head.mid(at + 4, 4);
        qsizetype body = at + 8;
        if (size == 1) {
            if (at + 16 > head.size())
                return {};
            size = (std::uint64_t(be32(head, at + 8)) << 32) | be32(head, at + 12);
            body = at + 16;
        }
        if (type == "jxlc")
            return head.mid(body);
        if (type == "jxlp")
            return head.mid(body + 4); // after the part's index
        if (size == 0 || size < std::uint64_t(body - at))
            return {};
        at += qsizetype(std::min<std::uint64_t>(size, std::uint64_t(head.size())));
    }
    return {};
}

std::optional<DeclaredSize> jxlSize(QFile &file)
{
    const QByteArray stream = jxlCodestreamStart(file);
    if (stream.size() < 3 || !stream.startsWith("\xff\x0a"))
        return {};
    BitReader in(stream.mid(2));
    const auto dimension = [&in]() -> std::int64_t {
        static constexpr int widths[] = {9, 13, 18, 30};
        return std::int64_t(in.bits(widths[in.bits(2)])) + 1;
    };
    const bool small = in.bits(1) != 0;
    const std::int64_t height = small ? (std::int64_t(in.bits(5)) + 1) * 8 : dimension();
    const std::uint32_t ratio = in.bits(3);
    std::int64_t width = 0;
    if (ratio == 0) {
        width = small ? (std::int64_t(in.bits(5)) + 1) * 8 : dimension();
    } else {
        static constexpr std::int64_t numerators[] = {1, 12, 4, 3, 16, 5, 2};
        static constexpr std::int64_t denominators[] = {1, 10, 3, 2, 9, 4, 1};
        width = height * numerators[ratio - 1] / denominators[ratio - 1];
    }
    if (!in.ok())
        return {};
    return DeclaredSize{width, height};
}

bool isTargaExtension(const QString &ext)
{
    return ext == u"tga" || ext == u"targa" || ext == u"vst" || ext == u"vda" || ext == u"icb";
}

} // namespace

bool declaresNoAlpha(const QString &path, QStringView extension)
{
    const QString ext = extension.toString().toLower();
    const bool targa = isTargaExtension(ext);
    if (!targa && ext != u"ras")
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray h = file.read(32);
    if (targa) {
        // Colour-mapped, true-colour and grey pictures, raw or run-length
        // encoded; the low four bits of the descriptor count the alpha bits.
        if (h.size() < 18)
            return false;
        const int type = std::uint8_t(h[2]);
        const bool known = (type >= 1 && type <= 3) || (type >= 9 && type <= 11);
        return known && (std::uint8_t(h[17]) & 0x0F) == 0;
    }
    // Sun rasters have no alpha at any depth; only 32-bit ones have the byte.
    return h.size() >= 16 && be32(h, 0) == 0x59A66A95u && be32(h, 12) == 32;
}

namespace {

// Reads the declared size from the file, given its first 4 KiB.
using Peek = std::optional<DeclaredSize> (*)(QFile &file, const QByteArray &h);
using Size = std::optional<DeclaredSize>;

// One peek per extension: the one list of formats whose size is known
// before decoding.
const QHash<QString, Peek> &peeks()
{
    static const QHash<QString, Peek> table = [] {
        QHash<QString, Peek> t;
        const auto add = [&t](std::initializer_list<QStringView> extensions, Peek peek) {
            for (QStringView ext : extensions)
                t.insert(ext.toString(), peek);
        };
        add({u"sgi", u"bw", u"rgb", u"rgba"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 10 ? Size(DeclaredSize{be16(h, 6), be16(h, 8)}) : Size();
        });
        add({u"pix"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 4 ? Size(DeclaredSize{be16(h, 0), be16(h, 2)}) : Size();
        });
        add({u"pic"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 96 ? Size(DeclaredSize{be16(h, 92), be16(h, 94)}) : Size();
        });
        add({u"wal"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 40 ? Size(DeclaredSize{le32(h, 32), le32(h, 36)}) : Size();
        });
        add({u"lif"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 24 ? Size(DeclaredSize{le32(h, 16), le32(h, 20)}) : Size();
        });
        add({u"pcx"}, [](QFile &, const QByteArray &h) { return pcxSize(h, 0); });
        add({u"dcx"}, [](QFile &file, const QByteArray &h) -> Size {
            if (h.size() < 8)
                return {};
            const std::uint32_t first = le32(h, 4);
            if (first + 12 <= std::uint32_t(h.size()))
                return pcxSize(h, first);
            return file.seek(first) ? pcxSize(file.read(12), 0) : Size();
        });
        add({u"psd", u"pdd"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 22 ? Size(DeclaredSize{be32(h, 18), be32(h, 14)}) : Size();
        });
        add({u"tga", u"vst", u"vda", u"icb"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 16 ? Size(DeclaredSize{le16(h, 12), le16(h, 14)}) : Size();
        });
        add({u"cut"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 4 ? Size(DeclaredSize{le16(h, 0), le16(h, 2)}) : Size();
        });
        add({u"ras"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 12 ? Size(DeclaredSize{be32(h, 4), be32(h, 8)}) : Size();
        });
        add({u"xpm"}, [](QFile &, const QByteArray &h) { return xpmSize(h); });
        add({u"lbm", u"iff"}, [](QFile &file, const QByteArray &h) -> Size {
            // FORM, size, ILBM or PBM, then chunks; the bitmap header starts
            // with the size, and may follow annotations.
            const QByteArray head = h + file.read(60 * 1024);
            const qsizetype at = head.indexOf("BMHD");
            if (at < 0 || head.size() < at + 12)
                return {};
            return DeclaredSize{be16(head, at + 8), be16(head, at + 10)};
        });
        add({u"png"}, [](QFile &, const QByteArray &h) -> Size {
            if (h.size() < 24 || h.mid(12, 4) != "IHDR")
                return {};
            return DeclaredSize{be32(h, 16), be32(h, 20)};
        });
        add({u"pxr"}, [](QFile &, const QByteArray &h) -> Size {
            return h.size() >= 420 ? Size(DeclaredSize{le16(h, 418), le16(h, 416)}) : Size();
        });
        add({u"psp"}, [](QFile &, const QByteArray &h) -> Size {
            // Signature, version, then the general attributes block: its
            // header (4 more bytes in version 3), the chunk size, width and height.
            const qsizetype at = h.size() >= 34 && le16(h, 32) == 3 ? 54 : 50;
            return h.size() >= at + 8 ? Size(DeclaredSize{le32(h, at), le32(h, at + 4)}) : Size();
        });
        add({u"mng", u"jng"}, [](QFile &, const QByteArray &h) -> Size {
            if (h.size() < 24 || (h.mid(12, 4) != "MHDR" && h.mid(12, 4) != "JHDR"))
                return {};
            return DeclaredSize{be32(h, 16), be32(h, 20)};
        });
        add({u"bmp", u"dib"}, [](QFile &, const QByteArray &h) { return bmpSize(h); });
        add({u"gif"}, [](QFile &, const QByteArray &h) -> Size {
            if (h.size() < 10 || !h.startsWith("GIF8"))
                return {};
            return DeclaredSize{le16(h, 6), le16(h, 8)};
        });
        add({u"jpg", u"jpeg"}, [](QFile &file, const QByteArray &) { return jpegSize(file); });
        add({u"tif", u"tiff"}, [](QFile &file, const QByteArray &h) { return tiffSize(file, h); });
        add({u"ppm", u"pgm", u"pbm"}, [](QFile &, const QByteArray &h) { return netpbmSize(h); });
        // The one size a Koala picture has; and a PhotoCD's base image, the one decoded.
        add({u"koa"}, [](QFile &, const QByteArray &) { return Size(DeclaredSize{320, 200}); });
        add({u"pcd"}, [](QFile &, const QByteArray &) { return Size(DeclaredSize{768, 512}); });
        add({u"webp"}, [](QFile &, const QByteArray &h) { return webpSize(h); });
        add({u"heic", u"heif", u"avif"}, [](QFile &file, const QByteArray &) { return heifSize(file); });
        add({u"jxl"}, [](QFile &file, const QByteArray &) { return jxlSize(file); });
        return t;
    }();
    return table;
}

} // namespace

bool declaresSizeInHeader(QStringView extension)
{
    return peeks().contains(extension.toString().toLower());
}

std::optional<DeclaredSize> declaredSizeOf(const QString &path, QStringView extension)
{
    const Peek peek = peeks().value(extension.toString().toLower());
    if (!peek)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(4096);
    return peek(file, head);
}

} // namespace pictrove

#include "decoding/DeclaredSize.h"

#include <QFile>
#include <QSet>

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

bool declaresSizeInHeader(QStringView extension)
{
    static const QSet<QString> formats{
        u"sgi"_qs, u"bw"_qs, u"rgb"_qs, u"rgba"_qs, u"pix"_qs, u"pic"_qs, u"wal"_qs, u"lif"_qs,
        u"pcx"_qs, u"dcx"_qs, u"psd"_qs, u"pdd"_qs, u"tga"_qs, u"vst"_qs, u"vda"_qs, u"icb"_qs,
        u"cut"_qs, u"ras"_qs, u"xpm"_qs, u"lbm"_qs, u"iff"_qs, u"png"_qs, u"pxr"_qs, u"psp"_qs,
        u"mng"_qs, u"jng"_qs, u"bmp"_qs, u"dib"_qs, u"gif"_qs, u"jpg"_qs, u"jpeg"_qs, u"tif"_qs,
        u"tiff"_qs, u"ppm"_qs, u"pgm"_qs, u"pbm"_qs, u"koa"_qs, u"pcd"_qs,
    };
    return formats.contains(extension.toString().toLower());
}

std::optional<DeclaredSize> declaredSizeOf(const QString &path, QStringView extension)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray h = file.read(4096);
    const QString ext = extension.toString().toLower();
    auto need = [&](qsizetype n) { return h.size() >= n; };

    if (ext == u"sgi" || ext == u"bw" || ext == u"rgb" || ext == u"rgba") {
        if (need(10))
            return DeclaredSize{be16(h, 6), be16(h, 8)};
    } else if (ext == u"pix") {
        if (need(4))
            return DeclaredSize{be16(h, 0), be16(h, 2)};
    } else if (ext == u"pic") {
        if (need(96))
            return DeclaredSize{be16(h, 92), be16(h, 94)};
    } else if (ext == u"wal") {
        if (need(40))
            return DeclaredSize{le32(h, 32), le32(h, 36)};
    } else if (ext == u"lif") {
        if (need(24))
            return DeclaredSize{le32(h, 16), le32(h, 20)};
    } else if (ext == u"pcx") {
        return pcxSize(h, 0);
    } else if (ext == u"dcx") {
        if (need(8)) {
            const std::uint32_t first = le32(h, 4);
            if (first + 12 <= std::uint32_t(h.size()))
                return pcxSize(h, first);
            if (file.seek(first))
                return pcxSize(file.read(12), 0);
        }
    } else if (ext == u"psd" || ext == u"pdd") {
        if (need(22))
            return DeclaredSize{be32(h, 18), be32(h, 14)};
    } else if (ext == u"tga" || ext == u"vst" || ext == u"vda" || ext == u"icb") {
        if (need(16))
            return DeclaredSize{le16(h, 12), le16(h, 14)};
    } else if (ext == u"cut") {
        if (need(4))
            return DeclaredSize{le16(h, 0), le16(h, 2)};
    } else if (ext == u"ras") {
        if (need(12))
            return DeclaredSize{be32(h, 4), be32(h, 8)};
    } else if (ext == u"xpm") {
        return xpmSize(h);
    } else if (ext == u"lbm" || ext == u"iff") {
        // FORM, size, ILBM or PBM, then chunks; the bitmap header starts with
        // the size, and may follow annotations.
        const QByteArray head = h + file.read(60 * 1024);
        const qsizetype at = head.indexOf("BMHD");
        if (at >= 0 && head.size() >= at + 12)
            return DeclaredSize{be16(head, at + 8), be16(head, at + 10)};
    } else if (ext == u"png") {
        if (need(24) && h.mid(12, 4) == "IHDR")
            return DeclaredSize{be32(h, 16), be32(h, 20)};
    } else if (ext == u"pxr") {
        if (need(420))
            return DeclaredSize{le16(h, 418), le16(h, 416)};
    } else if (ext == u"psp") {
        // Signature, version, then the general attributes block: its header
        // (4 more bytes in version 3), the chunk size, width and height.
        const qsizetype at = need(34) && le16(h, 32) == 3 ? 54 : 50;
        if (need(at + 8))
            return DeclaredSize{le32(h, at), le32(h, at + 4)};
    } else if (ext == u"mng" || ext == u"jng") {
        if (need(24) && (h.mid(12, 4) == "MHDR" || h.mid(12, 4) == "JHDR"))
            return DeclaredSize{be32(h, 16), be32(h, 20)};
    } else if (ext == u"bmp" || ext == u"dib") {
        return bmpSize(h);
    } else if (ext == u"gif") {
        if (need(10) && h.startsWith("GIF8"))
            return DeclaredSize{le16(h, 6), le16(h, 8)};
    } else if (ext == u"jpg" || ext == u"jpeg") {
        return jpegSize(file);
    } else if (ext == u"tif" || ext == u"tiff") {
        return tiffSize(file, h);
    } else if (ext == u"ppm" || ext == u"pgm" || ext == u"pbm") {
        return netpbmSize(h);
    } else if (ext == u"koa") {
        return DeclaredSize{320, 200}; // the one size a Koala picture has
    } else if (ext == u"pcd") {
        return DeclaredSize{768, 512}; // the base image, the one decoded
    }
    return {};
}

} // namespace pictrove

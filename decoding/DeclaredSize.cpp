#include "decoding/DeclaredSize.h"

#include <QFile>

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
        // FORM, size, ILBM or PBM, then chunks; the bitmap header starts with the size.
        const qsizetype at = h.indexOf("BMHD");
        if (at >= 0 && need(at + 12))
            return DeclaredSize{be16(h, at + 8), be16(h, at + 10)};
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
    } else if (ext == u"mng") {
        if (need(24) && h.mid(12, 4) == "MHDR")
            return DeclaredSize{be32(h, 16), be32(h, 20)};
    }
    return {};
}

} // namespace pictrove

#include "metadata/FileMetadata.h"

#include "metadata/ExifDirectories.h"
#include "metadata/XmpPacket.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace pictrove::filemetadata {

namespace {

std::uint32_t bigEndian32(const QByteArray &bytes, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | std::uint8_t(bytes[at + i]);
    return v;
}

void appendBigEndian32(QByteArray &out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xFF));
}

const QByteArray XmpNamespace = QByteArrayLiteral("http://ns.adobe.com/xap/1.0/\0");
const QByteArray ExifIdentifier = QByteArrayLiteral("Exif\0\0");

QByteArray jpegSegment(std::uint8_t marker, const QByteArray &payload)
{
    QByteArray segment;
    const int length = int(payload.size()) + 2;
    segment.append(char(0xFF)).append(char(marker));
    segment.append(char(length >> 8)).append(char(length & 0xFF));
    segment.append(payload);
    return segment;
}

std::uint32_t crc32(const QByteArray &bytes)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char byte : bytes)
        c = table[(c ^ std::uint8_t(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray body(type, 4);
    body.append(data);
    QByteArray chunk;
    appendBigEndian32(chunk, std::uint32_t(data.size()));
    chunk.append(body);
    appendBigEndian32(chunk, crc32(body));
    return chunk;
}

// The primary-directory tags a TIFF of ours takes from the block: words
// about the photo, nothing about how the picture is stored, which is the
// TIFF writer's.
bool describesPhoto(std::uint16_t t)
{
    using namespace exif::tag;
    return t == ImageDescription || t == Make || t == Model || t == Software || t == DateTime
        || t == Artist || t == Copyright || t == Rating || t == RatingPercent
        || (t >= XpTitle && t <= XpSubject);
}

std::vector<exif::Entry> inOrder(std::vector<exif::Entry> entries, exif::ByteOrder from,
                                 exif::ByteOrder to)
{
    std::erase_if(entries, [&](exif::Entry &e) { return !exif::convertOrder(e, from, to); });
    return entries;
}

} // namespace

PictureMetadata forWriting(const PictureMetadata &source, QSize pictureSize)
{
    return {exif::rebuildForWriting(source.exif, pictureSize),
            source.xmp.isEmpty() ? QByteArray() : xmp::rebuildForWriting(source.xmp, pictureSize)};
}

QByteArray addToJpeg(const QByteArray &jpeg, const PictureMetadata &prepared)
{
    if (prepared.isEmpty() || jpeg.size() < 4 || std::uint8_t(jpeg[0]) != 0xFF
        || std::uint8_t(jpeg[1]) != 0xD8)
        return jpeg;
    // A JFIF segment must stay right after SOI; the rest follow it.
    qsizetype at = 2;
    if (std::uint8_t(jpeg[2]) == 0xFF && std::uint8_t(jpeg[3]) == 0xE0 && jpeg.size() >= 6) {
        const int length = (std::uint8_t(jpeg[4]) << 8) | std::uint8_t(jpeg[5]);
        if (length >= 2 && 4 + length <= jpeg.size())
            at = 4 + length;
    }
    QByteArray segments;
    if (!prepared.exif.isEmpty() && prepared.exif.size() <= MaxJpegExifBytes)
        segments += jpegSegment(0xE1, ExifIdentifier + prepared.exif);
    const QByteArray packet = prepared.xmp.size() <= MaxJpegXmpBytes
                                  ? prepared.xmp
                                  : xmp::withoutPadding(prepared.xmp);
    if (!packet.isEmpty() && packet.size() <= MaxJpegXmpBytes)
        segments += jpegSegment(0xE1, XmpNamespace + packet);
    if (segments.isEmpty())
        return jpeg;
    QByteArray out = jpeg;
    out.insert(at, segments);
    return out;
}

QByteArray addToPng(const QByteArray &png, const PictureMetadata &prepared)
{
    static const QByteArray signature = QByteArrayLiteral("\x89PNG\r\n\x1a\n");
    if (prepared.isEmpty() || !png.startsWith(signature))
        return png;
    qsizetype at = signature.size();
    qsizetype idat = -1;
    while (at <= png.size() - 12) {
        const qint64 length = bigEndian32(png, at);
        if (png.mid(at + 4, 4) == "IDAT") {
            idat = at;
            break;
        }
        if (length > png.size() - at - 12)
            break;
        at += 12 + length;
    }
    if (idat < 0)
        return png;
    QByteArray chunks;
    if (!prepared.exif.isEmpty())
        chunks += pngChunk("eXIf", prepared.exif);
    if (!prepared.xmp.isEmpty())
        chunks += pngChunk("iTXt", QByteArrayLiteral("XML:com.adobe.xmp\0\0\0\0\0") + prepared.xmp);
    QByteArray out = png;
    out.insert(idat, chunks);
    return out;
}

QByteArray addToTiff(const QByteArray &tiff, const PictureMetadata &prepared)
{
    using namespace exif;
    if (prepared.isEmpty() || tiff.size() < 8)
        return tiff;
    // The file's own header and picture directory; one that does not check
    // out (never one of ours) leaves the file as it is.
    ByteOrder order;
    if (tiff.startsWith("II"))
        order = ByteOrder::Little;
    else if (tiff.startsWith("MM"))
        order = ByteOrder::Big;
    else
        return tiff;
    const auto number = [&](qsizetype at, int width) {
        std::uint32_t v = 0;
        for (int i = 0; i < width; ++i) {
            const std::uint32_t byte = std::uint8_t(tiff[at + i]);
            v |= order == ByteOrder::Little ? byte << (8 * i) : byte << (8 * (width - 1 - i));
        }
        return v;
    };
    if (number(2, 2) != 42)
        return tiff;
    const std::uint32_t first = number(4, 4);
    if (first < 8 || qint64(first) > tiff.size() - 2)
        return tiff;
    const std::uint32_t count = number(first, 2);
    const qint64 nextAt = qint64(first) + 2 + qint64(count) * 12;
    if (nextAt > tiff.size() - 4)
        return tiff;
    std::vector<Entry> primary;
    for (std::uint32_t i = 0; i < count; ++i) {
        const qsizetype at = first + 2 + qsizetype(i) * 12;
        // Carried as its four raw bytes: a value elsewhere in the file stays
        // where it is and its offset stays right.
        primary.push_back({std::uint16_t(number(at, 2)), std::uint16_t(number(at + 2, 2)),
                           number(at + 4, 4), tiff.mid(at + 8, 4)});
    }
    std::stable_sort(primary.begin(), primary.end(),
                     [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
    const std::uint32_t next = number(nextAt, 4);

    Directories block;
    if (!prepared.exif.isEmpty()) {
        if (std::optional<Directories> read = exif::read(prepared.exif))
            block = *read;
    }
    const auto has = [&](std::uint16_t t) { return find(primary, t) != nullptr; };
    std::vector<Entry> added;
    for (const Entry &e : inOrder(block.primary, block.order, order))
        if (describesPhoto(e.tag) && !has(e.tag))
            added.push_back(e);
    if (!prepared.xmp.isEmpty() && !has(tag::XmlPacket))
        added.push_back({tag::XmlPacket, Byte, std::uint32_t(prepared.xmp.size()), prepared.xmp});
    std::vector<Entry> exifDir = inOrder(block.exif, block.order, order);
    // Exif's tags about compressed data (the pixel dimensions, the order and
    // bits of the components) are not a TIFF's: its own tags say those.
    std::erase_if(exifDir, [](const Entry &e) {
        return e.tag == tag::PixelXDimension || e.tag == tag::PixelYDimension
            || e.tag == tag::ComponentsConfiguration || e.tag == tag::CompressedBitsPerPixel;
    });
    const std::vector<Entry> interop = inOrder(block.interop, block.order, order);
    const std::vector<Entry> gps = inOrder(block.gps, block.order, order);
    const bool hasInterop = !interop.empty();
    const bool hasExif = (!exifDir.empty() || hasInterop) && !has(tag::ExifPointer);
    const bool hasGps = !gps.empty() && !has(tag::GpsPointer);
    if (added.empty() && !hasExif && !hasGps)
        return tiff;
    if (hasInterop)
        put(exifDir, longEntry(tag::InteropPointer, 0, order));

    // The new pieces after the file, each on an even offset: Exif,
    // Interoperability, GPS, then the picture's directory with the rest.
    QByteArray out = tiff;
    if (out.size() & 1)
        out.append('\0');
    const qint64 exifAt = out.size();
    const qint64 interopAt = exifAt + (hasExif ? directoryBytes(exifDir) : 0);
    const qint64 gpsAt = interopAt + (hasExif && hasInterop ? directoryBytes(interop) : 0);
    const qint64 primaryAt = gpsAt + (hasGps ? directoryBytes(gps) : 0);
    if (hasExif)
        added.push_back(longEntry(tag::ExifPointer, std::uint32_t(exifAt), order));
    if (hasGps)
        added.push_back(longEntry(tag::GpsPointer, std::uint32_t(gpsAt), order));
    for (Entry &e : added)
        put(primary, std::move(e));
    // Classic TIFF counts in 32 bits.
    if (primaryAt + directoryBytes(primary) > qint64(0xFFFFFFFFu))
        return tiff;
    if (hasInterop)
        put(exifDir, longEntry(tag::InteropPointer, std::uint32_t(interopAt), order));
    if (hasExif)
        appendDirectory(out, exifDir, order);
    if (hasExif && hasInterop)
        appendDirectory(out, interop, order);
    if (hasGps)
        appendDirectory(out, gps, order);
    appendDirectory(out, primary, order, next);
    const std::uint32_t at = std::uint32_t(primaryAt);
    for (int i = 0; i < 4; ++i) {
        const int shift = order == ByteOrder::Little ? 8 * i : 8 * (3 - i);
        out[4 + i] = char((at >> shift) & 0xFF);
    }
    return out;
}

} // namespace pictrove::filemetadata

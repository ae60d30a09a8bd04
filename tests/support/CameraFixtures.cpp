#include "CameraFixtures.h"

#include <QBuffer>
#include <QList>

#include <cstdint>

namespace pictrove::test {

namespace {

struct Field {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    QByteArray data; // in the block's byte order
};

class Layout {
public:
    explicit Layout(bool bigEndian) : m_big(bigEndian) {}

    QByteArray u16(std::uint32_t v) const { return number(v, 2); }
    QByteArray u32(std::uint32_t v) const { return number(v, 4); }
    Field ascii(std::uint16_t tag, const QByteArray &text) const
    {
        return {tag, 2, std::uint32_t(text.size() + 1), text + '\0'};
    }
    Field shortField(std::uint16_t tag, std::uint16_t v) const { return {tag, 3, 1, u16(v)}; }
    Field longField(std::uint16_t tag, std::uint32_t v) const { return {tag, 4, 1, u32(v)}; }
    Field rationals(std::uint16_t tag, const QList<std::pair<std::uint32_t, std::uint32_t>> &values) const
    {
        QByteArray data;
        for (const auto &[n, d] : values)
            data += u32(n) + u32(d);
        return {tag, 5, std::uint32_t(values.size()), data};
    }

    static std::uint32_t size(const QList<Field> &fields)
    {
        std::uint32_t bytes = 2 + 12 * std::uint32_t(fields.size()) + 4;
        for (const Field &f : fields)
            if (f.data.size() > 4)
                bytes += std::uint32_t(f.data.size() + (f.data.size() & 1));
        return bytes;
    }

    // The directory at offset at, its long values right after it.
    QByteArray directory(const QList<Field> &fields, std::uint32_t at, std::uint32_t next) const
    {
        QByteArray head = u16(std::uint16_t(fields.size()));
        QByteArray values;
        const std::uint32_t valuesAt = at + 2 + 12 * std::uint32_t(fields.size()) + 4;
        for (const Field &f : fields) {
            head += u16(f.tag) + u16(f.type) + u32(f.count);
            if (f.data.size() <= 4) {
                head += f.data + QByteArray(4 - f.data.size(), '\0');
            } else {
                head += u32(valuesAt + std::uint32_t(values.size()));
                values += f.data;
                if (f.data.size() & 1)
                    values += '\0';
            }
        }
        return head + u32(next) + values;
    }

private:
    QByteArray number(std::uint32_t v, int width) const
    {
        QByteArray out;
        for (int i = 0; i < width; ++i) {
            const int shift = m_big ? 8 * (width - 1 - i) : 8 * i;
            out += char((v >> shift) & 0xFF);
        }
        return out;
    }
    bool m_big;
};

QByteArray thumbnailJpeg()
{
    const QByteArray comment = thumbnailMark();
    QByteArray jpeg("\xFF\xD8\xFF\xFE", 4);
    jpeg += char(0) + QByteArray(1, char(comment.size() + 2)) + comment;
    jpeg += QByteArray("\xFF\xD9", 2);
    return jpeg;
}

} // namespace

QByteArray thumbnailMark() { return QByteArrayLiteral("Tevalen thumbnail"); }

QByteArray exifBlock(const CameraDetails &d)
{
    const Layout l(d.bigEndian);
    QList<Field> primary{l.ascii(0x010F, d.make), l.ascii(0x0110, d.model)};
    if (d.orientation != 0)
        primary << l.shortField(0x0112, std::uint16_t(d.orientation));
    primary << l.rationals(0x011A, {{72, 1}}) << l.rationals(0x011B, {{72, 1}}) << l.shortField(0x0128, 2)
            << l.ascii(0x0132, "2024:05:18 09:00:00") << l.shortField(0x0213, 1)
            << l.longField(0x8769, 0);
    if (d.gps)
        primary << l.longField(0x8825, 0);

    QList<Field> exif{l.rationals(0x829A, {{1, 125}}), {0x9000, 7, 4, "0231"},
                      l.ascii(0x9003, d.dateTimeOriginal),
                      {0x9101, 7, 4, QByteArray("\1\2\3\0", 4)}}; // ComponentsConfiguration
    if (d.makerNote)
        exif << Field{0x927C, 7, 32, QByteArray("TevalenMakerNote serial 00123456")};
    exif << Field{0xA000, 7, 4, "0100"} // FlashpixVersion
         << l.shortField(0xA001, 1);    // ColorSpace sRGB
    if (!d.pixelSize.isEmpty())
        exif << l.longField(0xA002, std::uint32_t(d.pixelSize.width()))
             << l.longField(0xA003, std::uint32_t(d.pixelSize.height()));
    exif << l.ascii(0xA434, "TV 24-70mm F2.8");

    const QList<Field> gps{{0x0000, 1, 4, QByteArray("\x02\x03\x00\x00", 4)},
                           l.ascii(0x0001, "N"),
                           l.rationals(0x0002, {{51, 1}, {30, 1}, {0, 1}})};
    const QByteArray thumb = thumbnailJpeg();
    QList<Field> ifd1{l.shortField(0x0103, 6), l.longField(0x0201, 0),
                      l.longField(0x0202, std::uint32_t(thumb.size()))};

    const std::uint32_t exifAt = 8 + Layout::size(primary);
    const std::uint32_t gpsAt = exifAt + Layout::size(exif);
    const std::uint32_t ifd1At = gpsAt + (d.gps ? Layout::size(gps) : 0);
    const std::uint32_t thumbAt = ifd1At + Layout::size(ifd1);
    for (Field &f : primary) {
        if (f.tag == 0x8769)
            f.data = l.u32(exifAt);
        if (f.tag == 0x8825)
            f.data = l.u32(gpsAt);
    }
    ifd1[1].data = l.u32(thumbAt);

    QByteArray block(d.bigEndian ? "MM" : "II");
    block += l.u16(42) + l.u32(8);
    block += l.directory(primary, 8, d.thumbnail ? ifd1At : 0);
    block += l.directory(exif, exifAt, 0);
    if (d.gps)
        block += l.directory(gps, gpsAt, 0);
    if (d.thumbnail)
        block += l.directory(ifd1, ifd1At, 0) + thumb;
    return block;
}

QByteArray xmpPacket(int orientation, QSize pixelSize)
{
    QByteArray packet =
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "  <rdf:Description rdf:about=\"\"\n"
        "    xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\"\n"
        "    xmlns:exif=\"http://ns.adobe.com/exif/1.0/\"\n"
        "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n";
    packet += "    tiff:Orientation=\"" + QByteArray::number(orientation) + "\"\n";
    packet += "    exif:PixelXDimension=\"" + QByteArray::number(pixelSize.width()) + "\"\n";
    packet += "    exif:PixelYDimension=\"" + QByteArray::number(pixelSize.height()) + "\">\n";
    packet += "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Harbour at dusk</rdf:li>"
              "</rdf:Alt></dc:title>\n"
              "  </rdf:Description>\n"
              " </rdf:RDF>\n"
              "</x:xmpmeta>\n";
    for (int i = 0; i < 20; ++i)
        packet += QByteArray(100, ' ') + '\n';
    packet += "<?xpacket end=\"w\"?>";
    return packet;
}

QByteArray cameraJpeg(const QImage &picture, const QByteArray &exif, const QByteArray &xmp)
{
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPG", 90);
    // Cameras write no JFIF segment: Exif comes right after SOI.
    qsizetype rest = 2;
    if (encoded.size() > 6 && std::uint8_t(encoded[2]) == 0xFF && std::uint8_t(encoded[3]) == 0xE0)
        rest = 4 + ((std::uint8_t(encoded[4]) << 8) | std::uint8_t(encoded[5]));
    const auto segment = [](const QByteArray &payload) {
        const int length = int(payload.size()) + 2;
        return QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + payload;
    };
    QByteArray jpeg = encoded.left(2);
    if (!exif.isEmpty())
        jpeg += segment(QByteArray("Exif\0\0", 6) + exif);
    if (!xmp.isEmpty())
        jpeg += segment(QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + xmp);
    return jpeg + encoded.mid(rest);
}

QList<QByteArray> jpegApp1Payloads(const QByteArray &jpeg, const QByteArray &prefix)
{
    QList<QByteArray> found;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && std::uint8_t(jpeg[at]) == 0xFF) {
        const std::uint8_t marker = std::uint8_t(jpeg[at + 1]);
        if (marker == 0xDA) // the scan: no more segments
            break;
        const int length = (std::uint8_t(jpeg[at + 2]) << 8) | std::uint8_t(jpeg[at + 3]);
        const QByteArray payload = jpeg.mid(at + 4, length - 2);
        if (marker == 0xE1 && payload.startsWith(prefix))
            found << payload.mid(prefix.size());
        at += 2 + length;
    }
    return found;
}

namespace {
template <typename Visit>
void walkPng(const QByteArray &png, Visit visit)
{
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const auto length = qsizetype((std::uint32_t(std::uint8_t(png[at])) << 24)
                                      | (std::uint8_t(png[at + 1]) << 16)
                                      | (std::uint8_t(png[at + 2]) << 8) | std::uint8_t(png[at + 3]));
        visit(png.mid(at + 4, 4), png.mid(at + 8, length));
        at += 12 + length;
    }
}
} // namespace

QList<QByteArray> pngChunks(const QByteArray &png, const QByteArray &type)
{
    QList<QByteArray> found;
    walkPng(png, [&](const QByteArray &t, const QByteArray &data) {
        if (t == type)
            found << data;
    });
    return found;
}

QList<QByteArray> pngChunkTypes(const QByteArray &png)
{
    QList<QByteArray> types;
    walkPng(png, [&](const QByteArray &t, const QByteArray &) { types << t; });
    return types;
}

} // namespace pictrove::test

#include "PhotoFixtures.h"

#include "LoaderFixtures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QProcess>
#include <QtEndian>

namespace pictrove::test {

namespace {

// One TIFF field: its values already in the structure's byte order.
struct Field {
    int tag;
    int type; // 1 byte, 2 ASCII, 3 short, 4 long, 7 undefined
    int count;
    QByteArray value;
};

class TiffWriter {
public:
    explicit TiffWriter(bool bigEndian) : m_bigEndian(bigEndian) {}

    QByteArray u16(int v) const
    {
        QByteArray b(2, '\0');
        m_bigEndian ? qToBigEndian(quint16(v), b.data()) : qToLittleEndian(quint16(v), b.data());
        return b;
    }
    QByteArray u32(quint32 v) const
    {
        QByteArray b(4, '\0');
        m_bigEndian ? qToBigEndian(v, b.data()) : qToLittleEndian(v, b.data());
        return b;
    }
    Field shorts(int tag, const std::vector<int> &values) const
    {
        QByteArray bytes;
        for (int v : values)
            bytes += u16(v);
        return {tag, 3, int(values.size()), bytes};
    }
    Field longValue(int tag, quint32 v) const { return {tag, 4, 1, u32(v)}; }
    static Field ascii(int tag, const QByteArray &text)
    {
        return {tag, 2, int(text.size() + 1), text + '\0'};
    }
    static Field undefined(int tag, const QByteArray &bytes) { return {tag, 7, int(bytes.size()), bytes}; }

    QByteArray header(quint32 firstIfd) const
    {
        return (m_bigEndian ? QByteArray("MM\0\x2A", 4) : QByteArray("II\x2A\0", 4)) + u32(firstIfd);
    }

    // A directory placed at `at`, its longer values right behind it; the
    // size it takes does not depend on `at`.
    QByteArray directory(std::vector<Field> fields, quint32 at) const
    {
        std::sort(fields.begin(), fields.end(), [](const Field &a, const Field &b) { return a.tag < b.tag; });
        QByteArray table = u16(int(fields.size()));
        QByteArray extra;
        const quint32 extraAt = at + 2 + 12 * quint32(fields.size()) + 4;
        for (const Field &f : fields) {
            table += u16(f.tag) + u16(f.type) + u32(quint32(f.count));
            if (f.value.size() <= 4) {
                QByteArray v = f.value;
                v.resize(4, '\0');
                table += v;
            } else {
                if (extra.size() % 2)
                    extra += '\0';
                table += u32(extraAt + quint32(extra.size()));
                extra += f.value;
            }
        }
        table += u32(0);
        if (extra.size() % 2)
            extra += '\0';
        return table + extra;
    }

private:
    bool m_bigEndian;
};

constexpr int tagExifIfd = 34665;

// The first directory's fields and the EXIF directory of a camera: the
// two directories' bytes for a structure whose first directory is at
// `first`, followed by whatever comes after (returned in `end`).
QByteArray cameraDirectories(const TiffWriter &w, std::vector<Field> first, int orientation,
                             const CameraFields &fields, quint32 at, quint32 &end)
{
    first.push_back(TiffWriter::ascii(271, fields.make));
    first.push_back(TiffWriter::ascii(272, fields.model));
    if (orientation > 0)
        first.push_back(w.shorts(274, {orientation}));
    first.push_back(w.longValue(tagExifIfd, 0));
    const quint32 exifAt = at + quint32(w.directory(first, at).size());
    first.back() = w.longValue(tagExifIfd, exifAt);
    const std::vector<Field> exif{TiffWriter::ascii(36867, fields.dateTaken),
                                  TiffWriter::undefined(36864, "0232")};
    const QByteArray bytes = w.directory(first, at) + w.directory(exif, exifAt);
    end = at + quint32(bytes.size());
    return bytes;
}

QByteArray encoded(const QImage &picture, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    writer.write(picture);
    return bytes;
}

} // namespace

QByteArray exifBlock(int orientation, bool bigEndian, const CameraFields &fields)
{
    const TiffWriter w(bigEndian);
    quint32 end = 0;
    return w.header(8) + cameraDirectories(w, {}, orientation, fields, 8, end);
}

QByteArray xmpPacket()
{
    return QByteArrayLiteral(
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:Rating=\"4\"/>"
        "</rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>");
}

QByteArray jpegSegment(int marker, const QByteArray &payload)
{
    Bytes b;
    b.u8(0xFF).u8(marker).be16(int(payload.size()) + 2).text(payload);
    return b.data;
}

QByteArray exifSegment(const QByteArray &exif)
{
    return jpegSegment(0xE1, QByteArray("Exif\0\0", 6) + exif);
}

QByteArray xmpSegment(const QByteArray &xmp)
{
    return jpegSegment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + xmp);
}

std::vector<QByteArray> iccSegments(const QByteArray &icc, int chunkBytes)
{
    std::vector<QByteArray> segments;
    const int count = int((icc.size() + chunkBytes - 1) / chunkBytes);
    for (int i = 0; i < count; ++i) {
        QByteArray payload("ICC_PROFILE\0", 12);
        payload += char(i + 1);
        payload += char(count);
        payload += icc.mid(qsizetype(i) * chunkBytes, chunkBytes);
        segments.push_back(jpegSegment(0xE2, payload));
    }
    return segments;
}

QByteArray withSegments(const QByteArray &jpeg, const std::vector<QByteArray> &segments)
{
    // After SOI, and after the JFIF header when there is one.
    qsizetype at = 2;
    if (jpeg.size() > 6 && quint8(jpeg[2]) == 0xFF && quint8(jpeg[3]) == 0xE0)
        at = 4 + qFromBigEndian<quint16>(jpeg.constData() + 4);
    QByteArray out = jpeg.left(at);
    for (const QByteArray &s : segments)
        out += s;
    return out + jpeg.mid(at);
}

QByteArray jpegWith(const QImage &picture, const std::vector<QByteArray> &segments, int quality)
{
    return withSegments(encoded(picture, "jpg", quality), segments);
}

QByteArray pngWith(const QImage &picture, const std::vector<PngChunk> &chunks)
{
    const QByteArray png = encoded(picture, "png", -1);
    const qsizetype afterHeader = 8 + 8 + 13 + 4;
    Bytes extra;
    for (const auto &[type, data] : chunks) {
        const QByteArray body = type + data;
        extra.be32(quint32(data.size())).text(body).be32(crc32(body));
    }
    return png.left(afterHeader) + extra.data + png.mid(afterHeader);
}

PngChunk iccpChunk(const QByteArray &icc)
{
    // qCompress puts the length in front of a zlib stream.
    return {"iCCP", QByteArray("profile\0\0", 9) + qCompress(icc).mid(4)};
}

PngChunk xmpChunk(const QByteArray &xmp, bool compressed)
{
    QByteArray data("XML:com.adobe.xmp\0", 18);
    data += char(compressed ? 1 : 0);
    data += '\0';
    data += QByteArray("\0\0", 2); // no language, no translated keyword
    data += compressed ? qCompress(xmp).mid(4) : xmp;
    return {"iTXt", data};
}

QByteArray tiffWith(const QImage &stored, int orientation, const QByteArray &icc,
                    const QByteArray &xmp, const CameraFields &fields)
{
    const TiffWriter w(false);
    QByteArray strip;
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x) {
            const QRgb c = stored.pixel(x, y);
            strip += char(qRed(c));
            strip += char(qGreen(c));
            strip += char(qBlue(c));
        }
    std::vector<Field> first{
        w.longValue(256, quint32(stored.width())), w.longValue(257, quint32(stored.height())),
        w.shorts(258, {8, 8, 8}), w.shorts(259, {1}), w.shorts(262, {2}),
        w.longValue(273, 0), w.shorts(277, {3}), w.longValue(278, quint32(stored.height())),
        w.longValue(279, quint32(strip.size())), w.shorts(284, {1})};
    if (!icc.isEmpty())
        first.push_back(TiffWriter::undefined(34675, icc));
    if (!xmp.isEmpty())
        first.push_back({700, 1, int(xmp.size()), xmp});
    quint32 end = 0;
    cameraDirectories(w, first, orientation, fields, 8, end);
    first[5] = w.longValue(273, end); // the strip goes last
    const QByteArray directories = cameraDirectories(w, first, orientation, fields, 8, end);
    return w.header(8) + directories + strip;
}

QByteArray webpWith(const std::vector<PngChunk> &chunks)
{
    Bytes body;
    body.text("WEBP", 4);
    body.text("VP8X", 4).le32(10).u8(0x2C).fill(3, 0).fill(3, 0).fill(3, 0); // ICC, EXIF, XMP flags
    for (const auto &[type, data] : chunks) {
        body.text(type).le32(quint32(data.size())).text(data);
        if (data.size() % 2)
            body.u8(0);
    }
    Bytes file;
    file.text("RIFF", 4).le32(quint32(body.data.size())).text(body.data);
    return file.data;
}

QString identify(const QString &file, const QString &format, QString *error)
{
    QProcess process;
    process.start(QStringLiteral("identify"), {QStringLiteral("-format"), format, file});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        if (error)
            *error = process.errorString() + QString::fromLocal8Bit(process.readAllStandardError());
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace pictrove::test

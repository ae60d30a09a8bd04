#pragma once

#include <QByteArray>
#include <QPoint>
#include <QRgb>
#include <QSize>
#include <QString>

#include <chrono>
#include <vector>

namespace pictrove {
class DecoderSandbox;
}

namespace pictrove::test {

// Appends little- and big-endian fields, for files made byte by byte.
struct Bytes {
    QByteArray data;
    Bytes &u8(int v) { data.append(char(v)); return *this; }
    Bytes &le16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Bytes &le32(quint32 v) { return le16(int(v & 0xFFFF)).le16(int(v >> 16)); }
    Bytes &be16(int v) { return u8((v >> 8) & 0xFF).u8(v & 0xFF); }
    Bytes &be32(quint32 v) { return be16(int(v >> 16)).be16(int(v & 0xFFFF)); }
    // A fixed-size field: s cut or padded with zeros to size bytes.
    Bytes &text(const char *s, int size)
    {
        QByteArray field(s);
        field.resize(size, '\0');
        data.append(field);
        return *this;
    }
    Bytes &text(const QByteArray &s) { data.append(s); return *this; }
    Bytes &fill(int count, int v) { data.append(QByteArray(count, char(v))); return *this; }
};

// A pixel the decoded picture must show, within the fixture's tolerance.
struct Probe {
    QPoint at;
    QRgb colour;
};

// One small valid file of a recognised extension and what it decodes to.
struct LoaderFixture {
    QString name;      // file name, extension included
    QByteArray bytes;
    QSize size;
    std::vector<Probe> probes;
    int tolerance = 2;
};

// One fixture for every recognised extension (and a few more): the files the
// fixture script made with Debian's tools, and those built here byte by byte
// from the formats' published layouts.
std::vector<LoaderFixture> loaderFixtures();

// Valid files of shapes that crash one of the decoder libraries.
std::vector<LoaderFixture> crashingShapes();

// Byte builders, each for a 32 x 24 picture unless said otherwise.
QByteArray koalaFile();          // 320 x 200, C64 colours
QByteArray cutFile();            // grey levels through the default palette
QByteArray pcdFile();            // 768 x 512 base image
QByteArray walFile();            // Quake II palette indices with mip levels
QByteArray lifFile();
QByteArray aliasPixFile();
QByteArray softimagePicFile(bool compressed, bool alpha);
QByteArray pixarFile();
QByteArray paintShopProFile();
QByteArray halfLifeModelFile(int textures); // read only by the preview
QByteArray xpmFile(int charsPerPixel);
QByteArray wmfFile();
QByteArray emfFile();
QByteArray declaringSize(const QString &extension, int width, int height); // a header only
// The CRC-32 that PNG chunks end with.
quint32 crc32(const QByteArray &bytes);

// 8 x 4 pictures of one colour whose pixels take four bytes, the fourth
// given apart. Targa files declare alphaBits in their descriptor: raw, run-
// length encoded, or colour-mapped with 32-bit entries. The Sun raster has
// depth 32, the pad byte before blue-green-red (type 1, standard) or
// red-green-blue (type 3).
constexpr QSize fourBytePictureSize{8, 4};
QByteArray targa32File(QRgb colour, int fourthByte, int alphaBits);
QByteArray targa32RunLengthFile(QRgb colour, int fourthByte, int alphaBits);
QByteArray targaColourMapped32File(QRgb colour, int fourthByte, int alphaBits);
QByteArray sunRaster32File(QRgb colour, int padByte, int type);

// The time the sandbox gives a file on disk: its header read here, in the
// test, as the decoder reads it before decoding.
std::chrono::milliseconds timeLimitOf(const DecoderSandbox &sandbox, const QString &path);

} // namespace pictrove::test

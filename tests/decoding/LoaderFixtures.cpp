#include "LoaderFixtures.h"

#include "decoding/DeclaredSize.h"
#include "decoding/DecoderProtocol.h"
#include "decoding/DecoderSandbox.h"

#include <QFileInfo>

#include <QFile>
#include <QtEndian>

#include <cstring>

namespace pictrove::test {

namespace {

constexpr int W = 32, H = 24;
constexpr QRgb red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF, white = 0xFFFFFFFF,
               black = 0xFF000000;


// Four quadrants of a W x H picture: top-left, top-right, bottom-left, bottom-right.
std::vector<Probe> quadrants(QRgb tl, QRgb tr, QRgb bl, QRgb br, int w = W, int h = H)
{
    return {{{w / 4, h / 4}, tl}, {{3 * w / 4, h / 4}, tr},
            {{w / 4, 3 * h / 4}, bl}, {{3 * w / 4, 3 * h / 4}, br}};
}

QRgb grey(int v) { return qRgb(v, v, v); }


QByteArray fixtureFile(const QString &name)
{
    QFile f(QStringLiteral(PICTROVE_LOADER_FIXTURES "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// The CRC-32 that PNG chunks end with.
quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray koalaFile()
{
    // Load address, 8000 bytes of bitmap (2 bits a double-wide pixel, in 8 x 8
    // cells), 1000 screen colours, 1000 colour-RAM colours, background. The
    // top 100 rows use bit pair 0 (background red), the rest pair 1 (the
    // screen colour's high nibble, blue).
    Bytes b;
    b.u8(0x00).u8(0x60);
    QByteArray bitmap(8000, '\0');
    for (int y = 100; y < 200; ++y)
        for (int cell = 0; cell < 40; ++cell)
            bitmap[cell * 8 + (y % 8) + (y / 8) * 320] = char(0x55);
    b.data.append(bitmap);
    b.fill(1000, 0x60).fill(1000, 0x00).u8(2);
    return b.data;
}

QByteArray cutFile()
{
    // Width, height, reserved; per line a byte count, runs (0x80 | n, value) and 0.
    Bytes b;
    b.le16(W).le16(H).le16(0);
    for (int y = 0; y < H; ++y) {
        const bool top = y < H / 2;
        b.le16(5).u8(0x80 | 16).u8(top ? 200 : 100).u8(0x80 | 16).u8(top ? 40 : 250).u8(0);
    }
    return b.data;
}

QByteArray pcdFile()
{
    // The base image (768 x 512) starts at 0x30000: per two rows, two rows of
    // luma and a row of half-width chroma pairs. Neutral chroma, left half
    // luma 100, right half 50.
    QByteArray bytes(0x30000, '\0');
    QByteArray luma(768, char(50));
    std::memset(luma.data(), 100, 384);
    QByteArray chroma(768, char(156));
    std::memset(chroma.data() + 384, 137, 384);
    for (int pair = 0; pair < 256; ++pair)
        bytes.append(luma).append(luma).append(chroma);
    return bytes;
}

QByteArray walFile()
{
    // Name, size, four mip offsets, animation name, flags, contents, value;
    // then each mip level's palette indices (0 black, 15 the brightest grey
    // of the ramp the palette starts with).
    Bytes b;
    b.text("fixture", 32).le32(W).le32(H);
    quint32 offset = 100;
    for (int level = 0; level < 4; ++level) {
        b.le32(offset);
        offset += quint32((W >> level) * (H >> level));
    }
    b.text("", 32).le32(0).le32(0).le32(0);
    for (int level = 0; level < 4; ++level) {
        const int w = W >> level, h = H >> level;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                b.u8((x < w / 2) == (y < h / 2) ? 0 : 15);
    }
    return b.data;
}

QByteArray lifFile()
{
    // "Willy 7", version 260, flags 50, size, two checksums, palette offset,
    // team colours (the reader takes a 52-byte header); indices, then 256
    // RGBA palette entries.
    Bytes b;
    b.text("Willy 7", 8).le32(260).le32(50).le32(W).le32(H).le32(0).le32(0);
    b.le32(52 + W * H).le32(0).le32(0).le32(0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            b.u8((y < H / 2 ? 0 : 2) + (x < W / 2 ? 0 : 1));
    const QRgb colours[4] = {red, green, blue, white};
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < 4 ? colours[i] : black;
        b.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c)).u8(255);
    }
    return b.data;
}

QByteArray aliasPixFile()
{
    // Width, height, x and y offset, 24 bits; runs of (count, blue, green, red).
    Bytes b;
    b.be16(W).be16(H).be16(0).be16(0).be16(24);
    for (int y = 0; y < H; ++y) {
        const QRgb left = y < H / 2 ? red : blue, right = y < H / 2 ? green : white;
        b.u8(16).u8(qBlue(left)).u8(qGreen(left)).u8(qRed(left));
        b.u8(16).u8(qBlue(right)).u8(qGreen(right)).u8(qRed(right));
    }
    return b.data;
}

QByteArray softimagePicFile(bool compressed, bool alpha)
{
    // Magic, version, comment, "PICT", size, ratio, fields; channel packets
    // (chained, bits, type 0 raw / 2 mixed run-length, channel mask), then
    // each row's pixels per packet.
    Bytes b;
    b.be32(0x5380F634).be32(0x406D70A4 /* 3.71f */).text("", 80).text("PICT", 4);
    b.be16(W).be16(H).be32(0x3F800000 /* 1.0f */).be16(3).be16(0);
    const int type = compressed ? 2 : 0;
    if (alpha)
        b.u8(1).u8(8).u8(type).u8(0xE0).u8(0).u8(8).u8(type).u8(0x10);
    else
        b.u8(0).u8(8).u8(type).u8(0xE0);
    for (int y = 0; y < H; ++y) {
        const QRgb left = y < H / 2 ? red : blue, right = y < H / 2 ? green : white;
        for (QRgb c : {left, right}) {
            if (compressed)
                b.u8(127 + 16).u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
            else
                for (int x = 0; x < 16; ++x)
                    b.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
        }
        if (alpha) {
            if (compressed)
                b.u8(127 + 32).u8(255);
            else
                b.fill(32, 255);
        }
    }
    return b.data;
}

QByteArray pixarFile()
{
    // Magic, then height and width at 416, the pixel type at 424 (14: RGB),
    // pixels from 1024 on.
    QByteArray head(1024, '\0');
    qToBigEndian<quint32>(0x80E80000, head.data());
    qToLittleEndian<quint16>(H, head.data() + 416);
    qToLittleEndian<quint16>(W, head.data() + 418);
    qToLittleEndian<quint16>(14, head.data() + 424);
    Bytes b{head};
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const QRgb c = y < H / 2 ? (x < W / 2 ? red : green) : (x < W / 2 ? blue : white);
            b.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
        }
    return b.data;
}

QByteArray paintShopProFile()
{
    // Version 5: signature, general attributes block (24 bits, no
    // compression), a layer start block holding one layer block (info chunk
    // with an empty name, bitmap chunk of three channels) and three channel
    // blocks of raw red, green and blue planes.
    auto block = [](int id, const QByteArray &payload) {
        Bytes b;
        b.text("~BK", 4).le16(id).le32(quint32(payload.size()));
        b.data.append(payload);
        return b.data;
    };
    Bytes attributes;
    attributes.le32(46).le32(W).le32(H);
    const double dpi = 72.0;
    attributes.data.append(reinterpret_cast<const char *>(&dpi), sizeof dpi);
    attributes.u8(1).le16(0).le16(24).le16(1).le32(1u << 24).u8(0).le32(W * H * 3).le32(0);
    attributes.le16(1).le32(1);

    Bytes layer;
    layer.le32(6 + 115).le16(0);
    layer.u8(0).le32(0).le32(0).le32(W).le32(H).le32(0).le32(0).le32(W).le32(H);
    layer.u8(255).u8(0).u8(1).u8(0).u8(0).fill(115 - 38, 0);
    layer.le32(8).le16(1).le16(3);
    QByteArray inner = block(4, layer.data);
    for (int channel = 0; channel < 3; ++channel) {
        Bytes plane;
        plane.le32(16).le32(W * H).le32(W * H).le16(0).le16(channel + 1);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const QRgb c = y < H / 2 ? (x < W / 2 ? red : green) : (x < W / 2 ? blue : white);
                plane.u8(channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c));
            }
        inner.append(block(5, plane.data));
    }
    Bytes file;
    file.text("Paint Shop Pro Image File\n\x1a", 32).le16(5).le16(0);
    file.data.append(block(0, attributes.data)).append(block(3, inner));
    return file.data;
}

QByteArray halfLifeModelFile(int textures)
{
    // A 244-byte model header naming only its textures (count, table offset,
    // data offset); per texture a 80-byte entry (name, flags, size, data
    // offset), then its indices and a 256-entry RGB palette.
    QByteArray header(244, '\0');
    std::memcpy(header.data(), "IDST", 4);
    qToLittleEndian<qint32>(10, header.data() + 4);
    const int table = 244, data = table + 80 * textures;
    qToLittleEndian<qint32>(textures, header.data() + 180);
    qToLittleEndian<qint32>(table, header.data() + 184);
    qToLittleEndian<qint32>(data, header.data() + 188);
    Bytes entries, pixels;
    for (int t = 0; t < textures; ++t) {
        entries.text("skin", 64).le32(0).le32(W).le32(H).le32(quint32(data + pixels.data.size()));
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                pixels.u8((y < H / 2 ? 0 : 2) + (x < W / 2 ? 0 : 1));
        for (QRgb c : {red, green, blue, white})
            pixels.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
        pixels.fill(768 - 12, 0);
    }
    qToLittleEndian<qint32>(qint32(244 + entries.data.size() + pixels.data.size()), header.data() + 72);
    return header + entries.data + pixels.data;
}

QByteArray xpmFile(int charsPerPixel)
{
    const QByteArray keys[4] = {QByteArray(charsPerPixel, 'r'), QByteArray(charsPerPixel, 'g'),
                                QByteArray(charsPerPixel, 'b'), QByteArray(charsPerPixel, 'w')};
    QByteArray x = "/* XPM */\nstatic char *fixture[] = {\n\"32 24 4 " + QByteArray::number(charsPerPixel)
        + "\",\n\"" + keys[0] + " c #FF0000\",\n\"" + keys[1] + " c #00FF00\",\n\"" + keys[2]
        + " c #0000FF\",\n\"" + keys[3] + " c #FFFFFF\",\n";
    for (int y = 0; y < H; ++y) {
        x += '"';
        for (int xx = 0; xx < W; ++xx)
            x += keys[(y < H / 2 ? 0 : 2) + (xx < W / 2 ? 0 : 1)];
        x += y + 1 < H ? "\",\n" : "\"\n";
    }
    return x + "};\n";
}

QByteArray wmfFile()
{
    // Placeable header (96 units an inch, so a unit is a pixel), the standard
    // header, then: window origin and extent, a null pen, and two solid
    // rectangles, red on the left half and blue on the right.
    Bytes rec;
    int records = 0, largest = 0;
    auto record = [&](int function, std::initializer_list<int> words) {
        const int size = 3 + int(words.size());
        rec.le32(quint32(size)).le16(function);
        for (int w : words)
            rec.le16(w);
        largest = std::max(largest, size);
        ++records;
    };
    record(0x020B, {0, 0});              // SetWindowOrg(y, x)
    record(0x020C, {H, W});              // SetWindowExt(y, x)
    record(0x02FA, {5, 0, 0, 0, 0});     // CreatePenIndirect(PS_NULL)
    record(0x012D, {0});                 // SelectObject(pen)
    record(0x02FC, {0, 0x00FF, 0x0000, 0}); // CreateBrushIndirect(solid, red)
    record(0x012D, {1});
    record(0x041B, {H, W / 2, 0, 0});    // Rectangle(bottom, right, top, left)
    record(0x02FC, {0, 0x0000, 0x00FF, 0}); // blue: COLORREF 0x00FF0000
    record(0x012D, {2});
    record(0x041B, {H, W, 0, W / 2});
    record(0x0000, {});                  // EOF

    Bytes b;
    const quint16 placeable[10] = {0xCDD7, 0x9AC6, 0, 0, 0, W, H, 96, 0, 0};
    quint16 checksum = 0;
    for (quint16 w : placeable) {
        b.le16(w);
        checksum ^= w;
    }
    b.le16(checksum);
    const int words = 9 + int(rec.data.size() / 2);
    b.le16(1).le16(9).le16(0x0300).le32(quint32(words)).le16(3).le32(quint32(largest)).le16(0);
    b.data.append(rec.data);
    return b.data;
}

QByteArray emfFile()
{
    // Header (bounds in pixels, frame in 0.01 mm: 32 x 24 pixels at 96 DPI),
    // a null pen, a red and a blue brush, two rectangles, end of file.
    Bytes rec;
    int records = 1;
    auto record = [&](int type, std::initializer_list<quint32> fields) {
        rec.le32(quint32(type)).le32(quint32(8 + 4 * fields.size()));
        for (quint32 f : fields)
            rec.le32(f);
        ++records;
    };
    record(37, {0x80000008});              // SelectObject(NULL_PEN)
    record(39, {1, 0, 0x000000FF, 0});     // CreateBrushIndirect(1, solid, red)
    record(37, {1});
    record(43, {0, 0, W / 2, H});          // Rectangle
    record(39, {2, 0, 0x00FF0000, 0});     // blue
    record(37, {2});
    record(43, {W / 2, 0, W, H});
    record(14, {0, 16, 20});               // EOF
    Bytes b;
    const quint32 total = quint32(88 + rec.data.size());
    b.le32(1).le32(88);
    b.le32(0).le32(0).le32(W - 1).le32(H - 1);            // bounds
    b.le32(0).le32(0).le32(846).le32(635);                // frame
    b.le32(0x464D4520).le32(0x10000).le32(total).le32(quint32(records));
    b.le16(3).le16(0).le32(0).le32(0).le32(0);
    b.le32(3780).le32(3780).le32(1000).le32(1000);        // device pixels and millimetres
    b.data.append(rec.data);
    return b.data;
}

QByteArray declaringSize(const QString &extension, int width, int height)
{
    Bytes b;
    if (extension == u"sgi") {
        b.be16(474).u8(0).u8(1).be16(3).be16(width).be16(height).be16(3).fill(500, 0);
    } else if (extension == u"pcx") {
        b.u8(10).u8(5).u8(1).u8(8).le16(0).le16(0).le16(width - 1).le16(height - 1);
        b.le16(96).le16(96).fill(48, 0).u8(0).u8(3).le16(width).le16(1).fill(58, 0);
    } else if (extension == u"png") {
        b.data = QByteArray("\x89PNG\r\n\x1a\n", 8);
        Bytes chunk;
        chunk.text("IHDR", 4).be32(quint32(width)).be32(quint32(height)).u8(8).u8(2).u8(0).u8(0).u8(0);
        b.be32(13).data.append(chunk.data);
        b.be32(crc32(chunk.data));
        b.be32(0).text("IDAT", 4).be32(crc32("IDAT"));
    } else if (extension == u"tga") {
        b.u8(0).u8(0).u8(2).fill(5, 0).le16(0).le16(0).le16(width).le16(height).u8(24).u8(0);
    } else if (extension == u"wal") {
        b.text("big", 32).le32(quint32(width)).le32(quint32(height)).le32(100).fill(80, 0);
    } else if (extension == u"lbm" || extension == u"iff") {
        b.text("FORM", 4).be32(40).text("ILBM", 4).text("BMHD", 4).be32(20);
        b.be16(width).be16(height).be32(0).u8(24).u8(0).u8(1).u8(0).be16(0).u8(1).u8(1);
        b.be16(width).be16(height).text("BODY", 4).be32(0);
    } else if (extension == u"psd") {
        b.text("8BPS", 4).be16(1).fill(6, 0).be16(3).be32(quint32(height)).be32(quint32(width));
        b.be16(8).be16(3).be32(0).be32(0).be32(0).be16(0);
    }
    return b.data;
}

namespace {

// The 18-byte Targa header: no identification field, origin at the top
// left (descriptor bit 5) so that rows come as written.
Bytes targaHeader(int type, int mapEntries, int mapEntryBits, int pixelBits, int alphaBits)
{
    Bytes b;
    b.u8(0).u8(mapEntries > 0 ? 1 : 0).u8(type);
    b.le16(0).le16(mapEntries).u8(mapEntryBits);
    b.le16(0).le16(0).le16(fourBytePictureSize.width()).le16(fourBytePictureSize.height());
    b.u8(pixelBits).u8(0x20 | alphaBits);
    return b;
}

Bytes &bgra(Bytes &b, QRgb colour, int fourth)
{
    return b.u8(qBlue(colour)).u8(qGreen(colour)).u8(qRed(colour)).u8(fourth);
}

} // namespace

QByteArray targa32File(QRgb colour, int fourthByte, int alphaBits)
{
    Bytes b = targaHeader(2, 0, 0, 32, alphaBits);
    for (int i = 0; i < fourBytePictureSize.width() * fourBytePictureSize.height(); ++i)
        bgra(b, colour, fourthByte);
    return b.data;
}

QByteArray targa32RunLengthFile(QRgb colour, int fourthByte, int alphaBits)
{
    // One run packet a row: 0x80 | (count - 1), then the pixel.
    Bytes b = targaHeader(10, 0, 0, 32, alphaBits);
    for (int y = 0; y < fourBytePictureSize.height(); ++y)
        bgra(b.u8(0x80 | (fourBytePictureSize.width() - 1)), colour, fourthByte);
    return b.data;
}

QByteArray targaColourMapped32File(QRgb colour, int fourthByte, int alphaBits)
{
    // Entry 0 is the colour; entry 1, never used, is black.
    Bytes b = targaHeader(1, 2, 32, 8, alphaBits);
    bgra(b, colour, fourthByte);
    bgra(b, black, fourthByte);
    b.fill(fourBytePictureSize.width() * fourBytePictureSize.height(), 0);
    return b.data;
}

QByteArray sunRaster32File(QRgb colour, int padByte, int type)
{
    // Magic, width, height, depth, data length, type, no colour map.
    const int w = fourBytePictureSize.width(), h = fourBytePictureSize.height();
    Bytes b;
    b.be32(0x59A66A95).be32(quint32(w)).be32(quint32(h)).be32(32).be32(quint32(w * h * 4));
    b.be32(quint32(type)).be32(0).be32(0);
    for (int i = 0; i < w * h; ++i) {
        b.u8(padByte);
        if (type == 3)
            b.u8(qRed(colour)).u8(qGreen(colour)).u8(qBlue(colour));
        else
            b.u8(qBlue(colour)).u8(qGreen(colour)).u8(qRed(colour));
    }
    return b.data;
}

std::vector<LoaderFixture> loaderFixtures()
{
    std::vector<LoaderFixture> list;
    const auto quad = quadrants(red, green, blue, white);
    for (const char *ext : {"bmp", "dib", "png", "ppm", "sgi", "rgb", "rgba", "tga", "vst", "vda",
                            "icb", "tif", "tiff", "pcx", "dcx", "psd", "pdd", "ras", "gif",
                            "mng", "lbm", "iff"}) {
        const QString name = QStringLiteral("quad.") + QLatin1String(ext);
        list.push_back({name, fixtureFile(name), {W, H}, quad});
    }
    for (const char *ext : {"jpg", "jpeg", "jng"}) {
        const QString name = QStringLiteral("quad.") + QLatin1String(ext);
        list.push_back({name, fixtureFile(name), {W, H}, quad, 24});
    }
    // Greyscale files hold the luma of red, green, blue and white.
    const auto greys = quadrants(grey(54), grey(182), grey(18), grey(255));
    list.push_back({u"quad.pgm"_qs, fixtureFile(u"quad.pgm"_qs), {W, H}, greys, 3});
    list.push_back({u"quad.bw"_qs, fixtureFile(u"quad.bw"_qs), {W, H}, greys, 3});
    list.push_back({u"quad.pbm"_qs, fixtureFile(u"quad.pbm"_qs), {W, H},
                    quadrants(black, white, white, black)});

    list.push_back({u"c64.koa"_qs, koalaFile(), {320, 200},
                    {{{100, 50}, qRgb(170, 17, 17)}, {{200, 150}, qRgb(0, 0, 204)}}});
    list.push_back({u"halo.cut"_qs, cutFile(), {W, H},
                    quadrants(grey(200), grey(40), grey(100), grey(250))});
    list.push_back({u"photo.pcd"_qs, pcdFile(), {768, 512},
                    {{{100, 100}, grey(140)}, {{600, 400}, grey(70)}}, 3});
    list.push_back({u"quake.wal"_qs, walFile(), {W, H},
                    quadrants(black, grey(235), grey(235), black), 40});
    list.push_back({u"quad.xpm"_qs, xpmFile(1), {W, H}, quad});
    list.push_back({u"homeworld.lif"_qs, lifFile(), {W, H}, quad});
    list.push_back({u"alias.pix"_qs, aliasPixFile(), {W, H}, quad});
    list.push_back({u"softimage.pic"_qs, softimagePicFile(true, true), {W, H}, quad});
    list.push_back({u"jasc.psp"_qs, paintShopProFile(), {W, H}, quad});
    list.push_back({u"pixar.pxr"_qs, pixarFile(), {W, H}, quad});
    list.push_back({u"metafile.wmf"_qs, wmfFile(), {W, H}, quadrants(red, blue, red, blue)});
    list.push_back({u"enhanced.emf"_qs, emfFile(), {W, H}, quadrants(red, blue, red, blue)});

    // Today's formats, made by the fixture script with Debian's encoders.
    list.push_back({u"quad.webp"_qs, fixtureFile(u"quad.webp"_qs), {W, H}, quad});
    list.push_back({u"lossy.webp"_qs, fixtureFile(u"lossy.webp"_qs), {W, H}, quad, 24});
    list.push_back({u"alpha.webp"_qs, fixtureFile(u"alpha.webp"_qs), {W, H}, quad});
    list.push_back({u"animated.webp"_qs, fixtureFile(u"animated.webp"_qs), {W, H}, quad});
    // Turned a quarter anticlockwise by its rotation property.
    const auto turned = quadrants(green, white, red, blue, H, W);
    list.push_back({u"rotated.heic"_qs, fixtureFile(u"rotated.heic"_qs), {H, W}, turned, 24});
    list.push_back({u"rotated.heif"_qs, fixtureFile(u"rotated.heic"_qs), {H, W}, turned, 24});
    list.push_back({u"deep.avif"_qs, fixtureFile(u"deep.avif"_qs), {W, H}, quad, 24});
    list.push_back({u"quad.jxl"_qs, fixtureFile(u"quad.jxl"_qs), {W, H}, quad});
    list.push_back({u"quad.dng"_qs, fixtureFile(u"quad.dng"_qs), {W, H}, quad});
    return list;
}

std::vector<LoaderFixture> crashingShapes()
{
    const auto quad = quadrants(red, green, blue, white);
    return {
        {u"two-chars-per-pixel.xpm"_qs, xpmFile(2), {W, H}, quad},
        {u"uncompressed-without-alpha.pic"_qs, softimagePicFile(false, false), {W, H}, quad},
        {u"two-textures.mdl"_qs, halfLifeModelFile(2), {W, H}, quad},
        // ImageMagick's layout: a comment line before the values, colour names.
        {u"imagemagick.xpm"_qs, fixtureFile(u"quad.xpm"_qs), {W, H}, quad},
    };
}

std::chrono::milliseconds timeLimitOf(const DecoderSandbox &sandbox, const QString &path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    std::int64_t declared = decoderprotocol::sizeNotInHeader;
    if (declaresSizeInHeader(extension)) {
        const auto size = declaredSizeOf(path, extension);
        declared = size ? size->pixels() : decoderprotocol::sizeUnreadable;
    }
    return sandbox.timeLimitFor(QFileInfo(path).size(),
                                DecoderSandbox::pixelsToTime(declared, extension));
}

} // namespace pictrove::test

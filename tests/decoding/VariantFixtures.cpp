#include "LoaderFixtures.h"
#include "VariantFixtures.h"

#include <QtEndian>

#include <cmath>
#include <functional>

namespace pictrove::test {

namespace {

constexpr int W = 5, H = 3;


int clamp16(int v) { return std::clamp(v, 0, 65535); }

// A 16-bit sample near an 8-bit value, off the multiples of 257 so that a
// reader taking the low byte or the wrong byte order shows it.
int deepSample(int eightBit, int x, int y) { return clamp16(eightBit * 257 + ((x + 2 * y) % 3) * 90 - 90); }

// The 8-bit value a sample of the given maximum stands for.
int scaled(int value, int maximum) { return int((qint64(value) * 255 + maximum / 2) / maximum); }

QImage picture(int w, int h, const std::function<QRgb(int, int)> &pixel)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, pixel(x, y));
    return image;
}

// ---- netpbm -------------------------------------------------------------

VariantFixture binaryNetpbm(const QString &name, bool colour, int maxval)
{
    const QImage source = variantPicture(false);
    Bytes b;
    b.text(colour ? "P6\n" : "P5\n").text("# deep samples\n5 3\n").text(QByteArray::number(maxval)).text("\n");
    QImage expected(W, H, QImage::Format_ARGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const QRgb c = source.pixel(x, y);
            int out[3] = {0, 0, 0};
            const int channels[3] = {qRed(c), qGreen(c), qBlue(c)};
            for (int k = 0; k < (colour ? 3 : 1); ++k) {
                const int v = maxval == 65535 ? deepSample(channels[k], x, y)
                                              : (channels[k] * maxval + 127) / 255;
                maxval > 255 ? b.be16(v) : b.u8(v);
                out[k] = scaled(v, maxval);
            }
            expected.setPixel(x, y, colour ? qRgb(out[0], out[1], out[2]) : qRgb(out[0], out[0], out[0]));
        }
    return {name, b.data, expected, 1};
}

VariantFixture plainBitmap(const QString &name, bool packed)
{
    // One is black; digits need no space between them.
    const auto ink = [](int x, int y) { return (x * 3 + y) % 4 == 0 || x == y; };
    Bytes b;
    b.text("P1\n# plain text\n5  3\n");
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x)
            b.text(ink(x, y) ? "1" : "0").text(packed ? "" : (x % 2 ? "\t" : " "));
        b.text("\n");
    }
    return {name, b.data,
            picture(W, H, [&](int x, int y) { return ink(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255); }), 0};
}

// ---- SGI ----------------------------------------------------------------

// Runs of one short for the first pixel, then one literal packet.
QByteArray sgiRunLengthRow(const std::vector<int> &row)
{
    Bytes b;
    b.be16(0x01).be16(row[0]);
    b.be16(0x80 | int(row.size() - 1));
    for (size_t i = 1; i < row.size(); ++i)
        b.be16(row[i]);
    b.be16(0);
    return b.data;
}

VariantFixture sgiFile(const QString &name, int channels, bool runLength)
{
    const QImage source = variantPicture(channels == 4 || channels == 2);
    Bytes b;
    b.be16(474).u8(runLength ? 1 : 0).u8(2).be16(channels == 1 ? 2 : 3).be16(W).be16(H).be16(channels);
    b.be32(0).be32(65535).fill(4, 0).text(QByteArray("deep").leftJustified(80, '\0')).be32(0).fill(404, 0);
    // Planes of rows, the bottom row first.
    std::vector<std::vector<int>> rows;
    QImage expected(W, H, QImage::Format_ARGB32);
    expected.fill(0);
    for (int z = 0; z < channels; ++z)
        for (int y = H - 1; y >= 0; --y) {
            std::vector<int> row;
            for (int x = 0; x < W; ++x) {
                const QRgb c = source.pixel(x, y);
                const int alphaChannel = channels == 2 ? 1 : channels == 4 ? 3 : -1;
                const int eight = z == alphaChannel ? qAlpha(c)
                                : channels <= 2 ? qGreen(c) : z == 0 ? qRed(c) : z == 1 ? qGreen(c) : qBlue(c);
                const int v = deepSample(eight, x, y);
                row.push_back(v);
                QRgb e = expected.pixel(x, y);
                const int s = scaled(v, 65535);
                if (z == alphaChannel)
                    e = qRgba(qRed(e), qGreen(e), qBlue(e), s);
                else if (channels <= 2)
                    e = qRgba(s, s, s, channels == 1 ? 255 : qAlpha(e));
                else
                    e = qRgba(z == 0 ? s : qRed(e), z == 1 ? s : qGreen(e), z == 2 ? s : qBlue(e),
                              channels == 3 ? 255 : qAlpha(e));
                expected.setPixel(x, y, e);
            }
            rows.push_back(row);
        }
    if (!runLength) {
        for (const auto &row : rows)
            for (int v : row)
                b.be16(v);
    } else {
        const int tables = int(rows.size());
        quint32 offset = quint32(512 + tables * 8);
        std::vector<QByteArray> packed;
        for (const auto &row : rows)
            packed.push_back(sgiRunLengthRow(row));
        for (const QByteArray &p : packed) {
            b.be32(offset);
            offset += quint32(p.size());
        }
        for (const QByteArray &p : packed)
            b.be32(quint32(p.size()));
        for (const QByteArray &p : packed)
            b.text(p);
    }
    return {name, b.data, expected, 1};
}

// ---- Targa --------------------------------------------------------------

// Pixels in the order the descriptor's origin bits say they are stored.
std::vector<QPoint> targaOrder(bool top, bool right, int w = W, int h = H)
{
    std::vector<QPoint> order;
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            order.push_back({right ? w - 1 - col : col, top ? row : h - 1 - row});
    return order;
}

Bytes targaHeader(int type, int mapEntries, int mapBits, int pixelBits, int descriptor)
{
    Bytes b;
    b.u8(0).u8(mapEntries > 0 ? 1 : 0).u8(type).le16(0).le16(mapEntries).u8(mapBits);
    b.le16(0).le16(0).le16(W).le16(H).u8(pixelBits).u8(descriptor);
    return b;
}

// Rows as packets: the first pixel of each row a run of one, the rest one
// raw packet, so that both packet kinds occur and none spans two rows.
void targaPackets(Bytes &b, const std::vector<QByteArray> &pixels)
{
    for (int row = 0; row < H; ++row) {
        b.u8(0x80).text(pixels[size_t(row * W)]);
        b.u8(W - 2);
        for (int col = 1; col < W; ++col)
            b.text(pixels[size_t(row * W + col)]);
    }
}

VariantFixture targaGreyAlpha(const QString &name, bool runLength, bool top)
{
    const QImage source = variantPicture(true);
    Bytes b = targaHeader(runLength ? 11 : 3, 0, 0, 16, 8 | (top ? 0x20 : 0));
    std::vector<QByteArray> pixels;
    for (QPoint p : targaOrder(top, false)) {
        const QRgb c = source.pixel(p);
        pixels.push_back(Bytes().u8(qGreen(c)).u8(qAlpha(c)).data);
    }
    if (runLength)
        targaPackets(b, pixels);
    else
        for (const QByteArray &p : pixels)
            b.text(p);
    const QImage expected = picture(W, H, [&](int x, int y) {
        const QRgb c = source.pixel(x, y);
        return qRgba(qGreen(c), qGreen(c), qGreen(c), qAlpha(c));
    });
    return {name, b.data, expected, 1};
}

int expand5(int v) { return (v << 3) | (v >> 2); }

VariantFixture targaMapped16(const QString &name, bool runLength, int mapBits)
{
    // One entry a pixel; the top bit of each entry set, which a map that
    // declares no alpha bits must not take for transparency.
    const QImage source = variantPicture(false);
    Bytes b = targaHeader(runLength ? 9 : 1, W * H, mapBits, 8, 0x20);
    QImage expected(W, H, QImage::Format_ARGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const QRgb c = source.pixel(x, y);
            const int r = qRed(c) >> 3, g = qGreen(c) >> 3, bl = qBlue(c) >> 3;
            b.le16(((y * W + x) % 2 ? 0x8000 : 0) | r << 10 | g << 5 | bl);
            expected.setPixel(x, y, qRgb(expand5(r), expand5(g), expand5(bl)));
        }
    std::vector<QByteArray> pixels;
    for (QPoint p : targaOrder(true, false))
        pixels.push_back(QByteArray(1, char(p.y() * W + p.x())));
    if (runLength)
        targaPackets(b, pixels);
    else
        for (const QByteArray &p : pixels)
            b.text(p);
    return {name, b.data, expected, 3};
}

VariantFixture targa32RunLength(const QString &name, bool top, bool right)
{
    const QImage source = variantPicture(true);
    Bytes b = targaHeader(10, 0, 0, 32, 8 | (top ? 0x20 : 0) | (right ? 0x10 : 0));
    std::vector<QByteArray> pixels;
    for (QPoint p : targaOrder(top, right)) {
        const QRgb c = source.pixel(p);
        pixels.push_back(Bytes().u8(qBlue(c)).u8(qGreen(c)).u8(qRed(c)).u8(qAlpha(c)).data);
    }
    targaPackets(b, pixels);
    return {name, b.data, source, 1};
}

// ---- BMP ----------------------------------------------------------------

// Bottom-up rows of palette indices or blue-green-red bytes, each padded to
// four bytes.
QByteArray bmpRows(const QImage &source, int bits)
{
    Bytes b;
    for (int y = source.height() - 1; y >= 0; --y) {
        const qsizetype start = b.data.size();
        for (int x = 0; x < source.width(); ++x) {
            const QRgb c = source.pixel(x, y);
            if (bits == 8)
                b.u8(y * source.width() + x);
            else if (bits == 24)
                b.u8(qBlue(c)).u8(qGreen(c)).u8(qRed(c));
            else
                b.u8(qBlue(c)).u8(qGreen(c)).u8(qRed(c)).u8(0);
        }
        while ((b.data.size() - start) % 4)
            b.u8(0);
    }
    return b.data;
}

// One entry a pixel, blue-green-red and a reserved byte.
QByteArray bmpPalette(const QImage &source, int entries)
{
    Bytes b;
    for (int i = 0; i < entries; ++i) {
        const QRgb c = i < W * H ? source.pixel(i % W, i / W) : qRgb(0, 0, 0);
        b.u8(qBlue(c)).u8(qGreen(c)).u8(qRed(c)).u8(0);
    }
    return b.data;
}

QByteArray withFileHeader(const QByteArray &info, const QByteArray &palette, const QByteArray &pixels)
{
    Bytes b;
    const quint32 offset = quint32(14 + info.size() + palette.size());
    b.text("BM").le32(offset + quint32(pixels.size())).le16(0).le16(0).le32(offset);
    return b.data + info + palette + pixels;
}

VariantFixture os2Bitmap(const QString &name, int headerSize, int bits)
{
    const QImage source = variantPicture(false);
    const QByteArray pixels = bmpRows(source, bits);
    Bytes info;
    info.le32(quint32(headerSize)).le32(W).le32(H).le16(1).le16(bits);
    int entries = 0;
    if (headerSize == 64) {
        entries = bits == 8 ? W * H : 0;
        info.le32(0).le32(quint32(pixels.size())).le32(2835).le32(2835).le32(quint32(entries)).le32(0);
        // Units, reserved, recording (bottom-up), rendering, two sizes, colour encoding, identifier.
        info.le16(0).le16(0).le16(0).le16(0).le32(0).le32(0).le32(0).le32(0);
    } else {
        entries = bits == 8 ? 256 : 0; // no colour count: the full table
    }
    const QByteArray palette = bmpPalette(source, entries);
    return {name, withFileHeader(info.data, palette, pixels), source, 0};
}

QByteArray windowsInfo(int bits, int compression, int imageBytes, int colours)
{
    Bytes info;
    info.le32(40).le32(W).le32(H).le16(1).le16(bits).le32(quint32(compression));
    info.le32(quint32(imageBytes)).le32(2835).le32(2835).le32(quint32(colours)).le32(0);
    return info.data;
}

// A run that goes past the end of its row stops there: the rest of the run
// is dropped and the next row starts with its own data.
VariantFixture overflowingRle8(const QString &name)
{
    const QImage source = variantPicture(false);
    Bytes rle;
    // Bottom row: a run of 9 of entry 0 into a 5-pixel row, end of line.
    rle.u8(9).u8(0).u8(0).u8(0);
    // Middle row: two pixels, then an absolute run of 5 that overflows by 2.
    rle.u8(2).u8(1).u8(0).u8(5).u8(2).u8(3).u8(4).u8(5).u8(6).u8(0).u8(0).u8(0);
    // Top row: its own five pixels, end of bitmap.
    rle.u8(0).u8(5).u8(7).u8(8).u8(9).u8(10).u8(11).u8(0).u8(0).u8(1);
    const int rows[3][5] = {{7, 8, 9, 10, 11}, {1, 1, 2, 3, 4}, {0, 0, 0, 0, 0}};
    const QByteArray palette = bmpPalette(source, 16);
    const QImage expected = picture(W, H, [&](int x, int y) {
        const int i = rows[y][x];
        return source.pixel(i % W, i / W);
    });
    return {name, withFileHeader(windowsInfo(8, 1, int(rle.data.size()), 16), palette, rle.data), expected, 0};
}

// Runs written with no end of line at all: each carries on where the last
// stopped, across rows.
VariantFixture wrappingRle8(const QString &name)
{
    const QImage source = variantPicture(false);
    Bytes rle;
    rle.u8(7).u8(1).u8(8).u8(2).u8(0).u8(1);
    const int rows[3][5] = {{2, 2, 2, 2, 2}, {1, 1, 2, 2, 2}, {1, 1, 1, 1, 1}};
    const QImage expected = picture(W, H, [&](int x, int y) {
        const int i = rows[y][x];
        return source.pixel(i % W, i / W);
    });
    return {name, withFileHeader(windowsInfo(8, 1, int(rle.data.size()), 16), bmpPalette(source, 16), rle.data),
            expected, 0};
}

VariantFixture bareDib(const QString &name, int bits)
{
    const QImage source = variantPicture(false);
    const QByteArray pixels = bmpRows(source, bits);
    QByteArray extra;
    if (bits == 8) {
        extra = bmpPalette(source, W * H);
    } else if (bits == 32) {
        // Bit fields: the three masks follow the 40-byte header.
        Bytes masks;
        masks.le32(0x00FF0000).le32(0x0000FF00).le32(0x000000FF);
        extra = masks.data;
    }
    const QByteArray info = windowsInfo(bits, bits == 32 ? 3 : 0, int(pixels.size()), bits == 8 ? W * H : 0);
    return {name, info + extra + pixels, source, 0};
}

// ---- TIFF ---------------------------------------------------------------

struct TiffEntry {
    int tag;
    int type; // 3 short, 4 long, 5 rational (the values in pairs)
    std::vector<quint32> values;
    size_t bytes() const { return values.size() * (type == 3 ? 2 : 4); }
    size_t count() const { return type == 5 ? values.size() / 2 : values.size(); }
};

// A little-endian TIFF of one strip holding the given bytes.
QByteArray tiffFile(int width, int height, std::vector<TiffEntry> entries, const QByteArray &strip)
{
    entries.push_back({256, 4, {quint32(width)}});
    entries.push_back({257, 4, {quint32(height)}});
    entries.push_back({259, 3, {1}});
    entries.push_back({273, 4, {0}}); // the strip's offset, set below
    entries.push_back({278, 4, {quint32(height)}});
    entries.push_back({279, 4, {quint32(strip.size())}});
    entries.push_back({284, 3, {1}});
    std::sort(entries.begin(), entries.end(), [](const TiffEntry &a, const TiffEntry &b) { return a.tag < b.tag; });
    const quint32 ifdSize = quint32(2 + entries.size() * 12 + 4);
    quint32 extraAt = 8 + ifdSize;
    Bytes extra;
    for (const TiffEntry &e : entries)
        if (e.bytes() > 4)
            extra.data.append(QByteArray(int(e.bytes()), '\0'));
    const quint32 stripAt = extraAt + quint32(extra.data.size());
    extra.data.clear();
    Bytes ifd;
    ifd.le16(int(entries.size()));
    for (TiffEntry &e : entries) {
        if (e.tag == 273)
            e.values = {stripAt};
        ifd.le16(e.tag).le16(e.type).le32(quint32(e.count()));
        const size_t bytes = e.bytes();
        Bytes value;
        for (quint32 v : e.values)
            e.type == 3 ? value.le16(int(v)) : value.le32(v);
        if (bytes <= 4) {
            value.data.resize(4, '\0');
            ifd.text(value.data);
        } else {
            ifd.le32(extraAt + quint32(extra.data.size()));
            extra.text(value.data);
        }
    }
    ifd.le32(0);
    Bytes file;
    file.text(QByteArray("II*\0", 4)).le32(8).text(ifd.data).text(extra.data).text(strip);
    return file.data;
}

// Samples packed from the high bit down, each row starting on a byte.
class BitWriter {
public:
    void put(quint32 value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            m_current = quint8(m_current << 1 | ((value >> i) & 1));
            if (++m_used == 8)
                flush();
        }
    }
    void endRow()
    {
        if (m_used) {
            m_current = quint8(m_current << (8 - m_used));
            flush();
        }
    }
    QByteArray bytes;

private:
    void flush()
    {
        bytes.append(char(m_current));
        m_current = 0;
        m_used = 0;
    }
    quint8 m_current = 0;
    int m_used = 0;
};

VariantFixture twelveBitTiff(const QString &name, bool colour)
{
    const QImage source = variantPicture(false);
    const int spp = colour ? 3 : 1;
    BitWriter bits;
    QImage expected(W, H, QImage::Format_ARGB32);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const QRgb c = source.pixel(x, y);
            const int channels[3] = {colour ? qRed(c) : qGreen(c), qGreen(c), qBlue(c)};
            int out[3];
            for (int k = 0; k < spp; ++k) {
                const int v = std::clamp(channels[k] * 4095 / 255 + (x % 2 ? 7 : -7), 0, 4095);
                bits.put(quint32(v), 12);
                out[k] = scaled(v, 4095);
            }
            expected.setPixel(x, y, colour ? qRgb(out[0], out[1], out[2]) : qRgb(out[0], out[0], out[0]));
        }
        bits.endRow();
    }
    std::vector<TiffEntry> tags{{258, 3, std::vector<quint32>(size_t(spp), 12)},
                                {262, 3, {colour ? 2u : 1u}}, {277, 3, {quint32(spp)}}};
    return {name, tiffFile(W, H, tags, bits.bytes), expected, 1};
}

VariantFixture deepRgbaTiff(const QString &name, bool associated)
{
    const QImage source = variantPicture(true);
    Bytes strip;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const QRgb c = source.pixel(x, y);
            const int a = qAlpha(c) * 257;
            for (int v : {qRed(c), qGreen(c), qBlue(c)})
                strip.le16(associated ? int(std::lround(v * 257.0 * a / 65535.0)) : v * 257);
            strip.le16(a);
        }
    std::vector<TiffEntry> tags{{258, 3, {16, 16, 16, 16}}, {262, 3, {2}}, {277, 3, {4}},
                                {338, 3, {associated ? 1u : 2u}}};
    return {name, tiffFile(W, H, tags, strip.data), source, 2};
}

VariantFixture orientedTiff(int orientation)
{
    const QImage upright = variantPicture(false);
    const QImage stored = storedForOrientation(upright, orientation);
    Bytes strip;
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x) {
            const QRgb c = stored.pixel(x, y);
            strip.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
        }
    std::vector<TiffEntry> tags{{258, 3, {8, 8, 8}}, {262, 3, {2}}, {274, 3, {quint32(orientation)}},
                                {277, 3, {3}}};
    return {QStringLiteral("orientation-%1.tif").arg(orientation),
            tiffFile(stored.width(), stored.height(), tags, strip.data), upright, 0};
}

// sRGB to CIE L*a*b* under the D65 white.
void toLab(QRgb c, double &L, double &a, double &b)
{
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const double r = linear(qRed(c)), g = linear(qGreen(c)), bl = linear(qBlue(c));
    const double X = (0.4124 * r + 0.3576 * g + 0.1805 * bl) / 0.95047;
    const double Y = 0.2126 * r + 0.7152 * g + 0.0722 * bl;
    const double Z = (0.0193 * r + 0.1192 * g + 0.9505 * bl) / 1.08883;
    const auto f = [](double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; };
    L = 116.0 * f(Y) - 16.0;
    a = 500.0 * (f(X) - f(Y));
    b = 200.0 * (f(Y) - f(Z));
}

VariantFixture labTiff(const QString &name)
{
    // Colours well inside what 8-bit L*a*b* holds; greys and saturated ones.
    const QRgb colours[W * H] = {
        qRgb(0, 0, 0),       qRgb(255, 255, 255), qRgb(128, 128, 128), qRgb(200, 40, 40),   qRgb(40, 160, 60),
        qRgb(50, 70, 190),   qRgb(230, 200, 60),  qRgb(60, 60, 60),    qRgb(180, 100, 200), qRgb(90, 200, 210),
        qRgb(240, 150, 120), qRgb(20, 90, 40),    qRgb(200, 200, 200), qRgb(120, 60, 20),   qRgb(160, 180, 230),
    };
    Bytes strip;
    for (QRgb c : colours) {
        double L, a, b;
        toLab(c, L, a, b);
        strip.u8(int(std::lround(L * 255.0 / 100.0))).u8(int(std::lround(a)) & 0xFF).u8(int(std::lround(b)) & 0xFF);
    }
    // The white point the values above were made for: D65.
    std::vector<TiffEntry> tags{{258, 3, {8, 8, 8}}, {262, 3, {8}}, {277, 3, {3}},
                                {318, 5, {3127, 10000, 3290, 10000}}};
    const QImage expected = picture(W, H, [&](int x, int y) { return colours[y * W + x]; });
    return {name, tiffFile(W, H, tags, strip.data), expected, 6};
}

// ---- PNG ----------------------------------------------------------------

void pngChunk(Bytes &file, const char *type, const QByteArray &payload)
{
    const QByteArray body = QByteArray(type, 4) + payload;
    file.be32(quint32(payload.size())).text(body).be32(crc32(body));
}

VariantFixture keyedPng(const QString &name, int depth)
{
    // Two pixels carry the key colour; the picture is otherwise opaque.
    QImage source = variantPicture(false);
    const QRgb key = source.pixel(1, 1);
    source.setPixel(3, 2, key);
    Bytes ihdr;
    ihdr.be32(W).be32(H).u8(depth).u8(2).u8(0).u8(0).u8(0);
    Bytes raw;
    for (int y = 0; y < H; ++y) {
        raw.u8(0);
        for (int x = 0; x < W; ++x) {
            const QRgb c = source.pixel(x, y);
            for (int v : {qRed(c), qGreen(c), qBlue(c)})
                depth == 16 ? raw.be16(v * 257) : raw.u8(v);
        }
    }
    Bytes trns;
    for (int v : {qRed(key), qGreen(key), qBlue(key)})
        trns.be16(depth == 16 ? v * 257 : v);
    Bytes file;
    file.text(QByteArray("\x89PNG\r\n\x1a\n", 8));
    pngChunk(file, "IHDR", ihdr.data);
    pngChunk(file, "tRNS", trns.data);
    pngChunk(file, "IDAT", qCompress(raw.data).mid(4));
    pngChunk(file, "IEND", {});
    QImage expected = source;
    expected.setPixel(1, 1, qRgba(0, 0, 0, 0));
    expected.setPixel(3, 2, qRgba(0, 0, 0, 0));
    return {name, file.data, expected, 0};
}

} // namespace

QImage variantPicture(bool alpha)
{
    return picture(W, H, [alpha](int x, int y) {
        const int i = y * W + x;
        const int a = !alpha ? 255 : i == W * H - 1 ? 255 : i * 18;
        return qRgba(30 + 50 * x, 20 + 100 * y, 255 - 40 * x - 30 * y, a);
    });
}

QImage storedForOrientation(const QImage &upright, int orientation)
{
    const int w = upright.width(), h = upright.height();
    const bool turned = orientation >= 5;
    QImage stored(turned ? h : w, turned ? w : h, QImage::Format_ARGB32);
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x) {
            // Where the stored pixel (x, y) is shown: the tag names the
            // sides that the stored first row and first column are on.
            QPoint shown;
            switch (orientation) {
            case 2: shown = {w - 1 - x, y}; break;
            case 3: shown = {w - 1 - x, h - 1 - y}; break;
            case 4: shown = {x, h - 1 - y}; break;
            case 5: shown = {y, x}; break;
            case 6: shown = {w - 1 - y, x}; break;
            case 7: shown = {w - 1 - y, h - 1 - x}; break;
            case 8: shown = {y, h - 1 - x}; break;
            default: shown = {x, y}; break;
            }
            stored.setPixel(x, y, upright.pixel(shown));
        }
    return stored;
}

std::vector<VariantFixture> netpbmVariants()
{
    return {
        binaryNetpbm(u"deep.pgm"_qs, false, 65535),
        binaryNetpbm(u"deep.ppm"_qs, true, 65535),
        binaryNetpbm(u"twelve.pgm"_qs, false, 4095),
        binaryNetpbm(u"thousand.ppm"_qs, true, 1000),
        plainBitmap(u"plain.pbm"_qs, false),
        plainBitmap(u"plain-packed.pbm"_qs, true),
    };
}

std::vector<VariantFixture> sgiVariants()
{
    return {
        sgiFile(u"deep-raw.rgb"_qs, 3, false), sgiFile(u"deep-rle.rgb"_qs, 3, true),
        sgiFile(u"deep-raw.bw"_qs, 1, false),  sgiFile(u"deep-rle.bw"_qs, 1, true),
        sgiFile(u"deep-raw.sgi"_qs, 4, false), sgiFile(u"deep-rle.sgi"_qs, 4, true),
        sgiFile(u"deep-rle.rgba"_qs, 4, true), sgiFile(u"deep-grey-alpha.sgi"_qs, 2, true),
    };
}

std::vector<VariantFixture> targaVariants()
{
    return {
        targaGreyAlpha(u"grey-alpha-top.tga"_qs, false, true),
        targaGreyAlpha(u"grey-alpha-bottom.tga"_qs, false, false),
        targaGreyAlpha(u"grey-alpha-rle-top.tga"_qs, true, true),
        targaGreyAlpha(u"grey-alpha-rle-bottom.tga"_qs, true, false),
        targaMapped16(u"map16.tga"_qs, false, 16),
        targaMapped16(u"map16-rle.tga"_qs, true, 16),
        targaMapped16(u"map15.tga"_qs, false, 15),
        targa32RunLength(u"rle32-top-left.tga"_qs, true, false),
        targa32RunLength(u"rle32-bottom-left.tga"_qs, false, false),
        targa32RunLength(u"rle32-top-right.tga"_qs, true, true),
        targa32RunLength(u"rle32-bottom-right.tga"_qs, false, true),
    };
}

std::vector<VariantFixture> bmpVariants()
{
    return {
        os2Bitmap(u"os2-64-palette.bmp"_qs, 64, 8),
        os2Bitmap(u"os2-64-rgb.bmp"_qs, 64, 24),
        os2Bitmap(u"os2-16-palette.bmp"_qs, 16, 8),
        os2Bitmap(u"os2-16-rgb.bmp"_qs, 16, 24),
        overflowingRle8(u"rle8-overflow.bmp"_qs),
        wrappingRle8(u"rle8-wrapping.bmp"_qs),
        bareDib(u"clipboard-rgb.dib"_qs, 24),
        bareDib(u"clipboard-palette.dib"_qs, 8),
        bareDib(u"clipboard-fields.dib"_qs, 32),
    };
}

std::vector<VariantFixture> tiffVariants()
{
    std::vector<VariantFixture> list{
        twelveBitTiff(u"twelve-grey.tif"_qs, false),
        twelveBitTiff(u"twelve-rgb.tif"_qs, true),
        deepRgbaTiff(u"deep-rgba.tif"_qs, false),
        deepRgbaTiff(u"deep-rgba-associated.tiff"_qs, true),
        labTiff(u"lab.tif"_qs),
    };
    for (int orientation = 1; orientation <= 8; ++orientation)
        list.push_back(orientedTiff(orientation));
    return list;
}

std::vector<VariantFixture> pngVariants()
{
    return {keyedPng(u"key-rgb8.png"_qs, 8), keyedPng(u"key-rgb16.png"_qs, 16)};
}

} // namespace pictrove::test

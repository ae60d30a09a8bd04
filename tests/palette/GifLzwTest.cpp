#include "engine/palette/GifWriter.h"

#include "TestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QImage>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

namespace pictrove {

namespace {

int appendBytes(GifFileType *gif, const GifByteType *bytes, int length)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(bytes), length);
    return length;
}

// The file giflib itself writes for the picture, row by row through
// EGifPutLine: what our writer has to match byte for byte.
QByteArray giflibFile(const QImage &picture, bool interlaced)
{
    QByteArray out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, appendBytes, &error);
    if (!gif)
        return {};
    EGifSetGifVersion(gif, true);
    std::vector<GifColorType> colours;
    for (QRgb c : picture.colorTable())
        colours.push_back({GifByteType(qRed(c)), GifByteType(qGreen(c)), GifByteType(qBlue(c))});
    ColorMapObject *map = GifMakeMapObject(int(colours.size()), colours.data());
    int bits = 1;
    while ((1 << bits) < int(colours.size()))
        ++bits;
    bool ok = map && EGifPutScreenDesc(gif, picture.width(), picture.height(), bits, 0, map) != GIF_ERROR
              && EGifPutImageDesc(gif, 0, 0, picture.width(), picture.height(), interlaced, nullptr)
                     != GIF_ERROR;
    GifFreeMapObject(map);
    std::vector<int> rows;
    if (interlaced) {
        const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < picture.height(); y += step[pass])
                rows.push_back(y);
    } else {
        for (int y = 0; y < picture.height(); ++y)
            rows.push_back(y);
    }
    for (int y : rows) {
        // giflib masks the line in place: give it a copy.
        std::vector<GifPixelType> line(picture.constScanLine(y), picture.constScanLine(y) + picture.width());
        ok = ok && EGifPutLine(gif, line.data(), picture.width()) != GIF_ERROR;
    }
    ok = EGifCloseFile(gif, &error) != GIF_ERROR && ok;
    return ok ? out : QByteArray();
}

QImage indexed(int width, int height, int bits, const std::function<int(int, int)> &index)
{
    QImage picture(width, height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < (1 << bits); ++i)
        table << qRgb(i * 37 % 256, i * 91 % 256, 255 - i);
    picture.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.scanLine(y)[x] = uchar(index(x, y));
    return picture;
}

QByteArray ours(const test::Sandbox &sandbox, const QImage &picture, bool interlaced)
{
    const QString path = sandbox.file("ours.gif");
    QString reason;
    if (!writeGif(picture, interlaced, path, nullptr, &reason)) {
        ADD_FAILURE() << reason.toStdString();
        return {};
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void expectSameAsGiflib(const test::Sandbox &sandbox, const QImage &picture, const char *what)
{
    for (bool interlaced : {false, true}) {
        const QByteArray expected = giflibFile(picture, interlaced);
        ASSERT_FALSE(expected.isEmpty()) << what;
        const QByteArray got = ours(sandbox, picture, interlaced);
        EXPECT_EQ(got.size(), expected.size()) << what << (interlaced ? " interlaced" : "");
        EXPECT_TRUE(got == expected) << what << (interlaced ? " interlaced" : "");
    }
}

} // namespace

// Noise fills the code table again and again (clear codes, the code width
// rising to 12 bits and falling back); flat areas and ramps make long
// strings; tiny pictures end before the first widening. Every table size
// from 2 to 256 colours, since the code size is at least 2 bits.
TEST(GifLzw, FilesAreTheBytesGiflibWrites)
{
    test::Sandbox sandbox;
    std::mt19937 random(23);
    for (int bits = 1; bits <= 8; ++bits) {
        const int colours = 1 << bits;
        SCOPED_TRACE(bits);
        expectSameAsGiflib(sandbox, indexed(1, 1, bits, [](int, int) { return 0; }), "one pixel");
        expectSameAsGiflib(sandbox, indexed(3, 1, bits, [&](int x, int) { return x % colours; }),
                           "three pixels");
        expectSameAsGiflib(sandbox, indexed(257, 3, bits, [](int, int) { return 1; }), "flat");
        expectSameAsGiflib(sandbox, indexed(311, 97, bits, [&](int x, int y) { return (x + y) * colours / 408; }),
                           "ramp");
        expectSameAsGiflib(sandbox, indexed(640, 480, bits, [&](int, int) { return int(random() % unsigned(colours)); }),
                           "noise");
        expectSameAsGiflib(sandbox,
                           indexed(509, 211, bits, [&](int x, int y) {
                               return random() % 8 == 0 ? int(random() % unsigned(colours)) : (x / 16 + y / 16) % colours;
                           }),
                           "blocks with noise");
    }
}

// A data length of exactly 255 bytes, and lengths around it, close their
// sub-blocks as giflib does (a full block, then the empty one).
TEST(GifLzw, SubBlocksEndWhereGiflibEndsThem)
{
    test::Sandbox sandbox;
    std::mt19937 random(5);
    for (int width = 150; width <= 420; width += 1) {
        const QImage picture = indexed(width, 1, 8, [&](int, int) { return int(random() % 256); });
        ASSERT_EQ(ours(sandbox, picture, false), giflibFile(picture, false)) << width;
    }
}

// Indices beyond the colour table are masked to its bits, as giflib masks
// them, rather than corrupting the codes.
TEST(GifLzw, IndicesBeyondTheTableAreMaskedAsGiflibMasksThem)
{
    test::Sandbox sandbox;
    std::mt19937 random(7);
    for (int bits : {1, 2, 4}) {
        const QImage picture = indexed(97, 41, bits, [&](int, int) { return int(random() % 256); });
        EXPECT_EQ(ours(sandbox, picture, false), giflibFile(picture, false)) << bits;
    }
}

} // namespace pictrove

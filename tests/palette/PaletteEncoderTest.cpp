#include "engine/palette/PaletteEncoder.h"

#include "decoding/FreeImageConvert.h"
#include "engine/core/PictureSurface.h"
#include "engine/palette/FixedPalettes.h"
#include "engine/palette/GifWriter.h"
#include "engine/palette/OptimalPalette.h"
#include "engine/palette/RowProgress.h"

#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <thread>

namespace pictrove {


namespace {

struct Surface {
    explicit Surface(const QImage &image) { surface.setPicture(image); }
    PictureSurface surface;
};

QImage readWithQt(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

QImage readWithFreeImage(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(name.constData(), 0);
    FiBitmap dib(FreeImage_Load(format, name.constData(), 0));
    return dib ? toQImage(dib.get()).convertToFormat(QImage::Format_RGB32) : QImage();
}

QImage shown(const PaletteEncoder &encoder)
{
    return encoder.result().convertToFormat(QImage::Format_RGB32);
}

std::set<QRgb> coloursOf(const QImage &image)
{
    std::set<QRgb> out;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            out.insert(rgb.pixel(x, y) | 0xFF000000);
    return out;
}

QImage fiveBitLevels(const QImage &image)
{
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            line[x] = qRgb(qRed(line[x]) >> 3, qGreen(line[x]) >> 3, qBlue(line[x]) >> 3);
    }
    return out;
}

struct Case {
    std::int32_t kind, depth, flags, dither;
};

} // namespace

class PaletteEncoderTest : public ::testing::Test {
protected:
    test::Sandbox sandbox;
    Surface picture{test::makeTestPicture(37, 23)};
};

// Every file we write must read back, with FreeImage and with Qt, as the
// pixels the encoder says it produced.
TEST_F(PaletteEncoderTest, FilesReadBackAsTheEncodedPixels)
{
    const std::vector<Case> cases{
        {0, 1, 0x8002, 1},  {0, 2, 0x4000, 0},  {0, 3, 0x88FF, 2},  {0, 4, 0x4000, 1},
        {0, 4, 0x8210, 4},  {0, 6, 0x8040, 8},  {0, 8, 0x4000, 1},  {0, 8, 0x1000, 0},
        {0, 16, 0x1000, 0}, {0, 16, 0x1000, 1}, {0, 24, 0x1000, 0}, {1, 1, 0x1000, 0},
        {1, 2, 0x8004, 16}, {1, 3, 0x4000, 32}, {1, 4, 0x4000, 64}, {1, 5, 0x4000, 256},
        {1, 6, 0x88FF, 512}, {1, 7, 0x4000, 1024}, {1, 8, 0x4000, 1}, {2, 8, 0x84D8, 2},
        {2, 4, 0x8010, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " depth " << c.depth << " flags "
                                        << std::hex << c.flags << std::dec << " dither " << c.dither);
        const QString path = sandbox.file(QStringLiteral("out-%1-%2.%3")
                                              .arg(c.depth)
                                              .arg(c.flags)
                                              .arg(c.kind == 0 ? "bmp" : "gif"));
        PaletteEncoder encoder;
        ASSERT_NE(encoder.EncodePicture(picture.surface, path, c.kind, 0, c.depth, c.flags, c.dither,
                                        -1, -1, -1, -1),
                  0);
        const QImage expected = shown(encoder);
        ASSERT_EQ(expected.size(), QSize(37, 23));
        // Readers widen 5-bit levels differently (Qt by q << 3, FreeImage by
        // q * 255 / 31): there the 5-bit levels must agree.
        const auto level = [&](const QImage &img) { return c.depth == 16 ? fiveBitLevels(img) : img; };
        EXPECT_EQ(test::maxChannelDifference(level(readWithQt(path)), level(expected)), 0);
        EXPECT_EQ(test::maxChannelDifference(level(readWithFreeImage(path)), level(expected)), 0);
        if (c.depth <= 8) {
            EXPECT_EQ(encoder.result().colorCount(), 1 << c.depth);
        }
    }
}

TEST_F(PaletteEncoderTest, BmpHeadersCarryTheDepth)
{
    const std::vector<std::pair<int, int>> depthToBits{{1, 1}, {3, 4}, {4, 4}, {5, 8}, {8, 8},
                                                       {16, 16}, {24, 24}};
    for (auto [depth, bits] : depthToBits) {
        const QString path = sandbox.file(QStringLiteral("d%1.bmp").arg(depth));
        PaletteEncoder encoder;
        const std::int32_t flags = depth <= 8 ? code(ColourMap::FixedGrey) : code(ColourMap::Windows);
        ASSERT_NE(encoder.EncodePicture(picture.surface, path, 0, 0, depth, flags, 0), 0);
        const QByteArray bytes = sandbox.read(QFileInfo(path).fileName());
        ASSERT_GT(bytes.size(), 54);
        EXPECT_EQ(bytes.left(2), "BM");
        EXPECT_EQ(quint8(bytes[28]) | (quint8(bytes[29]) << 8), bits) << depth;
        FiBitmap dib(FreeImage_Load(FIF_BMP, QFile::encodeName(path).constData(), 0));
        ASSERT_TRUE(dib);
        EXPECT_EQ(int(FreeImage_GetColorsUsed(dib.get())), bits <= 8 ? 1 << bits : 0);
    }
}

TEST_F(PaletteEncoderTest, GifsAreVersion89aWithATableOfTwoToTheDepth)
{
    for (int depth = 1; depth <= 8; ++depth) {
        const QString name = QStringLiteral("t%1.gif").arg(depth);
        PaletteEncoder encoder;
        ASSERT_NE(encoder.EncodePicture(picture.surface, sandbox.file(name), 1, 0, depth,
                                        code(ColourMap::Optimal), 1),
                  0);
        const QByteArray bytes = sandbox.read(name);
        EXPECT_EQ(bytes.left(6), "GIF89a");
        const int packed = quint8(bytes[10]);
        EXPECT_TRUE(packed & 0x80) << "global colour table";
        EXPECT_EQ((packed & 7) + 1, depth);
        EXPECT_LE(coloursOf(encoder.result()).size(), size_t(1) << depth);
    }
}

TEST_F(PaletteEncoderTest, InterlacedGifStoresRowsInFourPasses)
{
    const QString path = sandbox.file("i.gif");
    PaletteEncoder encoder;
    ASSERT_NE(encoder.EncodePicture(picture.surface, path, 2, 0, 8, code(ColourMap::Optimal), 0), 0);
    // Read the rows in the order they stand in the file.
    int error = 0;
    GifFileType *gif = DGifOpenFileName(QFile::encodeName(path).constData(), &error);
    ASSERT_TRUE(gif);
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    do {
        ASSERT_EQ(DGifGetRecordType(gif, &record), GIF_OK);
    } while (record != IMAGE_DESC_RECORD_TYPE);
    ASSERT_EQ(DGifGetImageDesc(gif), GIF_OK);
    EXPECT_TRUE(gif->Image.Interlace);
    const int width = encoder.result().width(), height = encoder.result().height();
    std::vector<int> order;
    for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int y = start; y < height; y += step)
            order.push_back(y);
    std::vector<GifPixelType> line(size_t(width), 0);
    for (int y : order) {
        ASSERT_EQ(DGifGetLine(gif, line.data(), width), GIF_OK);
        EXPECT_TRUE(std::equal(line.begin(), line.end(), encoder.result().constScanLine(y))) << y;
    }
    DGifCloseFile(gif, &error);
    // And a reader that knows interlacing puts the rows back in place.
    EXPECT_EQ(test::maxChannelDifference(readWithQt(path), shown(encoder)), 0);
}

TEST_F(PaletteEncoderTest, FixedMapsUseOnlyTheirColours)
{
    struct MapCase {
        std::int32_t depth, flags;
        palettes::Palette palette;
    };
    const std::vector<MapCase> cases{
        {1, code(ColourMap::Windows), palettes::windowsMonochrome()},
        {4, code(ColourMap::Windows), palettes::windows16()},
        {8, code(ColourMap::Windows), palettes::windowsHalftone256()},
        {4, code(ColourMap::Vga), palettes::vga16()},
        {8, code(ColourMap::WebSafe), palettes::webSafe216()},
        {8, code(ColourMap::Windows256), palettes::windowsSystem256()},
        {5, code(ColourMap::FixedGrey), palettes::fixedGrey(32)},
        {2, code(ColourMap::FixedColour) | 4, palettes::fixedColourLattice(4)},
        {8, code(ColourMap::FixedColour) | 16, palettes::fixedColourLattice(16)},
        {4, code(ColourMap::FixedColour) | 256, palettes::fixedColourLattice(16)},
    };
    for (const MapCase &c : cases) {
        for (std::int32_t dither : {0, 1, 2}) {
            PaletteEncoder encoder;
            ASSERT_NE(encoder.SetOptions(0, 0, c.depth, c.flags, dither), 0) << std::hex << c.flags;
            ASSERT_NE(encoder.AttachPicture(picture.surface), 0);
            ASSERT_NE(encoder.Process(), 0);
            const std::set<QRgb> allowed(c.palette.begin(), c.palette.end());
            for (QRgb used : coloursOf(encoder.result()))
                EXPECT_TRUE(allowed.count(used)) << std::hex << c.flags << " uses " << used;
            // The table starts with the map itself.
            const QList<QRgb> table = encoder.result().colorTable();
            EXPECT_TRUE(std::equal(c.palette.begin(), c.palette.end(), table.begin()));
        }
    }
}

TEST_F(PaletteEncoderTest, OptimalPaletteFitsThePicture)
{
    PaletteEncoder encoder;
    ASSERT_NE(encoder.SetOptions(1, 0, 8, code(ColourMap::Optimal), 0), 0);
    ASSERT_NE(encoder.AttachPicture(picture.surface), 0);
    ASSERT_NE(encoder.Process(), 0);
    // The test picture has two blues and smooth red/green ramps: 256 colours
    // get within a few levels everywhere.
    const QImage got = shown(encoder);
    const QImage &want = picture.surface.image();
    double total = 0;
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            total += std::abs(qRed(got.pixel(x, y)) - qRed(want.pixel(x, y)))
                     + std::abs(qGreen(got.pixel(x, y)) - qGreen(want.pixel(x, y)))
                     + std::abs(qBlue(got.pixel(x, y)) - qBlue(want.pixel(x, y)));
    EXPECT_LE(total / (3.0 * want.width() * want.height()), 3.0);
    EXPECT_LE(test::maxChannelDifference(got, want), 24);
}

// Pictures with no more colours than the table keep them exactly: a
// drawing stays a drawing, every grey of a greyscale ramp stays.
TEST_F(PaletteEncoderTest, OptimalKeepsTheColoursOfASmallPicture)
{
    QImage drawing(40, 30, QImage::Format_RGB32);
    const QRgb colours[5] = {qRgb(200, 10, 10), qRgb(203, 10, 10), qRgb(0, 0, 0), qRgb(250, 250, 250),
                             qRgb(20, 120, 220)};
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            drawing.setPixel(x, y, colours[(x / 7 + y / 5) % 5]);
    Surface small(drawing);
    PaletteEncoder encoder;
    ASSERT_NE(encoder.SetOptions(1, 0, 3, code(ColourMap::Optimal), 1), 0);
    ASSERT_NE(encoder.AttachPicture(small.surface), 0);
    ASSERT_NE(encoder.Process(), 0);
    EXPECT_EQ(test::maxChannelDifference(shown(encoder), drawing), 0);

    QImage ramp(256, 4, QImage::Format_RGB32);
    for (int x = 0; x < 256; ++x)
        for (int y = 0; y < 4; ++y)
            ramp.setPixel(x, y, qRgb(x, (x * 7) % 256, 255 - x));
    Surface greys(ramp);
    ASSERT_NE(encoder.SetOptions(1, code(ColourMode::Greyscale), 8, code(ColourMap::Optimal), 0), 0);
    ASSERT_NE(encoder.AttachPicture(greys.surface), 0);
    ASSERT_NE(encoder.Process(), 0);
    QImage grey = ramp;
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x) {
            const QRgb c = grey.pixel(x, y);
            const int v = (19595 * qRed(c) + 38470 * qGreen(c) + 7471 * qBlue(c) + 32768) >> 16;
            grey.setPixel(x, y, qRgb(v, v, v));
        }
    EXPECT_EQ(test::maxChannelDifference(shown(encoder), grey), 0);
}

// Tiny and thin pictures go through every dither and every kind of target.
TEST_F(PaletteEncoderTest, HandlesTinyAndThinPictures)
{
    for (QSize size : {QSize(1, 1), QSize(1, 9), QSize(9, 1), QSize(2, 2), QSize(3, 17)}) {
        Surface tiny(test::makeTestPicture(size.width(), size.height()));
        for (std::int32_t dither : {0, 1, 2, 4, 8, 16, 32, 64, 256, 512, 1024})
            for (auto [depth, flags] : {std::pair{8, code(ColourMap::Optimal)}, {1, code(ColourMap::Windows)},
                                        {16, code(ColourMap::Windows)}}) {
                PaletteEncoder encoder;
                const QString path = sandbox.file("tiny.bmp");
                ASSERT_NE(encoder.EncodePicture(tiny.surface, path, 0, 0, depth, flags, dither), 0)
                    << size.width() << "x" << size.height() << " dither " << dither;
                EXPECT_EQ(readWithQt(path).size(), size);
            }
    }
}

TEST_F(PaletteEncoderTest, GreyscaleUsesBt601LumaAndAGreyOptimalPalette)
{
    PaletteEncoder encoder;
    ASSERT_NE(encoder.SetOptions(0, code(ColourMode::Greyscale), 24, code(ColourMap::Windows), 0), 0);
    ASSERT_NE(encoder.AttachPicture(picture.surface), 0);
    ASSERT_NE(encoder.Process(), 0);
    const QImage &source = picture.surface.image();
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb in = source.pixel(x, y), out = encoder.result().pixel(x, y);
            const double luma = 0.299 * qRed(in) + 0.587 * qGreen(in) + 0.114 * qBlue(in);
            ASSERT_NEAR(qRed(out), luma, 0.51);
            ASSERT_EQ(qRed(out), qGreen(out));
            ASSERT_EQ(qGreen(out), qBlue(out));
        }

    ASSERT_NE(encoder.SetOptions(1, code(ColourMode::Greyscale), 4, code(ColourMap::Optimal), 1), 0);
    ASSERT_NE(encoder.Process(), 0);
    for (QRgb c : encoder.result().colorTable())
        EXPECT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) << std::hex << c;
}

TEST_F(PaletteEncoderTest, TransformFlipsAndInvertsBeforeTheReduction)
{
    const QImage &source = picture.surface.image();
    const std::vector<std::pair<std::int32_t, QImage>> cases{
        {code(Transform::FlipVertical), source.mirrored(false, true)},
        {code(Transform::FlipHorizontal), source.mirrored(true, false)},
        {code(Transform::FlipVertical) | code(Transform::FlipHorizontal), source.mirrored(true, true)},
        {code(Transform::Invert), [&] { QImage i = source; i.invertPixels(); return i; }()},
        {code(Transform::FlipVertical) | code(Transform::Invert),
         [&] { QImage i = source.mirrored(false, true); i.invertPixels(); return i; }()},
    };
    for (const auto &[flags, expected] : cases) {
        for (std::int32_t depth : {24, 4}) {
            PaletteEncoder transformed;
            ASSERT_NE(transformed.SetOptions(0, 0, depth, depth == 24 ? 0x1000 : 0x8210, 1), 0);
            ASSERT_NE(transformed.AttachPicture(picture.surface, -1, -1, -1, -1), 0);
            ASSERT_NE(transformed.Transform(flags, 0, 0), 0) << std::hex << flags;
            ASSERT_NE(transformed.Process(), 0);
            // The same as reducing a picture that was transformed beforehand.
            Surface already(expected);
            PaletteEncoder direct;
            ASSERT_NE(direct.SetOptions(0, 0, depth, depth == 24 ? 0x1000 : 0x8210, 1), 0);
            ASSERT_NE(direct.AttachPicture(already.surface), 0);
            ASSERT_NE(direct.Process(), 0);
            EXPECT_EQ(test::maxChannelDifference(shown(transformed), shown(direct)), 0)
                << std::hex << flags << std::dec << " depth " << depth;
        }
    }
}

// Writing the GIF while reducing must give the file a save after the
// reduction gives, for every kind, after a transform as without one.
TEST_F(PaletteEncoderTest, ProcessAndSaveWritesWhatProcessThenSaveWrites)
{
    for (std::int32_t kind : {0, 1, 2}) {
        for (std::int32_t transform : {0, std::int32_t(code(Transform::FlipHorizontal))}) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " transform " << transform);
            const auto prepared = [&](PaletteEncoder &encoder) {
                ASSERT_NE(encoder.SetOptions(kind, 0, 8, 0x4000, 1), 0);
                ASSERT_NE(encoder.AttachPicture(picture.surface), 0);
                if (transform != 0) {
                    ASSERT_NE(encoder.Transform(transform), 0);
                }
            };
            PaletteEncoder together, apart;
            prepared(together);
            prepared(apart);
            ASSERT_NE(together.ProcessAndSave(sandbox.file("together")), 0);
            ASSERT_NE(apart.Process(), 0);
            const QString apartPath = sandbox.file("apart");
            ASSERT_NE(kind == 0 ? apart.SaveBmp(apartPath)
                                : kind == 1 ? apart.SaveGif(apartPath)
                                            : apart.SaveGifInterlaced(apartPath),
                      0);
            EXPECT_EQ(sandbox.read("together"), sandbox.read("apart"));
        }
    }
    PaletteEncoder unattached;
    ASSERT_NE(unattached.SetOptions(1, 0, 8, 0x4000, 0), 0);
    EXPECT_EQ(unattached.ProcessAndSave(sandbox.file("none")), 0);
    EXPECT_FALSE(QFileInfo::exists(sandbox.file("none")));
}

// The threads an encoder is granted change how long it takes, never the
// file: one thread writes after reducing, two write while reducing, more
// share the rows of the dithers that allow it.
TEST_F(PaletteEncoderTest, ThreadsGrantedDoNotChangeTheFile)
{
    Surface photo{test::makeTestPicture(211, 157)};
    const std::vector<Case> cases{{1, 8, 0x4000, 0}, {2, 8, 0x4000, 1}, {1, 4, 0x1000, 2},
                                  {0, 8, 0x4000, 0}, {0, 8, 0x4000, 4}, {0, 16, 0x1000, 0},
                                  {0, 16, 0x1000, 2}, {1, 1, 0x1000, 64}, {2, 6, 0x4000, 512}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << " " << c.depth << " " << c.flags << " " << c.dither);
        QByteArray first;
        for (int threads : {1, 2, 3, 4}) {
            PaletteEncoder encoder;
            encoder.setThreads(threads);
            const QString name = QStringLiteral("t%1").arg(threads);
            ASSERT_NE(encoder.EncodePicture(photo.surface, sandbox.file(name), c.kind, 0, c.depth, c.flags,
                                            c.dither),
                      0);
            const QByteArray bytes = sandbox.read(name);
            ASSERT_FALSE(bytes.isEmpty());
            if (first.isEmpty())
                first = bytes;
            else
                EXPECT_TRUE(bytes == first) << threads;
        }
    }
}

TEST_F(PaletteEncoderTest, RejectsUnknownTransformWords)
{
    PaletteEncoder encoder;
    ASSERT_NE(encoder.AttachPicture(picture.surface), 0);
    EXPECT_NE(encoder.Transform(0), 0);
    for (std::int32_t flags : {0x1000000, 0x10000, 0x2000000, 0x4, 0x3100001})
        EXPECT_EQ(encoder.Transform(flags), 0) << std::hex << flags;
    EXPECT_EQ(encoder.Transform(code(Transform::Invert), 1, 0), 0);
    PaletteEncoder empty;
    EXPECT_EQ(empty.Transform(code(Transform::Invert)), 0);
}

TEST_F(PaletteEncoderTest, AttachTakesAPartOfThePicture)
{
    PaletteEncoder encoder;
    ASSERT_NE(encoder.SetOptions(0, 0, 24, code(ColourMap::Windows), 0), 0);
    ASSERT_NE(encoder.AttachPicture(picture.surface, 3, 2, 10, -1), 0);
    ASSERT_NE(encoder.Process(), 0);
    EXPECT_EQ(test::maxChannelDifference(shown(encoder), picture.surface.image().copy(3, 2, 10, 21)), 0);
    for (auto [l, t, w, h] : {std::array{-2, -1, -1, -1}, {37, -1, -1, -1}, {0, 0, 38, -1},
                              {0, 0, 0, -1}, {5, 5, -1, 19}})
        EXPECT_EQ(encoder.AttachPicture(picture.surface, l, t, w, h), 0) << l << t << w << h;
}

// Every combination the format list can ask for is accepted.
TEST_F(PaletteEncoderTest, AcceptsEveryCatalogueCombination)
{
    const std::vector<std::pair<int, std::vector<std::int32_t>>> gifRows{
        {1, {0x1000, 0x8002}},
        {2, {0x8004}},
        {3, {0x4000, 0x8008, 0x88FF}},
        {4, {0x1000, 0x4000, 0x8010, 0x8210, 0x88FF}},
        {5, {0x4000, 0x8020, 0x88FF}},
        {6, {0x4000, 0x8040, 0x88FF}},
        {7, {0x4000, 0x8080, 0x88FF}},
        {8, {0x1000, 0x4000, 0x8100, 0x84D8, 0x8300, 0x88FF}},
    };
    for (const auto &[depth, maps] : gifRows)
        for (std::int32_t flags : maps)
            for (std::int32_t kind : {0, 1, 2})
                for (std::int32_t mode : {0, 2})
                    for (std::int32_t dither : {0, 1, 2, 4, 8, 16, 32, 64, 256, 512, 1024})
                        EXPECT_NE(PaletteEncoder().SetOptions(kind, mode, depth, flags, dither), 0)
                            << kind << " " << depth << " " << std::hex << flags;
    for (std::int32_t depth : {16, 24})
        for (std::int32_t dither : {0, 1, 1024})
            EXPECT_NE(PaletteEncoder().SetOptions(0, 2, depth, 0x1000, dither), 0);
}

TEST_F(PaletteEncoderTest, RejectsOptionsOutsideTheirTables)
{
    const std::vector<std::array<std::int32_t, 5>> bad{
        {3, 0, 8, 0x4000, 0},  {-1, 0, 8, 0x4000, 0}, {1, 1, 8, 0x4000, 0},  {1, 0, 0, 0x4000, 0},
        {1, 0, 9, 0x4000, 0},  {0, 0, 12, 0x1000, 0}, {0, 0, 32, 0x1000, 0}, {1, 0, 16, 0x1000, 0},
        {2, 0, 24, 0x1000, 0}, {0, 0, 24, 0x4000, 0}, {1, 0, 8, 0x2000, 0},  {1, 0, 8, 0x8003, 0},
        {1, 0, 8, 0x8001, 0},  {1, 0, 3, 0x8210, 0},  {1, 0, 4, 0x84D8, 0},  {1, 0, 7, 0x8300, 0},
        {1, 0, 8, 0x4000, 128}, {1, 0, 8, 0x4000, 3},
    };
    for (const auto &o : bad) {
        PaletteEncoder encoder;
        EXPECT_EQ(encoder.SetOptions(o[0], o[1], o[2], o[3], o[4]), 0)
            << o[0] << " " << o[1] << " " << o[2] << " " << std::hex << o[3] << std::dec << " " << o[4];
        const QString path = sandbox.file("bad.out");
        EXPECT_EQ(encoder.EncodePicture(picture.surface, path, o[0], o[1], o[2], o[3], o[4]), 0);
        EXPECT_FALSE(QFileInfo::exists(path));
    }
}

TEST_F(PaletteEncoderTest, FailuresLeaveNoFileAndKeepAnExistingOne)
{
    PictureSurface empty;
    const QString path = sandbox.file("none.gif");
    EXPECT_EQ(PaletteEncoder().EncodePicture(empty, path, 1, 0, 8, 0x4000, 1), 0);
    EXPECT_FALSE(QFileInfo::exists(path));

    PaletteEncoder unattached;
    EXPECT_EQ(unattached.Process(), 0);
    EXPECT_EQ(unattached.SaveGif(path), 0);
    EXPECT_EQ(unattached.SaveBmp(path), 0);
    EXPECT_FALSE(QFileInfo::exists(path));

    // A GIF cannot hold direct colour.
    PaletteEncoder direct;
    ASSERT_NE(direct.SetOptions(0, 0, 24, 0x1000, 0), 0);
    ASSERT_NE(direct.AttachPicture(picture.surface), 0);
    EXPECT_EQ(direct.SaveGif(path), 0);
    EXPECT_FALSE(QFileInfo::exists(path));

    // Missing folder, a folder in the way.
    EXPECT_EQ(PaletteEncoder().EncodePicture(picture.surface, sandbox.file("no/such/x.gif"), 1, 0,
                                             8, 0x4000, 1),
              0);
    EXPECT_EQ(PaletteEncoder().EncodePicture(picture.surface, sandbox.path(), 0, 0, 8, 0x4000, 1), 0);

    // Wider than a GIF can say (16-bit sizes); a BMP is fine.
    Surface wide(test::makeTestPicture(65536, 1));
    EXPECT_EQ(PaletteEncoder().EncodePicture(wide.surface, path, 1, 0, 8, 0x8100, 0), 0);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_NE(PaletteEncoder().EncodePicture(wide.surface, sandbox.file("wide.bmp"), 0, 0, 8, 0x8100, 0), 0);
    QFile::remove(sandbox.file("wide.bmp"));

    // An existing file survives a failed encode untouched.
    ASSERT_TRUE(sandbox.write("keep.gif", "precious"));
    EXPECT_EQ(PaletteEncoder().EncodePicture(empty, sandbox.file("keep.gif"), 1, 0, 8, 0x4000, 1), 0);
    EXPECT_EQ(sandbox.read("keep.gif"), "precious");

    if (geteuid() != 0) { // root writes into read-only folders anyway
        const QString folder = sandbox.file("locked");
        ASSERT_TRUE(QDir().mkdir(folder));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(PaletteEncoder().EncodePicture(picture.surface, folder + "/x.bmp", 0, 0, 24,
                                                 0x1000, 0),
                  0);
        EXPECT_TRUE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                        .isEmpty());
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // Nothing but the files we meant to keep.
    EXPECT_EQ(QDir(sandbox.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.gif"});
}

TEST_F(PaletteEncoderTest, ReplacesAnExistingFileWhole)
{
    ASSERT_TRUE(sandbox.write("over.gif", QByteArray(100000, 'x')));
    PaletteEncoder encoder;
    ASSERT_NE(encoder.EncodePicture(picture.surface, sandbox.file("over.gif"), 1, 0, 4, 0x8210, 0), 0);
    EXPECT_EQ(test::maxChannelDifference(readWithQt(sandbox.file("over.gif")), shown(encoder)), 0);
    EXPECT_LT(sandbox.read("over.gif").size(), 100000);
}

TEST_F(PaletteEncoderTest, ChainMatchesTheSingleCall)
{
    PaletteEncoder single, chain;
    ASSERT_NE(single.EncodePicture(picture.surface, sandbox.file("a.gif"), 2, 0, 6, 0x4000, 512), 0);
    ASSERT_NE(chain.SetOptions(2, 0, 6, 0x4000, 512), 0);
    ASSERT_NE(chain.AttachPicture(picture.surface, -1, -1, -1, -1), 0);
    ASSERT_NE(chain.Transform(0, 0, 0), 0);
    ASSERT_NE(chain.Process(), 0);
    ASSERT_NE(chain.SaveGifInterlaced(sandbox.file("b.gif")), 0);
    EXPECT_EQ(sandbox.read("a.gif"), sandbox.read("b.gif"));
}

// The GIF writer follows the reduction row by row; when the reduction is
// given up half-way, it gives up too and leaves no file.
TEST(GifWriter, FollowsTheRowsAndGivesUpWithThePicture)
{
    test::Sandbox sandbox;
    QImage picture(16, 16, QImage::Format_Indexed8);
    picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    picture.fill(1);
    for (bool giveUp : {false, true}) {
        const QString path = sandbox.file(giveUp ? "abandoned.gif" : "finished.gif");
        RowProgress progress;
        progress.publish(5);
        bool written = giveUp; // the opposite of what is expected
        std::thread writer([&] { written = writeGif(picture, false, path, &progress); });
        if (giveUp)
            progress.abandon();
        else
            progress.finish();
        writer.join();
        EXPECT_EQ(written, !giveUp);
        EXPECT_EQ(QFileInfo::exists(path), !giveUp);
    }
}

// A GIF that cannot be written says why, in the system's words where the
// system refused, from the writer and from the encoder that drives it.
TEST(GifWriter, FailuresSayWhy)
{
    test::Sandbox sandbox;
    QImage picture(300, 200, QImage::Format_Indexed8);
    picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(9, 99, 199), qRgb(200, 0, 0)});
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.scanLine(y)[x] = uchar((x * 7 + y * 13 + x * y) % 4); // does not shrink much

    QString reason;
    EXPECT_FALSE(writeGif(picture, false, sandbox.file("gone/x.gif"), nullptr, &reason));
    EXPECT_EQ(reason, "no such file or directory");

    {
        test::FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.active());
        EXPECT_FALSE(writeGif(picture, true, sandbox.file("full.gif"), nullptr, &reason));
    }
    EXPECT_EQ(reason, "file too large");
    EXPECT_FALSE(QFileInfo::exists(sandbox.file("full.gif")));

    ASSERT_TRUE(writeGif(picture, false, sandbox.file("fine.gif"), nullptr, &reason));
    EXPECT_TRUE(reason.isEmpty()) << reason.toStdString();

    Surface surface(picture.convertToFormat(QImage::Format_RGB32));
    PaletteEncoder encoder;
    EXPECT_EQ(encoder.EncodePicture(surface.surface, sandbox.file("gone/y.gif"), 1, 0, 2, 0x4000, 0), 0);
    EXPECT_EQ(encoder.failure(), "no such file or directory");
    ASSERT_NE(encoder.EncodePicture(surface.surface, sandbox.file("y.gif"), 1, 0, 2, 0x4000, 0), 0);
    EXPECT_TRUE(encoder.failure().isEmpty());
    ASSERT_NE(encoder.Process(), 0);
    EXPECT_EQ(encoder.SaveGifInterlaced(sandbox.file("gone/z.gif")), 0);
    EXPECT_EQ(encoder.failure(), "no such file or directory");
}

// libimagequant's refusal reaches the caller as words, not as an empty
// palette alone.
TEST(OptimalPalette, ALibimagequantRefusalSaysWhy)
{
    const QImage photo = test::makeTestPicture(64, 64); // more than 256 colours
    QString reason;
    EXPECT_TRUE(optimalPalette(photo, 300, &reason).empty());
    EXPECT_EQ(reason, "the optimal palette could not be made: a setting is out of range");
    EXPECT_TRUE(optimalPalette(photo, 1, &reason).empty());
    EXPECT_EQ(reason, "the optimal palette could not be made: a setting is out of range");

    EXPECT_EQ(optimalPalette(photo, 16, &reason).size(), 16u);
    EXPECT_TRUE(reason.isEmpty()) << reason.toStdString();
}

} // namespace pictrove

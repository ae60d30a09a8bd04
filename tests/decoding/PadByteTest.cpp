// Four-byte pixels whose fourth byte is padding, not alpha: Targa files that
// declare no alpha bits and 32-bit Sun rasters. Read as alpha, their mostly
// zero pad bytes made the pictures vanish into the white that transparency
// is later put on.
#include "LoaderFixtures.h"

#include "decoding/Decoders.h"
#include "decoding/PictureLoader.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

constexpr QRgb red = 0xFFFF0000;
constexpr LoaderTable bothTables[] = {LoaderTable::Preview, LoaderTable::Batch};

std::string describe(const QString &name, LoaderTable table)
{
    return name.toStdString() + (table == LoaderTable::Preview ? " (preview)" : " (batch)");
}

// Every pixel, not a probe or two: a pad byte may vary across the picture.
void expectOpaqueColour(const LoadResult &r, QRgb colour, const std::string &what)
{
    ASSERT_TRUE(r.ok) << what << ": " << r.error.toStdString();
    ASSERT_EQ(r.image.size(), test::fourBytePictureSize) << what;
    EXPECT_FALSE(r.image.hasAlphaChannel()) << what;
    EXPECT_EQ(r.image.format(), QImage::Format_RGB32) << what;
    for (int y = 0; y < r.image.height(); ++y)
        for (int x = 0; x < r.image.width(); ++x)
            ASSERT_EQ(r.image.pixel(x, y), colour)
                << what << " at " << x << "," << y << ": got " << std::hex << r.image.pixel(x, y);
}

class PadByteTest : public testing::Test {
protected:
    void SetUp() override { setLoaderMode(LoaderMode::Sandboxed); }
    void TearDown() override { setLoaderMode(LoaderMode::Sandboxed); }

    QString write(const QString &name, const QByteArray &bytes)
    {
        EXPECT_TRUE(box.write(name, bytes));
        return box.file(name);
    }

    test::Sandbox box;
};

// Pad bytes of 0 (the usual), of 255 and of a value in between, under every
// name the Targa routes take, in the decoder process and in this one.
TEST_F(PadByteTest, TargaDeclaringNoAlphaBitsLoadsOpaqueInBothTables)
{
    for (LoaderMode mode : {LoaderMode::Sandboxed, LoaderMode::InProcess}) {
        setLoaderMode(mode);
        for (int pad : {0, 255, 77}) {
            for (const char *ext : {"tga", "TGA", "vst", "vda", "icb"}) {
                const QString name = QStringLiteral("pad%1.").arg(pad) + QLatin1String(ext);
                const QString path = write(name, test::targa32File(red, pad, 0));
                for (LoaderTable table : bothTables)
                    expectOpaqueColour(loadPicture(path, table), red, describe(name, table));
            }
        }
    }
}

TEST_F(PadByteTest, RunLengthAndColourMappedTargaDeclaringNoAlphaBitsLoadOpaque)
{
    const QString rle = write(u"rle.tga"_qs, test::targa32RunLengthFile(red, 0, 0));
    const QString mapped = write(u"mapped.tga"_qs, test::targaColourMapped32File(red, 0, 0));
    for (LoaderTable table : bothTables) {
        expectOpaqueColour(loadPicture(rle, table), red, describe(u"rle.tga"_qs, table));
        expectOpaqueColour(loadPicture(mapped, table), red, describe(u"mapped.tga"_qs, table));
    }
}

// The fallback routes (the other table's library) run on the same file when
// the first fails, and must read it the same way.
TEST_F(PadByteTest, EveryRouteThatMayReadAPaddedTargaLoadsItOpaque)
{
    const QString path = write(u"pad.tga"_qs, test::targa32File(red, 0, 0));
    for (LoaderTable table : bothTables) {
        const LoaderRoute fallback = fallbackRouteFor(table, u"tga");
        ASSERT_NE(fallback.kind, DecoderKind::None) << describe(u"pad.tga"_qs, table);
        for (const LoaderRoute &route : {routeFor(table, u"tga"), fallback})
            expectOpaqueColour(decodeRoute(route, path, u"tga", {}), red,
                               describe(u"pad.tga"_qs, table));
    }
}

// What the file holds is what the loaders report: the batch's DevIL hands
// over 32 bits, the preview's Targa route reads 24-bit colour.
TEST_F(PadByteTest, PaddedTargaKeepsTheDepthsTheLoadersReport)
{
    const QString path = write(u"pad.tga"_qs, test::targa32File(red, 0, 0));
    EXPECT_EQ(loadPicture(path, LoaderTable::Batch).depth, 32);
    EXPECT_EQ(loadPicture(path, LoaderTable::Preview).depth, 24);
    const QString raster = write(u"pad.ras"_qs, test::sunRaster32File(red, 0, 1));
    for (LoaderTable table : bothTables)
        EXPECT_EQ(loadPicture(raster, table).depth, 32) << describe(u"pad.ras"_qs, table);
}

// Alpha a file declares stays alpha: fully transparent and half transparent
// red. The preview's Targa route reads colour only (24 bits), so there it is
// the colour that must survive.
TEST_F(PadByteTest, TargaDeclaringEightAlphaBitsKeepsItsAlpha)
{
    for (int alpha : {0, 128}) {
        for (const auto &[name, bytes] :
             {std::pair{QStringLiteral("alpha%1.tga").arg(alpha), test::targa32File(red, alpha, 8)},
              std::pair{QStringLiteral("alpha%1-rle.tga").arg(alpha),
                        test::targa32RunLengthFile(red, alpha, 8)}}) {
            const QString path = write(name, bytes);
            const LoadResult batch = loadPicture(path, LoaderTable::Batch);
            ASSERT_TRUE(batch.ok) << name.toStdString() << ": " << batch.error.toStdString();
            EXPECT_TRUE(batch.image.hasAlphaChannel()) << name.toStdString();
            EXPECT_EQ(batch.depth, 32) << name.toStdString();
            for (QPoint at : {QPoint(0, 0), QPoint(7, 3), QPoint(3, 2)}) {
                const QRgb got = batch.image.pixel(at);
                EXPECT_EQ(qAlpha(got), alpha) << name.toStdString() << std::hex << " " << got;
                EXPECT_EQ(got & 0xFFFFFFu, red & 0xFFFFFFu) << name.toStdString() << std::hex << " " << got;
            }
            const LoadResult preview = loadPicture(path, LoaderTable::Preview);
            ASSERT_TRUE(preview.ok) << name.toStdString() << ": " << preview.error.toStdString();
            EXPECT_EQ(preview.image.pixel(3, 2) & 0xFFFFFFu, red & 0xFFFFFFu) << name.toStdString();
        }
    }
}

TEST_F(PadByteTest, SunRasterOf32BitsLoadsOpaqueInBothTables)
{
    for (int type : {1, 3}) {
        for (int pad : {0, 255, 77}) {
            const QString name = QStringLiteral("type%1-pad%2.ras").arg(type).arg(pad);
            const QString path = write(name, test::sunRaster32File(red, pad, type));
            for (LoaderTable table : bothTables)
                expectOpaqueColour(loadPicture(path, table), red, describe(name, table));
        }
    }
}

// The converter reads its sources through the batch table in the decoder
// process; the padded picture must reach the output file red, not white.
TEST_F(PadByteTest, ConverterWritesAPaddedTargaAsItsColours)
{
    const QString source = write(u"red.tga"_qs, test::targa32File(red, 0, 0));
    QDir(box.path()).mkdir(u"out"_qs);
    QProcess convert;
    convert.start(QCoreApplication::applicationDirPath() + u"/pictrove-convert"_qs,
                  {u"-q"_qs, u"-f"_qs, u"BMP-24 bit"_qs, u"-o"_qs, box.file(u"out"_qs), u"-n"_qs,
                   u"pic"_qs, source});
    ASSERT_TRUE(convert.waitForFinished(120000));
    ASSERT_EQ(convert.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
    const QImage written(box.file(u"out/pic1.bmp"_qs));
    ASSERT_FALSE(written.isNull());
    ASSERT_EQ(written.size(), test::fourBytePictureSize);
    for (int y = 0; y < written.height(); ++y)
        for (int x = 0; x < written.width(); ++x)
            ASSERT_EQ(written.pixel(x, y), red) << x << "," << y << std::hex << " " << written.pixel(x, y);
}

} // namespace
} // namespace pictrove

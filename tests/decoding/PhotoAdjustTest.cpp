// Photos come out as they look: the orientation a file names and its colour
// profile are applied right after decoding, in both tables, through the
// decoder process, and a profile that cannot be used is a warning.
#include "Mutants.h"
#include "PhotoFixtures.h"
#include "TestProfiles.h"
#include "VariantFixtures.h"

#include "decoding/PhotoAdjust.h"
#include "decoding/PhotoMetadata.h"
#include "decoding/PictureLoader.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QProcess>

#include <gtest/gtest.h>

#include <random>

namespace pictrove {
namespace {

constexpr LoaderTable bothTables[] = {LoaderTable::Preview, LoaderTable::Batch};

std::string tableName(LoaderTable table)
{
    return table == LoaderTable::Preview ? "preview" : "batch";
}

// Four solid quarters, so that a JPEG's blocks keep each one's colour at
// its middle, and no two quarters alike under any turn or mirror.
QImage quarters(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = width / 2, h = height / 2;
    painter.fillRect(0, 0, w, h, QColor(220, 30, 30));
    painter.fillRect(w, 0, width - w, h, QColor(30, 200, 40));
    painter.fillRect(0, h, w, height - h, QColor(40, 50, 210));
    painter.fillRect(w, h, width - w, height - h, QColor(235, 220, 40));
    return image;
}

// Colours that a profile moves visibly: saturated and mid tones.
QImage colourful(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 255) / std::max(1, width - 1), (y * 255) / std::max(1, height - 1),
                                      ((x + y) * 97) % 256));
    return image;
}

// The middle of each quarter within tolerance of the upright picture's.
void expectQuartersOf(const QImage &got, const QImage &upright, int tolerance, const std::string &what)
{
    ASSERT_EQ(got.size(), upright.size()) << what;
    const int w = upright.width(), h = upright.height();
    for (const QPoint p : {QPoint(w / 4, h / 4), QPoint(3 * w / 4, h / 4), QPoint(w / 4, 3 * h / 4),
                           QPoint(3 * w / 4, 3 * h / 4)}) {
        const QRgb g = got.pixel(p), e = upright.pixel(p);
        const int diff = std::max({std::abs(qRed(g) - qRed(e)), std::abs(qGreen(g) - qGreen(e)),
                                   std::abs(qBlue(g) - qBlue(e))});
        EXPECT_LE(diff, tolerance) << what << " at " << p.x() << "," << p.y() << ": got " << std::hex << g
                                   << " want " << e;
    }
}

class PhotoAdjustTest : public testing::Test {
protected:
    void SetUp() override { setLoaderMode(LoaderMode::Sandboxed); }

    LoadResult load(const QString &name, const QByteArray &bytes, LoaderTable table)
    {
        EXPECT_TRUE(box.write(name, bytes));
        return loadPicture(box.file(name), table);
    }

    // The same file with and without its profile, through one table: the
    // one without gives the samples as stored.
    struct Pair {
        LoadResult tagged;
        LoadResult untagged;
    };
    Pair loadBoth(const QString &extension, const QByteArray &tagged, const QByteArray &untagged,
                  LoaderTable table)
    {
        Pair pair{load(u"tagged."_qs + extension, tagged, table), load(u"untagged."_qs + extension, untagged, table)};
        EXPECT_TRUE(pair.tagged.ok) << pair.tagged.error.toStdString();
        EXPECT_TRUE(pair.untagged.ok) << pair.untagged.error.toStdString();
        return pair;
    }

    test::Sandbox box;
};

TEST(UprightPicture, EachOrientationTurnsTheStoredPictureAsTheTagSays)
{
    const QImage upright = test::makeTestPicture(7, 4);
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
        const QImage picture = upright.convertToFormat(format);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const QImage stored = test::storedForOrientation(picture, orientation).convertToFormat(format);
            const QImage turned = uprightPicture(stored, orientation);
            EXPECT_EQ(turned.format(), format);
            EXPECT_EQ(turned, picture) << "orientation " << orientation;
        }
    }
}

TEST_F(PhotoAdjustTest, JpegsOfAllEightOrientationsArePreviewedAndConvertedUpright)
{
    const QImage upright = quarters(96, 64);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QImage stored = test::storedForOrientation(upright, orientation);
        const QByteArray xmp = test::xmpPacket().replace("xmp:Rating=\"4\"",
            QByteArray("xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" tiff:Orientation=\"")
                + QByteArray::number(orientation) + "\"");
        const QByteArray file = test::jpegWith(stored, {test::exifSegment(test::exifBlock(orientation, orientation % 2)),
                                                        test::xmpSegment(xmp)});
        for (LoaderTable table : bothTables) {
            const std::string what = "orientation " + std::to_string(orientation) + " " + tableName(table);
            const LoadResult r = load(u"turned.jpg"_qs, file, table);
            ASSERT_TRUE(r.ok) << what << ": " << r.error.toStdString();
            expectQuartersOf(r.image, upright, 12, what);
            // What is handed on says the picture is upright now.
            EXPECT_EQ(exifOrientation(r.exif), 1) << what;
            EXPECT_TRUE(r.xmp.contains("tiff:Orientation=\"1\"")) << what;
        }
    }
}

TEST_F(PhotoAdjustTest, ImageMagicksOrientationTagIsReadToo)
{
    // ImageMagick sets the orientation of an EXIF block it is given.
    const QImage upright = quarters(64, 40);
    ASSERT_TRUE(box.write(u"stored.jpg"_qs, test::jpegWith(test::storedForOrientation(upright, 6),
                                                           {test::exifSegment(test::exifBlock(1))})));
    const int status = QProcess::execute(u"convert"_qs, {box.file(u"stored.jpg"_qs), u"-quality"_qs, u"95"_qs,
                                                         u"-orient"_qs, u"RightTop"_qs, box.file(u"im.jpg"_qs)});
    ASSERT_EQ(status, 0) << "ImageMagick's convert is needed";
    ASSERT_EQ(test::identify(box.file(u"im.jpg"_qs), u"%[orientation]"_qs), u"RightTop"_qs);
    for (LoaderTable table : bothTables) {
        const LoadResult r = loadPicture(box.file(u"im.jpg"_qs), table);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        expectQuartersOf(r.image, upright, 12, tableName(table));
    }
}

TEST_F(PhotoAdjustTest, TiffAndPngOrientationsAreAppliedOnceAndExactly)
{
    const QImage upright = test::makeTestPicture(9, 5);
    for (LoaderTable table : bothTables) {
        LoadResult r = load(u"six.tif"_qs, test::tiffWith(test::storedForOrientation(upright, 6), 6), table);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_EQ(r.image.convertToFormat(QImage::Format_RGB32), upright) << tableName(table);
        EXPECT_EQ(exifOrientation(r.exif), 1);
        for (int orientation : {2, 5, 8}) {
            const QByteArray png = test::pngWith(test::storedForOrientation(upright, orientation),
                                                 {{"eXIf", test::exifBlock(orientation)}});
            r = load(u"turned.png"_qs, png, table);
            ASSERT_TRUE(r.ok) << r.error.toStdString();
            EXPECT_EQ(r.image.convertToFormat(QImage::Format_RGB32), upright)
                << "orientation " << orientation << " " << tableName(table);
        }
    }
}

TEST_F(PhotoAdjustTest, AdobeRgbJpegAndDisplayP3PngAreConvertedToSrgbAsLittleCmsDoes)
{
    const QImage picture = colourful(120, 90);
    const QByteArray adobe = test::adobeRgbLikeProfile();
    const QByteArray p3 = test::displayP3Profile();
    ASSERT_FALSE(adobe.isEmpty());
    ASSERT_FALSE(p3.isEmpty());
    const QByteArray plainJpeg = test::jpegWith(picture, {});
    const QByteArray plainPng = test::pngWith(picture, {});
    struct Case {
        QString extension;
        QByteArray tagged, untagged, icc;
    };
    const Case cases[] = {{u"jpg"_qs, test::withSegments(plainJpeg, test::iccSegments(adobe)), plainJpeg, adobe},
                          {u"png"_qs, test::pngWith(picture, {test::iccpChunk(p3)}), plainPng, p3}};
    for (const Case &c : cases)
        for (LoaderTable table : bothTables) {
            const std::string what = c.extension.toStdString() + " " + tableName(table);
            const Pair pair = loadBoth(c.extension, c.tagged, c.untagged, table);
            const QImage reference = test::lcmsToSrgb(pair.untagged.image, c.icc);
            ASSERT_FALSE(reference.isNull()) << what;
            EXPECT_LE(test::maxChannelDifference(pair.tagged.image.convertToFormat(QImage::Format_RGB32), reference), 1)
                << what;
            // The conversion moved the colours: the profile was not ignored.
            EXPECT_GT(test::maxChannelDifference(pair.tagged.image, pair.untagged.image), 20) << what;
            EXPECT_EQ(pair.tagged.warning, QString()) << what;
        }
}

TEST_F(PhotoAdjustTest, SrgbTaggedPicturesAreLeftByteForByte)
{
    const QImage picture = colourful(64, 48);
    const QByteArray srgb = test::srgbProfile();
    const QByteArray plainJpeg = test::jpegWith(picture, {});
    for (LoaderTable table : bothTables) {
        Pair pair = loadBoth(u"jpg"_qs, test::withSegments(plainJpeg, test::iccSegments(srgb)), plainJpeg, table);
        EXPECT_EQ(pair.tagged.image, pair.untagged.image) << tableName(table);
        EXPECT_EQ(pair.tagged.warning, QString());
        pair = loadBoth(u"png"_qs, test::pngWith(picture, {test::iccpChunk(srgb)}), test::pngWith(picture, {}), table);
        EXPECT_EQ(pair.tagged.image, pair.untagged.image) << tableName(table);
        EXPECT_EQ(pair.tagged.image, picture) << tableName(table);
    }
}

TEST_F(PhotoAdjustTest, GreyPicturesGoThroughTheirGreyProfile)
{
    const QImage grey = colourful(64, 48).convertToFormat(QImage::Format_Grayscale8);
    const QByteArray gamma18 = test::greyProfile(1.8);
    const QByteArray plain = test::jpegWith(grey, {});
    for (LoaderTable table : bothTables) {
        const Pair pair = loadBoth(u"jpg"_qs, test::withSegments(plain, test::iccSegments(gamma18)), plain, table);
        const QImage reference = test::lcmsToSrgb(pair.untagged.image, gamma18, true);
        EXPECT_LE(test::maxChannelDifference(pair.tagged.image, reference), 1) << tableName(table);
        EXPECT_GT(test::maxChannelDifference(pair.tagged.image, pair.untagged.image), 5) << tableName(table);
    }
}

TEST_F(PhotoAdjustTest, CmykJpegGoesThroughItsProfileAndWithoutOneIsReadAsBefore)
{
    // Raw CMYK samples, ImageMagick's CMYK JPEG of them, and the samples
    // that JPEG holds as ImageMagick reads them back.
    const int w = 48, h = 32;
    QByteArray samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            samples += char(x * 5);
            samples += char(y * 7);
            samples += char((x + y) * 3);
            samples += char(x < w / 2 ? 0 : 60);
        }
    ASSERT_TRUE(box.write(u"samples.cmyk"_qs, samples));
    const QString size = QStringLiteral("%1x%2").arg(w).arg(h);
    ASSERT_EQ(QProcess::execute(u"convert"_qs, {u"-size"_qs, size, u"-depth"_qs, u"8"_qs,
                                                u"cmyk:"_qs + box.file(u"samples.cmyk"_qs), u"-quality"_qs, u"95"_qs,
                                                box.file(u"plain.jpg"_qs)}),
              0);
    ASSERT_EQ(QProcess::execute(u"convert"_qs, {box.file(u"plain.jpg"_qs), u"-depth"_qs, u"8"_qs,
                                                u"cmyk:"_qs + box.file(u"stored.cmyk"_qs)}),
              0);
    const QByteArray plain = box.read(u"plain.jpg"_qs);
    const QByteArray stored = box.read(u"stored.cmyk"_qs);
    ASSERT_EQ(readPhotoMetadata(box.file(u"plain.jpg"_qs)).colour, StoredColour::Cmyk);
    const QByteArray press = test::cmykProfile();
    ASSERT_GT(press.size(), 65519) << "the profile should take several chunks";
    const QImage reference = test::lcmsCmykToSrgb(stored, w, h, press);
    ASSERT_FALSE(reference.isNull());
    const QByteArray tagged = test::withSegments(plain, test::iccSegments(press));
    const QImage before = QImageReader(box.file(u"plain.jpg"_qs)).read().convertToFormat(QImage::Format_RGB32);
    for (LoaderTable table : bothTables) {
        const Pair pair = loadBoth(u"jpg"_qs, tagged, plain, table);
        EXPECT_LE(test::maxChannelDifference(pair.tagged.image, reference), 1) << tableName(table);
        EXPECT_GT(test::maxChannelDifference(pair.tagged.image, pair.untagged.image), 20) << tableName(table);
        EXPECT_EQ(pair.tagged.warning, QString());
        EXPECT_EQ(pair.untagged.warning, QString());
        if (table == LoaderTable::Batch) {
            EXPECT_EQ(pair.untagged.image, before);
        }
    }
}

TEST_F(PhotoAdjustTest, CmykTiffGoesThroughItsProfileAndItsOrientation)
{
    const int w = 40, h = 24;
    QByteArray samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            samples += char(x * 6);
            samples += char(y * 9);
            samples += char(200 - x * 4);
            samples += char(x < w / 2 ? 10 : 90);
        }
    const QByteArray press = test::cmykProfile();
    ASSERT_TRUE(box.write(u"samples.cmyk"_qs, samples));
    ASSERT_TRUE(box.write(u"press.icc"_qs, press));
    const QImage reference = test::lcmsCmykToSrgb(samples, w, h, press);
    ASSERT_FALSE(reference.isNull());
    // ImageMagick embeds the profile as it is, and -orient only sets the tag.
    for (const char *orient : {"TopLeft", "RightTop"}) {
        const QString name = QString::fromLatin1(orient) + u".tif"_qs;
        ASSERT_EQ(QProcess::execute(u"convert"_qs,
                                    {u"-size"_qs, QStringLiteral("%1x%2").arg(w).arg(h), u"-depth"_qs, u"8"_qs,
                                     u"cmyk:"_qs + box.file(u"samples.cmyk"_qs), u"-profile"_qs,
                                     box.file(u"press.icc"_qs), u"-orient"_qs, QString::fromLatin1(orient),
                                     box.file(name)}),
                  0);
        const int orientation = qstrcmp(orient, "TopLeft") == 0 ? 1 : 6;
        for (LoaderTable table : bothTables) {
            const LoadResult r = loadPicture(box.file(name), table);
            ASSERT_TRUE(r.ok) << r.error.toStdString();
            EXPECT_LE(test::maxChannelDifference(r.image, uprightPicture(reference, orientation)), 1)
                << orient << " " << tableName(table);
            EXPECT_EQ(r.warning, QString());
        }
    }
}

TEST_F(PhotoAdjustTest, ProfilesThatCannotBeUsedLeaveTheColoursAsStoredWithAWarning)
{
    const QImage picture = colourful(64, 48);
    const QByteArray plain = test::jpegWith(picture, {});
    QByteArray garbage(3000, '\0');
    for (qsizetype i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 131) ^ (i >> 3));
    auto chunks = test::iccSegments(test::adobeRgbLikeProfile(), 200);
    chunks.pop_back();
    const struct {
        const char *what;
        QByteArray file;
        QString warning;
    } cases[] = {
        {"garbage", test::withSegments(plain, test::iccSegments(garbage)), damagedProfileWarning()},
        {"missing chunk", test::withSegments(plain, chunks), damagedProfileWarning()},
        {"CMYK profile on RGB", test::withSegments(plain, test::iccSegments(test::cmykProfile())),
         unusableProfileWarning()},
        {"grey profile on RGB", test::withSegments(plain, test::iccSegments(test::greyProfile(2.2))),
         unusableProfileWarning()},
    };
    for (const auto &c : cases)
        for (LoaderTable table : bothTables) {
            const std::string what = std::string(c.what) + " " + tableName(table);
            const Pair pair = loadBoth(u"jpg"_qs, c.file, plain, table);
            EXPECT_EQ(pair.tagged.image, pair.untagged.image) << what;
            EXPECT_EQ(pair.tagged.warning, c.warning) << what;
        }
}

// Damaged profiles of every kind, as a hostile file would carry them: the
// picture always comes, as converted or as stored with a warning.
TEST_F(PhotoAdjustTest, MutatedProfilesNeverCostThePicture)
{
    const QImage picture = colourful(24, 16);
    const QByteArray plain = test::jpegWith(picture, {});
    const QByteArray profiles[] = {test::adobeRgbLikeProfile(), test::greyProfile(1.8), test::cmykProfile(),
                                   test::displayP3Profile()};
    std::mt19937 random(20261210u);
    int warned = 0, loads = 0;
    for (const QByteArray &icc : profiles)
        for (int i = 0; i < 60; ++i) {
            const QByteArray mutant = test::mutate(icc, random);
            const LoadResult r = load(u"mutant.jpg"_qs, test::withSegments(plain, test::iccSegments(mutant)),
                                      i % 2 ? LoaderTable::Batch : LoaderTable::Preview);
            ASSERT_TRUE(r.ok) << "mutant " << i << ": " << r.error.toStdString();
            EXPECT_EQ(r.image.size(), picture.size());
            warned += !r.warning.isEmpty();
            ++loads;
        }
    // Most mutants are refused; some still make a profile.
    EXPECT_GT(warned, loads / 4);
}

TEST_F(PhotoAdjustTest, ConverterWritesATaggedTurnedJpegAsAnUprightSrgbPng)
{
    const QImage upright = colourful(80, 50);
    const QByteArray adobe = test::adobeRgbLikeProfile();
    const QByteArray plain = test::jpegWith(test::storedForOrientation(upright, 6), {}, 100);
    ASSERT_TRUE(box.write(u"photo.jpg"_qs,
                          test::withSegments(plain, [&] {
                              auto segments = test::iccSegments(adobe);
                              segments.insert(segments.begin(), test::exifSegment(test::exifBlock(6)));
                              return segments;
                          }())));
    ASSERT_TRUE(box.write(u"plain.jpg"_qs, plain));
    ASSERT_TRUE(QDir(box.path()).mkdir(u"out"_qs));
    QProcess convert;
    convert.start(QCoreApplication::applicationDirPath() + u"/pictrove-convert"_qs,
                  {u"-f"_qs, u"PNG-24 bit"_qs, u"-o"_qs, box.file(u"out"_qs), u"-n"_qs, u"photo"_qs,
                   box.file(u"photo.jpg"_qs)});
    ASSERT_TRUE(convert.waitForFinished(120000));
    ASSERT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
    const QImage written(box.file(u"out/photo1.png"_qs));
    ASSERT_EQ(written.size(), upright.size());
    // The batch table reads JPEGs with Qt: the stored samples as it reads them.
    const LoadResult stored = loadPicture(box.file(u"plain.jpg"_qs), LoaderTable::Batch);
    ASSERT_TRUE(stored.ok);
    const QImage reference = uprightPicture(test::lcmsToSrgb(stored.image, adobe), 6);
    EXPECT_LE(test::maxChannelDifference(written.convertToFormat(QImage::Format_RGB32), reference), 1);
}

} // namespace
} // namespace pictrove

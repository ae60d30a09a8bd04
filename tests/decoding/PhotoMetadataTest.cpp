// The EXIF block, the XMP packet and the colour profile read from JPEG,
// PNG, TIFF and WebP files: what comes back is what was embedded, through
// the decoder process; damaged and hostile containers end cleanly.
#include "Mutants.h"
#include "PhotoFixtures.h"

#include "decoding/PhotoMetadata.h"
#include "decoding/PictureLoader.h"
#include "TestSupport.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace pictrove {
namespace {

PhotoMetadata metadataOf(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readPhotoMetadata(buffer);
}

// Bytes that look like a profile to the reader (it is not checked here).
QByteArray fakeProfile(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

class PhotoMetadataTest : public testing::Test {
protected:
    void SetUp() override { setLoaderMode(LoaderMode::Sandboxed); }

    // Loaded through both tables in the decoder process.
    void expectCarried(const QString &name, const QByteArray &bytes, const QByteArray &exif,
                       const QByteArray &xmp)
    {
        ASSERT_TRUE(box.write(name, bytes));
        for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
            const LoadResult r = loadPicture(box.file(name), table);
            ASSERT_TRUE(r.ok) << name.toStdString() << ": " << r.error.toStdString();
            EXPECT_EQ(r.exif, exif) << name.toStdString();
            EXPECT_EQ(r.xmp, xmp) << name.toStdString();
            EXPECT_EQ(r.warning, QString()) << name.toStdString();
        }
    }

    test::Sandbox box;
    const QImage picture = test::makeTestPicture(40, 30);
};

TEST_F(PhotoMetadataTest, JpegExifInBothByteOrdersAndXmpComeBackAsEmbedded)
{
    for (bool bigEndian : {false, true}) {
        const QByteArray exif = test::exifBlock(1, bigEndian);
        const QByteArray file = test::jpegWith(picture, {test::exifSegment(exif), test::xmpSegment(test::xmpPacket())});
        expectCarried(bigEndian ? u"big.jpg"_qs : u"little.jpg"_qs, file, exif, test::xmpPacket());
    }
    // A JPEG without either gives neither.
    expectCarried(u"plain.jpg"_qs, test::jpegWith(picture, {}), {}, {});
}

TEST_F(PhotoMetadataTest, PngExifChunkAndPlainOrCompressedXmpComeBackAsEmbedded)
{
    const QByteArray exif = test::exifBlock(1);
    for (bool compressed : {false, true}) {
        const QByteArray file = test::pngWith(picture, {{"eXIf", exif}, test::xmpChunk(test::xmpPacket(), compressed)});
        expectCarried(compressed ? u"deflated.png"_qs : u"plain.png"_qs, file, exif, test::xmpPacket());
    }
}

TEST_F(PhotoMetadataTest, TiffCameraFieldsBecomeAnExifBlockThatOtherToolsRead)
{
    test::CameraFields fields;
    fields.model = "Field Camera 4x5";
    const QByteArray file = test::tiffWith(picture, 1, {}, test::xmpPacket(), fields);
    ASSERT_TRUE(box.write(u"camera.tif"_qs, file));
    const LoadResult r = loadPicture(box.file(u"camera.tif"_qs), LoaderTable::Batch);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.xmp, test::xmpPacket());
    ASSERT_FALSE(r.exif.isEmpty());
    // Far smaller than the file: the directories, not the pixels.
    EXPECT_LT(r.exif.size(), 400);

    // ImageMagick reads the block as any camera's once it is in a JPEG.
    ASSERT_TRUE(box.write(u"carried.jpg"_qs, test::jpegWith(picture, {test::exifSegment(r.exif)})));
    QString error;
    const QString seen = test::identify(box.file(u"carried.jpg"_qs),
                                        u"%[EXIF:Make]|%[EXIF:Model]|%[EXIF:DateTimeOriginal]"_qs, &error);
    EXPECT_EQ(seen, u"Tevalen|Field Camera 4x5|2024:05:17 09:41:26"_qs) << error.toStdString();
}

TEST(PhotoMetadata, WebPChunksAreReadWithOrWithoutTheExifPrefix)
{
    const QByteArray exif = test::exifBlock(6, true);
    const QByteArray icc = fakeProfile(301); // odd: the chunk is padded
    for (bool prefixed : {false, true}) {
        const QByteArray stored = prefixed ? QByteArray("Exif\0\0", 6) + exif : exif;
        const PhotoMetadata m = metadataOf(test::webpWith({{"ICCP", icc}, {"EXIF", stored}, {"XMP ", test::xmpPacket()}}));
        EXPECT_EQ(m.container, PhotoContainer::WebP);
        EXPECT_EQ(m.exif, exif);
        EXPECT_EQ(m.xmp, test::xmpPacket());
        EXPECT_EQ(m.icc, icc);
        EXPECT_FALSE(m.iccDamaged);
        EXPECT_EQ(m.orientation, 6);
    }
}

TEST(PhotoMetadata, ProfilesAreReassembledFromJpegChunksInTheirOwnOrderOrReportedDamaged)
{
    const QImage picture = test::makeTestPicture(8, 8);
    const QByteArray icc = fakeProfile(150000);
    std::vector<QByteArray> chunks = test::iccSegments(icc, 40000);
    ASSERT_EQ(chunks.size(), 4u);
    // Written out of order: the chunks' own numbers decide.
    std::swap(chunks[0], chunks[2]);
    PhotoMetadata m = metadataOf(test::jpegWith(picture, chunks));
    EXPECT_EQ(m.icc, icc);
    EXPECT_FALSE(m.iccDamaged);
    EXPECT_EQ(m.colour, StoredColour::Rgb);

    auto missing = chunks;
    missing.erase(missing.begin() + 1);
    m = metadataOf(test::jpegWith(picture, missing));
    EXPECT_TRUE(m.icc.isEmpty());
    EXPECT_TRUE(m.iccDamaged);

    auto twice = chunks;
    twice[1] = twice[0];
    m = metadataOf(test::jpegWith(picture, twice));
    EXPECT_TRUE(m.iccDamaged);

    // PNG: deflated; a chunk that does not inflate is a damaged profile.
    m = metadataOf(test::pngWith(picture, {test::iccpChunk(icc)}));
    EXPECT_EQ(m.icc, icc);
    EXPECT_FALSE(m.iccDamaged);
    m = metadataOf(test::pngWith(picture, {{"iCCP", QByteArray("p\0\0not deflate", 14)}}));
    EXPECT_TRUE(m.icc.isEmpty());
    EXPECT_TRUE(m.iccDamaged);

    // TIFF: as stored in its tag.
    m = metadataOf(test::tiffWith(picture, 1, icc));
    EXPECT_EQ(m.icc, icc);
    EXPECT_EQ(m.colour, StoredColour::Rgb);
}

TEST(PhotoMetadata, ColourModelOfTheStoredSamples)
{
    const QImage colour = test::makeTestPicture(8, 8);
    EXPECT_EQ(metadataOf(test::jpegWith(colour, {})).colour, StoredColour::Rgb);
    EXPECT_EQ(metadataOf(test::jpegWith(colour.convertToFormat(QImage::Format_Grayscale8), {})).colour,
              StoredColour::Grey);
    EXPECT_EQ(metadataOf(test::pngWith(colour.convertToFormat(QImage::Format_Grayscale8), {})).colour,
              StoredColour::Grey);
    EXPECT_EQ(metadataOf(test::pngWith(colour.convertToFormat(QImage::Format_Indexed8), {})).colour,
              StoredColour::Rgb);
    EXPECT_EQ(metadataOf(QByteArray("not a picture at all")).container, PhotoContainer::None);
}

TEST(PhotoMetadata, EveryOrientationInEitherByteOrderAndTurningItUpright)
{
    for (bool bigEndian : {false, true})
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const QByteArray exif = test::exifBlock(orientation, bigEndian);
            EXPECT_EQ(exifOrientation(exif), orientation);
            const QByteArray upright = exifSetUpright(exif);
            EXPECT_EQ(exifOrientation(upright), 1);
            // Only the value changed, everything else is as it was.
            ASSERT_EQ(upright.size(), exif.size());
            int changed = 0;
            for (qsizetype i = 0; i < exif.size(); ++i)
                changed += exif[i] != upright[i];
            EXPECT_EQ(changed, orientation == 1 ? 0 : 1);
        }
    EXPECT_EQ(exifOrientation(test::exifBlock(0)), 1);
    EXPECT_EQ(exifOrientation(test::exifBlock(9)), 1);
    EXPECT_EQ(exifSetUpright(test::exifBlock(0)), test::exifBlock(0));
    EXPECT_EQ(exifOrientation(QByteArray("MM\0\x2A\xFF\xFF\xFF\xF0", 8)), 1);
}

// Every prefix and many mutants of each container: the reader ends, and
// whatever it returns stays within its limits.
TEST(PhotoMetadata, TruncatedAndMutatedContainersEndCleanly)
{
    const QImage picture = test::makeTestPicture(16, 12);
    const QByteArray icc = fakeProfile(3000);
    const QByteArray exif = test::exifBlock(6);
    const std::vector<QByteArray> files{
        test::jpegWith(picture, [&] {
            auto segments = test::iccSegments(icc, 1000);
            segments.push_back(test::exifSegment(exif));
            segments.push_back(test::xmpSegment(test::xmpPacket()));
            return segments;
        }()),
        test::pngWith(picture, {{"eXIf", exif}, test::iccpChunk(icc), test::xmpChunk(test::xmpPacket(), true)}),
        test::tiffWith(picture, 6, icc, test::xmpPacket()),
        test::webpWith({{"ICCP", icc}, {"EXIF", exif}, {"XMP ", test::xmpPacket()}}),
    };
    std::mt19937 random(20261209u);
    for (const QByteArray &file : files) {
        const PhotoMetadata whole = metadataOf(file);
        EXPECT_EQ(whole.orientation, 6);
        EXPECT_FALSE(whole.exif.isEmpty());
        EXPECT_EQ(whole.xmp, test::xmpPacket());
        for (qsizetype length = 0; length < std::min<qsizetype>(file.size(), 12000); ++length) {
            const PhotoMetadata m = metadataOf(file.left(length));
            EXPECT_LE(m.icc.size(), icc.size());
            EXPECT_GE(m.orientation, 1);
            EXPECT_LE(m.orientation, 8);
        }
        for (int i = 0; i < 20000; ++i) {
            const QByteArray mutant = test::mutate(file, random);
            const PhotoMetadata m = metadataOf(mutant);
            EXPECT_GE(m.orientation, 1);
            EXPECT_LE(m.orientation, 8);
            EXPECT_LE(m.exif.size(), 1024 * 1024);
            // The EXIF reader on what came back, and on garbage as a block.
            EXPECT_EQ(exifOrientation(exifSetUpright(m.exif)), 1);
            exifOrientation(mutant);
            exifSetUpright(mutant.mid(8));
        }
    }
}

} // namespace
} // namespace pictrove

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/conversion/BatchWorker.h"
#include "engine/conversion/PreviewEncoder.h"
#include "workflow/options/OutputSettingsController.h"

#include "CameraFixtures.h"
#include "TestSupport.h"

#include <QFile>
#include <QImageReader>

#include <gtest/gtest.h>

using namespace pictrove;

namespace {

constexpr int Gif256 = 7;
constexpr int Png24 = 14;
constexpr int JpegGood = 18;
constexpr int Pcx24 = 22;

struct Resizing {
    OutputSettingsController options;
    ConversionContext context;

    Resizing() { options.fillOptionLists(60); }
    ConversionContext &with(int row, const ResizeSetting &resize)
    {
        options.selectFormat(row);
        context.options = options.encodingOptions();
        context.options.resize = resize;
        return context;
    }
    FileResult batch(int row, const ResizeSetting &resize, const QString &path)
    {
        ConversionContext &c = with(row, resize);
        return isJpegRow(row) ? EncodeBatchJpeg(c, path, 80, 1) : EncodeBatchImage(c, path, 1);
    }
};

ResizeSetting longest(int side)
{
    ResizeSetting s;
    s.mode = ResizeMode::LongestSide;
    s.side = side;
    return s;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QSize sizeOf(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.size();
}

} // namespace

// Original, and a setting that leaves the size as it is, write exactly the
// file written without any resize setting.
TEST(ResizePipeline, UnchangedSizesWriteTheSameBytes)
{
    test::Sandbox box;
    Resizing r;
    ResizeSetting original;
    original.side = 7;
    original.percent = 3;
    ResizeSetting notEnlarged = longest(4000);
    ResizeSetting sameSize = longest(400);
    for (int row : {Gif256, Png24, JpegGood, Pcx24}) {
        SCOPED_TRACE(row);
        r.context.source.setPicture(test::makeTestPicture(400, 300));
        ASSERT_EQ(r.batch(row, ResizeSetting{}, box.file("plain")).status, FileStatus::Written);
        const QByteArray plain = bytesOf(box.file("plain"));
        ASSERT_FALSE(plain.isEmpty());
        for (const ResizeSetting &s : {original, notEnlarged, sameSize}) {
            r.context.source.setPicture(test::makeTestPicture(400, 300));
            ASSERT_EQ(r.batch(row, s, box.file("again")).status, FileStatus::Written);
            EXPECT_EQ(bytesOf(box.file("again")), plain);
        }
    }
}

TEST(ResizePipeline, TheBatchWritesEveryRouteAtTheNewSize)
{
    test::Sandbox box;
    Resizing r;
    for (int row : {Gif256, Png24, JpegGood, Pcx24}) {
        SCOPED_TRACE(row);
        r.context.source.setPicture(test::makeTestPicture(400, 300));
        const QString out = box.file(QStringLiteral("r%1").arg(row));
        ASSERT_EQ(r.batch(row, longest(100), out).status, FileStatus::Written);
        if (row != Pcx24) {
            EXPECT_EQ(sizeOf(out), QSize(100, 75));
        }
    }
}

TEST(ResizePipeline, TheBatchUsesTheFileSizeOfAPictureDecodedSmaller)
{
    // A JPEG decoded at half its size for a resize: the target comes from
    // the file's 800 x 600, not from the 400 x 300 handed over.
    test::Sandbox box;
    Resizing r;
    r.context.source.setPicture(test::makeTestPicture(400, 300));
    r.context.sourceFullSize = QSize(800, 600);
    ResizeSetting half;
    half.mode = ResizeMode::Percent;
    half.percent = 25;
    ASSERT_EQ(r.batch(Png24, half, box.file("q.png")).status, FileStatus::Written);
    EXPECT_EQ(sizeOf(box.file("q.png")), QSize(200, 150));
}

TEST(ResizePipeline, ATargetTooLargeFailsThatFileAlone)
{
    test::Sandbox box;
    Resizing r;
    r.context.source.setPicture(test::makeTestPicture(4000, 3000));
    ResizeSetting huge;
    huge.mode = ResizeMode::Percent;
    huge.percent = 1000;
    huge.neverEnlarge = false;
    const FileResult result = r.batch(Png24, huge, box.file("huge.png"));
    EXPECT_EQ(result.status, FileStatus::Failed);
    EXPECT_TRUE(result.reason.contains(QStringLiteral("too large"))) << result.reason.toStdString();
    EXPECT_FALSE(QFile::exists(box.file("huge.png")));
}

TEST(ResizePipeline, ThePreviewShowsAndLabelsTheResizedPicture)
{
    test::Sandbox box;
    Resizing r;
    for (int row : {Gif256, Png24, Pcx24}) {
        SCOPED_TRACE(row);
        r.context.original.setPicture(test::makeTestPicture(300, 400));
        const PreviewResult result = EncodePreview(r.with(row, longest(200)), box.file("p"), 0);
        ASSERT_TRUE(result.labels.has_value()) << result.file.reason.toStdString();
        EXPECT_EQ(r.context.optimized.clientSize(), QSize(150, 200));
        EXPECT_EQ(result.labels->Resolution4, QStringLiteral("150 x 200"));
    }
    r.context.original.setPicture(test::makeTestPicture(300, 400));
    const PreviewResult jpeg = EncodePreviewJpeg(r.with(JpegGood, ResizeSetting{}), box.file("p"), 80, 0);
    ASSERT_TRUE(jpeg.labels.has_value());
    EXPECT_EQ(jpeg.labels->Resolution4, QStringLiteral("300 x 400"));
}

// A camera's portrait photo stored on its side (orientation 6) comes out
// upright at the resized size, whatever scale the decoder read it at.
TEST(ResizePipeline, ARotatedPhotoIsResizedUpright)
{
    test::Sandbox box;
    const QImage stored = test::makeTestPicture(800, 600);
    QFile file(box.file("camera.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(test::cameraJpeg(stored, test::exifBlock()));
    file.close();
    for (const int side : {200, 500}) { // a half scale, and none
        SCOPED_TRACE(side);
        Resizing r;
        r.options.selectFormat(JpegGood);
        r.context.options = r.options.encodingOptions();
        r.context.options.resize = longest(side);
        ASSERT_TRUE(LoadBatchSource(r.context, box.file("camera.jpg"))) << r.context.sourceError.toStdString();
        const QString out = box.file(QStringLiteral("upright%1.jpg").arg(side));
        ASSERT_EQ(EncodeBatchJpeg(r.context, out, 80, 1).status, FileStatus::Written);
        EXPECT_EQ(sizeOf(out), QSize(side * 3 / 4, side));
    }
}

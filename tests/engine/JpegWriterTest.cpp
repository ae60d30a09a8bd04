#include "decoding/FreeImageHandles.h"
#include "engine/core/FreeImageBridge.h"
#include "engine/core/FreeImageSave.h"
#include "engine/core/JpegWriter.h"
#include "TestSupport.h"

#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

// A picture with edges, gradients and noise: every part of the encoder at work.
QImage testPicture(int width, int height, quint32 seed)
{
    QImage picture(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(40));
            line[x] = qRgb((x * 255 / std::max(1, width - 1) + noise) & 0xFF,
                           (y * 255 / std::max(1, height - 1)) & 0xFF,
                           ((x / 7 + y / 5) % 2) * 200 + noise);
        }
    }
    return picture;
}

// What FreeImage's writer makes of the picture as a fresh 24-bit bitmap.
QByteArray throughFreeImage(const QImage &picture, int flags, const QString &path)
{
    FiBitmap dib(FreeImage_Allocate(picture.width(), picture.height(), 24));
    for (int y = 0; y < picture.height(); ++y)
        FreeImage_ConvertLine32To24(FreeImage_GetScanLine(dib.get(), picture.height() - 1 - y),
                                    const_cast<BYTE *>(picture.constScanLine(y)), picture.width());
    if (!saveBitmapChecked(FIF_JPEG, dib.get(), path, flags))
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(JpegWriter, WritesTheFileFreeImageWritesOfTheSameRows)
{
    bridge::FreeImageScope scope;
    test::Sandbox box;
    const QList<QSize> sizes{{1, 1}, {17, 9}, {333, 250}, {1024, 31}};
    const QList<int> flags{60, 1, 99, 100, 0, JPEG_QUALITYBAD, JPEG_QUALITYAVERAGE,
                           JPEG_QUALITYNORMAL, JPEG_QUALITYGOOD, JPEG_QUALITYSUPERB};
    quint32 seed = 1;
    for (const QSize size : sizes) {
        const QImage picture = testPicture(size.width(), size.height(), seed++);
        for (const int flag : flags) {
            SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " flags " << flag);
            const QByteArray expected = throughFreeImage(picture, flag, box.file(u"theirs.jpg"_qs));
            ASSERT_FALSE(expected.isEmpty());
            ASSERT_EQ(writeJpegRows(picture, flag, box.file(u"ours.jpg"_qs)), JpegWrite::Written);
            EXPECT_EQ(box.read(u"ours.jpg"_qs), expected);
        }
    }
}

TEST(JpegWriter, LeavesOtherSettingsToFreeImageAndFailsCleanly)
{
    test::Sandbox box;
    const QImage picture = testPicture(40, 30, 7);
    for (const int flag : {60 | JPEG_PROGRESSIVE, 60 | JPEG_OPTIMIZE, 60 | JPEG_BASELINE,
                           75 | JPEG_SUBSAMPLING_444})
        EXPECT_EQ(writeJpegRows(picture, flag, box.file(u"x.jpg"_qs)), JpegWrite::NotHandled);
    EXPECT_EQ(writeJpegRows(picture.convertToFormat(QImage::Format_RGB888), 60, box.file(u"x.jpg"_qs)),
              JpegWrite::NotHandled);
    EXPECT_FALSE(QFile::exists(box.file(u"x.jpg"_qs)));

    // A folder that is not there: a failure, and no file.
    EXPECT_EQ(writeJpegRows(picture, 60, box.file(u"gone/x.jpg"_qs)), JpegWrite::Failed);
    EXPECT_FALSE(QFile::exists(box.file(u"gone/x.jpg"_qs)));

    // What a finishing step makes of the file is what is written.
    ASSERT_EQ(writeJpegRows(picture, 60, box.file(u"y.jpg"_qs),
                            [](const QByteArray &bytes) { return bytes + "tail"; }),
              JpegWrite::Written);
    EXPECT_TRUE(box.read(u"y.jpg"_qs).endsWith("tail"));
    EXPECT_EQ(writeJpegRows(picture, 60, box.file(u"z.jpg"_qs), [](const QByteArray &) { return QByteArray(); }),
              JpegWrite::Failed);
}

} // namespace
} // namespace pictrove

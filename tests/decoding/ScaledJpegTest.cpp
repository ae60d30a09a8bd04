#include "PhotoFixtures.h"
#include "TestProfiles.h"

#include "decoding/PictureLoader.h"
#include "decoding/ResizeTarget.h"
#include "TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace pictrove;

namespace {

ResizeSetting longest(int side)
{
    ResizeSetting s;
    s.mode = ResizeMode::LongestSide;
    s.side = side;
    return s;
}

class ScaledJpeg : public testing::Test {
protected:
    void SetUp() override { setLoaderMode(LoaderMode::Sandboxed); }
    void TearDown() override { setLoaderMode(LoaderMode::Sandboxed); }

    LoadResult load(const QString &name, const ResizeSetting &resize, LoaderTable table)
    {
        return loadPicture(box.file(name), QStringLiteral("jpg"), table, nullptr, nullptr, resize);
    }

    test::Sandbox box;
};

} // namespace

// libjpeg's scales are 1/2, 1/4 and 1/8: the smallest one that still gives
// half as much again as the target, in both tables and in the decoder or
// in process.
TEST_F(ScaledJpeg, AShrinkToAThirdOrLessIsDecodedAtASmallerScale)
{
    ASSERT_TRUE(box.write(QStringLiteral("p.jpg"), test::jpegWith(test::makeTestPicture(800, 600), {})));
    const struct {
        int side;
        QSize decoded;
    } cases[] = {{801, {800, 600}}, {400, {800, 600}}, {267, {800, 600}}, {266, {400, 300}},
                 {134, {400, 300}}, {133, {200, 150}}, {67, {200, 150}}, {66, {100, 75}},
                 {1, {100, 75}}};
    for (const LoaderMode mode : {LoaderMode::Sandboxed, LoaderMode::InProcess}) {
        setLoaderMode(mode);
        for (const LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
            for (const auto &c : cases) {
                SCOPED_TRACE(c.side);
                const LoadResult r = load(QStringLiteral("p.jpg"), longest(c.side), table);
                ASSERT_TRUE(r.ok) << r.error.toStdString();
                EXPECT_EQ(r.image.size(), c.decoded);
                EXPECT_EQ(r.fullSize, c.decoded == QSize(800, 600) ? QSize() : QSize(800, 600));
            }
        }
    }
    // Original size decodes the whole picture, exactly as without a resize.
    const LoadResult whole = load(QStringLiteral("p.jpg"), ResizeSetting{}, LoaderTable::Batch);
    const LoadResult plain = loadPicture(box.file(QStringLiteral("p.jpg")), LoaderTable::Batch);
    ASSERT_TRUE(whole.ok);
    EXPECT_EQ(whole.image, plain.image);
    EXPECT_FALSE(whole.fullSize.isValid());
}

// Stored on its side, the photo's full size is handed over upright, as its
// pixels are.
TEST_F(ScaledJpeg, TheFullSizeOfATurnedPhotoIsUpright)
{
    ASSERT_TRUE(box.write(QStringLiteral("turned.jpg"),
                          test::jpegWith(test::makeTestPicture(800, 600),
                                         {test::exifSegment(test::exifBlock(6))})));
    ResizeSetting box300;
    box300.mode = ResizeMode::Fit;
    box300.width = 200;
    box300.height = 200;
    const LoadResult r = load(QStringLiteral("turned.jpg"), box300, LoaderTable::Batch);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.image.size(), QSize(300, 400));
    EXPECT_EQ(r.fullSize, QSize(600, 800));
}

// A CMYK JPEG's samples, read again for its profile, are read at the same
// scale as its picture: the profile is still applied.
TEST_F(ScaledJpeg, ACmykJpegWithAProfileIsScaledWithItsSamples)
{
    const int w = 96, h = 64;
    QByteArray samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (const int v : {x * 2, y * 3, x + y, x < w / 2 ? 0 : 60})
                samples += char(v);
    ASSERT_TRUE(box.write(QStringLiteral("samples.cmyk"), samples));
    ASSERT_EQ(QProcess::execute(QStringLiteral("convert"),
                                {QStringLiteral("-size"), QStringLiteral("%1x%2").arg(w).arg(h),
                                 QStringLiteral("-depth"), QStringLiteral("8"),
                                 QStringLiteral("cmyk:") + box.file(QStringLiteral("samples.cmyk")),
                                 box.file(QStringLiteral("plain.jpg"))}),
              0);
    ASSERT_TRUE(box.write(QStringLiteral("cmyk.jpg"),
                          test::withSegments(box.read(QStringLiteral("plain.jpg")),
                                             test::iccSegments(test::cmykProfile()))));
    const LoadResult r = load(QStringLiteral("cmyk.jpg"), longest(30), LoaderTable::Batch);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.image.size(), QSize(48, 32));
    EXPECT_EQ(r.fullSize, QSize(w, h));
    EXPECT_EQ(r.warning, QString()); // the profile was used
}

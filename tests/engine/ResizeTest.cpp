#include "decoding/ResizeTarget.h"
#include "engine/core/Resample.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pictrove {

namespace {

ResizeSetting longest(int side, bool neverEnlarge = true)
{
    ResizeSetting s;
    s.mode = ResizeMode::LongestSide;
    s.side = side;
    s.neverEnlarge = neverEnlarge;
    return s;
}

ResizeSetting fit(int width, int height, bool neverEnlarge = true)
{
    ResizeSetting s;
    s.mode = ResizeMode::Fit;
    s.width = width;
    s.height = height;
    s.neverEnlarge = neverEnlarge;
    return s;
}

ResizeSetting percent(int p, bool neverEnlarge = true)
{
    ResizeSetting s;
    s.mode = ResizeMode::Percent;
    s.percent = p;
    s.neverEnlarge = neverEnlarge;
    return s;
}

const QSize landscape(4000, 3000);
const QSize portrait(3000, 4000);
const QSize square(1000, 1000);

} // namespace

TEST(ResizedSize, OriginalAndEmptyPicturesKeepTheirSize)
{
    ResizeSetting original; // the default
    original.side = 10;
    EXPECT_EQ(resizedSize(landscape, original), landscape);
    EXPECT_EQ(resizedSize(QSize(), longest(10)), QSize());
    EXPECT_EQ(resizedSize(QSize(0, 5), longest(10)), QSize(0, 5));
}

TEST(ResizedSize, LongestSideOnEveryShape)
{
    EXPECT_EQ(resizedSize(landscape, longest(1920)), QSize(1920, 1440));
    EXPECT_EQ(resizedSize(portrait, longest(1920)), QSize(1440, 1920));
    EXPECT_EQ(resizedSize(square, longest(200)), QSize(200, 200));
    // 3000 * 1000 / 4000 = 750; 333.33 rounds down, 666.67 up.
    EXPECT_EQ(resizedSize(QSize(3000, 1000), longest(1000)), QSize(1000, 333));
    EXPECT_EQ(resizedSize(QSize(1000, 1500), longest(1000)), QSize(667, 1000));
}

TEST(ResizedSize, FitInABoxOnEveryShape)
{
    EXPECT_EQ(resizedSize(landscape, fit(1920, 1080)), QSize(1440, 1080));
    EXPECT_EQ(resizedSize(portrait, fit(1920, 1080)), QSize(810, 1080));
    EXPECT_EQ(resizedSize(square, fit(300, 500)), QSize(300, 300));
    EXPECT_EQ(resizedSize(QSize(4000, 1000), fit(1920, 1080)), QSize(1920, 480));
    // A box of the picture's own shape gives the box exactly.
    EXPECT_EQ(resizedSize(landscape, fit(800, 600)), QSize(800, 600));
}

TEST(ResizedSize, PercentOnEveryShape)
{
    EXPECT_EQ(resizedSize(landscape, percent(50)), QSize(2000, 1500));
    EXPECT_EQ(resizedSize(portrait, percent(25)), QSize(750, 1000));
    EXPECT_EQ(resizedSize(square, percent(33)), QSize(330, 330));
    EXPECT_EQ(resizedSize(QSize(3, 5), percent(50)), QSize(2, 3)); // 1.5 and 2.5 round up
}

TEST(ResizedSize, PercentAtBothEnds)
{
    EXPECT_EQ(resizedSize(landscape, percent(1)), QSize(40, 30));
    EXPECT_EQ(resizedSize(QSize(120, 80), percent(1000, false)), QSize(1200, 800));
    EXPECT_EQ(resizedSize(QSize(120, 80), percent(1000, true)), QSize(120, 80));
    // Out of range numbers are held to the range, never taken as they are.
    EXPECT_EQ(resizedSize(QSize(100, 100), percent(0)), QSize(1, 1));
    EXPECT_EQ(resizedSize(QSize(10, 10), percent(5000, false)), QSize(100, 100));
}

TEST(ResizedSize, ResultsNeverFallBelowOnePixel)
{
    EXPECT_EQ(resizedSize(QSize(4000, 10), longest(1)), QSize(1, 1));
    EXPECT_EQ(resizedSize(QSize(10, 4000), longest(100)), QSize(1, 100));
    EXPECT_EQ(resizedSize(QSize(5000, 2), fit(1, 1)), QSize(1, 1));
    EXPECT_EQ(resizedSize(QSize(50, 50), percent(1)), QSize(1, 1));
    EXPECT_EQ(resizedSize(QSize(1, 1), longest(1)), QSize(1, 1));
}

TEST(ResizedSize, NeverEnlargeKeepsSmallPicturesAsTheyAre)
{
    const QSize small(640, 480);
    EXPECT_EQ(resizedSize(small, longest(1920, true)), small);
    EXPECT_EQ(resizedSize(small, longest(1920, false)), QSize(1920, 1440));
    EXPECT_EQ(resizedSize(small, fit(1920, 1080, true)), small);
    EXPECT_EQ(resizedSize(small, fit(1920, 1080, false)), QSize(1440, 1080));
    EXPECT_EQ(resizedSize(small, percent(200, true)), small);
    EXPECT_EQ(resizedSize(small, percent(200, false)), QSize(1280, 960));
    // Shrinking is the same either way.
    EXPECT_EQ(resizedSize(landscape, longest(1920, false)), QSize(1920, 1440));
}

TEST(ResizedSize, HugeNumbersStayExact)
{
    EXPECT_EQ(resizedSize(QSize(65535, 65535), percent(1000, false)), QSize(655350, 655350));
    EXPECT_EQ(resizedSize(QSize(1, 65535), longest(65535, false)), QSize(1, 65535));
}

// Half as much again as the target is asked for, and only when libjpeg's
// half scale or less can give that.
TEST(JpegDecodeSide, OnlyAShrinkToAThirdOrLessAsksForAScale)
{
    EXPECT_EQ(jpegDecodeSide(landscape, ResizeSetting{}), 0);
    EXPECT_EQ(jpegDecodeSide(landscape, longest(1920)), 0);
    EXPECT_EQ(jpegDecodeSide(QSize(6000, 4000), longest(1920)), 2880);
    EXPECT_EQ(jpegDecodeSide(landscape, longest(1333)), 2000);
    EXPECT_EQ(jpegDecodeSide(landscape, longest(1334)), 0);
    EXPECT_EQ(jpegDecodeSide(landscape, longest(1)), 2);
    EXPECT_EQ(jpegDecodeSide(landscape, percent(10)), 600);
    EXPECT_EQ(jpegDecodeSide(QSize(640, 480), longest(1920, false)), 0);
}

TEST(JpegDecodeSide, AFitTakesTheLargerOfBothOrientations)
{
    // Stored 4000 x 3000: upright it may be 3000 x 4000, which fits a
    // 1280 x 720 box at 540 x 720; as stored it fits at 960 x 720.
    EXPECT_EQ(jpegDecodeSide(landscape, fit(1280, 720)), 1440);
    EXPECT_EQ(jpegDecodeSide(portrait, fit(1280, 720)), 1440);
}

namespace {

QImage flat(QSize size, QRgb colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage picture(size, format);
    picture.fill(colour);
    return picture;
}

} // namespace

TEST(Resample, GivesTheTargetSizeAndKeepsFlatAreasExact)
{
    for (const QSize target : {QSize(1, 1), QSize(37, 11), QSize(500, 300), QSize(1, 300)}) {
        const QImage out = resampleLanczos3(flat(QSize(401, 123), qRgb(200, 17, 90)), target);
        ASSERT_EQ(out.size(), target);
        EXPECT_EQ(out.format(), QImage::Format_RGB32);
        EXPECT_EQ(test::maxChannelDifference(out, flat(target, qRgb(200, 17, 90))), 0);
    }
    // Hundreds of weights per pixel in both passes still sum to one.
    const QImage tall = resampleLanczos3(flat(QSize(3000, 4000), qRgb(251, 128, 3)), QSize(5, 7));
    EXPECT_EQ(test::maxChannelDifference(tall, flat(QSize(5, 7), qRgb(251, 128, 3))), 0);
}

TEST(Resample, FollowsAGradientAndRingsOnlyNearEdges)
{
    // A horizontal ramp halved: each output pixel is the mean of the two
    // it covers, give or take rounding.
    QImage ramp(512, 64, QImage::Format_RGB32);
    for (int y = 0; y < ramp.height(); ++y)
        for (int x = 0; x < ramp.width(); ++x)
            ramp.setPixel(x, y, qRgb(x / 2, x / 2, x / 2));
    const QImage half = resampleLanczos3(ramp, QSize(256, 32));
    ASSERT_EQ(half.size(), QSize(256, 32));
    for (int x = 8; x < 248; ++x)
        EXPECT_NEAR(qRed(half.pixel(x, 16)), x, 1) << "at " << x;
}

TEST(Resample, SplittingTheWorkOverThreadsChangesNothing)
{
    const QImage picture = test::makeTestPicture(1200, 900);
    const QImage one = resampleLanczos3(picture, QSize(500, 375), 1);
    const QImage four = resampleLanczos3(picture, QSize(500, 375), 4);
    EXPECT_EQ(test::maxChannelDifference(one, four), 0);
    // Enlarging goes through the same code.
    EXPECT_EQ(resampleLanczos3(test::makeTestPicture(40, 30), QSize(400, 300)).size(), QSize(400, 300));
}

TEST(Resample, TransparentEdgesDoNotDarken)
{
    // An opaque white disc on fully transparent black: the semi-transparent
    // pixels of its shrunk edge must stay white, not turn grey.
    QImage picture(400, 400, QImage::Format_ARGB32);
    picture.fill(qRgba(0, 0, 0, 0));
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x)
            if (std::hypot(x - 199.5, y - 199.5) < 150)
                picture.setPixel(x, y, qRgba(255, 255, 255, 255));
    const QImage out = resampleLanczos3(picture, QSize(57, 57));
    ASSERT_EQ(out.format(), QImage::Format_ARGB32);
    int edgePixels = 0;
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = out.pixel(x, y);
            if (qAlpha(p) < 8) // too faint for its colour to mean anything
                continue;
            if (qAlpha(p) < 250)
                ++edgePixels;
            EXPECT_GE(qRed(p), 250) << x << "," << y << " alpha " << qAlpha(p);
            EXPECT_GE(qBlue(p), 250) << x << "," << y << " alpha " << qAlpha(p);
        }
    }
    EXPECT_GT(edgePixels, 20);
}

TEST(Resample, AnEmptyTargetOrPictureGivesNothing)
{
    EXPECT_TRUE(resampleLanczos3(QImage(), QSize(10, 10)).isNull());
    EXPECT_TRUE(resampleLanczos3(test::makeTestPicture(10, 10), QSize(0, 5)).isNull());
}

} // namespace pictrove

#include "decoding/FreeImageConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace pictrove {

TEST(FreeImageConvert, RoundTripKeepsOrientationAndColours)
{
    const QImage picture = test::makeTestPicture(7, 5);
    FiBitmap dib = toFreeImage32(picture);
    ASSERT_TRUE(dib);
    EXPECT_EQ(FreeImage_GetBPP(dib.get()), 32u);
    // FreeImage's scan line 0 is the bottom row.
    RGBQUAD bottomLeft{};
    ASSERT_TRUE(FreeImage_GetPixelColor(dib.get(), 0, 0, &bottomLeft));
    EXPECT_EQ(bottomLeft.rgbGreen, qGreen(picture.pixel(0, 4)));

    const QImage back = toQImage(dib.get());
    EXPECT_EQ(back.format(), QImage::Format_ARGB32);
    EXPECT_EQ(test::maxChannelDifference(back, picture), 0);
}

TEST(FreeImageConvert, PaletteBitmapBecomesOpaqueRgb)
{
    FiBitmap dib(FreeImage_Allocate(3, 2, 8));
    ASSERT_TRUE(dib);
    RGBQUAD *pal = FreeImage_GetPalette(dib.get());
    pal[1] = RGBQUAD{255, 0, 0, 0}; // blue
    FreeImage_GetScanLine(dib.get(), 1)[2] = 1; // top row, right pixel
    const QImage img = toQImage(dib.get());
    ASSERT_EQ(img.size(), QSize(3, 2));
    EXPECT_EQ(img.format(), QImage::Format_RGB32);
    EXPECT_EQ(img.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_TRUE(toQImage(nullptr).isNull());
}

} // namespace pictrove

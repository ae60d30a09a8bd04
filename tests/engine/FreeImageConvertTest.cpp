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

// True-colour bitmaps are taken row by row instead of through FreeImage's
// 32-bit copy; the pixels must be those the copy gives, padded rows included.
TEST(FreeImageConvert, TrueColourRowsMatchFreeImagesOwnConversion)
{
    for (unsigned depth : {24u, 32u}) {
        for (int width : {1, 7, 64}) {
            FiBitmap dib(FreeImage_Allocate(width, 5, int(depth)));
            ASSERT_TRUE(dib);
            unsigned seed = 12345u + depth + unsigned(width);
            for (int y = 0; y < 5; ++y) {
                BYTE *line = FreeImage_GetScanLine(dib.get(), y);
                for (unsigned i = 0; i < FreeImage_GetPitch(dib.get()); ++i)
                    line[i] = BYTE((seed = seed * 1103515245u + 12345u) >> 16);
            }
            const FiBitmap reference(FreeImage_ConvertTo32Bits(dib.get()));
            const QImage converted = toQImage(dib.get());
            ASSERT_EQ(converted.size(), QSize(width, 5));
            EXPECT_EQ(converted.hasAlphaChannel(), depth == 32);
            for (int y = 0; y < 5; ++y) {
                const auto *expected = reinterpret_cast<const QRgb *>(FreeImage_GetScanLine(reference.get(), 4 - y));
                for (int x = 0; x < width; ++x)
                    EXPECT_EQ(converted.pixel(x, y), depth == 32 ? expected[x] : expected[x] | 0xFF000000u)
                        << depth << " bits, " << x << "," << y;
            }
        }
    }
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

#include "engine/palette/FixedPalettes.h"

#include <gtest/gtest.h>

#include <set>

namespace pictrove::palettes {

TEST(FixedPalettes, StandardSixteenColoursAreExact)
{
    const Palette windows = windows16();
    ASSERT_EQ(windows.size(), 16u);
    EXPECT_EQ(windows[1], qRgb(0x80, 0, 0));
    EXPECT_EQ(windows[7], qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(windows[8], qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(windows[12], qRgb(0, 0, 0xFF));

    const Palette vga = vga16();
    ASSERT_EQ(vga.size(), 16u);
    EXPECT_EQ(vga[1], qRgb(0, 0, 0xAA));
    EXPECT_EQ(vga[6], qRgb(0xAA, 0x55, 0)); // brown, not dark yellow
    EXPECT_EQ(vga[8], qRgb(0x55, 0x55, 0x55));
    EXPECT_EQ(vga[14], qRgb(0xFF, 0xFF, 0x55));
    EXPECT_EQ(vga[15], qRgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(windowsMonochrome(), (Palette{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
}

TEST(FixedPalettes, WebSafeIsTheFullSixLevelCube)
{
    const Palette web = webSafe216();
    const std::set<QRgb> distinct(web.begin(), web.end());
    EXPECT_EQ(distinct.size(), 216u);
    for (QRgb c : web)
        for (int v : {qRed(c), qGreen(c), qBlue(c)})
            EXPECT_EQ(v % 0x33, 0) << std::hex << c;
}

TEST(FixedPalettes, WindowsPalettesKeepTheSystemColoursInPlace)
{
    const Palette statics = windowsStatic20();
    for (const Palette &p : {windowsHalftone256(), windowsSystem256()}) {
        ASSERT_EQ(p.size(), 256u);
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(p[size_t(i)], statics[size_t(i)]);
            EXPECT_EQ(p[size_t(246 + i)], statics[size_t(10 + i)]);
        }
    }
    const Palette halftone = windowsHalftone256();
    const std::set<QRgb> cube(halftone.begin() + 10, halftone.begin() + 226);
    const Palette web = webSafe216();
    EXPECT_EQ(cube, std::set<QRgb>(web.begin(), web.end()));
    EXPECT_NE(windowsHalftone256(), windowsSystem256());
}

TEST(FixedPalettes, GreysAreEvenlySpacedFromBlackToWhite)
{
    for (int count : {2, 4, 8, 16, 256}) {
        const Palette grey = fixedGrey(count);
        ASSERT_EQ(int(grey.size()), count);
        EXPECT_EQ(grey.front(), qRgb(0, 0, 0));
        EXPECT_EQ(grey.back(), qRgb(255, 255, 255));
        for (size_t i = 0; i < grey.size(); ++i) {
            EXPECT_EQ(qRed(grey[i]), qGreen(grey[i]));
            EXPECT_EQ(qGreen(grey[i]), qBlue(grey[i]));
            EXPECT_NEAR(qRed(grey[i]), double(i) * 255 / (count - 1), 0.5);
        }
    }
}

TEST(FixedPalettes, ColourLatticeFillsItsBudgetWithDistinctColours)
{
    for (int bits = 1; bits <= 8; ++bits) {
        const Palette lattice = fixedColourLattice(1 << bits);
        const std::set<QRgb> distinct(lattice.begin(), lattice.end());
        EXPECT_EQ(lattice.size(), size_t(1) << bits) << bits;
        EXPECT_EQ(distinct.size(), lattice.size()) << bits;
        EXPECT_TRUE(distinct.count(qRgb(0, 0, 0)) && distinct.count(qRgb(255, 255, 255))) << bits;
    }
    // 3-3-2 at 256 colours: 8 reds, 8 greens, 4 blues.
    std::set<int> blues;
    for (QRgb c : fixedColourLattice(256))
        blues.insert(qBlue(c));
    EXPECT_EQ(blues, (std::set<int>{0, 85, 170, 255}));
    EXPECT_EQ(fixedColourLattice(100).size(), 64u); // at most the budget
}

} // namespace pictrove::palettes

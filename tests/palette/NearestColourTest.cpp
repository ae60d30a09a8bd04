#include "engine/palette/NearestColour.h"

#include "engine/palette/FixedPalettes.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

namespace pictrove {

namespace {
int distanceSq(QRgb c, int r, int g, int b)
{
    const int dr = qRed(c) - r, dg = qGreen(c) - g, db = qBlue(c) - b;
    return dr * dr + dg * dg + db * db;
}
} // namespace

TEST(NearestColour, PaletteColoursFindThemselves)
{
    for (const auto &palette : {palettes::webSafe216(), palettes::vga16(), palettes::fixedGrey(64),
                                palettes::fixedColourLattice(256)}) {
        NearestColour nearest(palette);
        for (size_t i = 0; i < palette.size(); ++i)
            EXPECT_EQ(nearest.find(qRed(palette[i]), qGreen(palette[i]), qBlue(palette[i])), i);
    }
}

int exhaustive(const std::vector<QRgb> &palette, int r, int g, int b)
{
    int best = INT_MAX, index = 0;
    for (size_t i = 0; i < palette.size(); ++i) {
        const int d = distanceSq(palette[i], r, g, b);
        if (d < best) {
            best = d;
            index = int(i);
        }
    }
    return index;
}

// Exactly the exhaustive answer, ties to the first entry, for spread-out
// palettes, entries a level or two apart (sharing table cells), duplicates,
// and a crowd of 256 entries inside a few cells.
TEST(NearestColour, AgreesWithExhaustiveSearch)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> channel(0, 255), near(100, 108);
    std::vector<std::vector<QRgb>> palettes(4);
    for (int i = 0; i < 256; ++i)
        palettes[0].push_back(qRgb(channel(random), channel(random), channel(random)));
    palettes[1] = {qRgb(200, 10, 10), qRgb(203, 10, 10), qRgb(201, 11, 9), qRgb(0, 0, 0),
                   qRgb(200, 10, 10), qRgb(255, 255, 255)};
    for (int i = 0; i < 256; ++i)
        palettes[2].push_back(qRgb(near(random), near(random), near(random)));
    palettes[3] = palettes::windowsHalftone256(); // duplicates black and white
    for (const auto &palette : palettes) {
        NearestColour nearest(palette);
        for (QRgb c : palette)
            ASSERT_EQ(nearest.find(qRed(c), qGreen(c), qBlue(c)),
                      exhaustive(palette, qRed(c), qGreen(c), qBlue(c)))
                << std::hex << c;
        for (int i = 0; i < 40000; ++i) {
            const bool close = i % 2;
            const int r = close ? near(random) : channel(random);
            const int g = close ? near(random) : channel(random);
            const int b = close ? near(random) : channel(random);
            ASSERT_EQ(nearest.find(r, g, b), exhaustive(palette, r, g, b)) << r << "," << g << "," << b;
        }
    }
}

TEST(NearestColour, SpreadIsTheLatticeStep)
{
    EXPECT_EQ(NearestColour(palettes::fixedGrey(16)).spread(), 17);
    EXPECT_EQ(NearestColour(palettes::webSafe216()).spread(), 51);
    EXPECT_EQ(NearestColour(palettes::windowsMonochrome()).spread(), 255);
}

} // namespace pictrove

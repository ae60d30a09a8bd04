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

TEST(NearestColour, AgreesWithExhaustiveSearchWithinOneCell)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> channel(0, 255);
    std::vector<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back(qRgb(channel(random), channel(random), channel(random)));
    NearestColour nearest(palette);
    for (int i = 0; i < 20000; ++i) {
        const int r = channel(random), g = channel(random), b = channel(random);
        int best = INT_MAX;
        for (QRgb c : palette)
            best = std::min(best, distanceSq(c, r, g, b));
        const int found = distanceSq(palette[nearest.find(r, g, b)], r, g, b);
        // The lookup answers for the centre of a 4x4x4 cell: at most twice
        // the half diagonal (2.6 levels) off the true nearest distance.
        EXPECT_LE(std::sqrt(double(found)), std::sqrt(double(best)) + 5.2) << r << "," << g << "," << b;
    }
}

TEST(NearestColour, SpreadIsTheLatticeStep)
{
    EXPECT_EQ(NearestColour(palettes::fixedGrey(16)).spread(), 17);
    EXPECT_EQ(NearestColour(palettes::webSafe216()).spread(), 51);
    EXPECT_EQ(NearestColour(palettes::windowsMonochrome()).spread(), 255);
}

} // namespace pictrove

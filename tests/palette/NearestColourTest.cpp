#include "engine/palette/NearestColour.h"

#include "engine/palette/FixedPalettes.h"
#include "engine/palette/OptimalPalette.h"

#include <QImage>

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

// A cell's rivals are in entry order, and the nearest of them is the
// exhaustive answer for each of the cell's 64 colours; a lone rival is that
// answer throughout.
TEST(PaletteCells, EveryCellKeepsItsWinnersInEntryOrder)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> channel(0, 255), near(96, 111), key(0, (1 << 18) - 1);
    std::vector<std::vector<QRgb>> palettes(3);
    for (int i = 0; i < 256; ++i) {
        palettes[0].push_back(qRgb(channel(random), channel(random), channel(random)));
        palettes[1].push_back(qRgb(near(random), near(random), near(random)));
    }
    palettes[2] = palettes::windowsHalftone256(); // duplicates black and white
    for (const auto &palette : palettes) {
        PaletteCells cells(palette);
        for (int n = 0; n < 3000; ++n) {
            // Half the cells inside the crowd of the second palette.
            const int k = n % 2 ? key(random) : PaletteCells::keyOf(near(random), near(random), near(random));
            const std::vector<std::uint8_t> rivals = cells.rivals(k);
            ASSERT_FALSE(rivals.empty());
            ASSERT_TRUE(std::is_sorted(rivals.begin(), rivals.end()));
            ASSERT_EQ(std::adjacent_find(rivals.begin(), rivals.end()), rivals.end());
            const int r0 = (k >> 12) << 2, g0 = ((k >> 6) & 63) << 2, b0 = (k & 63) << 2;
            for (int c = 0; c < 64; ++c) {
                const int r = r0 + (c >> 4), g = g0 + ((c >> 2) & 3), b = b0 + (c & 3);
                ASSERT_EQ(cells.nearestOf(rivals.data(), int(rivals.size()), r, g, b),
                          exhaustive(palette, r, g, b))
                    << r << "," << g << "," << b;
            }
        }
    }
}

// Reference Lloyd steps over every pixel, with the exhaustive nearest entry.
std::vector<QRgb> lloydReference(std::vector<QRgb> palette, const QImage &picture, int steps)
{
    for (int step = 0; step < steps; ++step) {
        std::vector<std::uint64_t> sums(palette.size() * 4, 0);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb c = picture.pixel(x, y);
                std::uint64_t *sum = &sums[size_t(exhaustive(palette, qRed(c), qGreen(c), qBlue(c))) * 4];
                sum[0] += qRed(c);
                sum[1] += qGreen(c);
                sum[2] += qBlue(c);
                ++sum[3];
            }
        for (size_t i = 0; i < palette.size(); ++i) {
            const std::uint64_t *sum = &sums[i * 4];
            if (sum[3])
                palette[i] = qRgb(int((sum[0] + sum[3] / 2) / sum[3]), int((sum[1] + sum[3] / 2) / sum[3]),
                                  int((sum[2] + sum[3] / 2) / sum[3]));
        }
    }
    return palette;
}

// A picture small enough to be sampled whole: the steps give exactly the
// reference's palette, ties and an entry nearest to no pixel included.
TEST(OptimalPalette, LloydStepsMoveEachEntryToTheMeanOfItsPixels)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int> noise(-12, 12), channel(0, 200);
    QImage picture(240, 160, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(std::clamp(x + noise(random), 0, 255), std::clamp(y + noise(random), 0, 255),
                                        std::clamp((x + y) / 2 + noise(random), 0, 255)));
    std::vector<QRgb> palette;
    for (int i = 0; i < 60; ++i)
        palette.push_back(qRgb(channel(random), channel(random), channel(random)));
    palette[7] = picture.pixel(120, 80);
    palette.push_back(palette[7]);          // a duplicate: its twin wins every tie
    palette.push_back(qRgb(255, 0, 255)); // nearest to no pixel
    const std::vector<QRgb> refined = lloydSteps(palette, picture, 3);
    EXPECT_EQ(refined, lloydReference(palette, picture, 3));
    EXPECT_EQ(refined.back(), qRgb(255, 0, 255));
    const std::vector<QRgb> once = lloydSteps(palette, picture, 1);
    EXPECT_NE(once[7], palette[7]);
    EXPECT_EQ(once[60], palette[60]);
}

} // namespace pictrove

// The row filters against the PNG specification's formulas, byte by byte,
// on rows of every length around the sixteen-byte steps and on every
// three-pixel neighbourhood where Paeth's ties fall.
#include "engine/core/PngFilter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace pictrove {

namespace {

int reference(int type, int a, int b, int c)
{
    switch (type) {
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) / 2;
    case 4: {
        const int p = a + b - c;
        const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    default: return 0;
    }
}

void expectAsSpecified(const std::vector<std::uint8_t> &cur, const std::vector<std::uint8_t> &prev, std::size_t bpp)
{
    const std::size_t n = cur.size();
    std::vector<std::uint8_t> out(n + 1, 0xAB);
    for (int type = 0; type <= 4; ++type) {
        SCOPED_TRACE(testing::Message() << "filter " << type << ", " << n << " bytes, " << bpp << " a pixel");
        std::uint64_t sum = 0;
        std::vector<std::uint8_t> expected(n);
        for (std::size_t i = 0; i < n; ++i) {
            const int a = i >= bpp ? cur[i - bpp] : 0;
            const int c = i >= bpp ? prev[i - bpp] : 0;
            expected[i] = std::uint8_t(cur[i] - reference(type, a, prev[i], c));
            sum += std::uint64_t(std::abs(int(std::int8_t(expected[i]))));
        }
        EXPECT_EQ(pngfilter::filterRow(pngfilter::Type(type), cur.data(), prev.data(), n, bpp, out.data()), sum);
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + std::ptrdiff_t(n)), expected);
        EXPECT_EQ(out[n], 0xAB) << "wrote past the row";
    }
}

} // namespace

TEST(PngFilter, EveryFilterGivesTheSpecifiedBytesAndSum)
{
    std::mt19937 random(5);
    for (const std::size_t bpp : {1u, 3u}) {
        for (std::size_t n = bpp; n <= 70; n += bpp) {
            std::vector<std::uint8_t> cur(n), prev(n);
            for (std::size_t i = 0; i < n; ++i) {
                cur[i] = std::uint8_t(random());
                prev[i] = std::uint8_t(random());
            }
            expectAsSpecified(cur, prev, bpp);
            // Values at the ends of the range, where signed and unsigned differ.
            for (std::size_t i = 0; i < n; ++i) {
                cur[i] = std::uint8_t(random() % 2 ? 0 : 255);
                prev[i] = std::uint8_t(random() % 3 ? 128 : 127);
            }
            expectAsSpecified(cur, prev, bpp);
        }
    }
}

TEST(PngFilter, PaethBreaksEveryTieAsSpecified)
{
    // Every (a, b, c) from a coarse grid that keeps the ties, sixteen at a
    // time through the vector path and the rest through the scalar one.
    std::vector<int> levels;
    for (int v = 0; v <= 255; v += 15)
        levels.push_back(v);
    levels.insert(levels.end(), {1, 127, 128, 254});
    std::vector<std::uint8_t> cur, prev;
    for (const int a : levels)
        for (const int b : levels)
            for (const int c : levels) {
                // One pixel of one byte: left a, above b, above left c.
                cur.insert(cur.end(), {std::uint8_t(a), std::uint8_t((a * 7 + b) & 0xFF)});
                prev.insert(prev.end(), {std::uint8_t(c), std::uint8_t(b)});
            }
    expectAsSpecified(cur, prev, 1);
}

} // namespace pictrove

#pragma once

#include "engine/palette/NearestColour.h"

#include <QRgb>

#include <array>
#include <cstdlib>
#include <cstdint>
#include <vector>

namespace pictrove {

// The two targets a picture is reduced to. Both answer "which code stands
// for this colour" and "which colour does a code show"; the dithers are
// written once against this pair.

// A palette of up to 256 colours; codes are palette indices.
class PaletteQuantiser {
public:
    using Code = std::uint8_t;
    explicit PaletteQuantiser(const std::vector<QRgb> &palette) : m_nearest(palette)
    {
        for (size_t i = 0; i < palette.size() && i < 256; ++i) {
            m_rgb[3 * i] = std::int16_t(qRed(palette[i]));
            m_rgb[3 * i + 1] = std::int16_t(qGreen(palette[i]));
            m_rgb[3 * i + 2] = std::int16_t(qBlue(palette[i]));
        }
    }
    Code code(int r, int g, int b) { return m_nearest.find(r, g, b); }
    const std::int16_t *colour(Code c) const { return &m_rgb[3 * size_t(c)]; }
    int spread() const { return m_nearest.spread(); }

private:
    NearestColour m_nearest;
    std::array<std::int16_t, 3 * 256> m_rgb{};
};

// Direct 5-5-5 colour; codes are 0RRRRRGGGGGBBBBB words. A 5-bit level q
// is taken to show as (q << 3) | (q >> 2), as Qt widens Format_RGB555;
// file readers widen a little differently (Qt's BMP reader q << 3,
// FreeImage q * 255 / 31), never by more than 7 levels.
class Rgb555Quantiser {
public:
    using Code = std::uint16_t;
    Rgb555Quantiser()
    {
        for (int v = 0; v < 256; ++v) {
            int best = 0;
            for (int q = 1; q < 32; ++q)
                if (std::abs(expand(q) - v) < std::abs(expand(best) - v))
                    best = q;
            m_level[size_t(v)] = std::uint8_t(best);
        }
        for (int c = 0; c < 32768; ++c) {
            m_rgb[3 * size_t(c)] = std::int16_t(expand(c >> 10));
            m_rgb[3 * size_t(c) + 1] = std::int16_t(expand((c >> 5) & 31));
            m_rgb[3 * size_t(c) + 2] = std::int16_t(expand(c & 31));
        }
    }
    Code code(int r, int g, int b) const
    {
        return Code((m_level[size_t(r)] << 10) | (m_level[size_t(g)] << 5) | m_level[size_t(b)]);
    }
    const std::int16_t *colour(Code c) const { return &m_rgb[3 * size_t(c)]; }
    int spread() const { return 8; }
    static int expand(int q) { return (q << 3) | (q >> 2); }

private:
    std::array<std::uint8_t, 256> m_level{};
    std::vector<std::int16_t> m_rgb = std::vector<std::int16_t>(3 * 32768);
};

} // namespace pictrove

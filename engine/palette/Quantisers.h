#pragma once

#include "engine/palette/NearestColour.h"

#include <QRgb>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace pictrove {

// Red, green, blue and a spare 0 in the lanes of one vector, so that error
// diffusion treats a pixel's three channels in one go.
using ColourLanes = int __attribute__((vector_size(16)));

// The two targets a picture is reduced to. Both answer "which code stands
// for this colour" (code) and "which colour does a code show" (lanes); the
// dithers are written once against this pair.

// A palette of up to 256 colours; codes are palette indices.
class PaletteQuantiser {
public:
    using Code = std::uint8_t;
    using Lanes = ColourLanes;

    explicit PaletteQuantiser(const std::vector<QRgb> &palette) : m_nearest(palette)
    {
        for (size_t i = 0; i < palette.size() && i < 256; ++i)
            m_lanes[i] = Lanes{qRed(palette[i]), qGreen(palette[i]), qBlue(palette[i]), 0};
    }
    Code code(int r, int g, int b) { return m_nearest.find(r, g, b); }
    Lanes lanes(Code c) const { return m_lanes[c]; }
    int spread() const { return m_nearest.spread(); }

private:
    NearestColour m_nearest;
    std::array<Lanes, 256> m_lanes{};
};

// Direct 5-5-5 colour; codes are 0RRRRRGGGGGBBBBB words. A 5-bit level q
// is taken to show as (q << 3) | (q >> 2), as Qt widens Format_RGB555;
// file readers widen a little differently (Qt's BMP reader q << 3,
// FreeImage q * 255 / 31), never by more than 7 levels.
class Rgb555Quantiser {
public:
    using Code = std::uint16_t;
    using Lanes = ColourLanes;

    Rgb555Quantiser()
    {
        for (int v = 0; v < 256; ++v) {
            int best = 0;
            for (int q = 1; q < 32; ++q)
                if (std::abs(expand(q) - v) < std::abs(expand(best) - v))
                    best = q;
            m_level[size_t(v)] = std::uint8_t(best);
        }
    }
    Code code(int r, int g, int b) const
    {
        return Code((m_level[size_t(r)] << 10) | (m_level[size_t(g)] << 5) | m_level[size_t(b)]);
    }
    Lanes lanes(Code c) const { return Lanes{expand(c >> 10), expand((c >> 5) & 31), expand(c & 31), 0}; }
    // One 5-bit step, as ordered dithers need it.
    int spread() const { return 8; }
    static int expand(int q) { return (q << 3) | (q >> 2); }

private:
    std::array<std::uint8_t, 256> m_level{};
};

} // namespace pictrove

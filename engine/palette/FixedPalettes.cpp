#include "engine/palette/FixedPalettes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace pictrove::palettes {

namespace {

int level(int i, int levels)
{
    return levels < 2 ? 0 : (i * 255 + (levels - 1) / 2) / (levels - 1);
}

// Every mix of the given number of evenly spaced levels per channel, red
// slowest, blue fastest.
void appendLattice(Palette &out, int reds, int greens, int blues)
{
    for (int r = 0; r < reds; ++r)
        for (int g = 0; g < greens; ++g)
            for (int b = 0; b < blues; ++b)
                out.push_back(qRgb(level(r, reds), level(g, greens), level(b, blues)));
}

// Fills the 236 middle entries of a Windows 256 palette: the lattice first,
// then greys that the lattice lacks, evenly spread, until 236 entries.
Palette withSystemColours(int reds, int greens, int blues)
{
    const Palette statics = windowsStatic20();
    Palette middle;
    appendLattice(middle, reds, greens, blues);
    const int greys = 236 - int(middle.size());
    for (int i = 1; i <= greys; ++i) {
        const int v = (i * 255 + (greys + 1) / 2) / (greys + 1);
        middle.push_back(qRgb(v, v, v));
    }
    Palette out(statics.begin(), statics.begin() + 10);
    out.insert(out.end(), middle.begin(), middle.end());
    out.insert(out.end(), statics.begin() + 10, statics.end());
    return out;
}

} // namespace

Palette windowsMonochrome()
{
    return {qRgb(0, 0, 0), qRgb(255, 255, 255)};
}

Palette windows16()
{
    return {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
            0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
            0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
}

Palette windowsStatic20()
{
    return {// entries 0-9
            0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
            0xFF008080, 0xFFC0C0C0, 0xFFC0DCC0, 0xFFA6CAF0,
            // entries 246-255
            0xFFFFFBF0, 0xFFA0A0A4, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
            0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
}

// 20 system colours + 6x6x6 cube (216) + 20 greys between the cube's greys.
Palette windowsHalftone256()
{
    return withSystemColours(6, 6, 6);
}

// 20 system colours + 6 red x 7 green x 5 blue levels (210) + 26 greys: the
// eye tells greens apart best and blues worst, so green gets most levels.
Palette windowsSystem256()
{
    return withSystemColours(6, 7, 5);
}

Palette vga16()
{
    return {0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA,
            0xFFAA5500, 0xFFAAAAAA, 0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF,
            0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF};
}

Palette webSafe216()
{
    Palette out;
    appendLattice(out, 6, 6, 6);
    return out;
}

Palette fixedGrey(int count)
{
    Palette out;
    count = std::clamp(count, 2, 256);
    for (int i = 0; i < count; ++i) {
        const int v = level(i, count);
        out.push_back(qRgb(v, v, v));
    }
    return out;
}

// With n = log2(maxColours) bits, green gets ceil(n/3) bits, red
// ceil((n-1)/3), blue floor(n/3) (3-3-2 at 256 colours, 2-1-1 at 16,
// 1-1-1 = the cube's corners at 8). Below 8 colours a lattice cannot span
// three channels, so it runs along the grey diagonal instead.
Palette fixedColourLattice(int maxColours)
{
    int bits = 0;
    while (bits < 8 && (2 << bits) <= maxColours)
        ++bits;
    if (bits < 3)
        return fixedGrey(1 << bits);
    const int greenBits = (bits + 2) / 3;
    const int redBits = (bits + 1) / 3;
    const int blueBits = bits / 3;
    Palette out;
    appendLattice(out, 1 << redBits, 1 << greenBits, 1 << blueBits);
    return out;
}

} // namespace pictrove::palettes

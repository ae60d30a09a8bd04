#include "engine/palette/PaletteChoice.h"

#include "engine/palette/FixedPalettes.h"
#include "engine/palette/OptimalPalette.h"
#include "engine/palette/PaletteCodes.h"

namespace pictrove {

namespace {

// The n of 0x8000 | 2^n, 0 for the bare 0x8000, -1 when flags is no
// "Fixed Color" code.
int fixedColourBits(std::int32_t flags)
{
    if ((flags & ~0x1FF) != code(ColourMap::FixedColour))
        return -1;
    const int count = flags & 0x1FF;
    for (int n = 0; n <= 8; ++n)
        if (count == (1 << n))
            return n == 0 ? -1 : n;
    return count == 0 ? 0 : -1;
}

} // namespace

bool paletteFits(std::int32_t flags, int depth)
{
    if (depth < 1 || depth > 8)
        return false;
    switch (ColourMap(flags)) {
    case ColourMap::Windows:
    case ColourMap::Optimal:
    case ColourMap::FixedGrey:
        return true;
    case ColourMap::Vga:
        return depth >= 4;
    case ColourMap::WebSafe:
    case ColourMap::Windows256:
        return depth == 8;
    default:
        return fixedColourBits(flags) >= 0;
    }
}

std::vector<QRgb> choosePalette(std::int32_t flags, int depth, const QImage &picture, bool grey,
                                QString *reason)
{
    if (!paletteFits(flags, depth)) {
        if (reason)
            *reason = QStringLiteral("the colour map does not fit %1 bits").arg(depth);
        return {};
    }
    const int tableSize = 1 << depth;
    switch (ColourMap(flags)) {
    case ColourMap::Windows:
        return depth == 8 ? palettes::windowsHalftone256()
               : depth >= 4 ? palettes::windows16()
                            : palettes::windowsMonochrome();
    case ColourMap::Vga:
        return palettes::vga16();
    case ColourMap::WebSafe:
        return palettes::webSafe216();
    case ColourMap::Windows256:
        return palettes::windowsSystem256();
    case ColourMap::FixedGrey:
        return palettes::fixedGrey(tableSize);
    case ColourMap::Optimal: {
        std::vector<QRgb> colours = optimalPalette(picture, tableSize, reason);
        if (grey)
            for (QRgb &c : colours) {
                const int v = (qRed(c) + qGreen(c) + qBlue(c) + 1) / 3;
                c = qRgb(v, v, v);
            }
        return colours;
    }
    default: {
        const int bits = fixedColourBits(flags);
        return palettes::fixedColourLattice(bits == 0 ? tableSize : std::min(1 << bits, tableSize));
    }
    }
}

} // namespace pictrove

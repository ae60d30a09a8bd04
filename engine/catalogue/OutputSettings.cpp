#include "engine/catalogue/OutputSettings.h"

namespace pictrove {

std::int32_t transformFlags(bool flipH, bool flipV, bool invert)
{
    std::int32_t flags = 0;
    if (flipV)
        flags |= code(Transform::FlipVertical);
    if (flipH)
        flags |= code(Transform::FlipHorizontal);
    if (invert)
        flags |= code(Transform::Invert);
    return flags;
}

std::int32_t effectivePaletteFlags(OutputSettings &settings)
{
    // Depths below 0 give a count that rounds to nothing; from 31 up the
    // count no longer fits the code word. Both leave the code as it is.
    constexpr std::int32_t fixed = code(ColourMap::FixedColour);
    if (settings.PaletteFlags == fixed && settings.BitDepth >= 0 && settings.BitDepth <= 30)
        settings.PaletteFlags = fixed | (std::int32_t(1) << settings.BitDepth);
    return settings.PaletteFlags;
}

} // namespace pictrove

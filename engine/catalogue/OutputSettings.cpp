#include "engine/catalogue/OutputSettings.h"

namespace pictrove {

std::int32_t effectivePaletteFlags(OutputSettings &settings)
{
    // Depths below 0 give a count that rounds to nothing; from 31 up the
    // count no longer fits the code word. Both leave the code as it is.
    if (settings.PaletteFlags == PaletteCode::FixedColor && settings.BitDepth >= 0
        && settings.BitDepth <= 30)
        settings.PaletteFlags = PaletteCode::FixedColor | (std::int32_t(1) << settings.BitDepth);
    return settings.PaletteFlags;
}

} // namespace pictrove

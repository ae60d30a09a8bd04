#pragma once

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/OutputSettings.h"

#include <optional>

namespace pictrove {

// A row of the format list and the choices of its option lists, as indexes
// into the lists the row shows, applied in the order the window's user would
// make them: check boxes and custom quality first, then the row, then the
// map, dither and colour mode.
struct FormatChoice {
    int row = DefaultFormatIndex;
    std::optional<int> map;
    std::optional<int> dither;
    std::optional<int> colorMode;
    std::optional<int> customJpegQuality;
    // The lossy WebP and AVIF rows' quality; their own default when unset.
    std::optional<int> webQuality;
    bool interlaced = false;
    bool flipHorizontal = false;
    bool flipVertical = false;
    bool invert = false;
    bool keepMetadata = true;
    ResizeSetting resize;
};

struct ChosenOptions {
    EncodingOptions options;
    // The map chosen turns dithering off for the row (as the window locks
    // its dither list): a dither asked for as well is not applied.
    bool ditherLocked = false;
};

// What the choice encodes with, derived from the catalogue alone: the same
// options the Step 2 controls give after the same choices from a fresh start.
ChosenOptions encodingOptionsFor(const FormatChoice &choice);

} // namespace pictrove

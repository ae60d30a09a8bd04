#pragma once

#include "engine/catalogue/OutputSettings.h"

#include <QString>

namespace pictrove {

// The one file type "Save Optimized As" offers for the current output: the
// JPEG rows by their catalogue index, the others by encoder and writer.
// Empty for a combination the catalogue never makes.
QString saveOptimizedFilter(int row, const OutputSettings &settings);

} // namespace pictrove

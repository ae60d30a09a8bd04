#pragma once

#include "engine/palette/PaletteCodes.h"

#include <QImage>

#include <cstdint>

namespace pictrove {

class RowProgress;

// Whether code is one of the ordered screens (2, 4, 8, 16, 32, 64).
bool isOrderedDither(Dither code);

// Reduces source into target with the ordered screen of code: each pixel
// is shifted by the screen's threshold, up to half a palette step (the
// quantiser's spread) either way, before the nearest-colour lookup.
//   2  Ordered: 8x8 Bayer matrix.
//   4  Halftone: 8x8 clustered-dot screen (dots grow from the cell centre).
//   8  Forward Diagonal: line screen, lines running like "/".
//   16 Backward Diagonal: line screen, lines running like "\".
//   32 Horizontal, 64 Vertical: line screens of horizontal / vertical lines.
// Q is PaletteQuantiser or Rgb555Quantiser. Rows are shared out among up to
// `threads` threads.
template <class Q>
void orderedDither(Dither code, const QImage &source, QImage &target, Q &q,
                   RowProgress *progress, int threads = 1);

} // namespace pictrove

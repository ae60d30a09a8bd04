#pragma once

#include "engine/palette/PaletteCodes.h"

#include <QImage>

#include <cstdint>

namespace pictrove {

class RowProgress;

// Whether code is one of the error diffusions (1, 256, 512, 1024).
bool isErrorDiffusion(Dither code);

// Reduces source into target by error diffusion:
//   1    Binary: Floyd-Steinberg, rows left to right.
//   256  Odd: serpentine Floyd-Steinberg (rows alternate direction).
//   512  Even: Jarvis-Judice-Ninke (12 neighbours over two rows).
//   1024 Equal: the error goes in four equal quarters to the right, lower
//        left, lower and lower right neighbours.
// All four are tempered for photos (see ErrorDiffusion.cpp). Q is
// PaletteQuantiser or Rgb555Quantiser.
template <class Q>
void diffuseError(Dither code, const QImage &source, QImage &target, Q &q,
                  RowProgress *progress);

} // namespace pictrove

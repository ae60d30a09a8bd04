#pragma once

#include <QImage>

#include "engine/palette/PaletteCodes.h"

#include <cstdint>
#include <optional>

namespace pictrove {

class PaletteQuantiser;
class Rgb555Quantiser;
class RowProgress;

// The dither of a code, or nothing for a code we do not know.
std::optional<Dither> ditherFromCode(std::int32_t code);

// Reduces source (Format_RGB32) into target, which has the same size and
// is Format_Indexed8 for a palette, Format_RGB555 for 5-5-5, with the
// dither of the given code:
//   0    None: each pixel takes its nearest colour.
//   1    Binary: Floyd-Steinberg error diffusion, rows left to right.
//   2    Ordered: 8x8 Bayer matrix.
//   4    Halftone: 8x8 clustered-dot screen (dots grow from the cell centre).
//   8    Forward Diagonal: ordered line screen, lines running like "/".
//   16   Backward Diagonal: ordered line screen, lines running like "\".
//   32   Horizontal: ordered line screen of horizontal lines.
//   64   Vertical: ordered line screen of vertical lines.
//   256  Odd: serpentine Floyd-Steinberg (rows alternate direction).
//   512  Even: Jarvis-Judice-Ninke error diffusion (12 neighbours).
//   1024 Equal: the error goes in four equal quarters to the right, lower
//        left, lower and lower right neighbours.
// (Details in OrderedDither.h and ErrorDiffusion.h.) Progress, when given,
// hears of the rows finished from the top. None and the ordered screens
// share the rows out among up to `threads` threads (the codes are the same
// whatever the number); error diffusion is one chain and takes one.
void dither(Dither code, const QImage &source, QImage &target, PaletteQuantiser &q,
            RowProgress *progress = nullptr, int threads = 1);
void dither(Dither code, const QImage &source, QImage &target, Rgb555Quantiser &q,
            RowProgress *progress = nullptr, int threads = 1);

} // namespace pictrove

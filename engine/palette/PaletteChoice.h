#pragma once

#include <QImage>
#include <QRgb>
#include <QString>

#include <cstdint>
#include <vector>

namespace pictrove {

// Whether the colour map code is known and its colours fit a table of
// 2^depth entries (depth 1..8).
//   0x1000 Windows: black and white at depth 1; the 16 standard colours at
//          2..7 bits (black and white below 4 bits); the halftone palette
//          at 8.
//   0x4000 Optimal: libimagequant, at most 2^depth colours.
//   0x8000 | 2^n Fixed Color: a lattice of at most min(2^n, 2^depth)
//          colours (n = 1..8; the bare 0x8000 means 2^depth).
//   0x8210 VGA (depth 4 and up), 0x84D8 web-safe and 0x8300 Windows 256
//          (depth 8), 0x88FF Fixed Grey: 2^depth greys.
bool paletteFits(std::int32_t flags, int depth);

// The colours for the code at that depth, for picture (already grey in
// greyscale mode; an optimal palette is then made exactly grey). Empty when
// the code does not fit or libimagequant fails; reason (when given) then
// says why.
std::vector<QRgb> choosePalette(std::int32_t flags, int depth, const QImage &picture, bool grey,
                                QString *reason = nullptr);

} // namespace pictrove

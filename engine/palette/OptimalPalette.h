#pragma once

#include <QImage>
#include <QRgb>
#include <QString>

#include <vector>

namespace pictrove {

// An adaptive palette of at most maxColours (2..256) colours for picture
// (Format_RGB32): the picture's own colours when there are no more than
// that, else built by libimagequant from a colour histogram of the picture.
// Empty when libimagequant fails; reason (when given) then says why in
// words.
//
// The histogram is ours, so that libimagequant sees a few thousand weighted
// colours instead of millions of pixels: a sample of about 1.5 megapixels
// (every n-th pixel of every n-th row, staggered) counted into 64 levels per
// channel. A cell that met a single colour keeps that colour exactly (so a
// drawing with few colours keeps them); a cell that met several gives their
// mean. An all-grey picture is counted by its 256 exact greys instead.
// Two Lloyd steps on the sampled pixels then fit the palette to the
// picture itself.
std::vector<QRgb> optimalPalette(const QImage &picture, int maxColours,
                                QString *reason = nullptr);

// Steps of Lloyd's method on a sample of the pixels of picture
// (Format_RGB32): every n-th pixel of every n-th row, staggered, about
// 400 000 in all, or every pixel of a smaller picture. Each entry moves to
// the rounded mean of the sampled pixels nearest to it, the first entry
// winning ties; an entry nearest to none stays where it is. optimalPalette
// ends with three of them.
std::vector<QRgb> lloydSteps(std::vector<QRgb> palette, const QImage &picture, int steps);

} // namespace pictrove

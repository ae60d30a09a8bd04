#pragma once

#include <QImage>
#include <QSize>

namespace pictrove {

// Lanczos-3 resampling of an 8-bit picture to target, in the picture's own
// (sRGB) values. A picture with alpha is resampled premultiplied, so colour
// under transparent pixels never bleeds into the visible edge, and comes
// back as Format_ARGB32; one without comes back as Format_RGB32. A null
// image when the target is empty or memory runs out. Work is split over up
// to `threads` threads (0: one per processor) when the picture is large
// enough to be worth it.
QImage resampleLanczos3(const QImage &picture, QSize target, int threads = 0);

} // namespace pictrove

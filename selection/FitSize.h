#pragma once

#include <QSize>

namespace pictrove {

// The largest size of the image's aspect ratio that fits the box, never
// enlarged. The ratios are single precision and the scaled side is rounded
// halves to even, so previews come out exactly as sized before.
QSize FitSize(int imageWidth, int imageHeight, int boxWidth, int boxHeight);

} // namespace pictrove

#pragma once

#include <QImage>
#include <QRgb>

#include <vector>

namespace pictrove {

// An adaptive palette of at most maxColours (2..256) colours for picture
// (Format_RGB32), built by libimagequant from a sample of at most about a
// megapixel. Empty when libimagequant fails.
std::vector<QRgb> optimalPalette(const QImage &picture, int maxColours);

} // namespace pictrove

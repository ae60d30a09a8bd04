#pragma once

#include <QImage>

namespace pictrove::bench {

// Peak signal-to-noise ratio in dB over the R, G and B channels of two
// pictures of the same size (infinity when identical, 0 on a size mismatch).
double psnr(const QImage &reference, const QImage &test);

// Mean structural similarity of the BT.601 luma, over 8x8 windows placed
// every 4 pixels (constants of Wang et al. 2004 for 8-bit data).
double ssim(const QImage &reference, const QImage &test);

} // namespace pictrove::bench

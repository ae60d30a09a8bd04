#pragma once

#include <QImage>

namespace pictrove::bench {

// A deterministic photo-like picture: smooth fractal light and colour
// fields (sky, foliage-like texture), soft-edged shapes, hard edges and a
// little sensor noise, so that palettes, dithers and GIF compression meet
// the kind of content a camera gives.
QImage makePhotoLikePicture(int width, int height, unsigned seed);

} // namespace pictrove::bench

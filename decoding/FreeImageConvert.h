#pragma once

#include "decoding/FreeImageHandles.h"

#include <QImage>

namespace pictrove {

// The two directions between FreeImage bitmaps (bottom-up rows, any depth
// and palette) and QImage (top-down rows). Both copy; neither takes
// ownership of its argument.

// Any FreeImage bitmap to Format_RGB32, or Format_ARGB32 when it carries
// transparency. 16-bit samples are scaled to 8 bits by their full range;
// other non-standard types (floats, 32-bit integers) are tone-mapped. Null when the bitmap is null or cannot be converted.
QImage toQImage(FIBITMAP *bitmap);

// A QImage to a 32-bit FreeImage bitmap (blue-green-red-alpha in memory, as
// FreeImage lays it out on little-endian machines). Null on an empty image or
// when FreeImage cannot allocate it.
FiBitmap toFreeImage32(const QImage &image);

} // namespace pictrove

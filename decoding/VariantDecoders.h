#pragma once

#include "decoding/Decoders.h"

#include <QImage>

#include <optional>

namespace pictrove {

// Variants of formats that the tables' libraries read wrongly or refuse,
// told apart by their headers rather than by extension: 16-bit and plain-
// text netpbm, 16-bit SGI, several Targa layouts, OS/2 and RLE bitmaps and
// bare DIBs, TIFFs with 12-bit samples, deep alpha, an orientation or
// L*a*b* colour, PNGs with an RGB colour key. Such a file is read here (or by
// the library that reads it right) whatever table asked; any other file
// gives nullopt and takes its table's route. Pictures come in their stored
// order, like every route's. Runs in the decoder process.
std::optional<LoadResult> decodeVariant(const QString &path, QStringView extension,
                                        const DecodeLimits &limits);

// The TIFF part of the above, through libtiff.
std::optional<LoadResult> decodeTiffVariant(const QString &path, const DecodeLimits &limits);

} // namespace pictrove

#pragma once

#include "engine/conversion/ConversionContext.h"
#include "engine/conversion/FileResult.h"

#include <QString>

#include <cstdint>

namespace pictrove {

struct LoadResult;

// The batch worker: per basket image, LoadBatchSource and then one encoder.
// Results tell the caller what happened (the batch run may ignore them).

// Loads a user's file into the source surface through the sandboxed batch
// loader table. A file that loads nothing empties the surface (so that the
// previous image is never written under the next name) and keeps the reason
// for the encoder's result. True when a picture was loaded.
bool LoadBatchSource(ConversionContext &context, const QString &path);

// The second half of LoadBatchSource, for a picture already read through the
// batch loader table (by BatchSource): the same surface and reasons.
bool AdoptBatchSource(ConversionContext &context, const QString &path, const LoadResult &loaded);

// Writes the source surface through the palette route (or, for the WebP
// and AVIF rows, through their own libraries). overwrite 0 leaves an
// existing file alone (skipped); 1 builds the new file under a temporary
// name in the same folder and swaps it in only when complete.
FileResult EncodeBatchImage(ConversionContext &context, const QString &outputPath,
                            std::uint8_t overwrite);

// Writes the source surface as JPEG with the quality value.
FileResult EncodeBatchJpeg(ConversionContext &context, const QString &outputPath,
                           std::int32_t quality, std::uint8_t overwrite);

} // namespace pictrove

#pragma once

#include "decoding/PictureLoader.h"

#include <QString>

namespace pictrove {

// What every decode route's picture goes through before it leaves the
// decoder: the file's EXIF block and XMP packet are read for the writers.
// Runs in the decoder process only: it reads the file's bytes.
void adjustPhoto(LoadResult &result, const QString &path);

} // namespace pictrove

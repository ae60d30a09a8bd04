#pragma once

#include "decoding/Decoders.h"

#include <QImage>
#include <QString>

namespace pictrove {

// What every decode route's picture goes through before it leaves the
// decoder, so that the preview, Step 2, the batch and the converter all get
// the picture as it is meant to be seen: an embedded colour profile
// converted to sRGB, then the orientation the file names applied; the
// file's EXIF block (saying orientation 1 once the picture is upright) and
// XMP packet kept for the writers. A profile that cannot be used leaves the
// colours as decoded and says so in the warning. Runs in the decoder
// process only: it reads the file's bytes.
void adjustPhoto(LoadResult &result, const QString &path, const DecodeLimits &limits);

// The stored picture turned as an EXIF or TIFF orientation (1 to 8) says;
// a null image when there is no memory for it.
QImage uprightPicture(const QImage &stored, int orientation);

// The warnings a profile gives.
QString damagedProfileWarning();
QString unusableProfileWarning();

} // namespace pictrove

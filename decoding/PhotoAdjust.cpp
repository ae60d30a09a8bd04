#include "decoding/PhotoAdjust.h"

#include "decoding/PhotoMetadata.h"

namespace pictrove {

void adjustPhoto(LoadResult &result, const QString &path)
{
    if (!result.ok)
        return;
    PhotoMetadata metadata = readPhotoMetadata(path);
    result.exif = std::move(metadata.exif);
    result.xmp = std::move(metadata.xmp);
}

} // namespace pictrove

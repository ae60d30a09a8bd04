#pragma once

#include <QByteArray>

namespace pictrove {

// What a source file says about its picture beyond the pixels, travelling
// with the pixels from the decoder to the writers: the EXIF block as a TIFF
// structure (no "Exif\0\0" prefix) and the XMP packet, each empty when the
// file has none.
struct PictureMetadata {
    QByteArray exif;
    QByteArray xmp;

    bool isEmpty() const { return exif.isEmpty() && xmp.isEmpty(); }
    bool operator==(const PictureMetadata &other) const = default;
};

} // namespace pictrove

#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace pictrove {

// The container a file's first bytes name, among those that carry photo
// metadata (whatever the file's extension says).
enum class PhotoContainer { None, Jpeg, Png, Tiff, WebP };

// How the file stores its samples, as far as a colour profile must fit it.
enum class StoredColour { Unknown, Grey, Rgb, Cmyk, Other };

// What a picture file says about its picture beyond the pixels. Read from
// hostile bytes: only in the decoder process.
struct PhotoMetadata {
    PhotoContainer container = PhotoContainer::None;
    StoredColour colour = StoredColour::Unknown;
    // The EXIF block as a TIFF structure, without JPEG's "Exif\0\0". For a
    // TIFF file, a small one built from its descriptive tags and EXIF and
    // GPS directories, not the whole file.
    QByteArray exif;
    QByteArray xmp;
    QByteArray icc;
    // There is a profile, but its pieces do not make one (JPEG chunks
    // missing or numbered wrongly, a PNG profile that does not inflate).
    bool iccDamaged = false;
    // 1 (as stored) to 8, from the EXIF block or TIFF's own tag.
    int orientation = 1;
};

PhotoMetadata readPhotoMetadata(QIODevice &device);
PhotoMetadata readPhotoMetadata(const QString &path);

// The orientation (1 to 8) an EXIF block names, or 1 when it names none or
// cannot be read.
int exifOrientation(const QByteArray &exif);

// The same block saying the picture is upright (orientation 1), for a
// picture that has been turned by it; unchanged when it names none.
QByteArray exifSetUpright(QByteArray exif);

} // namespace pictrove

#include "decoding/PhotoAdjust.h"

#include "decoding/ColourProfile.h"
#include "decoding/PhotoMetadata.h"

#include <QColorSpace>
#include <QTransform>

#include <utility>

namespace pictrove {

namespace {

void warn(LoadResult &result, const QString &warning)
{
    if (result.warning.isEmpty())
        result.warning = warning;
}

// The CMYK samples of the file through its CMYK profile. The libraries'
// own conversion, which knows no profile, is replaced whole.
void convertCmyk(LoadResult &result, const PhotoMetadata &metadata, const QString &path,
                 const DecodeLimits &limits)
{
    const SrgbTransform::Found found = SrgbTransform::forProfile(metadata.icc, ProfileInput::Cmyk);
    if (found.verdict == SrgbTransform::Verdict::Damaged) {
        warn(result, damagedProfileWarning());
        return;
    }
    if (found.verdict != SrgbTransform::Verdict::Ready
        || (metadata.container != PhotoContainer::Jpeg && metadata.container != PhotoContainer::Tiff)) {
        warn(result, unusableProfileWarning());
        return;
    }
    const auto samples = readCmykSamples(path, metadata.container == PhotoContainer::Tiff, limits);
    if (!samples || samples->width != result.image.width() || samples->height != result.image.height()) {
        warn(result, unusableProfileWarning());
        return;
    }
    QImage converted = found.transform->applyCmyk(samples->bytes.data(), qsizetype(samples->width) * 4,
                                                  samples->width, samples->height);
    if (converted.isNull()) {
        warn(result, unusableProfileWarning());
        return;
    }
    result.image = std::move(converted);
}

void convertToSrgb(LoadResult &result, const PhotoMetadata &metadata, const QString &path,
                   const DecodeLimits &limits)
{
    if (metadata.icc.isEmpty()) {
        if (metadata.iccDamaged)
            warn(result, damagedProfileWarning());
        return;
    }
    ProfileInput input = ProfileInput::Bgra;
    switch (metadata.colour) {
    case StoredColour::Cmyk:
        convertCmyk(result, metadata, path, limits);
        return;
    case StoredColour::Grey:
        input = ProfileInput::Grey;
        break;
    case StoredColour::Rgb:
    case StoredColour::Unknown:
        break;
    case StoredColour::Other:
        // L*a*b* and the like are turned into sRGB by their reader already.
        return;
    }
    const SrgbTransform::Found found = SrgbTransform::forProfile(metadata.icc, input);
    switch (found.verdict) {
    case SrgbTransform::Verdict::AlreadySrgb:
        return;
    case SrgbTransform::Verdict::Damaged:
        warn(result, damagedProfileWarning());
        return;
    case SrgbTransform::Verdict::Unusable:
        warn(result, unusableProfileWarning());
        return;
    case SrgbTransform::Verdict::Ready:
        break;
    }
    QImage &image = result.image;
    const QImage::Format wanted = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (image.format() != wanted)
        image = image.convertToFormat(wanted);
    if (image.isNull()) {
        result = loadFailure(QStringLiteral("not enough memory for the picture"));
        return;
    }
    found.transform->apply(image);
}

QImage rotated(const QImage &image, int degrees)
{
    // A quarter turn is a plain copy of the pixels in another order in Qt.
    return image.transformed(QTransform().rotate(degrees));
}

// An XMP packet's tiff:Orientation, as attribute or element, set to 1.
QByteArray xmpSetUpright(QByteArray xmp)
{
    static constexpr QByteArrayView name("tiff:Orientation");
    for (qsizetype at = xmp.indexOf(name); at >= 0; at = xmp.indexOf(name, at + 1)) {
        qsizetype digit = at + name.size();
        if (xmp.mid(digit, 2) == "=\"" || xmp.mid(digit, 2) == "='")
            digit += 2;
        else if (xmp.mid(digit, 1) == ">")
            digit += 1;
        else
            continue;
        if (digit < xmp.size() && xmp[digit] >= '2' && xmp[digit] <= '8'
            && (digit + 1 >= xmp.size() || xmp[digit + 1] < '0' || xmp[digit + 1] > '9'))
            xmp[digit] = '1';
    }
    return xmp;
}

} // namespace

QString damagedProfileWarning()
{
    return QStringLiteral("the colour profile is damaged; colours are shown as stored");
}

QString unusableProfileWarning()
{
    return QStringLiteral("the colour profile could not be used; colours are shown as stored");
}

QImage uprightPicture(const QImage &stored, int orientation)
{
    switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return stored.mirrored(true, true);
    case 4: return stored.mirrored(false, true);
    case 5: return rotated(stored, 90).mirrored(true, false);
    case 6: return rotated(stored, 90);
    case 7: return rotated(stored, 90).mirrored(false, true);
    case 8: return rotated(stored, 270);
    default: return stored;
    }
}

void adjustPhoto(LoadResult &result, const QString &path, const DecodeLimits &limits)
{
    if (!result.ok)
        return;
    PhotoMetadata metadata = readPhotoMetadata(path);
    // HEIF, AVIF and JPEG XL keep their profile where only their own
    // libraries look: their readers hand it over with the pixels.
    if (metadata.icc.isEmpty() && !result.iccProfile.isEmpty())
        metadata.icc = std::exchange(result.iccProfile, QByteArray());
    // What a reader attached stays with the reader: the pixels below are
    // sRGB or as stored, whichever reader made them.
    if (result.image.colorSpace().isValid())
        result.image.setColorSpace(QColorSpace());
    convertToSrgb(result, metadata, path, limits);
    if (!result.ok)
        return;
    if (metadata.orientation != 1) {
        QImage upright = uprightPicture(result.image, metadata.orientation);
        if (upright.isNull()) {
            result = loadFailure(QStringLiteral("not enough memory for the picture"));
            return;
        }
        result.image = std::move(upright);
        if (metadata.orientation >= 5)
            result.fullSize.transpose();
    }
    result.exif = exifSetUpright(std::move(metadata.exif));
    result.xmp = xmpSetUpright(std::move(metadata.xmp));
}

} // namespace pictrove

#include "decoding/Decoders.h"

#include "decoding/DeclaredSize.h"
#include "decoding/PhotoAdjust.h"
#include "decoding/VariantDecoders.h"

#include <FreeImage.h>

namespace pictrove {

namespace {

// Both tables' JPEG routes: FreeImage's, and the platform reader's.
bool readsJpeg(const LoaderRoute &route, QStringView extension)
{
    if (route.kind == DecoderKind::FreeImage)
        return route.freeImageFormat == FIF_JPEG;
    return route.kind == DecoderKind::Platform
        && (extension.compare(u"jpg", Qt::CaseInsensitive) == 0
            || extension.compare(u"jpeg", Qt::CaseInsensitive) == 0);
}

LoadResult decodeWith(const LoaderRoute &route, const QString &path, QStringView extension,
                      const DecodeLimits &limits)
{
    // A JPEG to be shrunk by half or more is never decoded whole.
    if (readsJpeg(route, extension)) {
        if (auto scaled = decodeJpegScaled(path, limits))
            return std::move(*scaled);
    }
    switch (route.kind) {
    case DecoderKind::DevIL:
        return decodeWithDevil(path, extension, limits);
    case DecoderKind::FreeImage:
        return decodeWithFreeImage(path, route.freeImageFormat, route.flags, limits);
    case DecoderKind::FreeImageDetected:
        return decodeWithFreeImageDetected(path, limits);
    case DecoderKind::DcxFirstPage:
        return decodeDcxFirstPage(path, limits);
    case DecoderKind::Platform:
        return decodeWithPlatform(path, extension, limits);
    case DecoderKind::WebP:
        return decodeWebP(path, limits);
    case DecoderKind::Heif:
        return decodeHeif(path, extension, limits);
    case DecoderKind::JpegXl:
        return decodeJpegXl(path, limits);
    case DecoderKind::RawPreview:
        return decodeRawPreview(path, limits);
    case DecoderKind::None:
        break;
    }
    return loadFailure(QStringLiteral("no loader reads files of this type"));
}

// Pad bytes are mostly zero: read as alpha, the picture would vanish into
// the white that transparency is put on later.
void dropAlpha(QImage &image)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *px = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            px[x] |= 0xFF000000u;
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
}

} // namespace

LoadResult loadedPicture(QImage image, int depth)
{
    LoadResult result;
    result.ok = true;
    result.image = std::move(image);
    result.depth = depth;
    return result;
}

LoadResult loadFailure(const QString &reason)
{
    LoadResult result;
    result.error = reason;
    return result;
}

LoadResult decodeRoute(const LoaderRoute &route, const QString &path, QStringView extension,
                       const DecodeLimits &limits)
{
    LoadResult result = decodeWith(route, path, extension, limits);
    // Whichever library read it, the header has the last word on alpha; it
    // is read only when a library claims transparency.
    if (result.ok && result.image.hasAlphaChannel() && declaresNoAlpha(path, extension))
        dropAlpha(result.image);
    return result;
}

LoadResult decodeInProcess(const QString &path, QStringView extension, LoaderTable table,
                           const DecodeLimits &limits)
{
    LoadResult result = [&] {
        // Some variants are read wrongly by the library of either table;
        // the header, not the table, decides where they go.
        if (auto variant = decodeVariant(path, extension, limits))
            return std::move(*variant);
        LoadResult first = decodeRoute(routeFor(table, extension), path, extension, limits);
        if (first.ok)
            return first;
        // A listed file that one library cannot read may still be readable
        // by the other table's library; trying it costs only the failed file.
        const LoaderRoute fallback = fallbackRouteFor(table, extension);
        if (fallback.kind == DecoderKind::None)
            return first;
        LoadResult second = decodeRoute(fallback, path, extension, limits);
        return second.ok ? second : first;
    }();
    adjustPhoto(result, path, limits);
    return result;
}

LoadResult decodeFallbackInProcess(const QString &path, QStringView extension, LoaderTable table,
                                   const DecodeLimits &limits)
{
    LoadResult result = decodeRoute(fallbackRouteFor(table, extension), path, extension, limits);
    adjustPhoto(result, path, limits);
    return result;
}

} // namespace pictrove

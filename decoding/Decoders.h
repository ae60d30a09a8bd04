#pragma once

#include "decoding/PictureLoader.h"
#include "decoding/ResizeTarget.h"

#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace pictrove {

// Limits a decode holds to before it allocates pixels.
struct DecodeLimits {
    // Largest pixel count accepted (a 32-bit copy of it must fit several
    // times into the decoder's address space).
    std::int64_t maxPixels = std::int64_t(1) << 27;
    // The resize the picture is read for: a JPEG shrunk by half or more is
    // decoded at libjpeg's nearest smaller scale (LoadResult::fullSize).
    ResizeSetting resize;
};

// Reads the file in this process with the table's route for the extension,
// then with the other table's route when that differs and the first failed;
// the picture then goes through adjustPhoto. Only the decoder process calls
// this on users' files.
LoadResult decodeInProcess(const QString &path, QStringView extension, LoaderTable table,
                           const DecodeLimits &limits = {});

// Only the route tried after a failure (the first one crashed the decoder),
// adjusted as decodeInProcess adjusts its picture.
LoadResult decodeFallbackInProcess(const QString &path, QStringView extension, LoaderTable table,
                                   const DecodeLimits &limits);

// One route, no fallback, as the library hands it over: no orientation,
// colour profile or metadata applied (see PhotoAdjust.h).
LoadResult decodeRoute(const LoaderRoute &route, const QString &path, QStringView extension,
                       const DecodeLimits &limits);

// The per-library decoders behind decodeRoute.
LoadResult decodeWithDevil(const QString &path, QStringView extension, const DecodeLimits &limits);
LoadResult decodeWithFreeImage(const QString &path, int format, int flags,
                               const DecodeLimits &limits);
LoadResult decodeWithFreeImageDetected(const QString &path, const DecodeLimits &limits);
LoadResult decodeDcxFirstPage(const QString &path, const DecodeLimits &limits);
LoadResult decodeWithPlatform(const QString &path, QStringView extension,
                              const DecodeLimits &limits);
LoadResult decodeWebP(const QString &path, const DecodeLimits &limits);
LoadResult decodeHeif(const QString &path, QStringView extension, const DecodeLimits &limits);
LoadResult decodeJpegXl(const QString &path, const DecodeLimits &limits);
// The embedded preview of a camera raw file when its longer side reaches
// rawPreviewMinimum, else the whole demosaiced picture.
LoadResult decodeRawPreview(const QString &path, const DecodeLimits &limits);
constexpr int rawPreviewMinimum = 1024;

// The samples of a CMYK JPEG or TIFF as stored, before any library turns
// them into RGB: cyan, magenta, yellow, black bytes (0 for no ink), the top
// row first. FreeImage takes JPEG's CMYK as Adobe's inverted kind. Empty
// when the file does not hold 8-bit CMYK that FreeImage reads so.
struct CmykSamples {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> bytes;
};
std::optional<CmykSamples> readCmykSamples(const QString &path, bool tiff, const DecodeLimits &limits);

// A JPEG read at libjpeg's nearest smaller scale (1/2, 1/4, 1/8) that is
// still at least the resize's target, through FreeImage's size hint, with
// fullSize set; nothing when the resize does not shrink it by half or more
// or its header cannot be read (the usual route then reads it).
std::optional<LoadResult> decodeJpegScaled(const QString &path, const DecodeLimits &limits);

// A failed result with a reason.
LoadResult loadFailure(const QString &reason);
// A successful result: the picture and the depth it was handed over with.
LoadResult loadedPicture(QImage image, int depth);

} // namespace pictrove

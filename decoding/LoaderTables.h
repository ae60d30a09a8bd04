#pragma once

#include <QString>
#include <QStringView>

namespace pictrove {

// Which dispatch table a load goes through: the preview's (`LoadImageBitmap`
// and the platform route of the preview) or the batch source's
// (`LoadBatchSource`). They differ in which library reads which extension.
enum class LoaderTable : unsigned char { Preview = 0, Batch = 1 };

enum class DecoderKind : unsigned char {
    None,               // nothing is loaded
    DevIL,              // ilLoadImage, by the path's extension
    FreeImage,          // one FreeImage loader, format and flags below
    FreeImageDetected,  // FreeImage_Load with the type found in the first 16 bytes
    DcxFirstPage,       // the first PCX page of a DCX file, through FreeImage
    Platform,           // Qt's reader by content, libwmf, libemf2svg + Qt SVG
    WebP,               // libwebp: a still picture or an animation's first frame
    Heif,               // libheif: HEIC, HEIF and AVIF, the primary image
    JpegXl,             // libjxl
    RawPreview,         // a camera raw file's embedded preview when it is large enough
};

struct LoaderRoute {
    DecoderKind kind = DecoderKind::None;
    int freeImageFormat = -1; // FREE_IMAGE_FORMAT for DecoderKind::FreeImage
    int flags = 0;
};

// The route of a lower- or upper-case extension in one table.
LoaderRoute routeFor(LoaderTable table, QStringView extension);

// The route a failed load tries next: the other table's, when it names a
// different decoder for the extension, else a library that reads the format
// where the tables' own one cannot (DevIL crashes on common XPM files and
// never reads a DCX file); otherwise kind None.
LoaderRoute fallbackRouteFor(LoaderTable table, QStringView extension);

// The colour depth the platform route reports, whatever the file holds.
int platformRouteDepth(QStringView extension);

} // namespace pictrove

#pragma once

#include "engine/conversion/ConversionContext.h"
#include "engine/conversion/FileResult.h"

#include <QString>

#include <cstdint>

namespace pictrove {

// The one encoding pipeline behind the preview encoders and the batch
// worker. Each call owns its PaletteEncoder, its FreeImage bitmaps and its
// work file; it writes path and nothing else.

// The palette route: PaletteEncoder writes a GIF (kind 1, 2) or a BMP
// (kind 0) that FreeImage rewrites as BMP, PNG, TGA or TIFF, or that is
// drawn into the optimized surface for the PCX writer.
struct EncodeOutcome {
    bool written = false;  // path holds a complete file
    bool abandoned = false; // ended at a stage boundary: its result is not wanted
    QString typeText;      // "GIF", "BMP", "PNG", "TGA", "TIF", "PCX", "JPG", "WEBP", "AVIF"
    EncoderKind kind = EncoderKind::Bmp;
    int libraryFormat = 0; // LibraryFormat used (kind 0)
    QString depthText;     // DepthText used, or "24 bit" for JPEG
    QString error;
    QString status;        // for status panel 5: the library route's one failure text
    // The GIF rows' picture exactly as the file holds it: GIF keeps every
    // index, so the preview shows this instead of decoding the file again.
    // The WebP and AVIF rows' picture as their file holds it (with alpha).
    // The 24-bit BMP, PNG, TGA and TIFF rows' picture, which their files
    // hold exactly, when the encoder kept it.
    QImage written8;
};

EncodeOutcome encodeWithPalette(ConversionContext &context, const PictureSurface &picture,
                                const QString &path);

// The JPEG route: the picture as 24 bits, written by FreeImage with the
// quality value (a FreeImage JPEG flag or 1..100). Stores the quality in
// JpegQuality.
EncodeOutcome encodeJpeg(ConversionContext &context, const PictureSurface &picture,
                         const QString &path, std::int32_t quality);

// The WebP and AVIF rows: the picture with its transparency, flipped,
// inverted and made grey as the palette encoder does for true colour,
// encoded by libwebp or libavif with settings.WebQuality and written whole.
// forView: written8 also receives the file's picture as the optimized view
// shows it (what a lossy file decodes to).
EncodeOutcome encodeWeb(ConversionContext &context, const PictureSurface &picture,
                        const QString &path, bool forView);
// The one place where a picture is resized: the batch and the preview
// frames call it on the surface they are about to encode, so every route
// (palette, JPEG, and any other) gets the resized picture. fullSize is the
// picture's size in its file (the decoder may have read it smaller); an
// empty one means the surface's own. Nothing is touched for Original or
// when the size does not change. False, with a reason, when the result
// would be larger than a picture may be or memory runs out.
bool resizeForEncoding(ConversionContext &context, PictureSurface &surface, QSize fullSize,
                       QString *error);

// Largest resized picture, as large as the decoder accepts.
constexpr std::int64_t maxResizedPixels = std::int64_t(1) << 27;

// The failure text of the library route.
inline const char *const CannotApplyFormatText = "The current format cannot be applied to the image!";

} // namespace pictrove

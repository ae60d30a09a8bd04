#include "workflow/options/SaveOptimized.h"

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/palette/PaletteCodes.h"

namespace pictrove {

QString saveOptimizedFilter(int row, const OutputSettings &settings)
{
    if (isJpegRow(row))
        return QStringLiteral("Independent JPEG (*.jpg)|*.jpg");
    switch (settings.Web) {
    case WebFormat::WebpLossy:
    case WebFormat::WebpLossless: return QStringLiteral("WebP Image (*.webp)|*.webp");
    case WebFormat::Avif: return QStringLiteral("AVIF Image (*.avif)|*.avif");
    case WebFormat::None: break;
    }
    if (settings.EncoderKind == EncoderKind::Gif ||
        settings.EncoderKind == EncoderKind::GifInterlaced)
        return QStringLiteral("Graphical Interface Format (*.gif)|*.gif");
    if (settings.EncoderKind != EncoderKind::Bmp)
        return {};
    switch (settings.LibraryFormat) {
    case LibraryFormat::Bmp: return QStringLiteral("Windows Bitmap Format (*.bmp)|*.bmp");
    case LibraryFormat::Png: return QStringLiteral("Portable Network Graphics (*.png)|*.png");
    case LibraryFormat::Tga: return QStringLiteral("Targa Format (*.tga)|*.tga");
    case LibraryFormat::Tiff: return QStringLiteral("Tagged Image Format (*.tif)|*.tif");
    case LibraryFormat::Pcx: return QStringLiteral("PCX Format (*.pcx)|*.pcx");
    default: return {};
    }
}

} // namespace pictrove

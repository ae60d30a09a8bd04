#include "decoding/FreeImageConvert.h"

#include "decoding/PixelHandOver.h"

#include <cstring>

namespace pictrove {

namespace {

// Samples of 16 bits to 8 by their full range, alpha kept. FreeImage's own
// conversions stretch grey between the picture's darkest and lightest
// sample and drop the alpha of RGBA.
QImage fromSixteenBits(FIBITMAP *bitmap, FREE_IMAGE_TYPE type)
{
    const int w = int(FreeImage_GetWidth(bitmap));
    const int h = int(FreeImage_GetHeight(bitmap));
    const bool alpha = type == FIT_RGBA16;
    QImage out = handover::newPicture(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return {};
    const auto to8 = [](unsigned v) { return int((v * 255 + 32767) / 65535); };
    for (int y = 0; y < h; ++y) {
        const BYTE *src = FreeImage_GetScanLine(bitmap, h - 1 - y);
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (type == FIT_UINT16) {
                const int v = to8(reinterpret_cast<const WORD *>(src)[x]);
                dst[x] = qRgb(v, v, v);
            } else if (type == FIT_RGB16) {
                const FIRGB16 &p = reinterpret_cast<const FIRGB16 *>(src)[x];
                dst[x] = qRgb(to8(p.red), to8(p.green), to8(p.blue));
            } else {
                const FIRGBA16 &p = reinterpret_cast<const FIRGBA16 *>(src)[x];
                dst[x] = qRgba(to8(p.red), to8(p.green), to8(p.blue), to8(p.alpha));
            }
        }
    }
    return out;
}

} // namespace

QImage toQImage(FIBITMAP *bitmap)
{
    if (!bitmap || !FreeImage_HasPixels(bitmap))
        return {};
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    if (type == FIT_UINT16 || type == FIT_RGB16 || type == FIT_RGBA16)
        return fromSixteenBits(bitmap, type);
    FiBitmap standard;
    FIBITMAP *source = bitmap;
    if (type != FIT_BITMAP) {
        standard.reset(FreeImage_ConvertToStandardType(bitmap, TRUE));
        if (!standard) // RGB16/RGBA16/float types need their own route
            standard.reset(FreeImage_ConvertTo24Bits(bitmap));
        if (!standard)
            return {};
        source = standard.get();
    }
    const bool alpha = FreeImage_IsTransparent(source) || FreeImage_GetBPP(source) == 32;
    // True-colour rows go straight into the picture. FreeImage's own 32-bit
    // conversion (palettes, transparency tables, bit masks) makes a whole
    // second picture first: for a large photo, a full-size copy more.
    const unsigned depth = FreeImage_GetBPP(source);
    const bool direct = FreeImage_GetImageType(source) == FIT_BITMAP && (depth == 24 || depth == 32);
    FiBitmap rgba;
    FIBITMAP *rows = source;
    if (!direct) {
        rgba.reset(FreeImage_ConvertTo32Bits(source));
        if (!rgba)
            return {};
        standard.reset();
        rows = rgba.get();
    }
    const bool narrow = FreeImage_GetBPP(rows) == 24;
    const int w = int(FreeImage_GetWidth(rows));
    const int h = int(FreeImage_GetHeight(rows));
    QImage out = handover::newPicture(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return {};
    const std::size_t rowBytes = std::size_t(w) * 4;
    for (int y = 0; y < h; ++y) {
        BYTE *src = FreeImage_GetScanLine(rows, h - 1 - y);
        uchar *dst = out.scanLine(y);
        if (narrow)
            FreeImage_ConvertLine24To32(dst, src, w);
        else
            std::memcpy(dst, src, rowBytes);
        if (!alpha) {
            auto *px = reinterpret_cast<QRgb *>(dst);
            for (int x = 0; x < w; ++x)
                px[x] |= 0xFF000000u;
        }
    }
    return out;
}

FiBitmap toFreeImage32(const QImage &image)
{
    if (image.isNull())
        return {};
    const QImage src = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32)
                                               : image.convertToFormat(QImage::Format_RGB32);
    const int w = src.width();
    const int h = src.height();
    FiBitmap dib(FreeImage_Allocate(w, h, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                    FI_RGBA_BLUE_MASK));
    if (!dib)
        return {};
    const std::size_t rowBytes = std::size_t(w) * 4;
    for (int y = 0; y < h; ++y)
        std::memcpy(FreeImage_GetScanLine(dib.get(), h - 1 - y), src.constScanLine(y), rowBytes);
    return dib;
}

} // namespace pictrove

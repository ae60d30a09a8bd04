#include "engine/core/FreeImageBridge.h"

#include <mutex>

#include "decoding/FreeImageConvert.h"
#include "decoding/FreeImageMessages.h"
#include "engine/core/PictureSurface.h"

#include <QPainter>

#include <algorithm>
#include <cerrno>

namespace pictrove::bridge {

namespace {

// The bridge's own reasons share FreeImage's message slot: its routines
// stand in for FreeImage calls, and a reader sees whichever spoke last.
void beginCall() { clearFreeImageMessage(); }

bool hasFailed() { return !freeImageMessage().isEmpty(); }

void fail(const char *message)
{
    if (!hasFailed())
        setFreeImageMessage(QString::fromLatin1(message));
}

// errno stands in for the platform's last error code; it follows the text
// directly.
void failWithCode(const char *message, int code)
{
    if (!hasFailed())
        setFreeImageMessage(QString::fromLatin1(message) + QString::number(code));
}

// A window bitmap has no alpha: whatever colour a pixel stores is what is
// shown, so the alpha byte is forced opaque rather than blended away.
QImage opaqueRgb32(QImage image)
{
    if (image.format() == QImage::Format_RGB32)
        return image;
    if (image.format() != QImage::Format_ARGB32)
        image = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32)
                                        : image.convertToFormat(QImage::Format_RGB32);
    if (image.isNull() || image.format() == QImage::Format_RGB32)
        return image;
    for (int y = 0; y < image.height(); ++y) {
        auto *px = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            px[x] |= 0xFF000000u;
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

bool isDrawable(const QImage &target)
{
    switch (target.format()) {
    case QImage::Format_Invalid:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        return false;
    default:
        return !target.isNull();
    }
}

// Copies the top-left width x height part of source (clipped to it) to
// (x, y) of target, replacing what was there.
void blit(const QImage &source, QImage &target, int x, int y, int width, int height, bool invert)
{
    const int w = width < 1 ? source.width() : std::min(width, source.width());
    const int h = height < 1 ? source.height() : std::min(height, source.height());
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (invert) {
        QImage part = source.copy(0, 0, w, h);
        part.invertPixels(QImage::InvertRgb);
        painter.drawImage(QPoint(x, y), part);
    } else {
        painter.drawImage(QPoint(x, y), source, QRect(0, 0, w, h));
    }
}

int measured(const QImage &bitmap, int pixels, const char *noBitmap)
{
    beginCall();
    if (bitmap.isNull()) {
        fail(noBitmap);
        return 0;
    }
    return pixels;
}

} // namespace

namespace {
// FreeImage counts its initialisations without a lock of its own; encodes
// run on several threads at once (a batch run beside the preview, the
// converter's jobs).
std::mutex initialisations;
} // namespace

void InitFreeImage()
{
    const std::lock_guard lock(initialisations);
    FreeImage_Initialise(FALSE);
    startFreeImageMessages();
}

void DeInitFreeImage()
{
    const std::lock_guard lock(initialisations);
    FreeImage_DeInitialise();
}

void OnFreeImageMessage(FREE_IMAGE_FORMAT, const char *message) noexcept
{
    recordFreeImageMessage(message);
}

QString BridgeErrorText() { return freeImageMessage(); }

bool FreeImage_BMP_From_DIB(FIBITMAP *dib, QImage &bitmap)
{
    bitmap = QImage();
    beginCall();
    if (!dib) {
        fail("[FreeImage_BMP_From_DIB] No DIB specified to convert");
        return false;
    }
    if (!FreeImage_HasPixels(dib)) {
        fail("[FreeImage_BMP_From_DIB] FreeImage_GetBits failed to get the DIB's bits");
        return false;
    }
    errno = 0;
    QImage converted = opaqueRgb32(toQImage(dib));
    if (converted.isNull()) {
        failWithCode("[FreeImage_BMP_From_DIB] CreateDIBitmap failed to create the BITMAP from "
                     "the DIB reporting error code ",
                     errno);
        return false;
    }
    bitmap = std::move(converted);
    return true;
}

bool FreeImage_DIB_From_BMP(const QImage &bitmap, FiBitmap &dib)
{
    dib.reset();
    beginCall();
    if (bitmap.isNull()) {
        fail("[FreeImage_DIB_From_BMP] No bitmap specified to convert");
        return false;
    }
    FiBitmap converted = toFreeImage32(opaqueRgb32(bitmap));
    if (!converted) {
        fail("[FreeImage_DIB_From_BMP] FreeImage_Allocate failed to create a DIB to work with");
        return false;
    }
    dib = std::move(converted);
    return true;
}

bool FreeImage_RenderDIB(FIBITMAP *dib, QImage &target, int x, int y, int width, int height)
{
    beginCall();
    if (!dib)
        fail("[FreeImage_RenderDIB] No DIB specified to render");
    if (!isDrawable(target))
        fail("[FreeImage_RenderDIB] DC specified was invalid");
    if (dib && !FreeImage_HasPixels(dib))
        fail("[FreeImage_RenderDIB] Could not get the DIB's bits");
    if (hasFailed())
        return false;
    errno = 0;
    const QImage source = opaqueRgb32(toQImage(dib));
    if (source.isNull()) {
        failWithCode("[FreeImage_RenderDIB] SetDIBitsToDevice failed to render the DIB to the "
                     "specified DC with error code ",
                     errno);
        return false;
    }
    blit(source, target, x, y, width, height, false);
    return true;
}

bool FreeImage_RenderDIB(FIBITMAP *dib, PictureSurface &target, int x, int y, int width,
                         int height)
{
    if (!FreeImage_RenderDIB(dib, target.backingStore(), x, y, width, height))
        return false;
    target.notifyChanged();
    return true;
}

bool FreeImage_RenderBitmap(const QImage &bitmap, QImage &target, int x, int y, int width,
                            int height, bool invert)
{
    beginCall();
    if (bitmap.isNull())
        fail("[FreeImage_RenderBitmap] No bitmap specified to render");
    if (!isDrawable(target))
        fail("[FreeImage_RenderBitmap] DC specified is not valid");
    if (hasFailed())
        return false;
    blit(opaqueRgb32(bitmap), target, x, y, width, height, invert);
    return true;
}

bool FreeImage_RenderBitmap(const QImage &bitmap, PictureSurface &target, int x, int y,
                            int width, int height, bool invert)
{
    if (!FreeImage_RenderBitmap(bitmap, target.backingStore(), x, y, width, height, invert))
        return false;
    target.notifyChanged();
    return true;
}

int FreeImage_GetBitmapWidth(const QImage &bitmap)
{
    return measured(bitmap, bitmap.width(),
                    "[FreeImage_GetBitmapWidth] No bitmap specified to get the info for");
}

int FreeImage_GetBitmapHeight(const QImage &bitmap)
{
    return measured(bitmap, bitmap.height(),
                    "[FreeImage_GetBitmapHeight] No bitmap specified to get the info for");
}

} // namespace pictrove::bridge

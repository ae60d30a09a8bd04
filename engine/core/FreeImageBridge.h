#pragma once

#include "decoding/FreeImageHandles.h"
#include "decoding/FreeImageMessages.h"

#include <QImage>
#include <QString>

namespace pictrove {
class PictureSurface;
}

// The bridge between FreeImage bitmaps and the pictures the program shows.
// A "window bitmap" is a QImage in Format_RGB32 (null = no bitmap); a drawing
// target is a QImage or a PictureSurface's client area.
//
// Every routine reports success through its result and never throws. The
// reason for the last failure is kept in BridgeErrorText(), FreeImage's
// message slot of this thread (decoding/FreeImageMessages.h): each routine
// empties it on entry, a failure stores its message only while it is still
// empty (so the first failure of a call is the one kept), and FreeImage's own
// messages overwrite it as they arrive.
//
// The names mirror FreeImage's style on purpose and live in their own
// namespace so that they can never collide with the library's symbols.
namespace pictrove::bridge {

// Starts FreeImage for one unit of work, its messages routed to this
// thread's message slot. Pair every call with DeInitFreeImage, or use
// FreeImageScope.
void InitFreeImage();
void DeInitFreeImage();

// What FreeImage's message callback does: stores the library's message as
// the failure reason (an unreadable message leaves the reason empty).
void OnFreeImageMessage(FREE_IMAGE_FORMAT format, const char *message) noexcept;

// The reason for the last failure of a bridge routine on this thread, or
// FreeImage's last message within the current scope; empty when the last
// call succeeded.
QString BridgeErrorText();

// FreeImage keeps a reference count of its initialisations (and holds one of
// its own from load time on Linux), so balanced scopes may nest and never
// unload the plug-ins under another user. A scope is one operation: it
// starts without a reason, so a failure in it never shows a message left
// by earlier work on the thread.
class FreeImageScope {
public:
    FreeImageScope() { InitFreeImage(); }
    ~FreeImageScope() { DeInitFreeImage(); }
    FreeImageScope(const FreeImageScope &) = delete;
    FreeImageScope &operator=(const FreeImageScope &) = delete;

private:
    pictrove::FreeImageOperation m_operation;
};

// Converts a FreeImage bitmap of any depth (palettes, 16-bit 555/565
// included) into a window bitmap, upright. bitmap is emptied first and
// receives the result; alpha is ignored, as a window bitmap has none.
bool FreeImage_BMP_From_DIB(FIBITMAP *dib, QImage &bitmap);

// Converts a window bitmap into a new 32-bit FreeImage bitmap of the same
// size, bottom-up as FreeImage expects and fully opaque. dib is released
// first and receives the result.
bool FreeImage_DIB_From_BMP(const QImage &bitmap, FiBitmap &dib);

// Draws a FreeImage bitmap unscaled with its top-left corner at (x, y).
// width or height below 1 means the bitmap's own; a smaller size draws that
// part of the bitmap from its top-left corner. Target pixels are replaced,
// not blended.
bool FreeImage_RenderDIB(FIBITMAP *dib, QImage &target, int x, int y, int width, int height);
bool FreeImage_RenderDIB(FIBITMAP *dib, PictureSurface &target, int x, int y, int width,
                         int height);

// Draws a window bitmap the same way; invert draws its inverted colours.
bool FreeImage_RenderBitmap(const QImage &bitmap, QImage &target, int x, int y, int width,
                            int height, bool invert);
bool FreeImage_RenderBitmap(const QImage &bitmap, PictureSurface &target, int x, int y,
                            int width, int height, bool invert);

// The window bitmap's size in pixels, 0 when there is no bitmap.
int FreeImage_GetBitmapWidth(const QImage &bitmap);
int FreeImage_GetBitmapHeight(const QImage &bitmap);

} // namespace pictrove::bridge

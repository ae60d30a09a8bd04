#include "engine/palette/BmpWriter.h"

#include "decoding/FreeImageHandles.h"
#include "engine/core/FreeImageSave.h"

#include <cstring>

namespace pictrove {

namespace {

int bmpBitsFor(qsizetype colours)
{
    return colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
}

FiBitmap paletteBitmap(const QImage &picture)
{
    const QList<QRgb> table = picture.colorTable();
    if (table.isEmpty() || table.size() > 256)
        return {};
    const int bits = bmpBitsFor(table.size());
    const int width = picture.width(), height = picture.height();
    FiBitmap dib(FreeImage_Allocate(width, height, bits));
    if (!dib)
        return {};
    RGBQUAD *palette = FreeImage_GetPalette(dib.get());
    for (int i = 0; i < (1 << bits); ++i) {
        const QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
        palette[i] = RGBQUAD{BYTE(qBlue(c)), BYTE(qGreen(c)), BYTE(qRed(c)), 0};
    }
    for (int y = 0; y < height; ++y) {
        const uchar *in = picture.constScanLine(y);
        BYTE *out = FreeImage_GetScanLine(dib.get(), height - 1 - y); // bottom-up
        if (bits == 8) {
            std::memcpy(out, in, size_t(width));
        } else if (bits == 4) {
            std::memset(out, 0, FreeImage_GetPitch(dib.get()));
            for (int x = 0; x < width; ++x)
                out[x >> 1] |= BYTE((in[x] & 15) << ((x & 1) ? 0 : 4));
        } else {
            std::memset(out, 0, FreeImage_GetPitch(dib.get()));
            for (int x = 0; x < width; ++x)
                out[x >> 3] |= BYTE((in[x] & 1) << (7 - (x & 7)));
        }
    }
    return dib;
}

FiBitmap rgb555Bitmap(const QImage &picture)
{
    const int width = picture.width(), height = picture.height();
    FiBitmap dib(FreeImage_Allocate(width, height, 16, FI16_555_RED_MASK, FI16_555_GREEN_MASK,
                                    FI16_555_BLUE_MASK));
    if (!dib)
        return {};
    for (int y = 0; y < height; ++y)
        std::memcpy(FreeImage_GetScanLine(dib.get(), height - 1 - y), picture.constScanLine(y),
                    size_t(width) * 2);
    return dib;
}

FiBitmap rgb24Bitmap(const QImage &picture)
{
    const int width = picture.width(), height = picture.height();
    FiBitmap dib(FreeImage_Allocate(width, height, 24));
    if (!dib)
        return {};
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        BYTE *out = FreeImage_GetScanLine(dib.get(), height - 1 - y);
        for (int x = 0; x < width; ++x, out += 3) {
            out[FI_RGBA_BLUE] = BYTE(qBlue(in[x]));
            out[FI_RGBA_GREEN] = BYTE(qGreen(in[x]));
            out[FI_RGBA_RED] = BYTE(qRed(in[x]));
        }
    }
    return dib;
}

} // namespace

bool writeBmp(const QImage &picture, const QString &path)
{
    FiBitmap dib;
    switch (picture.format()) {
    case QImage::Format_Indexed8: dib = paletteBitmap(picture); break;
    case QImage::Format_RGB555: dib = rgb555Bitmap(picture); break;
    case QImage::Format_RGB32: dib = rgb24Bitmap(picture); break;
    default: return false;
    }
    if (!dib)
        return false;

    return saveBitmapChecked(FIF_BMP, dib.get(), path, BMP_DEFAULT);
}

} // namespace pictrove

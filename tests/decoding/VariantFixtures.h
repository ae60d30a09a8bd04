#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

namespace pictrove::test {

// A file of a less common variant of its format and the picture it holds,
// written by the same code, so that the expected pixels come from the
// generator and not from any decoder.
struct VariantFixture {
    QString name;       // file name, extension included
    QByteArray bytes;
    QImage expected;    // Format_ARGB32, not premultiplied
    int tolerance = 2;  // per channel, after both are put on white
};

// The picture most fixtures hold: 5 x 3 (an odd width, so rows need
// padding), every pixel a different colour; with alpha, from fully
// transparent to opaque.
QImage variantPicture(bool alpha);

std::vector<VariantFixture> netpbmVariants();    // 16-bit binary, plain-text bitmap
std::vector<VariantFixture> sgiVariants();       // two bytes a channel
std::vector<VariantFixture> targaVariants();     // grey with alpha, 16-bit maps, 32-bit RLE
std::vector<VariantFixture> bmpVariants();       // OS/2 2.x, overflowing RLE8, bare DIB
std::vector<VariantFixture> tiffVariants();      // 12-bit, 16-bit RGBA, orientations, L*a*b*
std::vector<VariantFixture> pngVariants();       // RGB with a colour key

// The display picture turned as a TIFF orientation (1 to 8) says it was
// stored: the stored raster that shows `upright` when the tag is applied.
QImage storedForOrientation(const QImage &upright, int orientation);

} // namespace pictrove::test

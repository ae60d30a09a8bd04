#pragma once

#include <QByteArray>
#include <QImage>

namespace pictrove::test {

// Colour profiles made with Little CMS, for fixtures and benchmarks alike.
QByteArray adobeRgbLikeProfile();   // Adobe RGB (1998) primaries, D65, gamma 2.2
QByteArray displayP3Profile();      // P3 primaries, D65, sRGB's tone curve
QByteArray srgbProfile();           // Little CMS's own sRGB
QByteArray greyProfile(double gamma); // D50, one gamma curve
// An output profile for a made-up press: CMYK to L*a*b* and back through
// tables (9 points a side), made-up ink formulas behind them. Tables of
// this size make it several JPEG chunks long.
QByteArray cmykProfile();

// What Little CMS itself makes of the samples through the profile into
// sRGB, perceptual intent with black-point compensation: the reference
// the decoder is held to. `picture` holds the stored samples as a 32-bit
// picture (red, green, blue; grey uses blue); `cmyk` 4 bytes a pixel.
QImage lcmsToSrgb(const QImage &picture, const QByteArray &icc, bool grey = false);
QImage lcmsCmykToSrgb(const QByteArray &cmyk, int width, int height, const QByteArray &icc);

} // namespace pictrove::test

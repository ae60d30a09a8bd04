#pragma once

#include <QString>

#include <cstdint>

namespace pictrove {

// The current encoding parameters, set by the Step 2 handlers and read by the
// preview and batch encoders.
struct OutputSettings {
    std::int32_t EncoderKind = 0;   // 0 BMP re-saved in LibraryFormat, 1 GIF, 2 interlaced GIF
    std::int32_t ColorMode = 0;     // 0 colours, 2 greyscale
    std::int32_t BitDepth = 0;      // 1..8 palette entries, 16, 24
    std::int32_t PaletteFlags = 0;  // a PaletteCode
    std::int32_t DitherCode = 0;
    std::int16_t LibraryFormat = 0; // a LibraryFormat value
    QString DepthText;              // e.g. "256 Colors"
    QString Extension;              // lower case, no dot
    std::int32_t JpegQuality = 0;   // quality of the last successful JPEG encode

    bool operator==(const OutputSettings &other) const = default;
};

// Colour-map codes passed to the palette encoder.
namespace PaletteCode {
constexpr std::int32_t MsMap = 0x1000;
constexpr std::int32_t Optimal = 0x4000;
constexpr std::int32_t FixedColor = 0x8000; // combined with 2^BitDepth before use
constexpr std::int32_t Vga = 0x8210;
constexpr std::int32_t InternetSafe = 0x84D8;
constexpr std::int32_t Ms256 = 0x8300;
constexpr std::int32_t FixedGrey = 0x88FF;
} // namespace PaletteCode

// Writers of the library route.
namespace LibraryFormat {
constexpr std::int16_t Bmp = 0;
constexpr std::int16_t Png = 1;
constexpr std::int16_t Tga = 2;
constexpr std::int16_t Tiff = 3;
constexpr std::int16_t Pcx = 4;
} // namespace LibraryFormat

// The colour map to hand to the encoder. A bare "Fixed Color" code is
// combined with the colour count 2^BitDepth (0x8100 for 8 bits) and stored
// back, so it is combined once however often this runs. Every user of
// PaletteFlags before an encode goes through here.
std::int32_t effectivePaletteFlags(OutputSettings &settings);

} // namespace pictrove

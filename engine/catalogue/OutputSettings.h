#pragma once

#include "decoding/ResizeTarget.h"
#include "engine/palette/PaletteCodes.h"

#include <QString>

#include <cstdint>

namespace pictrove {

// The rows written by libwebp and libavif (with their alpha, by their own
// quality); None for every other row.
enum class WebFormat : std::int32_t { None = 0, WebpLossy, WebpLossless, Avif };

// The current encoding parameters, set by the Step 2 handlers and read by the
// preview and batch encoders.
struct OutputSettings {
    // Bmp: a BMP re-saved in LibraryFormat.
    pictrove::EncoderKind EncoderKind = pictrove::EncoderKind::Bmp;
    ColourMode ColorMode = ColourMode::Colours;
    std::int32_t BitDepth = 0;      // 1..8 palette entries, 16, 24
    std::int32_t PaletteFlags = 0;  // a ColourMap, or "Fixed Color" with its colour count
    Dither DitherCode = Dither::None;
    std::int16_t LibraryFormat = 0; // a LibraryFormat value
    QString DepthText;              // e.g. "256 Colors"
    QString Extension;              // lower case, no dot
    std::int32_t JpegQuality = 0;   // quality of the last successful JPEG encode
    // Set by the WebP and AVIF rows alone; the palette fields then only
    // give the colour mode.
    WebFormat Web = WebFormat::None;
    std::int32_t WebQuality = 0;    // 1..100, the lossy rows' quality

    bool operator==(const OutputSettings &other) const = default;
};

// What the encoders encode with: the output settings and the flip and
// inversion word of the Step 2 check boxes, as a plain value.
struct EncodingOptions {
    OutputSettings settings;
    std::int32_t transform = 0; // Transform words, combined
    // The source's EXIF and XMP go into the files of the formats that hold
    // them ("Keep metadata", or no --strip-metadata).
    bool keepMetadata = true;
    // Applied after decoding, orientation and colour conversion, before
    // flips and colour reduction; Original leaves the picture untouched.
    ResizeSetting resize;

    bool operator==(const EncodingOptions &other) const = default;
};

// The Step 2 check boxes as the encoders see them.
std::int32_t transformFlags(bool flipH, bool flipV, bool invert);

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

#pragma once

#include <cstdint>

// The option codes the PaletteEncoder understands. Callers store and pass
// these numbers unchanged; the encoder rejects anything outside these tables.
namespace pictrove::palette_codes {

// What the encoder writes.
inline constexpr std::int32_t KindBmp = 0;
inline constexpr std::int32_t KindGif = 1;
inline constexpr std::int32_t KindGifInterlaced = 2;

// Colour or grey output.
inline constexpr std::int32_t ModeColours = 0;
inline constexpr std::int32_t ModeGreyscale = 2;

// Colour maps. "Fixed Color" travels as FixedColour OR 2^n, e.g. 0x8010 for
// a lattice of at most 16 colours.
inline constexpr std::int32_t MapWindows = 0x1000;
inline constexpr std::int32_t MapOptimal = 0x4000;
inline constexpr std::int32_t MapFixedColour = 0x8000;
inline constexpr std::int32_t MapVga = 0x8210;
inline constexpr std::int32_t MapWebSafe = 0x84D8;
inline constexpr std::int32_t MapWindows256 = 0x8300;
inline constexpr std::int32_t MapFixedGrey = 0x88FF;

// Dithering.
inline constexpr std::int32_t DitherNone = 0;
inline constexpr std::int32_t DitherBinary = 1;
inline constexpr std::int32_t DitherOrdered = 2;
inline constexpr std::int32_t DitherHalftone = 4;
inline constexpr std::int32_t DitherForwardDiagonal = 8;
inline constexpr std::int32_t DitherBackwardDiagonal = 16;
inline constexpr std::int32_t DitherHorizontal = 32;
inline constexpr std::int32_t DitherVertical = 64;
inline constexpr std::int32_t DitherOdd = 256;
inline constexpr std::int32_t DitherEven = 512;
inline constexpr std::int32_t DitherEqual = 1024;

// Transform words, combined by OR.
inline constexpr std::int32_t TransformFlipVertical = 0x1010000;
inline constexpr std::int32_t TransformFlipHorizontal = 0x1020000;
inline constexpr std::int32_t TransformInvert = 0x3100000;

} // namespace pictrove::palette_codes

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The option codes of the palette encoder, each family defined once with the
// texts its list shows. The catalogue, the Step 2 options, the encoder and
// pictrove-convert all read them from here. The numbers are the encoder's
// interface: they are stored and passed unchanged, and the encoder refuses
// any outside these tables.
namespace pictrove {

// What the encoder writes.
enum class EncoderKind : std::int32_t { Bmp = 0, Gif = 1, GifInterlaced = 2 };

constexpr EncoderKind gifKind(bool interlaced)
{
    return interlaced ? EncoderKind::GifInterlaced : EncoderKind::Gif;
}

// Colour or grey output.
enum class ColourMode : std::int32_t { Colours = 0, Greyscale = 2 };

enum class Dither : std::int32_t {
    None = 0,
    Binary = 1,
    Ordered = 2,
    Halftone = 4,
    ForwardDiagonal = 8,
    BackwardDiagonal = 16,
    Horizontal = 32,
    Vertical = 64,
    Odd = 256,
    Even = 512,
    Equal = 1024,
};

// Colour maps. "Fixed Color" travels as FixedColour OR 2^n, e.g. 0x8010 for
// a lattice of at most 16 colours, so a map word is not always one of these.
enum class ColourMap : std::int32_t {
    Windows = 0x1000,
    Optimal = 0x4000,
    FixedColour = 0x8000,
    Vga = 0x8210,
    WebSafe = 0x84D8,
    Windows256 = 0x8300,
    FixedGrey = 0x88FF,
};

// Transform words, combined by OR.
enum class Transform : std::int32_t {
    FlipVertical = 0x1010000,
    FlipHorizontal = 0x1020000,
    Invert = 0x3100000,
};

template <typename Code>
constexpr std::int32_t code(Code value)
{
    return static_cast<std::int32_t>(value);
}

// Whether the transform flags hold the whole word (the words share bits).
constexpr bool has(std::int32_t flags, Transform word) { return (flags & code(word)) == code(word); }

// An item of an option list: the text the list shows and its code.
template <typename Code>
struct CodeItem {
    std::u16string_view text;
    Code code;
};

// The dither list, in list order ("Haftone" as the list has always spelt it).
inline constexpr CodeItem<Dither> ditherItems[] = {
    {u"None", Dither::None},
    {u"Binary", Dither::Binary},
    {u"Ordered", Dither::Ordered},
    {u"Haftone", Dither::Halftone},
    {u"Forward Diagonal", Dither::ForwardDiagonal},
    {u"Backward Diagonal", Dither::BackwardDiagonal},
    {u"Horizontal", Dither::Horizontal},
    {u"Vertical", Dither::Vertical},
    {u"Odd", Dither::Odd},
    {u"Even", Dither::Even},
    {u"Equal", Dither::Equal},
};

inline constexpr CodeItem<ColourMode> colourModeItems[] = {
    {u"Colors", ColourMode::Colours},
    {u"Greyscale", ColourMode::Greyscale},
};

// Every colour map under the name the format rows' map lists give it.
inline constexpr CodeItem<ColourMap> colourMapItems[] = {
    {u"MS Map", ColourMap::Windows},
    {u"Optimal", ColourMap::Optimal},
    {u"Fixed Color", ColourMap::FixedColour},
    {u"VGA", ColourMap::Vga},
    {u"216 InternetSafe", ColourMap::WebSafe},
    {u"MS 256", ColourMap::Windows256},
    {u"Fixed Grey", ColourMap::FixedGrey},
};

inline constexpr CodeItem<EncoderKind> encoderKindItems[] = {
    {u"BMP", EncoderKind::Bmp},
    {u"GIF", EncoderKind::Gif},
    {u"interlaced GIF", EncoderKind::GifInterlaced},
};

// The code's member of a family, or nothing for a number outside its table.
template <typename Code, std::size_t N>
constexpr std::optional<Code> fromCode(const CodeItem<Code> (&items)[N], std::int32_t value)
{
    for (const CodeItem<Code> &item : items) {
        if (code(item.code) == value)
            return item.code;
    }
    return std::nullopt;
}

// The text a list shows for a code; empty for none of its items.
template <typename Code, std::size_t N>
constexpr std::u16string_view textOf(const CodeItem<Code> (&items)[N], Code value)
{
    for (const CodeItem<Code> &item : items) {
        if (item.code == value)
            return item.text;
    }
    return {};
}

} // namespace pictrove

#include "engine/catalogue/FormatChoice.h"

#include <algorithm>

namespace pictrove {

namespace {
constexpr int MinimumQuality = 1;
constexpr int MaximumQuality = 100;
constexpr int InitialQuality = 60;

// The map item a choice selects in a row's list, if any.
std::optional<std::size_t> chosenMap(const FormatRow &row, int index)
{
    if (row.mapHandling == MapHandling::AnyIndex && !row.mapItems.empty())
        return 0;
    if (row.mapHandling == MapHandling::ByIndex && index >= 0
        && std::size_t(index) < row.mapItems.size())
        return std::size_t(index);
    return std::nullopt;
}
} // namespace

ChosenOptions encodingOptionsFor(const FormatChoice &choice)
{
    ChosenOptions chosen;
    OutputSettings &s = chosen.options.settings;
    const FormatRow *row = formatRow(choice.row);
    if (row && row->kind == FormatKind::Jpeg) {
        // The palette fields stay as they are: the JPEG encoder reads none.
        s.Extension = row->extension;
        const JpegPreset preset = jpegPresetItems[std::size_t(row->jpegPreset)].code;
        s.JpegQuality = preset == JpegPreset::Custom
            ? std::clamp(choice.customJpegQuality.value_or(InitialQuality), MinimumQuality,
                         MaximumQuality)
            : code(preset);
    } else if (row) {
        s.BitDepth = row->bitDepth;
        s.PaletteFlags = code(row->defaultMap);
        s.DepthText = row->depthText;
        if (row->kind == FormatKind::Gif) {
            s.EncoderKind = gifKind(choice.interlaced);
        } else {
            s.LibraryFormat = row->libraryFormat;
            s.EncoderKind = EncoderKind::Bmp;
        }
        s.Extension = row->extension;
        if (row->kind == FormatKind::Web)
            s.Web = row->web;
        if (row->hasWebQuality()) {
            const int fallback = row->web == WebFormat::Avif ? DefaultAvifQuality : DefaultWebpQuality;
            s.WebQuality = std::clamp(choice.webQuality.value_or(fallback), MinimumQuality, MaximumQuality);
        }
    }
    if (choice.map) {
        if (const auto item = row ? chosenMap(*row, *choice.map) : std::nullopt) {
            s.PaletteFlags = code(row->mapItems[*item].map);
            if (*item == 0 && row->firstMapResetsDither) {
                s.DitherCode = Dither::None;
                chosen.ditherLocked = true;
            }
        }
    }
    if (choice.dither) {
        if (const auto dither = codeAt(ditherItems, *choice.dither))
            s.DitherCode = *dither;
    }
    if (choice.colorMode) {
        if (const auto mode = codeAt(colourModeItems, *choice.colorMode))
            s.ColorMode = *mode;
    }
    effectivePaletteFlags(s);
    chosen.options.transform =
        transformFlags(choice.flipHorizontal, choice.flipVertical, choice.invert);
    chosen.options.keepMetadata = choice.keepMetadata;
    chosen.options.resize = choice.resize;
    return chosen;
}

} // namespace pictrove

#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pictrove {

// One colour-map choice of the map list and the code it selects.
struct MapItem {
    QString text;
    std::int32_t paletteFlags;
};

enum class FormatKind {
    Gif,     // written by the palette encoder; interlacing offered
    Library, // a BMP from the palette encoder, re-saved in LibraryFormat
    Jpeg,    // written with a JPEG quality; palette fields untouched
};

// How a choice in the map list turns into PaletteFlags for a row.
enum class MapHandling {
    ByIndex,  // the chosen item's code; an index outside the list changes nothing
    AnyIndex, // every choice takes the first item's code
    Ignored,  // the choice changes nothing
};

// One output format of the format list. Non-JPEG rows set every palette
// field; JPEG rows leave them as the previous row set them.
struct FormatRow {
    QString listText{};
    FormatKind kind = FormatKind::Library;
    std::int32_t bitDepth = 0;
    std::int32_t paletteFlags = 0; // the row's default map
    std::int16_t libraryFormat = 0; // Library rows only
    QString depthText{};
    QString extension{};
    std::vector<MapItem> mapItems{}; // what the map list shows (not for JPEG rows)
    MapHandling mapHandling = MapHandling::Ignored;
    bool firstMapResetsDither = false; // choosing item 0 sets dithering to "None" and locks it
    int jpegPreset = -1;               // JPEG rows: the JPEG preset list index

    bool interlaceShown() const { return kind == FormatKind::Gif; }
};

constexpr int FormatCount = 26;
constexpr int FirstJpegRow = 15;
constexpr int LastJpegRow = 20;
constexpr int CustomJpegPreset = 5;
constexpr int DefaultFormatIndex = 7; // "GIF-256 Colors"

// The 26 output formats in list order.
std::span<const FormatRow> formatCatalogue();
const FormatRow *formatRow(int index); // null outside the catalogue
bool isJpegRow(int index);
QStringList formatListTexts();

// An item of an option list and the code it passes on.
struct CodedItem {
    QString text;
    std::int32_t code;
};

// Dithering: "None" .. "Equal" with their codes.
std::span<const CodedItem> ditherOptions();
// Colour mode: "Colors" 0, "Greyscale" 2.
std::span<const CodedItem> colorModeOptions();
// JPEG presets "Bad" .. "Superb" with the library's quality flags, then
// "custom..." whose quality comes from the custom quality field (code 0).
std::span<const CodedItem> jpegPresetOptions();
// The map list's content before the first row replaces it.
QStringList initialMapItems();

QStringList itemTexts(std::span<const CodedItem> items);
// The code of the item at index, or nothing outside the list.
std::optional<std::int32_t> codeAt(std::span<const CodedItem> items, int index);

} // namespace pictrove

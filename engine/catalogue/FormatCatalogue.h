#pragma once

#include "engine/catalogue/OutputSettings.h"
#include "engine/palette/PaletteCodes.h"

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
    ColourMap map;
};

enum class FormatKind {
    Gif,     // written by the palette encoder; interlacing offered
    Library, // a BMP from the palette encoder, re-saved in LibraryFormat
    Jpeg,    // written with a JPEG quality; palette fields untouched
    Web,     // WebP or AVIF from the true-colour picture, alpha kept
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
    ColourMap defaultMap = ColourMap::Windows;
    std::int16_t libraryFormat = 0; // Library rows only
    QString depthText{};
    QString extension{};
    std::vector<MapItem> mapItems{}; // what the map list shows (not for JPEG rows)
    MapHandling mapHandling = MapHandling::Ignored;
    bool firstMapResetsDither = false; // choosing item 0 sets dithering to "None" and locks it
    int jpegPreset = -1;               // JPEG rows: the JPEG preset list index
    WebFormat web = WebFormat::None;   // Web rows: which writer
    QString typeText{};                // Web rows: the file type label

    bool interlaceShown() const { return kind == FormatKind::Gif; }
    // A quality field of the row's own (the lossy WebP and AVIF rows).
    bool hasWebQuality() const { return web == WebFormat::WebpLossy || web == WebFormat::Avif; }
    // The row's files can hold the source's EXIF and XMP (JPEG, PNG, TIFF);
    // GIF, BMP, PCX and TGA files are written without.
    bool carriesMetadata() const;
};

constexpr int FormatCount = 29;
constexpr int FirstJpegRow = 15;
constexpr int LastJpegRow = 20;
constexpr int CustomJpegPreset = 5;
constexpr int DefaultFormatIndex = 7; // "GIF-256 Colors"
constexpr int WebpLossyRow = 26;
constexpr int WebpLosslessRow = 27;
constexpr int AvifRow = 28;
// The lossy rows' quality before the user sets one.
constexpr int DefaultWebpQuality = 80;
constexpr int DefaultAvifQuality = 60;

// The output formats in list order; rows are only ever appended, so a
// stored row index keeps its meaning.
std::span<const FormatRow> formatCatalogue();
const FormatRow *formatRow(int index); // null outside the catalogue
bool isJpegRow(int index);
bool isWebRow(int index);
// The depth label of a web row's file: "32 bit" when it holds alpha.
QString webDepthText(bool alpha);
QStringList formatListTexts();

// JPEG presets "Bad" .. "Superb" with the library's quality flags, then
// "custom..." whose quality comes from the custom quality field (code 0).
enum class JpegPreset : std::int32_t {
    Bad = 0x800,
    Average = 0x400,
    Normal = 0x200,
    Good = 0x100,
    Superb = 0x80,
    Custom = 0,
};
inline constexpr CodeItem<JpegPreset> jpegPresetItems[] = {
    {u"Bad", JpegPreset::Bad},         {u"Average", JpegPreset::Average},
    {u"Normal", JpegPreset::Normal},   {u"Good", JpegPreset::Good},
    {u"Superb", JpegPreset::Superb},   {u"custom...", JpegPreset::Custom},
};

// The map list's content before the first row replaces it.
QStringList initialMapItems();

template <typename Code, std::size_t N>
QStringList itemTexts(const CodeItem<Code> (&items)[N])
{
    QStringList texts;
    for (const CodeItem<Code> &item : items)
        texts << QString::fromUtf16(item.text.data(), qsizetype(item.text.size()));
    return texts;
}

// The code of the item at index, or nothing outside the list.
template <typename Code, std::size_t N>
std::optional<Code> codeAt(const CodeItem<Code> (&items)[N], int index)
{
    if (index < 0 || std::size_t(index) >= N)
        return std::nullopt;
    return items[std::size_t(index)].code;
}

} // namespace pictrove

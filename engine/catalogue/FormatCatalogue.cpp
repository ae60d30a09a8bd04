#include "engine/catalogue/FormatCatalogue.h"

#include "engine/catalogue/OutputSettings.h"


namespace pictrove {
namespace {

MapItem mapItem(ColourMap map)
{
    const std::u16string_view text = textOf(colourMapItems, map);
    return {QString::fromUtf16(text.data(), qsizetype(text.size())), map};
}

const MapItem MsMap = mapItem(ColourMap::Windows);
const MapItem Optimal = mapItem(ColourMap::Optimal);
const MapItem FixedColor = mapItem(ColourMap::FixedColour);
const MapItem Vga = mapItem(ColourMap::Vga);
const MapItem InternetSafe = mapItem(ColourMap::WebSafe);
const MapItem Ms256 = mapItem(ColourMap::Windows256);
const MapItem FixedGrey = mapItem(ColourMap::FixedGrey);

FormatRow gif(const char *text, int depth, ColourMap flags, const char *depthText,
              std::vector<MapItem> maps, MapHandling handling = MapHandling::ByIndex,
              bool firstResetsDither = false)
{
    return {QString::fromLatin1(text), FormatKind::Gif, depth, flags, 0,
            QString::fromLatin1(depthText), QStringLiteral("gif"), std::move(maps),
            handling, firstResetsDither};
}

FormatRow library(const char *text, int depth, ColourMap flags, std::int16_t format,
                  const char *depthText, const char *extension, std::vector<MapItem> maps,
                  MapHandling handling = MapHandling::ByIndex, bool firstResetsDither = false)
{
    return {QString::fromLatin1(text), FormatKind::Library, depth, flags, format,
            QString::fromLatin1(depthText), QString::fromLatin1(extension), std::move(maps),
            handling, firstResetsDither};
}

// True-colour rows offer "MS Map" only; choosing it locks dithering off.
FormatRow trueColour(const char *text, int depth, std::int16_t format, const char *depthText,
                     const char *extension)
{
    return library(text, depth, ColourMap::Windows, format, depthText, extension, {MsMap},
                   MapHandling::AnyIndex, true);
}

FormatRow jpeg(const char *text, int preset)
{
    return {.listText = QString::fromLatin1(text),
            .kind = FormatKind::Jpeg,
            .extension = QStringLiteral("jpg"),
            .jpegPreset = preset};
}

FormatRow web(const char *text, WebFormat format, const char *extension, const char *typeText)
{
    return {.listText = QString::fromLatin1(text),
            .kind = FormatKind::Web,
            .bitDepth = 24,
            .depthText = QStringLiteral("24 bit"),
            .extension = QString::fromLatin1(extension),
            .web = format,
            .typeText = QString::fromLatin1(typeText)};
}

std::vector<FormatRow> buildCatalogue()
{
    using namespace LibraryFormat;
    const std::vector<MapItem> sixteen{MsMap, Optimal, FixedColor, Vga, FixedGrey};
    const std::vector<MapItem> fewColours{Optimal, FixedColor, FixedGrey};
    const std::vector<MapItem> full{MsMap, Optimal, FixedColor, InternetSafe, Ms256, FixedGrey};
    constexpr auto Fixed = ColourMap::FixedColour;
    constexpr auto Opt = ColourMap::Optimal;

    std::vector<FormatRow> rows{
        gif("GIF-2 Colors", 1, Fixed, "2 Colors", {MsMap, FixedColor}, MapHandling::ByIndex, true),
        gif("GIF-4 Colors", 2, Fixed, "4 Colors", {FixedColor}, MapHandling::AnyIndex),
        gif("GIF-8 Colors", 3, Opt, "8 Colors", fewColours),
        gif("GIF-16 Colors", 4, Opt, "16 Colors", sixteen),
        gif("GIF-32 Colors", 5, Opt, "32 Colors", fewColours),
        gif("GIF-64 Colors", 6, Opt, "64 Colors", fewColours),
        gif("GIF-128 Colors", 7, Opt, "128 Colors", fewColours),
        gif("GIF-256 Colors", 8, Opt, "256 Colors", full),
        library("BMP-2 Colors", 1, Fixed, Bmp, "2 Colors", "bmp", {MsMap, FixedColor},
                MapHandling::ByIndex, true),
        library("BMP-16 Colors", 4, Opt, Bmp, "16 Colors", "bmp", sixteen),
        library("BMP-256 Colors", 8, Opt, Bmp, "256 Colors", "bmp", full),
        trueColour("BMP-16 bit", 16, Bmp, "16 bit", "bmp"),
        trueColour("BMP-24 bit", 24, Bmp, "24 bit", "bmp"),
        library("PNG-8 bit", 8, Opt, Png, "8 bit", "png", full),
        trueColour("PNG-24 bit", 24, Png, "24 bit", "png"),
        jpeg("JPEG - Low Quality", 0),
        jpeg("JPEG - Average Quality", 1),
        jpeg("JPEG - Normal Quality", 2),
        jpeg("JPEG - Good Quality", 3),
        jpeg("JPEG - Superb Quality", 4),
        jpeg("JPEG - Custom Quality ..", 5),
        // The "Compressed" rows differ from their twins only in depth 16.
        trueColour("PCX-24 bit (Compressed)", 16, Pcx, "24 bit", "pcx"),
        trueColour("PCX-24 bit (Uncompressed)", 24, Pcx, "24 bit", "pcx"),
        trueColour("TGA-24 bit (Compressed)", 16, Tga, "24 bit", "tga"),
        // These two keep dithering free whatever map is chosen.
        library("TGA-24 bit (Uncompressed)", 24, ColourMap::Windows, Tga, "24 bit", "tga",
                {MsMap}, MapHandling::Ignored),
        library("TIFF-24 bit (Uncompressed)", 24, ColourMap::Windows, Tiff, "24 bit", "tif",
                {MsMap}, MapHandling::Ignored),
        web("WebP - Lossy", WebFormat::WebpLossy, "webp", "WEBP"),
        web("WebP - Lossless", WebFormat::WebpLossless, "webp", "WEBP"),
        web("AVIF", WebFormat::Avif, "avif", "AVIF"),
    };
    return rows;
}

} // namespace

bool FormatRow::carriesMetadata() const
{
    return kind == FormatKind::Jpeg || kind == FormatKind::Web
        || (kind == FormatKind::Library
            && (libraryFormat == LibraryFormat::Png || libraryFormat == LibraryFormat::Tiff));
}

std::span<const FormatRow> formatCatalogue()
{
    static const std::vector<FormatRow> rows = buildCatalogue();
    return rows;
}

const FormatRow *formatRow(int index)
{
    return index >= 0 && index < FormatCount ? &formatCatalogue()[std::size_t(index)] : nullptr;
}

bool isJpegRow(int index) { return index >= FirstJpegRow && index <= LastJpegRow; }

bool isWebRow(int index)
{
    const FormatRow *row = formatRow(index);
    return row && row->kind == FormatKind::Web;
}

QString webDepthText(bool alpha) { return alpha ? QStringLiteral("32 bit") : QStringLiteral("24 bit"); }

QStringList formatListTexts()
{
    QStringList texts;
    for (const FormatRow &row : formatCatalogue())
        texts << row.listText;
    return texts;
}

QStringList initialMapItems()
{
    return {QStringLiteral("Windows"),
            QStringLiteral("New"),
            QStringLiteral("Fixed Color"),
            QStringLiteral("VGA"),
            QStringLiteral("216 InternetSafe colormap"),
            QStringLiteral("Windows 256"),
            QStringLiteral("Fixed Grey")};
}

} // namespace pictrove

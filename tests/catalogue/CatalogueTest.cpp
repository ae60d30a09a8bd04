#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "workflow/options/OutputSettingsController.h"
#include "workflow/options/SaveOptimized.h"
#include "settings/ExtraSettings.h"
#include "settings/StartupSettings.h"

#include <gtest/gtest.h>

#include <vector>

namespace pictrove {
namespace {

// A controller with its lists filled that records every encode request.
struct Step2 {
    OutputSettingsController c;
    int encodes = 0;
    std::vector<int> jpegQualities;

    Step2()
    {
        c.fillOptionLists(60);
        c.reencode = [this] { ++encodes; };
        c.reencodeJpeg = [this](int q) { jpegQualities.push_back(q); };
    }
    void forget()
    {
        encodes = 0;
        jpegQualities.clear();
    }
};

// A recognisable previous state, to see what a row leaves untouched.
OutputSettings previousRow()
{
    OutputSettings s;
    s.EncoderKind = EncoderKind(77);
    s.ColorMode = ColourMode::Greyscale;
    s.BitDepth = 77;
    s.PaletteFlags = 77;
    s.DitherCode = Dither::BackwardDiagonal;
    s.LibraryFormat = 77;
    s.DepthText = QStringLiteral("previous");
    s.Extension = QStringLiteral("prev");
    s.JpegQuality = 77;
    return s;
}

constexpr int Kept = -1;

struct RowExpectation {
    const char *text;
    int encoderKind;
    int bitDepth;
    int flags;
    int libraryFormat;
    const char *depthText;
    const char *extension;
    QStringList maps;
    int jpegQuality; // JPEG rows: the quality asked for
};

const QString MS = QStringLiteral("MS Map"), OPT = QStringLiteral("Optimal"),
              FIX = QStringLiteral("Fixed Color"), VGA = QStringLiteral("VGA"),
              WEB = QStringLiteral("216 InternetSafe"), M256 = QStringLiteral("MS 256"),
              GREY = QStringLiteral("Fixed Grey");

const std::vector<RowExpectation> &expectedRows()
{
    static const std::vector<RowExpectation> rows{
        {"GIF-2 Colors", 1, 1, 0x8000, Kept, "2 Colors", "gif", {MS, FIX}, 0},
        {"GIF-4 Colors", 1, 2, 0x8000, Kept, "4 Colors", "gif", {FIX}, 0},
        {"GIF-8 Colors", 1, 3, 0x4000, Kept, "8 Colors", "gif", {OPT, FIX, GREY}, 0},
        {"GIF-16 Colors", 1, 4, 0x4000, Kept, "16 Colors", "gif", {MS, OPT, FIX, VGA, GREY}, 0},
        {"GIF-32 Colors", 1, 5, 0x4000, Kept, "32 Colors", "gif", {OPT, FIX, GREY}, 0},
        {"GIF-64 Colors", 1, 6, 0x4000, Kept, "64 Colors", "gif", {OPT, FIX, GREY}, 0},
        {"GIF-128 Colors", 1, 7, 0x4000, Kept, "128 Colors", "gif", {OPT, FIX, GREY}, 0},
        {"GIF-256 Colors", 1, 8, 0x4000, Kept, "256 Colors", "gif",
         {MS, OPT, FIX, WEB, M256, GREY}, 0},
        {"BMP-2 Colors", 0, 1, 0x8000, 0, "2 Colors", "bmp", {MS, FIX}, 0},
        {"BMP-16 Colors", 0, 4, 0x4000, 0, "16 Colors", "bmp", {MS, OPT, FIX, VGA, GREY}, 0},
        {"BMP-256 Colors", 0, 8, 0x4000, 0, "256 Colors", "bmp",
         {MS, OPT, FIX, WEB, M256, GREY}, 0},
        {"BMP-16 bit", 0, 16, 0x1000, 0, "16 bit", "bmp", {MS}, 0},
        {"BMP-24 bit", 0, 24, 0x1000, 0, "24 bit", "bmp", {MS}, 0},
        {"PNG-8 bit", 0, 8, 0x4000, 1, "8 bit", "png", {MS, OPT, FIX, WEB, M256, GREY}, 0},
        {"PNG-24 bit", 0, 24, 0x1000, 1, "24 bit", "png", {MS}, 0},
        {"JPEG - Low Quality", Kept, Kept, Kept, Kept, nullptr, "jpg", {}, 2048},
        {"JPEG - Average Quality", Kept, Kept, Kept, Kept, nullptr, "jpg", {}, 1024},
        {"JPEG - Normal Quality", Kept, Kept, Kept, Kept, nullptr, "jpg", {}, 512},
        {"JPEG - Good Quality", Kept, Kept, Kept, Kept, nullptr, "jpg", {}, 256},
        {"JPEG - Superb Quality", Kept, Kept, Kept, Kept, nullptr, "jpg", {}, 128},
        {"JPEG - Custom Quality ..", Kept, Kept, Kept, Kept, nullptr, "jpg", {}, 60},
        {"PCX-24 bit (Compressed)", 0, 16, 0x1000, 4, "24 bit", "pcx", {MS}, 0},
        {"PCX-24 bit (Uncompressed)", 0, 24, 0x1000, 4, "24 bit", "pcx", {MS}, 0},
        {"TGA-24 bit (Compressed)", 0, 16, 0x1000, 2, "24 bit", "tga", {MS}, 0},
        {"TGA-24 bit (Uncompressed)", 0, 24, 0x1000, 2, "24 bit", "tga", {MS}, 0},
        {"TIFF-24 bit (Uncompressed)", 0, 24, 0x1000, 3, "24 bit", "tif", {MS}, 0},
        {"WebP - Lossy", 0, 24, 0x1000, 0, "24 bit", "webp", {}, 0},
        {"WebP - Lossless", 0, 24, 0x1000, 0, "24 bit", "webp", {}, 0},
        {"AVIF", 0, 24, 0x1000, 0, "24 bit", "avif", {}, 0},
    };
    return rows;
}

TEST(FormatCatalogue, EveryRowSetsItsOutputSettingsAndControls)
{
    ASSERT_EQ(expectedRows().size(), std::size_t(FormatCount));
    for (int r = 0; r < FormatCount; ++r) {
        SCOPED_TRACE(r);
        const RowExpectation &e = expectedRows()[std::size_t(r)];
        const bool jpeg = e.jpegQuality != 0;
        Step2 step;
        step.c.settings = previousRow();
        const QStringList mapsBefore = step.c.cboMap.items;
        step.c.selectFormat(r);
        const OutputSettings before = previousRow();
        const OutputSettings &s = step.c.settings;

        EXPECT_EQ(step.c.CboFiles.items.at(r), QString::fromLatin1(e.text));
        EXPECT_EQ(step.c.statusPanel2, QString::fromLatin1(e.text));
        EXPECT_EQ(startupSettings().LastFormatIndex, r);
        EXPECT_EQ(s.Extension, QString::fromLatin1(e.extension));
        EXPECT_EQ(code(s.EncoderKind), e.encoderKind == Kept ? code(before.EncoderKind) : e.encoderKind);
        EXPECT_EQ(s.BitDepth, e.bitDepth == Kept ? before.BitDepth : e.bitDepth);
        EXPECT_EQ(s.PaletteFlags, e.flags == Kept ? before.PaletteFlags : e.flags);
        EXPECT_EQ(s.LibraryFormat,
                  e.libraryFormat == Kept ? before.LibraryFormat : e.libraryFormat);
        EXPECT_EQ(s.DepthText, e.depthText ? QString::fromLatin1(e.depthText) : before.DepthText);
        EXPECT_EQ(s.ColorMode, before.ColorMode);
        EXPECT_EQ(s.JpegQuality, before.JpegQuality);
        EXPECT_EQ(step.c.cboMap.items, jpeg ? mapsBefore : e.maps);
        EXPECT_EQ(step.c.ChkInterlaced.visible, r <= 7);
        EXPECT_EQ(step.c.fgif.visible, !jpeg);
        EXPECT_EQ(step.c.Fjpg.visible, jpeg);
        EXPECT_TRUE(step.c.CmdSave.enabled && step.c.cmdBatch.enabled);
        if (jpeg) {
            EXPECT_EQ(s.DitherCode, before.DitherCode);
            EXPECT_EQ(step.c.cboJpg.index, r - FirstJpegRow);
            EXPECT_EQ(step.c.frameJPG.visible, r == 20);
            EXPECT_EQ(step.jpegQualities, std::vector<int>{e.jpegQuality});
            EXPECT_EQ(step.encodes, 0);
        } else {
            EXPECT_EQ(code(s.DitherCode), 0);
            EXPECT_EQ(step.c.cboMap.index, -1);
            EXPECT_EQ(step.encodes, 1);
            EXPECT_TRUE(step.jpegQualities.empty());
        }
    }
}

TEST(FormatCatalogue, JpegRowKeepsThePreviousRowsPaletteFields)
{
    Step2 step;
    step.c.selectFormat(9); // BMP-16 Colors
    step.c.selectMap(3);    // VGA
    const OutputSettings bmp = step.c.settings;
    step.c.selectFormat(18);
    OutputSettings expected = bmp;
    expected.Extension = QStringLiteral("jpg");
    EXPECT_EQ(step.c.settings, expected);
}

TEST(FormatCatalogue, IndexOutsideTheCatalogueEnablesTheOptionsAndEncodes)
{
    Step2 step;
    step.c.selectFormat(7);
    const OutputSettings gif = step.c.settings;
    step.c.cboDither.enabled = false;
    step.forget();
    step.c.selectFormat(-1);
    EXPECT_EQ(step.c.settings, gif);
    EXPECT_EQ(step.c.statusPanel2, QString());
    EXPECT_TRUE(step.c.cboDither.enabled);
    EXPECT_EQ(step.encodes, 1);
}

TEST(FormatCatalogue, InterlaceBoxChoosesTheGifEncoder)
{
    Step2 step;
    step.c.ChkInterlaced.checked = true;
    step.c.selectFormat(7);
    EXPECT_EQ(code(step.c.settings.EncoderKind), 2);
    step.forget();
    step.c.setInterlaced(false);
    EXPECT_EQ(code(step.c.settings.EncoderKind), 1);
    EXPECT_EQ(step.c.FileType4, QStringLiteral("GIF"));
    EXPECT_EQ(step.encodes, 1);
    // The box keeps its state while a BMP row hides it; the next GIF row reads it.
    step.c.setInterlaced(true);
    step.c.selectFormat(10);
    EXPECT_FALSE(step.c.ChkInterlaced.visible);
    EXPECT_EQ(code(step.c.settings.EncoderKind), 0);
    step.c.selectFormat(3);
    EXPECT_EQ(code(step.c.settings.EncoderKind), 2);
}

struct MapCase {
    std::vector<int> rows;
    int map;
    int flags;
    enum { DitherFree, DitherReset } dither;
};

TEST(MapHandler, EveryRowGroupSetsItsCode)
{
    const MapCase cases[] = {
        {{0, 8}, 0, 0x1000, MapCase::DitherReset},
        {{0, 8}, 1, 0x8002, MapCase::DitherFree},
        {{0, 8}, 2, 0x8002, MapCase::DitherFree}, // outside: the row's own code, combined
        {{1}, 0, 0x8004, MapCase::DitherFree},
        {{1}, 4, 0x8004, MapCase::DitherFree},
        {{2}, 0, 0x4000, MapCase::DitherFree},
        {{2}, 1, 0x8008, MapCase::DitherFree},
        {{2}, 2, 0x88FF, MapCase::DitherFree},
        {{3, 9}, 0, 0x1000, MapCase::DitherFree},
        {{3, 9}, 1, 0x4000, MapCase::DitherFree},
        {{3, 9}, 2, 0x8010, MapCase::DitherFree},
        {{3, 9}, 3, 0x8210, MapCase::DitherFree},
        {{3, 9}, 4, 0x88FF, MapCase::DitherFree},
        {{4}, 1, 0x8020, MapCase::DitherFree},
        {{5}, 1, 0x8040, MapCase::DitherFree},
        {{6}, 1, 0x8080, MapCase::DitherFree},
        {{4, 5, 6}, 0, 0x4000, MapCase::DitherFree},
        {{4, 5, 6}, 2, 0x88FF, MapCase::DitherFree},
        {{7, 10, 13}, 0, 0x1000, MapCase::DitherFree},
        {{7, 10, 13}, 1, 0x4000, MapCase::DitherFree},
        {{7, 10, 13}, 2, 0x8100, MapCase::DitherFree},
        {{7, 10, 13}, 3, 0x84D8, MapCase::DitherFree},
        {{7, 10, 13}, 4, 0x8300, MapCase::DitherFree},
        {{7, 10, 13}, 5, 0x88FF, MapCase::DitherFree},
        {{7, 10, 13}, 6, 0x4000, MapCase::DitherFree},
        {{11, 12, 14, 21, 22, 23}, 0, 0x1000, MapCase::DitherReset},
        {{11, 12, 14, 21, 22, 23}, 3, 0x1000, MapCase::DitherReset},
        {{24, 25}, 0, 0x1000, MapCase::DitherFree},
    };
    for (const MapCase &mc : cases) {
        for (int row : mc.rows) {
            SCOPED_TRACE(testing::Message() << "row " << row << " map " << mc.map);
            Step2 step;
            step.c.selectFormat(row);
            step.c.selectDither(2); // "Ordered"
            step.forget();
            step.c.selectMap(mc.map);
            EXPECT_EQ(step.c.settings.PaletteFlags, mc.flags);
            if (mc.dither == MapCase::DitherReset) {
                EXPECT_EQ(step.c.cboDither.index, 0);
                EXPECT_FALSE(step.c.cboDither.enabled);
                EXPECT_EQ(code(step.c.settings.DitherCode), 0);
                EXPECT_EQ(step.encodes, 2) << "the dither list's own encode, then the map's";
            } else {
                EXPECT_EQ(step.c.cboDither.index, 2);
                EXPECT_TRUE(step.c.cboDither.enabled);
                EXPECT_EQ(code(step.c.settings.DitherCode), 2);
                EXPECT_EQ(step.encodes, 1);
            }
        }
    }
}

TEST(MapHandler, JpegRowsChangeNothing)
{
    for (int row = FirstJpegRow; row <= LastJpegRow; ++row) {
        Step2 step;
        step.c.selectFormat(7);
        step.c.selectFormat(row);
        step.c.selectMap(1);
        EXPECT_EQ(step.c.settings.PaletteFlags, 0x4000) << row;
    }
}

TEST(MapHandler, FixedColorAfterMsMapFreesDitherButKeepsItOff)
{
    Step2 step;
    step.c.selectFormat(8);
    step.c.selectDither(3);
    step.c.selectMap(0);
    EXPECT_FALSE(step.c.cboDither.enabled);
    step.c.selectMap(1);
    EXPECT_TRUE(step.c.cboDither.enabled);
    EXPECT_EQ(code(step.c.settings.DitherCode), 0);
    EXPECT_EQ(step.c.settings.PaletteFlags, 0x8002);
}

TEST(FixedColor, CombinesWithTheColourCountOnce)
{
    OutputSettings s;
    s.PaletteFlags = code(ColourMap::FixedColour);
    s.BitDepth = 8;
    EXPECT_EQ(effectivePaletteFlags(s), 0x8100);
    EXPECT_EQ(s.PaletteFlags, 0x8100);
    EXPECT_EQ(effectivePaletteFlags(s), 0x8100) << "not combined again";
    s.BitDepth = 4;
    EXPECT_EQ(effectivePaletteFlags(s), 0x8100) << "a combined code stays as stored";

    for (int depth : {-1, 31}) {
        s.PaletteFlags = code(ColourMap::FixedColour);
        s.BitDepth = depth;
        EXPECT_EQ(effectivePaletteFlags(s), code(ColourMap::FixedColour)) << depth;
    }
    s.PaletteFlags = code(ColourMap::Optimal);
    EXPECT_EQ(effectivePaletteFlags(s), code(ColourMap::Optimal));

    // The row holds the bare code until something combines it.
    Step2 step;
    step.c.selectFormat(0);
    EXPECT_EQ(step.c.settings.PaletteFlags, 0x8000);
    EXPECT_EQ(effectivePaletteFlags(step.c.settings), 0x8002);
}

TEST(OptionCodes, DitherAndColourModeItemsPassTheirCodes)
{
    const int ditherCodes[] = {0, 1, 2, 4, 8, 16, 32, 64, 256, 512, 1024};
    Step2 step;
    step.c.selectFormat(7);
    for (int i = 0; i < 11; ++i) {
        step.forget();
        step.c.selectDither(i);
        EXPECT_EQ(code(step.c.settings.DitherCode), ditherCodes[i]) << i;
        EXPECT_EQ(step.encodes, 1);
    }
    step.c.selectDither(11);
    EXPECT_EQ(code(step.c.settings.DitherCode), 1024) << "outside the list keeps the code";

    step.c.selectColorMode(1);
    EXPECT_EQ(code(step.c.settings.ColorMode), 2);
    step.c.selectColorMode(5);
    EXPECT_EQ(code(step.c.settings.ColorMode), 2);
    step.c.selectColorMode(0);
    EXPECT_EQ(code(step.c.settings.ColorMode), 0);

    // A new row starts undithered while the list still shows the old choice.
    step.c.selectDither(2);
    step.c.selectFormat(3);
    EXPECT_EQ(code(step.c.settings.DitherCode), 0);
    EXPECT_EQ(step.c.cboDither.index, 2);
}

TEST(OptionLists, FilledInListOrder)
{
    Step2 step;
    const auto &c = step.c;
    EXPECT_EQ(c.cboJpg.items, (QStringList{"Bad", "Average", "Normal", "Good", "Superb",
                                           "custom..."}));
    EXPECT_EQ(c.cboDither.items,
              (QStringList{"None", "Binary", "Ordered", "Haftone", "Forward Diagonal",
                           "Backward Diagonal", "Horizontal", "Vertical", "Odd", "Even",
                           "Equal"}));
    EXPECT_EQ(c.cboColorMode.items, (QStringList{"Colors", "Greyscale"}));
    EXPECT_EQ(c.cboMap.items,
              (QStringList{"Windows", "New", "Fixed Color", "VGA", "216 InternetSafe colormap",
                           "Windows 256", "Fixed Grey"}));
    EXPECT_EQ(c.CboFiles.items.size(), FormatCount);
    EXPECT_EQ(c.TxtJPG.text(), QStringLiteral("60"));
    EXPECT_EQ(c.TxtJPGD.value(), 60);
}

TEST(CustomQuality, FieldDrivesTheJpegEncoder)
{
    Step2 step;
    step.c.selectFormat(20);
    EXPECT_TRUE(step.c.frameJPG.visible);
    step.forget();

    step.c.TxtJPG_GotFocus();
    for (char ch : {'x', '8', '5'}) {
        std::int16_t key = ch;
        step.c.TxtJPG_KeyPress(key);
        step.c.TxtJPG.typeKey(key);
    }
    EXPECT_EQ(step.c.TxtJPG.text(), QStringLiteral("85"));
    EXPECT_EQ(step.c.TxtJPGD.value(), 85);
    EXPECT_EQ(step.jpegQualities, (std::vector<int>{8, 85}));

    step.forget();
    step.c.TxtJPGD.setValue(40); // the up-down arrows
    EXPECT_EQ(step.c.TxtJPG.text(), QStringLiteral("40"));
    EXPECT_EQ(step.jpegQualities, std::vector<int>{40});

    // A preset leaves the field hidden; the value still encodes from any row.
    step.c.selectJpegPreset(3);
    EXPECT_FALSE(step.c.frameJPG.visible);
    step.c.selectFormat(7);
    step.forget();
    step.c.TxtJPGD.setValue(41);
    EXPECT_EQ(step.jpegQualities, std::vector<int>{41});
    step.c.selectJpegPreset(5);
    EXPECT_EQ(step.jpegQualities, (std::vector<int>{41, 41}));
}

TEST(CustomQuality, StoredValueOutsideTheBoundsIsBroughtIn)
{
    OutputSettingsController c;
    c.fillOptionLists(500);
    EXPECT_EQ(c.TxtJPG.text(), QStringLiteral("100"));
    EXPECT_EQ(c.TxtJPGD.value(), 100);
    c.fillOptionLists(-3);
    EXPECT_EQ(c.TxtJPG.text(), QStringLiteral("1"));
    EXPECT_EQ(c.TxtJPGD.value(), 1);
}

// Every row with every item of its lists, and some outside them: the
// options derived from the catalogue alone are those the Step 2 controls
// give after the same choices, and the dither list is locked exactly when
// the controls lock it.
TEST(Choice, DerivedOptionsEqualTheControlsForEveryRowAndItem)
{
    const std::vector<std::optional<int>> maps{std::nullopt, -1, 0, 1, 2, 3, 4, 5, 6, 7};
    std::vector<std::optional<int>> dithers{std::nullopt, -1, 11};
    for (int i = 0; i < 11; ++i)
        dithers.push_back(i);
    const std::vector<std::optional<int>> modes{std::nullopt, 0, 1, 2};
    int compared = 0;
    for (int row = -1; row <= FormatCount; ++row) {
        for (const auto &map : maps) {
            for (const auto &dither : dithers) {
                for (const auto &mode : modes) {
                    for (int variant = 0; variant < 3; ++variant) {
                        FormatChoice choice;
                        choice.row = row;
                        choice.map = map;
                        choice.dither = dither;
                        choice.colorMode = mode;
                        choice.interlaced = variant == 1;
                        choice.flipHorizontal = variant == 1;
                        choice.flipVertical = variant == 2;
                        choice.invert = variant == 2;
                        choice.keepMetadata = variant != 1;
                        // Only the custom row takes a quality of its own (the
                        // converter refuses one for any other row).
                        choice.customJpegQuality =
                            row != LastJpegRow ? 60 : variant == 0 ? 60 : variant == 1 ? 0 : 150;

                        OutputSettingsController controls;
                        controls.reencodeJpeg = [&controls](int q) { controls.settings.JpegQuality = q; };
                        controls.fillOptionLists(std::int16_t(*choice.customJpegQuality));
                        controls.applyChoice(choice);
                        const ChosenOptions derived = encodingOptionsFor(choice);
                        const EncodingOptions expected = controls.encodingOptions();
                        ASSERT_EQ(derived.options.settings, expected.settings)
                            << row << " " << map.value_or(-9) << " " << dither.value_or(-9) << " "
                            << mode.value_or(-9) << " " << variant;
                        ASSERT_EQ(derived.options.transform, expected.transform);
                        ASSERT_EQ(derived.options.keepMetadata, expected.keepMetadata);
                        ASSERT_EQ(derived.ditherLocked, !controls.cboDither.enabled)
                            << row << " " << map.value_or(-9);
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 30000);
}

TEST(Choice, AppliedInTheWindowsOrder)
{
    Step2 step;
    FormatChoice choice;
    choice.row = 7;
    choice.interlaced = true;
    choice.map = 2;
    choice.dither = 10;
    choice.colorMode = 1;
    choice.flipVertical = true;
    step.c.applyChoice(choice);
    const OutputSettings &s = step.c.settings;
    EXPECT_EQ(s.EncoderKind, EncoderKind::GifInterlaced);
    EXPECT_EQ(s.PaletteFlags, 0x8100);
    EXPECT_EQ(s.DitherCode, Dither::Equal);
    EXPECT_EQ(s.ColorMode, ColourMode::Greyscale);
    EXPECT_TRUE(step.c.chkFlipV.checked);
    EXPECT_EQ(startupSettings().LastFormatIndex, 7);

    choice = FormatChoice();
    choice.row = 20;
    choice.customJpegQuality = 33;
    step.forget();
    step.c.applyChoice(choice);
    EXPECT_EQ(step.jpegQualities.back(), 33);
    EXPECT_EQ(step.c.settings.Extension, QStringLiteral("jpg"));
}

TEST(OptionLists, SavingStartsDisabledUntilAFormatIsChosen)
{
    OutputSettingsController c;
    c.fillOptionLists(60);
    EXPECT_FALSE(c.CmdSave.enabled);
    EXPECT_FALSE(c.cmdBatch.enabled);
    c.selectFormat(0);
    EXPECT_TRUE(c.CmdSave.enabled && c.cmdBatch.enabled);
}

TEST(SaveOptimized, EveryRowOffersItsOneFileType)
{
    const char *expected[FormatCount] = {
        "gif", "gif", "gif", "gif", "gif", "gif", "gif", "gif", "bmp", "bmp", "bmp", "bmp", "bmp",
        "png", "png", "jpg", "jpg", "jpg", "jpg", "jpg", "jpg", "pcx", "pcx", "tga", "tga", "tif",
        "webp", "webp", "avif"};
    for (bool interlaced : {false, true}) {
        Step2 step;
        step.c.setInterlaced(interlaced);
        for (int r = 0; r < FormatCount; ++r) {
            step.c.selectFormat(r);
            const QString filter = saveOptimizedFilter(r, step.c.settings);
            SCOPED_TRACE(filter.toStdString());
            const QStringList parts = filter.split(u'|');
            ASSERT_EQ(parts.size(), 2);
            EXPECT_EQ(parts[1], QStringLiteral("*.") + QLatin1String(expected[r]));
            EXPECT_TRUE(parts[0].endsWith(QStringLiteral("(*.") + QLatin1String(expected[r]) + u')'));
        }
    }
    Step2 step;
    step.c.selectFormat(21);
    EXPECT_EQ(saveOptimizedFilter(21, step.c.settings), QStringLiteral("PCX Format (*.pcx)|*.pcx"));
    EXPECT_EQ(saveOptimizedFilter(20, step.c.settings),
              QStringLiteral("Independent JPEG (*.jpg)|*.jpg"));
    step.c.selectFormat(WebpLosslessRow);
    EXPECT_EQ(saveOptimizedFilter(WebpLosslessRow, step.c.settings), QStringLiteral("WebP Image (*.webp)|*.webp"));
    step.c.selectFormat(AvifRow);
    EXPECT_EQ(saveOptimizedFilter(AvifRow, step.c.settings), QStringLiteral("AVIF Image (*.avif)|*.avif"));
    OutputSettings odd;
    odd.LibraryFormat = 9;
    EXPECT_TRUE(saveOptimizedFilter(0, odd).isEmpty());
}

TEST(EncodingOptions, CarryTheCombinedFixedColorCodeAndTheCheckBoxes)
{
    Step2 step;
    step.c.selectFormat(3); // GIF-16 Colors
    step.c.settings.PaletteFlags = 0x8000;
    step.c.setFlipVertical(true);
    step.c.setInvert(true);
    const EncodingOptions o = step.c.encodingOptions();
    EXPECT_EQ(o.settings.PaletteFlags, 0x8010);
    EXPECT_EQ(step.c.settings.PaletteFlags, 0x8010); // stored back, combined once
    EXPECT_EQ(o.transform, 0x1010000 | 0x3100000);
    EXPECT_EQ(o.settings.BitDepth, 4);
}

// The WebP and AVIF rows: what the option column shows, and their quality
// field, which is the JPEG field's in its rules but applies on Enter.
TEST(WebRowOptions, TheColumnShowsModeFlipsAndQualityAndHidesPaletteChoices)
{
    extraSettings() = ExtraSettings();
    for (const int row : {WebpLossyRow, WebpLosslessRow, AvifRow}) {
        SCOPED_TRACE(row);
        Step2 step;
        step.c.selectFormat(7); // a GIF row first: its controls all shown
        step.c.selectFormat(row);
        const OutputSettingsController &c = step.c;
        EXPECT_TRUE(c.fgif.visible);
        EXPECT_TRUE(c.cboColorMode.visible && c.cboColorMode.enabled);
        EXPECT_FALSE(c.cboDither.visible);
        EXPECT_FALSE(c.cboMap.visible);
        EXPECT_FALSE(c.ChkInterlaced.visible);
        EXPECT_FALSE(c.Fjpg.visible);
        EXPECT_TRUE(c.FrmAPI.enabled);
        EXPECT_TRUE(c.chkKeepMetadata.visible);
        EXPECT_EQ(c.frameWeb.visible, row != WebpLosslessRow);
        EXPECT_EQ(c.settings.Web, formatRow(row)->web);
        if (row == AvifRow) {
            EXPECT_EQ(c.TxtWeb.text(), QStringLiteral("60"));
            EXPECT_EQ(c.settings.WebQuality, 60);
            EXPECT_TRUE(c.webQualityCaption.contains(QLatin1String("AVIF")));
        } else if (row == WebpLossyRow) {
            EXPECT_EQ(c.TxtWeb.text(), QStringLiteral("80"));
            EXPECT_EQ(c.settings.WebQuality, 80);
            EXPECT_TRUE(c.webQualityCaption.contains(QLatin1String("WebP")));
        }

        // Back to a palette row: everything it needs is shown again, and it
        // no longer writes WebP or AVIF; a JPEG row neither.
        step.c.selectFormat(3);
        EXPECT_TRUE(c.cboDither.visible && c.cboMap.visible && c.ChkInterlaced.visible);
        EXPECT_FALSE(c.frameWeb.visible);
        EXPECT_EQ(c.settings.Web, WebFormat::None);
        step.c.selectFormat(row);
        step.c.selectFormat(18);
        EXPECT_EQ(c.settings.Web, WebFormat::None);
        EXPECT_FALSE(c.frameWeb.visible);
    }
}

TEST(WebRowOptions, TheQualityFieldTakesDigitsOnlyAndAppliesOnEnterWithinOneToHundred)
{
    extraSettings() = ExtraSettings();
    Step2 step;
    OutputSettingsController &c = step.c;
    c.selectFormat(WebpLossyRow);
    step.forget();

    // Typed: kept in range and mirrored, but not yet encoded.
    auto type = [&c](const char *keys) {
        for (const char *k = keys; *k; ++k) {
            std::int16_t key = *k;
            c.TxtWeb_KeyPress(key);
            if (key != 0)
                c.TxtWeb.typeKey(key);
        }
    };
    c.TxtWeb_GotFocus();
    type("4x5.");
    EXPECT_EQ(c.TxtWeb.text(), QStringLiteral("45"));
    EXPECT_EQ(c.TxtWebD.value(), 45);
    EXPECT_EQ(step.encodes, 0);
    EXPECT_EQ(c.settings.WebQuality, 80);
    c.TxtWeb_Commit();
    EXPECT_EQ(step.encodes, 1);
    EXPECT_EQ(c.settings.WebQuality, 45);
    EXPECT_EQ(extraSettings().WebpQuality, 45);
    // Leaving the field again without a change encodes nothing.
    c.TxtWeb_Commit();
    EXPECT_EQ(step.encodes, 1);

    c.TxtWeb_GotFocus();
    type("250");
    EXPECT_EQ(c.TxtWeb.text(), QStringLiteral("100"));
    c.TxtWeb.setText(QString());
    EXPECT_EQ(c.TxtWeb.text(), QStringLiteral("1")) << "an empty field is the lowest value";
    c.TxtWeb_Commit();
    EXPECT_EQ(c.settings.WebQuality, 1);
    EXPECT_EQ(step.encodes, 2);

    // The up-down control applies at once.
    c.TxtWebD.setValue(70);
    EXPECT_EQ(c.TxtWeb.text(), QStringLiteral("70"));
    EXPECT_EQ(c.settings.WebQuality, 70);
    EXPECT_EQ(step.encodes, 3);
    EXPECT_TRUE(step.jpegQualities.empty());

    // Each row keeps its own value; the JPEG field is untouched.
    c.selectFormat(AvifRow);
    EXPECT_EQ(c.TxtWeb.text(), QStringLiteral("60"));
    c.setWebQuality(35);
    EXPECT_EQ(extraSettings().AvifQuality, 35);
    EXPECT_EQ(extraSettings().WebpQuality, 70);
    c.selectFormat(WebpLossyRow);
    EXPECT_EQ(c.settings.WebQuality, 70);
    EXPECT_EQ(c.TxtJPG.text(), QStringLiteral("60"));
    // A stored value out of range (a hand-edited file) is brought into it.
    extraSettings().AvifQuality = 400;
    c.selectFormat(AvifRow);
    EXPECT_EQ(c.settings.WebQuality, 100);
}

TEST(WebRowOptions, TheConverterChoiceGivesWhatTheControlsGive)
{
    extraSettings() = ExtraSettings();
    for (const int row : {WebpLossyRow, WebpLosslessRow, AvifRow}) {
        for (const std::optional<int> quality : {std::optional<int>(), std::optional<int>(50), std::optional<int>(0)}) {
            FormatChoice choice;
            choice.row = row;
            choice.webQuality = quality;
            choice.colorMode = 1;
            choice.flipVertical = true;
            OutputSettingsController controls;
            controls.fillOptionLists(60);
            controls.applyChoice(choice);
            EXPECT_EQ(encodingOptionsFor(choice).options, controls.encodingOptions()) << row;
            extraSettings() = ExtraSettings();
        }
    }
    FormatChoice choice;
    choice.row = AvifRow;
    choice.webQuality = 50;
    EXPECT_EQ(encodingOptionsFor(choice).options.settings.WebQuality, 50);
    choice.row = WebpLosslessRow;
    EXPECT_EQ(encodingOptionsFor(choice).options.settings.WebQuality, 0) << "no quality of its own";
}

} // namespace
} // namespace pictrove

#include "workflow/options/OutputSettingsController.h"

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/conversion/EncodePipeline.h"
#include "settings/ExtraSettings.h"
#include "settings/StartupSettings.h"

#include <algorithm>

namespace pictrove {
namespace {
constexpr int MinimumQuality = 1;
constexpr int MaximumQuality = 100;
constexpr int InitialQuality = 60;
} // namespace

ResizeSetting storedResize(const ExtraSettings &stored)
{
    ResizeSetting s;
    s.mode = ResizeMode(std::uint32_t(std::max(stored.ResizeMode, 0)));
    s.side = stored.ResizeSide;
    s.width = stored.ResizeWidth;
    s.height = stored.ResizeHeight;
    s.percent = stored.ResizePercent;
    s.neverEnlarge = stored.ResizeNeverEnlarge;
    return boundedResize(s);
}

void storeResize(const ResizeSetting &setting, ExtraSettings &stored)
{
    stored.ResizeMode = int(setting.mode);
    stored.ResizeSide = setting.side;
    stored.ResizeWidth = setting.width;
    stored.ResizeHeight = setting.height;
    stored.ResizePercent = setting.percent;
    stored.ResizeNeverEnlarge = setting.neverEnlarge;
}

QStringList resizeModeTexts()
{
    return {QStringLiteral("Original size"), QStringLiteral("Longest side"),
            QStringLiteral("Fit in width \u00d7 height"), QStringLiteral("Percent")};
}

OutputSettingsController::OutputSettingsController()
    : TxtJPG(QString::number(InitialQuality)),
      TxtJPGD(MinimumQuality, MaximumQuality, InitialQuality),
      TxtWeb(QString::number(DefaultWebpQuality)),
      TxtWebD(MinimumQuality, MaximumQuality, DefaultWebpQuality),
      TxtResizeW(QString::number(ResizeSetting{}.side)),
      TxtResizeWD(minResizePixels, maxResizePixels, ResizeSetting{}.side),
      TxtResizeH(QString::number(ResizeSetting{}.height)),
      TxtResizeHD(minResizePixels, maxResizePixels, ResizeSetting{}.height),
      TxtResizeP(QString::number(ResizeSetting{}.percent)),
      TxtResizePD(minResizePercent, maxResizePercent, ResizeSetting{}.percent)
{
    TxtJPG.changed = [this] { TxtJPG_Change(); };
    TxtJPGD.changed = [this] { TxtJPGD_Change(); };
    TxtWeb.changed = [this] { TxtWeb_Change(); };
    TxtWebD.changed = [this] { TxtWebD_Change(); };
    TxtResizeW.changed = [this] { TxtResizeW_Change(); };
    TxtResizeWD.changed = [this] { TxtResizeWD_Change(); };
    TxtResizeH.changed = [this] { TxtResizeH_Change(); };
    TxtResizeHD.changed = [this] { TxtResizeHD_Change(); };
    TxtResizeP.changed = [this] { TxtResizeP_Change(); };
    TxtResizePD.changed = [this] { TxtResizePD_Change(); };
    cboResize.items = resizeModeTexts();
    cboResize.index = 0;
    showResizeFields();
    // Nothing can be saved before a format is chosen.
    CmdSave.enabled = false;
    cmdBatch.enabled = false;
}

EncodingOptions OutputSettingsController::encodingOptions()
{
    effectivePaletteFlags(settings);
    EncodingOptions options;
    options.settings = settings;
    options.transform = transformFlags(chkFlipH.checked, chkFlipV.checked, chkInvert.checked);
    options.keepMetadata = chkKeepMetadata.checked;
    options.resize = resize;
    return options;
}

void OutputSettingsController::fillOptionLists(std::int16_t customJpegQuality)
{
    cboJpg.items = itemTexts(jpegPresetItems);
    cboDither.items = itemTexts(ditherItems);
    cboColorMode.items = itemTexts(colourModeItems);
    cboMap.items = initialMapItems();
    CboFiles.items = formatListTexts();
    // Through the field's own events, so a stored value outside 1..100 is
    // brought into range.
    TxtJPG.setText(QString::number(customJpegQuality));
    TxtJPGD.setValue(customJpegQuality);
}

void OutputSettingsController::select(ListState &list, int index, Handler handler)
{
    list.index = index;
    (this->*handler)();
}

void OutputSettingsController::check(CheckState &box, bool checked, Handler handler)
{
    box.checked = checked;
    (this->*handler)();
}

void OutputSettingsController::selectFormat(int row)
{
    select(CboFiles, row, &OutputSettingsController::CboFiles_Click);
}
void OutputSettingsController::selectMap(int index)
{
    select(cboMap, index, &OutputSettingsController::cboMap_Click);
}
void OutputSettingsController::selectDither(int index)
{
    select(cboDither, index, &OutputSettingsController::cboDither_Click);
}
void OutputSettingsController::selectColorMode(int index)
{
    select(cboColorMode, index, &OutputSettingsController::cboColorMode_Click);
}
void OutputSettingsController::selectJpegPreset(int index)
{
    select(cboJpg, index, &OutputSettingsController::cboJpg_Click);
}
void OutputSettingsController::setInterlaced(bool checked)
{
    check(ChkInterlaced, checked, &OutputSettingsController::ChkInterlaced_Click);
}
void OutputSettingsController::setFlipHorizontal(bool checked)
{
    check(chkFlipH, checked, &OutputSettingsController::chkFlipH_Click);
}
void OutputSettingsController::setFlipVertical(bool checked)
{
    check(chkFlipV, checked, &OutputSettingsController::chkFlipV_Click);
}
void OutputSettingsController::setInvert(bool checked)
{
    check(chkInvert, checked, &OutputSettingsController::chkInvert_Click);
}
void OutputSettingsController::setKeepMetadata(bool checked)
{
    check(chkKeepMetadata, checked, &OutputSettingsController::chkKeepMetadata_Click);
}

void OutputSettingsController::applyChoice(const FormatChoice &choice)
{
    // Boxes and quality are state the row handler reads; setting them does
    // not run their handlers, the row's own encode follows.
    ChkInterlaced.checked = choice.interlaced;
    chkFlipH.checked = choice.flipHorizontal;
    chkFlipV.checked = choice.flipVertical;
    chkInvert.checked = choice.invert;
    chkKeepMetadata.checked = choice.keepMetadata;
    if (choice.customJpegQuality)
        TxtJPG.setText(QString::number(*choice.customJpegQuality));
    if (choice.webQuality && isWebRow(choice.row)) {
        // Stored as the row's value, which its handler reads.
        const int quality = std::clamp(*choice.webQuality, MinimumQuality, MaximumQuality);
        if (choice.row == AvifRow)
            extraSettings().AvifQuality = quality;
        else if (choice.row == WebpLossyRow)
            extraSettings().WebpQuality = quality;
    }
    selectFormat(choice.row);
    if (choice.map)
        selectMap(*choice.map);
    if (choice.dither)
        selectDither(*choice.dither);
    if (choice.colorMode)
        selectColorMode(*choice.colorMode);
}

void OutputSettingsController::CboFiles_Click()
{
    const int r = CboFiles.index;
    startupSettings().LastFormatIndex = static_cast<std::int16_t>(r);

    fgif.visible = true;
    Fjpg.visible = false;
    ChkInterlaced.visible = false;
    const FormatRow *row = formatRow(r);
    statusPanel2 = row ? row->listText : QString();
    chkKeepMetadata.visible = row && row->carriesMetadata();
    settings.Web = WebFormat::None;
    settings.WebQuality = 0;
    frameWeb.visible = false;
    cboDither.visible = true;
    cboMap.visible = true;
    if (row && row->kind == FormatKind::Web) {
        selectWebRow(*row);
        return;
    }

    if (row && row->kind == FormatKind::Jpeg) {
        // The palette fields and the dithering stay as the previous row left
        // them; the JPEG encoder does not read them.
        fgif.visible = false;
        Fjpg.visible = true;
        selectJpegPreset(row->jpegPreset);
        settings.Extension = row->extension;
        CmdSave.enabled = true;
        cmdBatch.enabled = true;
        return;
    }

    if (row) {
        cboMap.items.clear();
        for (const MapItem &map : row->mapItems)
            cboMap.items << map.text;
        cboMap.index = -1;
        settings.BitDepth = row->bitDepth;
        settings.PaletteFlags = code(row->defaultMap);
        settings.DepthText = row->depthText;
        if (row->kind == FormatKind::Gif) {
            ChkInterlaced.visible = true;
            settings.EncoderKind = gifKind(ChkInterlaced.checked);
        } else {
            settings.LibraryFormat = row->libraryFormat;
            settings.EncoderKind = EncoderKind::Bmp;
        }
        settings.Extension = row->extension;
    }

    cboColorMode.enabled = true;
    cboDither.enabled = true;
    cboMap.enabled = true;
    FrmAPI.enabled = true;
    CmdSave.enabled = true;
    cmdBatch.enabled = true;
    // The dither list keeps showing its choice; a new row starts undithered.
    settings.DitherCode = Dither::None;
    requestEncode();
}

void OutputSettingsController::cboMap_Click()
{
    if (!cboDither.enabled)
        cboDither.enabled = true;

    const int m = cboMap.index;
    if (const FormatRow *row = formatRow(CboFiles.index)) {
        std::optional<std::size_t> chosen;
        if (row->mapHandling == MapHandling::AnyIndex && !row->mapItems.empty())
            chosen = 0;
        else if (row->mapHandling == MapHandling::ByIndex && m >= 0
                 && std::size_t(m) < row->mapItems.size())
            chosen = std::size_t(m);
        if (chosen) {
            settings.PaletteFlags = code(row->mapItems[*chosen].map);
            if (*chosen == 0 && row->firstMapResetsDither)
                resetDither();
        }
    }

    effectivePaletteFlags(settings);
    requestEncode();
}

void OutputSettingsController::resetDither()
{
    selectDither(0);
    cboDither.enabled = false;
    settings.DitherCode = Dither::None;
}

void OutputSettingsController::cboDither_Click()
{
    if (const auto dither = codeAt(ditherItems, cboDither.index))
        settings.DitherCode = *dither;
    requestEncode();
}

void OutputSettingsController::cboColorMode_Click()
{
    if (const auto mode = codeAt(colourModeItems, cboColorMode.index))
        settings.ColorMode = *mode;
    requestEncode();
}

void OutputSettingsController::chkFlipH_Click() { requestEncode(); }
void OutputSettingsController::chkFlipV_Click() { requestEncode(); }
void OutputSettingsController::chkInvert_Click() { requestEncode(); }

void OutputSettingsController::chkKeepMetadata_Click()
{
    // The pixels stay; the file and its size change, and only where the row
    // writes metadata at all.
    const FormatRow *row = formatRow(CboFiles.index);
    if (!row || !row->carriesMetadata())
        return;
    if (row->kind == FormatKind::Jpeg)
        cboJpg_Click();
    else
        requestEncode();
}

void OutputSettingsController::ChkInterlaced_Click()
{
    settings.EncoderKind = gifKind(ChkInterlaced.checked);
    requestEncode();
    FileType4 = QStringLiteral("GIF");
}

void OutputSettingsController::cboJpg_Click()
{
    frameJPG.visible = false;
    const int preset = cboJpg.index;
    if (preset == CustomJpegPreset) {
        frameJPG.visible = true;
        requestJpegEncode(TxtJPGD.value());
    } else if (const auto quality = codeAt(jpegPresetItems, preset)) {
        requestJpegEncode(code(*quality));
    }
    // No preset selected: there is no quality to encode with.
}

void OutputSettingsController::TxtJPG_Change() { SyncNumericText(TxtJPGD, TxtJPG); }

void OutputSettingsController::TxtJPG_GotFocus() { SelectAllText(TxtJPG); }

void OutputSettingsController::TxtJPG_KeyPress(std::int16_t &key) { FilterDigitKey(key); }

void OutputSettingsController::TxtJPGD_Change()
{
    TxtJPG.setText(QString::number(TxtJPGD.value()));
    requestJpegEncode(TxtJPGD.value());
}

void OutputSettingsController::selectWebRow(const FormatRow &row)
{
    // Colour mode, flips and inversion as in the other true-colour rows;
    // no palette, so nothing to dither or map.
    cboDither.visible = false;
    cboMap.visible = false;
    cboMap.items.clear();
    cboMap.index = -1;
    settings.BitDepth = row.bitDepth;
    settings.PaletteFlags = code(row.defaultMap);
    settings.DepthText = row.depthText;
    settings.EncoderKind = EncoderKind::Bmp;
    settings.LibraryFormat = row.libraryFormat;
    settings.DitherCode = Dither::None;
    settings.Extension = row.extension;
    settings.Web = row.web;
    if (row.hasWebQuality()) {
        const bool avif = row.web == WebFormat::Avif;
        const int stored = avif ? extraSettings().AvifQuality : extraSettings().WebpQuality;
        const int quality = std::clamp(stored, MinimumQuality, MaximumQuality);
        frameWeb.visible = true;
        webQualityCaption = avif ? QStringLiteral("Enter AVIF Quality between 1 to 100")
                                 : QStringLiteral("Enter WebP Quality between 1 to 100");
        // The row's value shown without encoding for it: the row's own
        // encode follows.
        m_typingWebQuality = true;
        TxtWebD.setValue(quality);
        TxtWeb.setText(QString::number(quality));
        m_typingWebQuality = false;
        settings.WebQuality = quality;
    }
    cboColorMode.enabled = true;
    FrmAPI.enabled = true;
    CmdSave.enabled = true;
    cmdBatch.enabled = true;
    requestEncode();
}

void OutputSettingsController::TxtWeb_Change()
{
    // Kept in range and mirrored in the up-down control as it is typed;
    // applied only on Enter or on leaving the field.
    m_typingWebQuality = true;
    SyncNumericText(TxtWebD, TxtWeb);
    m_typingWebQuality = false;
}

void OutputSettingsController::TxtWeb_GotFocus() { SelectAllText(TxtWeb); }

void OutputSettingsController::TxtWeb_KeyPress(std::int16_t &key) { FilterDigitKey(key); }

void OutputSettingsController::TxtWeb_Commit() { applyWebQuality(TxtWebD.value()); }

void OutputSettingsController::TxtWebD_Change()
{
    if (m_typingWebQuality)
        return;
    m_typingWebQuality = true;
    TxtWeb.setText(QString::number(TxtWebD.value()));
    m_typingWebQuality = false;
    applyWebQuality(TxtWebD.value());
}

void OutputSettingsController::setWebQuality(int quality)
{
    TxtWeb.setText(QString::number(quality));
    TxtWeb_Commit();
}

void OutputSettingsController::applyWebQuality(int quality)
{
    const FormatRow *row = formatRow(CboFiles.index);
    if (!row || !row->hasWebQuality())
        return;
    quality = std::clamp(quality, MinimumQuality, MaximumQuality);
    if (row->web == WebFormat::Avif)
        extraSettings().AvifQuality = quality;
    else
        extraSettings().WebpQuality = quality;
    if (quality == settings.WebQuality)
        return; // leaving the field unchanged encodes nothing
    settings.WebQuality = quality;
    requestEncode();
}

void OutputSettingsController::requestEncode()
{
    if (reencode)
        reencode();
}

void OutputSettingsController::requestJpegEncode(int quality)
{
    if (reencodeJpeg)
        reencodeJpeg(quality);
}

// Resize. The numbers of every mode are kept while another is shown, so
// going back to a mode finds its numbers as they were.

void OutputSettingsController::setResize(const ResizeSetting &setting)
{
    m_loadingResize = true;
    resize = boundedResize(setting);
    // Through the fields' own events, like the stored custom quality.
    TxtResizeH.setText(QString::number(resize.height));
    TxtResizeP.setText(QString::number(resize.percent));
    TxtResizeW.setText(QString::number(resize.mode == ResizeMode::Fit ? resize.width : resize.side));
    chkNeverEnlarge.checked = resize.neverEnlarge;
    cboResize.index = int(resize.mode);
    showResizeFields();
    m_loadingResize = false;
}

void OutputSettingsController::selectResizeMode(int index)
{
    select(cboResize, index, &OutputSettingsController::cboResize_Click);
}

void OutputSettingsController::setNeverEnlarge(bool checked)
{
    check(chkNeverEnlarge, checked, &OutputSettingsController::chkNeverEnlarge_Click);
}

void OutputSettingsController::showResizeFields()
{
    const ResizeMode mode = resize.mode;
    frameResize.visible = mode != ResizeMode::Original;
    frameResizeW.visible = mode == ResizeMode::LongestSide || mode == ResizeMode::Fit;
    frameResizeH.visible = mode == ResizeMode::Fit;
    frameResizeP.visible = mode == ResizeMode::Percent;
    chkNeverEnlarge.visible = frameResize.visible;
}

void OutputSettingsController::cboResize_Click()
{
    if (cboResize.index < 0 || cboResize.index >= int(resizeModeTexts().size()))
        return;
    const ResizeMode mode = ResizeMode(cboResize.index);
    if (mode == resize.mode)
        return;
    resize.mode = mode;
    // The pixel field shows the longest side or the width, whichever the
    // mode reads.
    m_loadingResize = true;
    TxtResizeW.setText(QString::number(mode == ResizeMode::Fit ? resize.width : resize.side));
    m_loadingResize = false;
    showResizeFields();
    resizeChanged();
}

void OutputSettingsController::chkNeverEnlarge_Click()
{
    resize.neverEnlarge = chkNeverEnlarge.checked;
    resizeChanged();
}

void OutputSettingsController::TxtResizeW_Change() { SyncNumericText(TxtResizeWD, TxtResizeW); }
void OutputSettingsController::TxtResizeH_Change() { SyncNumericText(TxtResizeHD, TxtResizeH); }
void OutputSettingsController::TxtResizeP_Change() { SyncNumericText(TxtResizePD, TxtResizeP); }

void OutputSettingsController::TxtResizeWD_Change()
{
    TxtResizeW.setText(QString::number(TxtResizeWD.value()));
    if (m_loadingResize)
        return;
    (resize.mode == ResizeMode::Fit ? resize.width : resize.side) = TxtResizeWD.value();
    resizeChanged();
}

void OutputSettingsController::TxtResizeHD_Change()
{
    TxtResizeH.setText(QString::number(TxtResizeHD.value()));
    if (m_loadingResize)
        return;
    resize.height = TxtResizeHD.value();
    resizeChanged();
}

void OutputSettingsController::TxtResizePD_Change()
{
    TxtResizeP.setText(QString::number(TxtResizePD.value()));
    if (m_loadingResize)
        return;
    resize.percent = TxtResizePD.value();
    resizeChanged();
}

void OutputSettingsController::resizeChanged()
{
    if (m_loadingResize)
        return;
    // Every row resizes: the current one encodes again, JPEG with its quality.
    const FormatRow *row = formatRow(CboFiles.index);
    if (!row)
        return;
    if (row->kind == FormatKind::Jpeg)
        cboJpg_Click();
    else
        requestEncode();
}

} // namespace pictrove

#pragma once

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "engine/catalogue/OutputSettings.h"
#include "engine/conversion/ConversionContext.h"
#include "platform/NumericField.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace pictrove {

// A drop-down list as plain data; index -1 is no selection.
struct ListState {
    QStringList items;
    int index = -1;
    bool enabled = true;
    bool visible = true;
};

struct CheckState {
    bool checked = false;
    bool enabled = true;
    bool visible = true;
};

// A frame or button: only its enabled and visible states matter here.
struct ControlState {
    bool enabled = true;
    bool visible = true;
};

// The Step 2 output options: OutputSettings and the state of every option
// control, kept as plain data. The window mirrors this state and forwards
// its events to the handlers; a command-line converter drives the same
// handlers through the select* calls. Encoding is asked for through the two
// callbacks, which may be left empty.
class OutputSettingsController {
public:
    OutputSettingsController();
    OutputSettingsController(const OutputSettingsController &) = delete;
    OutputSettingsController &operator=(const OutputSettingsController &) = delete;

    OutputSettings settings;

    ListState CboFiles;
    ListState cboJpg;
    ListState cboDither;
    ListState cboColorMode;
    ListState cboMap;
    CheckState ChkInterlaced;
    CheckState chkFlipH;
    CheckState chkFlipV;
    CheckState chkInvert;
    // On: the source's EXIF and XMP go into the files of the rows that can
    // hold them, the only rows it is shown for.
    CheckState chkKeepMetadata{true, true, false};
    ControlState fgif;     // dither, mode, map lists and FrmAPI
    ControlState FrmAPI;   // flip, invert and interlace boxes
    ControlState Fjpg;     // JPEG preset list and frameJPG
    ControlState frameJPG; // custom quality field
    ControlState CmdSave;
    ControlState cmdBatch;
    QString statusPanel2; // the selected format's list text
    QString FileType4;    // file type shown for the optimized image
    TextBoxState TxtJPG;  // custom quality text, 1..100
    ScrollState TxtJPGD;  // its up-down control
    // The lossy WebP and AVIF rows' quality: digits only, 1..100 like the
    // JPEG field, but applied on Enter and on leaving the field (and at once
    // from its up-down control), since an AVIF encode cannot be cut short
    // for every digit typed. Each row keeps its own value in pictrove.conf.
    ControlState frameWeb{true, false};
    QString webQualityCaption;
    TextBoxState TxtWeb;
    ScrollState TxtWebD;
    // Resize, for every row: the list of modes (ResizeMode's order), the
    // number fields the mode needs (each with the custom quality field's
    // rules) and "Never enlarge". `resize` is what they say.
    ListState cboResize;
    ControlState frameResize;   // the fields and the box, hidden for "Original size"
    ControlState frameResizeW;  // longest side or width, in pixels
    ControlState frameResizeH;  // height, only for the box
    ControlState frameResizeP;  // percent
    TextBoxState TxtResizeW;
    ScrollState TxtResizeWD;
    TextBoxState TxtResizeH;
    ScrollState TxtResizeHD;
    TextBoxState TxtResizeP;
    ScrollState TxtResizePD;
    CheckState chkNeverEnlarge{true, true, false};
    ResizeSetting resize;

    // Re-encode the preview with the settings.
    std::function<void()> reencode;
    // Re-encode the JPEG preview with a quality value (flags or 1..100).
    std::function<void(int quality)> reencodeJpeg;

    // What an encode is to use now: the settings, with a bare "Fixed
    // Color" code combined with the depth and stored back, the flip and
    // inversion word of the check boxes and whether metadata is kept.
    EncodingOptions encodingOptions();

    // Fills the option lists as the window does at load time and sets the
    // custom quality field to the stored value.
    void fillOptionLists(std::int16_t customJpegQuality);

    // Selecting in code: sets the selection and runs the list's handler,
    // also when the selection does not change.
    void selectFormat(int row);
    void selectMap(int index);
    void selectDither(int index);
    void selectColorMode(int index);
    void selectJpegPreset(int index);
    void setInterlaced(bool checked);
    void setFlipHorizontal(bool checked);
    void setFlipVertical(bool checked);
    void setInvert(bool checked);
    void setKeepMetadata(bool checked);
    void applyChoice(const FormatChoice &choice);
    // The whole resize setting at once (stored settings, the converter),
    // numbers brought into range, without an encode.
    void setResize(const ResizeSetting &setting);
    void selectResizeMode(int index);
    void setNeverEnlarge(bool checked);

    // Event handlers; each reads the current selection from the state.
    void CboFiles_Click();
    void cboMap_Click();
    void cboDither_Click();
    void cboColorMode_Click();
    void chkFlipH_Click();
    void chkFlipV_Click();
    void chkInvert_Click();
    void chkKeepMetadata_Click();
    void ChkInterlaced_Click();
    void cboJpg_Click();
    void TxtJPG_Change();
    void TxtJPG_GotFocus();
    void TxtJPG_KeyPress(std::int16_t &key);
    void TxtJPGD_Change();
    void TxtWeb_Change();
    void TxtWeb_GotFocus();
    void TxtWeb_KeyPress(std::int16_t &key);
    // Enter, or the focus leaving the field: the typed value is applied.
    void TxtWeb_Commit();
    void TxtWebD_Change();
    // Sets the lossy row's quality as the field would and encodes with it.
    void setWebQuality(int quality);
    void cboResize_Click();
    void chkNeverEnlarge_Click();
    void TxtResizeW_Change();
    void TxtResizeWD_Change();
    void TxtResizeH_Change();
    void TxtResizeHD_Change();
    void TxtResizeP_Change();
    void TxtResizePD_Change();

private:
    using Handler = void (OutputSettingsController::*)();
    void select(ListState &list, int index, Handler handler);
    void check(CheckState &box, bool checked, Handler handler);
    void requestEncode();
    void requestJpegEncode(int quality);
    void resetDither();
    void selectWebRow(const FormatRow &row);
    void applyWebQuality(int quality);
    bool m_typingWebQuality = false;
    void showResizeFields();
    void resizeChanged();
    bool m_loadingResize = false; // fields being filled: no encode per field
};

// The texts of the resize list, in ResizeMode's order.
QStringList resizeModeTexts();

// The resize setting as pictrove.conf keeps it (numbers brought into range).
struct ExtraSettings;
ResizeSetting storedResize(const ExtraSettings &stored);
void storeResize(const ResizeSetting &setting, ExtraSettings &stored);

} // namespace pictrove

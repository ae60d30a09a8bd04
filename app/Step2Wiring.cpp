#include "app/Step2Wiring.h"

#include "app/Guarded.h"
#include "app/NumberFieldLink.h"
#include "app/Panes.h"
#include "app/StatusSink.h"
#include "engine/conversion/ConversionContext.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "platform/FileDialogService.h"
#include "platform/MessageService.h"
#include "platform/TempFolder.h"
#include "settings/StartupSettings.h"
#include "workflow/options/OutputSettingsController.h"
#include "workflow/options/SaveOptimized.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>

namespace pictrove {

Step2Wiring::Step2Wiring(Step2Panes &panes, OutputSettingsController &options,
                         ConversionContext &conversion, StatusSink &status, QObject *parent)
    : QObject(parent), m_panes(panes), m_options(options), m_conversion(conversion),
      m_status(status)
{
    // Encodes run on the worker; the views and labels change only when the
    // newest one is done, and the window answers meanwhile.
    connect(&m_worker, &PreviewWorker::finished, this, &Step2Wiring::showResult);
    connect(&m_worker, &PreviewWorker::busyChanged, this, &Step2Wiring::showBusy);
    // A new picture in the views makes whatever was being encoded of the
    // old one worthless; its own encode follows.
    connect(&m_conversion.original, &PictureSurface::changed, &m_worker,
            &PreviewWorker::abandonPreviews);

    m_options.reencode = [this] { encode(false, 0, GetPreviewFilePath(), 0, false); };
    m_options.reencodeJpeg = [this](int quality) {
        // The quality is the run's even when there is no picture to show
        // yet (a basket filled from a picture list).
        m_options.settings.JpegQuality = quality;
        encode(true, quality, GetPreviewFilePath(), 0, false);
    };
    connectControls();
    connectQualityField();
    connectWebQualityField();
    connectResize();
}

void Step2Wiring::connectResize()
{
    Step2Panes &p = m_panes;
    OutputSettingsController *o = &m_options;
    connect(p.cboResize, &QComboBox::activated, this, [this, o](int index) {
        o->selectResizeMode(index);
        sync();
    });
    connect(p.chkNeverEnlarge, &QCheckBox::clicked, this, [this, o](bool checked) {
        o->setNeverEnlarge(checked);
        sync();
    });
    const auto changed = [this] { sync(); };
    m_resizeFields = {
        new NumberFieldLink(p.TxtResizeW, p.TxtResizeWD, o->TxtResizeW, o->TxtResizeWD, changed, this),
        new NumberFieldLink(p.TxtResizeH, p.TxtResizeHD, o->TxtResizeH, o->TxtResizeHD, changed, this),
        new NumberFieldLink(p.TxtResizeP, p.TxtResizePD,
                            o->TxtResizeP, o->TxtResizePD, changed, this),
    };
}

void Step2Wiring::mirrorResize()
{
    Step2Panes &p = m_panes;
    const OutputSettingsController &o = m_options;
    mirror(p.cboResize, o.cboResize);
    mirror(p.frameResize, o.frameResize);
    mirror(p.frameResizeW, o.frameResizeW);
    mirror(p.frameResizeH, o.frameResizeH);
    mirror(p.frameResizeP, o.frameResizeP);
    mirror(p.chkNeverEnlarge, o.chkNeverEnlarge);
    // The pixel field names what it holds, for a screen reader and a tip.
    const bool box = o.resize.mode == ResizeMode::Fit;
    p.TxtResizeW->setAccessibleName(box ? QStringLiteral("Width in pixels")
                                        : QStringLiteral("Longest side in pixels"));
    p.TxtResizeW->setToolTip(p.TxtResizeW->accessibleName() + QStringLiteral(", 1 to 65535"));
    for (NumberFieldLink *field : m_resizeFields)
        field->mirror();
}

void Step2Wiring::connectControls()
{
    Step2Panes &p = m_panes;
    OutputSettingsController *o = &m_options;
    const std::pair<QComboBox *, void (OutputSettingsController::*)(int)> lists[] = {
        {p.CboFiles, &OutputSettingsController::selectFormat},
        {p.cboMap, &OutputSettingsController::selectMap},
        {p.cboDither, &OutputSettingsController::selectDither},
        {p.cboColorMode, &OutputSettingsController::selectColorMode},
        {p.cboJpg, &OutputSettingsController::selectJpegPreset},
    };
    for (const auto &[box, select] : lists)
        connect(box, &QComboBox::activated, this, [this, o, select = select](int index) {
            (o->*select)(index);
            sync();
        });
    const std::pair<QCheckBox *, void (OutputSettingsController::*)(bool)> checks[] = {
        {p.chkFlipH, &OutputSettingsController::setFlipHorizontal},
        {p.chkFlipV, &OutputSettingsController::setFlipVertical},
        {p.chkInvert, &OutputSettingsController::setInvert},
        {p.ChkInterlaced, &OutputSettingsController::setInterlaced},
        {p.chkKeepMetadata, &OutputSettingsController::setKeepMetadata},
    };
    for (const auto &[box, set] : checks)
        connect(box, &QCheckBox::clicked, this, [this, o, set = set](bool checked) {
            (o->*set)(checked);
            sync();
        });
    connect(p.CmdSave, &QPushButton::clicked, this, &Step2Wiring::saveAs);
}

void Step2Wiring::connectQualityField()
{
    Step2Panes &p = m_panes;
    p.TxtJPG->installEventFilter(this);
    // What reaches the text without a keystroke (a paste, a drop) goes
    // through the same change handling.
    connect(p.TxtJPG, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_options.TxtJPG.setText(text);
        sync();
    });
    connect(p.TxtJPGD, &QScrollBar::valueChanged, this, [this](int value) {
        if (value == m_options.TxtJPGD.value())
            return; // the mirror's own change
        m_options.TxtJPGD.setValue(value);
        sync();
    });
}

void Step2Wiring::connectWebQualityField()
{
    Step2Panes &p = m_panes;
    p.TxtWeb->installEventFilter(this);
    connect(p.TxtWeb, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_options.TxtWeb.setText(text);
        sync();
    });
    connect(p.TxtWebD, &QScrollBar::valueChanged, this, [this](int value) {
        if (value == m_options.TxtWebD.value())
            return; // the mirror's own change
        m_options.TxtWebD.setValue(value);
        sync();
    });
}

bool Step2Wiring::filterWebQuality(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        m_options.TxtWeb_GotFocus();
        sync();
        return false;
    case QEvent::FocusOut:
        m_options.TxtWeb_Commit();
        sync();
        return false;
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_options.TxtWeb_Commit();
            sync();
            return true;
        }
        break;
    }
    default: break;
    }
    const std::optional<QString> typed = keysForNumberField(event);
    if (!typed)
        return false;
    for (const QChar c : *typed)
        typeIntoWebQuality(c.unicode());
    return true;
}

void Step2Wiring::typeIntoWebQuality(char16_t character)
{
    typeIntoNumberField(m_panes.TxtWeb, m_options.TxtWeb, character,
                        [this](std::int16_t &code) { m_options.TxtWeb_KeyPress(code); });
    sync();
}

bool Step2Wiring::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_panes.TxtWeb)
        return filterWebQuality(event);
    QLineEdit *text = m_panes.TxtJPG;
    if (watched != text)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        m_options.TxtJPG_GotFocus();
        sync();
        return false;
    }
    const std::optional<QString> typed = keysForNumberField(event);
    if (!typed)
        return false;
    for (const QChar c : *typed)
        typeIntoQuality(c.unicode());
    return true;
}

void Step2Wiring::typeIntoQuality(char16_t character)
{
    typeIntoNumberField(m_panes.TxtJPG, m_options.TxtJPG, character,
                        [this](std::int16_t &code) { m_options.TxtJPG_KeyPress(code); });
    sync();
}

void Step2Wiring::mirror(QComboBox *box, const ListState &state)
{
    const QSignalBlocker quiet(box);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown << box->itemText(i);
    if (shown != state.items) {
        box->clear();
        box->addItems(state.items);
    }
    box->setCurrentIndex(state.index);
    box->setEnabled(state.enabled);
    box->setVisible(state.visible);
    // A list in a form goes with its caption.
    if (auto *form = qobject_cast<QFormLayout *>(box->parentWidget()->layout()))
        if (QWidget *caption = form->labelForField(box))
            caption->setVisible(state.visible);
}

void Step2Wiring::mirror(QCheckBox *box, const CheckState &state)
{
    const QSignalBlocker quiet(box);
    box->setChecked(state.checked);
    box->setEnabled(state.enabled);
    box->setVisible(state.visible);
}

void Step2Wiring::mirror(QWidget *control, const ControlState &state)
{
    control->setEnabled(state.enabled);
    control->setVisible(state.visible);
}

void Step2Wiring::sync()
{
    Step2Panes &p = m_panes;
    const OutputSettingsController &o = m_options;
    mirror(p.CboFiles, o.CboFiles);
    mirror(p.cboJpg, o.cboJpg);
    mirror(p.cboDither, o.cboDither);
    mirror(p.cboColorMode, o.cboColorMode);
    mirror(p.cboMap, o.cboMap);
    mirror(p.ChkInterlaced, o.ChkInterlaced);
    mirror(p.chkFlipH, o.chkFlipH);
    mirror(p.chkFlipV, o.chkFlipV);
    mirror(p.chkInvert, o.chkInvert);
    mirror(p.chkKeepMetadata, o.chkKeepMetadata);
    mirror(p.fgif, o.fgif);
    mirror(p.FrmAPI, o.FrmAPI);
    mirror(p.Fjpg, o.Fjpg);
    mirror(p.frameJPG, o.frameJPG);
    mirror(p.CmdSave, o.CmdSave);
    mirror(p.cmdBatch, o.cmdBatch);
    {
        const QSignalBlocker quiet(p.TxtJPG);
        if (p.TxtJPG->text() != o.TxtJPG.text())
            p.TxtJPG->setText(o.TxtJPG.text());
        if (o.TxtJPG.selectionLength() > 0)
            p.TxtJPG->setSelection(o.TxtJPG.selectionStart(), o.TxtJPG.selectionLength());
        else
            p.TxtJPG->setCursorPosition(o.TxtJPG.selectionStart());
    }
    {
        const QSignalBlocker quiet(p.TxtJPGD);
        p.TxtJPGD->setValue(o.TxtJPGD.value());
    }
    mirror(p.frameWeb, o.frameWeb);
    p.LblWebQuality->setText(o.webQualityCaption);
    {
        const QSignalBlocker quiet(p.TxtWeb);
        if (p.TxtWeb->text() != o.TxtWeb.text())
            p.TxtWeb->setText(o.TxtWeb.text());
        if (o.TxtWeb.selectionLength() > 0)
            p.TxtWeb->setSelection(o.TxtWeb.selectionStart(), o.TxtWeb.selectionLength());
        else
            p.TxtWeb->setCursorPosition(o.TxtWeb.selectionStart());
    }
    {
        const QSignalBlocker quiet(p.TxtWebD);
        p.TxtWebD->setValue(o.TxtWebD.value());
    }
    mirrorResize();
    m_status.setText(2, o.statusPanel2);
    // The interlace handler names the file type itself after its encode.
    if (o.FileType4 != m_shownFileType4) {
        m_shownFileType4 = o.FileType4;
        if (!o.FileType4.isEmpty())
            m_panes.COptimizedPP->info()->typeValue()->setText(o.FileType4);
    }
}

void Step2Wiring::applyLastFormat()
{
    guarded([&] {
        if (m_panes.CboFiles->count() == 0)
            return;
        const int index = std::clamp<int>(startupSettings().LastFormatIndex, 0,
                                          m_panes.CboFiles->count() - 1);
        sync();
        m_options.selectFormat(index);
        sync();
    });
}

void Step2Wiring::encode(bool jpeg, int quality, const QString &path, std::int16_t keep,
                         bool saveAs)
{
    PreviewJob job;
    job.options = m_options.encodingOptions();
    job.original = m_conversion.original.picture();
    job.metadata = m_conversion.original.metadata();
    job.optimized = m_conversion.optimized.picture();
    job.jpeg = jpeg;
    job.quality = quality;
    job.path = path;
    job.keep = keep;
    job.saveAs = saveAs;
    m_worker.request(std::move(job));
}

void Step2Wiring::showResult(const PreviewDone &done)
{
    const PreviewResult &result = done.result;
    if (!result.status.isEmpty())
        m_status.setText(5, result.status);
    if (result.labels) {
        m_conversion.optimized.setPicture(done.optimized);
        ViewInfoFrame *info = m_panes.COptimizedPP->info();
        info->typeValue()->setText(result.labels->FileType4);
        info->sizeValue()->setText(result.labels->FileSize4);
        info->colorsValue()->setText(result.labels->Depth4);
        info->resolutionValue()->setText(result.labels->Resolution4);
        m_panes.relayOutViewsForTexts();
    }
    m_panes.updateOptimizedP();
    // The user asked for this file by name: a file that could not be
    // written is said so, not left to a label that did not change.
    if (done.job.saveAs && !result.file.ok())
        messages().show(QStringLiteral("The optimized image could not be saved as %1:\n%2")
                            .arg(done.job.path, result.file.reason),
                        QStringLiteral("Pictrove"), MessageIcon::Critical, MessageButtons::Ok);
}

void Step2Wiring::showBusy(bool busy)
{
    // Where the user looks for the result: the optimized view. A screen
    // reader cannot see the pointer, so the view also says it is busy.
    QWidget *view = m_panes.COptimizedPP->viewport();
    if (busy) {
        view->setCursor(Qt::BusyCursor);
        view->setAccessibleDescription(QStringLiteral("Encoding ..."));
    } else {
        view->unsetCursor();
        view->setAccessibleDescription(QString());
    }
}

void Step2Wiring::saveAs()
{
    const int row = m_options.CboFiles.index;
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.title = QStringLiteral("Save Optimized As");
    request.filter = saveOptimizedFilter(row, m_options.settings);
    request.initialName = m_lastSaveName;
    request.confirmOverwrite = true;
    const std::optional<QString> name = fileDialogs().choose(request);
    if (!name)
        return;
    m_lastSaveName = *name;
    // The settings shown, and the picture shown, at the moment of the click.
    const bool jpeg = isJpegRow(m_options.CboFiles.index);
    encode(jpeg, m_options.settings.JpegQuality, *name, 1, true);
}

} // namespace pictrove

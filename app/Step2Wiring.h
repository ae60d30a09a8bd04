#pragma once

#include "engine/conversion/PreviewWorker.h"

#include <QObject>
#include <QString>

#include <vector>

class QComboBox;
class QCheckBox;
class QWidget;

namespace pictrove {

class ConversionContext;
class OutputSettingsController;
class StatusSink;
class NumberFieldLink;
struct Step2Panes;
struct ListState;
struct CheckState;
struct ControlState;

// The Step 2 option column as a view of the options controller: every
// control shows the controller's state (items, selection, enabled and
// visible states) and hands its events to the controller's handlers; the
// controller's requests to re-encode hand a snapshot of the options and the
// picture to the preview worker, and the newest result is shown when it is
// done. "Save As" writes the same encode under a name the user chooses.
class Step2Wiring : public QObject {
    Q_OBJECT
public:
    Step2Wiring(Step2Panes &panes, OutputSettingsController &options,
                ConversionContext &conversion, StatusSink &status, QObject *parent = nullptr);

    // Shows the controller's state in every option control.
    void sync();
    // Selects LastFormatIndex in the format list and runs its handler, which
    // encodes the optimized preview of the current image again.
    void applyLastFormat();
    // CmdSave.
    void saveAs();
    // The preview encodes, for those who wait for one to be shown.
    const PreviewWorker &encoder() const { return m_worker; }

private:
    void connectControls();
    void connectQualityField();
    void connectWebQualityField();
    bool filterWebQuality(QEvent *event);
    void connectResize();
    void mirrorResize();
    void encode(bool jpeg, int quality, const QString &path, std::int16_t keep, bool saveAs);
    void showResult(const PreviewDone &done);
    void showBusy(bool busy);
    void mirror(QComboBox *box, const ListState &state);
    void mirror(QCheckBox *box, const CheckState &state);
    void mirror(QWidget *control, const ControlState &state);
    bool eventFilter(QObject *watched, QEvent *event) override;
    // One character typed into the custom quality, through its key filter.
    void typeIntoQuality(char16_t character);
    void typeIntoWebQuality(char16_t character);

    Step2Panes &m_panes;
    OutputSettingsController &m_options;
    ConversionContext &m_conversion;
    StatusSink &m_status;
    QString m_lastSaveName;
    QString m_shownFileType4;
    PreviewWorker m_worker;
    // The resize number fields: longest side or width, height, percent.
    std::vector<NumberFieldLink *> m_resizeFields;
};

} // namespace pictrove

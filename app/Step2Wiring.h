#pragma once

#include "engine/conversion/PreviewEncoder.h"

#include <QObject>
#include <QString>

class QComboBox;
class QCheckBox;
class QWidget;

namespace pictrove {

class MainWindow;
class OutputSettingsController;
struct ListState;
struct CheckState;
struct ControlState;

// The Step 2 option column as a view of the options controller: every
// control shows the controller's state (items, selection, enabled and
// visible states) and hands its events to the controller's handlers; the
// controller's requests to re-encode run the preview encoders on the
// window's surfaces and show the result. "Save As" writes the same encode
// under a name the user chooses.
class Step2Wiring : public QObject {
    Q_OBJECT
public:
    explicit Step2Wiring(MainWindow &window);

    // Shows the controller's state in every option control.
    void sync();
    // CmdSave.
    void saveAs();

private:
    void connectControls();
    void connectQualityField();
    void encode(bool jpeg, int quality, const QString &path, std::int16_t keep);
    void showResult(const PreviewResult &result);
    void mirror(QComboBox *box, const ListState &state);
    void mirror(QCheckBox *box, const CheckState &state);
    void mirror(QWidget *control, const ControlState &state);
    bool eventFilter(QObject *watched, QEvent *event) override;
    // One character typed into the custom quality, through its key filter.
    void typeIntoQuality(char16_t character);

    MainWindow &m_window;
    OutputSettingsController &m_options;
    QString m_lastSaveName;
    QString m_shownFileType4;
};

} // namespace pictrove

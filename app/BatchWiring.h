#pragma once

#include "workflow/batch/BatchRunner.h"
#include "workflow/batch/DestinationChoice.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class QDialog;
class QWidget;

namespace pictrove {

class BasketModel;
class OutputSettingsController;
class StatusSink;
struct Step2Panes;

// "Save All ..." and "Stop": asks for the destination, runs the basket
// through the batch run off the user-interface thread with the options as
// they were when Select was clicked, shows the progress over status panel
// 2, and when the run ends says what happened: a count in panel 5 and, when
// anything was skipped or failed, a list of those files and why.
class BatchWiring : public QObject {
    Q_OBJECT
public:
    // Runs what the basket holds with the controller's options, started by
    // the panes' buttons; its dialogs open over the given window.
    BatchWiring(Step2Panes &panes, const BasketModel &basket, OutputSettingsController &options,
                StatusSink &status, QWidget *dialogParent);

    // The destination dialog, modal; tests replace it.
    std::function<std::optional<Destination>(DestinationChoice)> chooseDestination;

    BatchRunner &runner() { return m_runner; }
    void saveAll();
    void stop();
    // Closing during a run: stops it (a file being written is finished) and closes
    // the window once it has ended. False when no run was under way.
    bool closeAfterRun();
    QDialog *resultsList() const { return m_results; }

signals:
    void runEnded();
    // The run that closeAfterRun waited for has ended: the window may close.
    void closeWanted();

private:
    void ended(const BatchSummary &summary);

    const BasketModel &m_basket;
    OutputSettingsController &m_options;
    StatusSink &m_status;
    QWidget *m_dialogParent;
    BatchRunner m_runner;
    Destination m_destination;
    std::vector<FileResult> m_notWritten; // and those written with a warning
    QPointer<QDialog> m_results;
    QTimer m_progressTimer;
    qint64 m_position = 0;
    bool m_closeWhenEnded = false;
    bool m_cursorSet = false;
};

} // namespace pictrove

#include "app/BatchWiring.h"

#include "app/FrameCommands.h"
#include "app/Panes.h"
#include "app/StatusSink.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "platform/MessageService.h"
#include "selection/ListModels.h"
#include "workflow/options/OutputSettingsController.h"
#include "workflow/widgets/DestinationDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <climits>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace pictrove {

BatchWiring::BatchWiring(Step2Panes &panes, const BasketModel &basket,
                         OutputSettingsController &options, StatusSink &status,
                         QWidget *dialogParent)
    : QObject(dialogParent), m_basket(basket), m_options(options), m_status(status),
      m_dialogParent(dialogParent)
{
    chooseDestination = [this](DestinationChoice choice) {
        return DestinationDialog::choose(std::move(choice), m_dialogParent);
    };
    Step2Panes &p = panes;
    connect(p.cmdBatch, &QPushButton::clicked, this, &BatchWiring::saveAll);
    connect(p.CmdCancel, &QPushButton::clicked, this, &BatchWiring::stop);
    // The bar shows the newest position ten times a second at most: a
    // repaint per small file would take a core's time from the run.
    m_progressTimer.setSingleShot(true);
    m_progressTimer.setInterval(100);
    connect(&m_progressTimer, &QTimer::timeout, this,
            [this] { m_status.setProgress(m_position); });
    connect(&m_runner, &BatchRunner::progress, this, [this](qint64 position, qint64) {
        m_position = position;
        if (!m_progressTimer.isActive())
            m_progressTimer.start();
    });
    connect(&m_runner, &BatchRunner::fileFinished, this,
            [this](qint64, const FileResult &result) {
                if (!result.ok() || !result.warning.isEmpty())
                    m_notWritten.push_back(result);
            });
    connect(&m_runner, &BatchRunner::finished, this, &BatchWiring::ended);
}

void BatchWiring::saveAll()
{
    if (m_runner.running())
        return; // one run at a time; the click is not an error
    const BasketModel &basket = m_basket;
    if (basket.rowCount() == 0) {
        messages().show(
            QStringLiteral("No File(s) in the Image Basket! Place some file(s) and continue"),
            QStringLiteral("Pictrove"), MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    const std::optional<Destination> destination =
        chooseDestination ? chooseDestination(DestinationChoice::prefilled()) : std::nullopt;
    if (!destination)
        return;
    m_destination = *destination;

    // Everything the run needs, as it stands now.
    OutputSettingsController &options = m_options;
    BatchJob job;
    for (const QString &path : basket.basket().paths())
        job.entries.push_back({path, {}});
    job.destination = destination->folder;
    job.genericName = destination->genericName;
    job.options = options.encodingOptions();
    job.jpeg = isJpegRow(options.CboFiles.index);
    job.overwrite = destination->overwrite;
    job.workers = 1;
    m_notWritten.clear();
    if (m_results)
        m_results->close();

    m_status.startProgress(int(std::min<std::size_t>(job.entries.size(), INT_MAX)));
    m_position = 0;
    // Busy, but the window still answers: an arrow with the hourglass.
    QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    m_cursorSet = true;
    m_status.setText(5, QStringLiteral("Converting %1 file(s) into %2 ...")
                            .arg(job.entries.size())
                            .arg(destination->folder));
    m_runner.start(std::move(job));
}

void BatchWiring::stop() { m_runner.requestStop(); }

bool BatchWiring::closeAfterRun()
{
    if (!m_runner.running())
        return false;
    m_closeWhenEnded = true;
    m_runner.requestStop();
    return true;
}

void BatchWiring::ended(const BatchSummary &summary)
{
    m_progressTimer.stop();
    m_status.setProgress(m_position);
    if (m_cursorSet) {
        QGuiApplication::restoreOverrideCursor();
        m_cursorSet = false;
    }
    m_status.endProgress();
    QString text = QStringLiteral("Save All: %1 written, %2 skipped, %3 failed")
                       .arg(summary.written)
                       .arg(summary.skipped)
                       .arg(summary.failed);
    if (summary.notStarted > 0)
        text += QStringLiteral("; stopped, %1 not converted").arg(summary.notStarted);
    m_status.setText(5, text);

    if (!m_notWritten.empty() && !m_closeWhenEnded) {
        const bool allWritten = std::all_of(m_notWritten.begin(), m_notWritten.end(),
                                            [](const FileResult &r) { return r.ok(); });
        auto *dialog = new QDialog(m_dialogParent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setObjectName(QStringLiteral("BatchResults"));
        dialog->setWindowTitle(allWritten ? QStringLiteral("Pictrove - files written with a warning")
                                          : QStringLiteral("Pictrove - files not written"));
        auto *layout = new QVBoxLayout(dialog);
        layout->addWidget(new QLabel(text, dialog));
        auto *list = new QTreeWidget(dialog);
        list->setObjectName(QStringLiteral("BatchResultsList"));
        list->setAccessibleName(allWritten ? QStringLiteral("Files written with a warning")
                                           : QStringLiteral("Files not written"));
        list->setRootIsDecorated(false);
        list->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Outcome"),
                               QStringLiteral("Reason")});
        // A file written with a warning is listed by its source, where
        // the cause is.
        for (const FileResult &r : m_notWritten)
            new QTreeWidgetItem(list, {r.ok() ? r.source : r.path,
                                       r.ok() ? QStringLiteral("written")
                                       : r.status == FileStatus::Skipped ? QStringLiteral("skipped")
                                                                         : QStringLiteral("failed"),
                                       r.ok() ? r.warning : r.reason});
        list->resizeColumnToContents(1);
        list->setColumnWidth(0, 320);
        layout->addWidget(list);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
        connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
        layout->addWidget(buttons);
        dialog->resize(720, 300);
        dialog->setModal(false);
        dialog->show();
        m_results = dialog;
    }
    if (m_destination.showDestination)
        urlOpener().open(QUrl::fromLocalFile(m_destination.folder));
    emit runEnded();
    if (m_closeWhenEnded) {
        m_closeWhenEnded = false;
        emit closeWanted();
    }
}

} // namespace pictrove

#pragma once

#include "decoding/CancelToken.h"
#include "engine/conversion/BatchRun.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <thread>

namespace pictrove {

// Runs one batch at a time off the user-interface thread, so that the
// window repaints, "Stop" acts at once and the Step 2 options stay usable
// while files are converted. The job is a copy made when the run starts:
// what the user changes meanwhile changes the preview only. Progress and
// results arrive as signals on the thread that owns the runner.
class BatchRunner : public QObject {
    Q_OBJECT
public:
    explicit BatchRunner(QObject *parent = nullptr);
    // Stops the run and waits for it: a file being written is finished.
    ~BatchRunner() override;

    bool running() const { return m_running; }

    // False, starting nothing, while a run is under way.
    bool start(BatchJob job);
    // Ends the run at once: a file still being read is ended and counted as
    // not converted; only a file being written is finished first.
    void requestStop();
    bool stopRequested() const { return m_stop; }

signals:
    // 1-based position of the entry being converted.
    void progress(qint64 position, qint64 total);
    void fileFinished(qint64 index, const pictrove::FileResult &result);
    void finished(const pictrove::BatchSummary &summary);

private:
    void ended(const BatchSummary &summary);

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    // The run's; a new run gets a new one.
    std::shared_ptr<CancelToken> m_cancel;
    bool m_running = false;
    // Cleared when the runner goes, so that a result on its way is dropped.
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
};

} // namespace pictrove

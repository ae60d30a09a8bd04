#include "workflow/batch/BatchRunner.h"

#include <QMetaObject>
#include <QPointer>

namespace pictrove {

BatchRunner::BatchRunner(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<pictrove::FileResult>();
    qRegisterMetaType<pictrove::BatchSummary>();
}

BatchRunner::~BatchRunner()
{
    requestStop();
    *m_alive = false;
    if (m_thread.joinable())
        m_thread.join();
}

void BatchRunner::requestStop()
{
    m_stop = true;
    if (m_cancel)
        m_cancel->cancel();
}

bool BatchRunner::start(BatchJob job)
{
    if (m_running)
        return false;
    if (m_thread.joinable())
        m_thread.join(); // the last run's thread has ended already
    m_running = true;
    m_stop = false;
    m_cancel = std::make_shared<CancelToken>();
    const QPointer<BatchRunner> self(this);
    const auto alive = m_alive;
    // Posts to this object's thread; nothing arrives once it is gone.
    const auto post = [self, alive](auto call) {
        if (*alive)
            QMetaObject::invokeMethod(self.data(), [self, alive, call] {
                if (*alive && self)
                    call(*self);
            }, Qt::QueuedConnection);
    };
    m_thread = std::thread([this, job = std::move(job), post, cancel = m_cancel] {
        const qint64 total = qint64(job.entries.size());
        BatchCallbacks callbacks;
        callbacks.stopRequested = [this] { return m_stop.load(); };
        callbacks.cancel = cancel.get();
        callbacks.starting = [post, total](std::size_t index) {
            post([index, total](BatchRunner &r) { emit r.progress(qint64(index) + 1, total); });
        };
        callbacks.finished = [post](std::size_t index, const FileResult &result) {
            post([index, result](BatchRunner &r) { emit r.fileFinished(qint64(index), result); });
        };
        const BatchSummary summary = runBatch(job, callbacks);
        post([summary](BatchRunner &r) { r.ended(summary); });
    });
    return true;
}

void BatchRunner::ended(const BatchSummary &summary)
{
    m_running = false;
    if (m_thread.joinable())
        m_thread.join();
    emit finished(summary);
}

} // namespace pictrove

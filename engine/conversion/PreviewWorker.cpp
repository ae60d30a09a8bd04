#include "engine/conversion/PreviewWorker.h"

#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <algorithm>

namespace pictrove {

PreviewWorker::PreviewWorker(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<PreviewDone>();
    m_thread = std::thread([this] { run(); });
}

PreviewWorker::~PreviewWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_preview.reset();
        m_saves.clear();
    }
    m_wake.notify_all();
    m_thread.join();
}

std::uint64_t PreviewWorker::request(PreviewJob job)
{
    const bool wasBusy = busy();
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_mutex);
        if (job.saveAs) {
            m_saves.push_back(std::move(job));
            ++m_savesOutstanding;
        } else {
            generation = ++m_latest;
            m_preview = std::move(job);
            m_previewGeneration = generation;
            m_previewOutstanding = true;
        }
    }
    m_wake.notify_one();
    if (!wasBusy)
        emit busyChanged(true);
    return generation;
}

void PreviewWorker::abandonPreviews()
{
    const bool wasBusy = busy();
    {
        std::lock_guard lock(m_mutex);
        ++m_latest;
        m_preview.reset();
    }
    m_previewOutstanding = false;
    if (wasBusy && !busy())
        emit busyChanged(false);
}

void PreviewWorker::run()
{
    // Made on this thread, used only here: the surfaces the encoders draw
    // into are the worker's, never the window's.
    ConversionContext context;
    // A preview is one picture someone waits for: all cores go to it
    // (the context's thread count stays 0).
    for (;;) {
        PreviewJob job;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_preview || !m_saves.empty(); });
            if (m_stopping)
                return;
            if (!m_saves.empty()) {
                job = std::move(m_saves.front());
                m_saves.pop_front();
            } else {
                job = std::move(*m_preview);
                m_preview.reset();
                generation = m_previewGeneration;
            }
        }
        context.options = job.options;
        context.original.setPicture(job.original, job.metadata);
        context.optimized.setPicture(job.optimized);
        const bool saveAs = job.saveAs;
        context.hooks.abandoned = [this, generation, saveAs] {
            return m_stopping.load() || (!saveAs && generation != m_latest.load());
        };

        PreviewDone done;
        done.generation = generation;
        try {
            done.result = job.jpeg ? EncodePreviewJpeg(context, job.path, job.quality, job.keep)
                                   : EncodePreview(context, job.path, job.keep);
        } catch (const std::exception &e) {
            done.result.file = FileResult::failed(job.path, QString::fromLocal8Bit(e.what()));
        }
        if (done.result.abandoned)
            continue;
        done.optimized = context.optimized.picture();
        // The pictures are the caller's; the result needs only the rest.
        job.original = QImage();
        job.optimized = QImage();
        job.metadata = PictureMetadata();
        context.original.reset();
        done.job = std::move(job);
        QMetaObject::invokeMethod(
            this, [this, done = std::move(done)]() mutable { deliver(std::move(done)); },
            Qt::QueuedConnection);
    }
}

void PreviewWorker::deliver(PreviewDone done)
{
    if (done.job.saveAs) {
        --m_savesOutstanding;
    } else {
        if (done.generation != m_latest.load())
            return; // a newer one is asked for or under way
        m_previewOutstanding = false;
    }
    const QPointer<PreviewWorker> alive(this); // a handler may close the window
    emit finished(done);
    if (alive && !busy())
        emit busyChanged(false);
}

} // namespace pictrove

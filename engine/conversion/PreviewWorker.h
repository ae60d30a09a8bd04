#pragma once

#include "engine/conversion/ConversionContext.h"
#include "engine/conversion/PreviewEncoder.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace pictrove {

// One encode of the Step 2 preview or of "Save As", with everything it
// reads taken when it was asked for, so that nothing the user does
// meanwhile can change it.
struct PreviewJob {
    EncodingOptions options;
    QImage original;  // the picture to encode, with its transparency if it has any
    PictureMetadata metadata; // what its file said beyond the pixels
    QImage optimized; // what the optimized view shows now; kept if nothing new can be shown
    bool jpeg = false;
    std::int32_t quality = 0;
    QString path;
    std::int16_t keep = 0;
    // A file the user named (Save As): never dropped for a newer request.
    bool saveAs = false;
};

struct PreviewDone {
    std::uint64_t generation = 0;
    PreviewJob job;
    PreviewResult result;
    QImage optimized; // the optimized view's picture after the encode
};

// Encodes preview jobs on a thread of its own. The newest request wins: a
// preview asked for while another waits replaces it, and one under way is
// abandoned at its next stage boundary; only the newest preview's result is
// reported. Save As jobs are done in order and always reported. Results
// arrive through finished() on the thread that owns the worker.
class PreviewWorker : public QObject {
    Q_OBJECT
public:
    explicit PreviewWorker(QObject *parent = nullptr);
    // Abandons what is under way and waits for the thread; no result
    // follows and no work file is left.
    ~PreviewWorker() override;

    // Returns the request's generation.
    std::uint64_t request(PreviewJob job);
    // Whatever is asked for or under way will not be reported (the picture
    // it encodes is no longer the current one). Save As jobs still finish.
    void abandonPreviews();
    // Something is asked for or under way whose result will be reported.
    bool busy() const { return m_previewOutstanding || m_savesOutstanding > 0; }

signals:
    void finished(const pictrove::PreviewDone &done);
    // busy() changed.
    void busyChanged(bool busy);

private:
    void run();
    void deliver(PreviewDone done);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<PreviewJob> m_preview;
    std::deque<PreviewJob> m_saves;
    std::uint64_t m_previewGeneration = 0; // guarded by m_mutex
    std::atomic<std::uint64_t> m_latest{0};
    std::atomic<bool> m_stopping{false};
    // The owner's thread only.
    bool m_previewOutstanding = false;
    int m_savesOutstanding = 0;
    std::thread m_thread;
};

} // namespace pictrove

Q_DECLARE_METATYPE(pictrove::PreviewDone)

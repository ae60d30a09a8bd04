#include "engine/conversion/BatchRun.h"

#include "decoding/CancelToken.h"
#include "decoding/DecoderSandbox.h"
#include "decoding/PictureLoader.h"
#include "engine/conversion/BatchOutputName.h"
#include "engine/conversion/BatchWorker.h"
#include "decoding/ImageExtensions.h"
#include "engine/conversion/SourcePrefetch.h"
#include "engine/conversion/StageClock.h"
#include "engine/conversion/StagedOutput.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace pictrove {

namespace {

// The file a path names, as one text for all the ways of writing it.
QString identity(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// Hands results to the callback in entry order, whichever worker finishes
// first, and keeps the count.
class Reporter {
public:
    Reporter(const BatchCallbacks &callbacks, BatchSummary &summary)
        : m_callbacks(callbacks), m_summary(summary)
    {
    }
    void report(std::size_t index, FileResult result)
    {
        const std::lock_guard lock(m_mutex);
        m_ready.emplace(index, std::move(result));
        flush();
    }
    // An entry taken but not converted (its decode was cancelled): nothing
    // is reported for it, and what follows it is no longer held back.
    void pass(std::size_t index)
    {
        const std::lock_guard lock(m_mutex);
        m_passed.insert(index);
        flush();
    }
    // An entry never started ends the ordered stream: what follows it is
    // reported as it comes.
    void skipTo(std::size_t index)
    {
        const std::lock_guard lock(m_mutex);
        if (index > m_next)
            m_next = index;
    }

private:
    void flush()
    {
        for (;;) {
            if (m_passed.erase(m_next) != 0) {
                ++m_next;
                continue;
            }
            if (m_ready.empty() || m_ready.begin()->first != m_next)
                return;
            const FileResult &r = m_ready.begin()->second;
            switch (r.status) {
            case FileStatus::Written: ++m_summary.written; break;
            case FileStatus::Skipped: ++m_summary.skipped; break;
            case FileStatus::Failed: ++m_summary.failed; break;
            }
            if (m_callbacks.finished)
                m_callbacks.finished(m_next, r);
            m_ready.erase(m_ready.begin());
            ++m_next;
        }
    }

    const BatchCallbacks &m_callbacks;
    BatchSummary &m_summary;
    std::mutex m_mutex;
    std::map<std::size_t, FileResult> m_ready;
    std::set<std::size_t> m_passed;
    std::size_t m_next = 0;
};

// What decides an entry before any decoding: its own failure, a target that
// is one of the batch's pictures, an existing file that is to be kept.
std::optional<FileResult> decidedBeforeDecoding(const BatchJob &job, const BatchEntry &entry,
                                                const QString &target,
                                                const QSet<QString> &sources)
{
    if (!entry.failure.isEmpty())
        return FileResult::failed(entry.path, entry.failure);
    if (sources.contains(identity(target)))
        return FileResult::skipped(
            target, QStringLiteral("that name is one of the pictures being converted"));
    if (!job.overwrite && QFileInfo::exists(target))
        return FileResult::skipped(target, QStringLiteral("a file of that name exists"));
    return std::nullopt;
}

FileResult convertOne(ConversionContext &context, const BatchJob &job, const QString &path,
                      const QString &target, const LoadResult &loaded)
{
    AdoptBatchSource(context, path, loaded);
    const std::uint8_t overwrite = job.overwrite ? 1 : 0;
    FileResult result = job.jpeg
        ? EncodeBatchJpeg(context, target, job.options.settings.JpegQuality, overwrite)
        : EncodeBatchImage(context, target, overwrite);
    if (result.ok() && !loaded.warning.isEmpty()) {
        result.warning = loaded.warning;
        result.source = path;
    }
    return result;
}

} // namespace

std::vector<QString> batchTargets(const BatchJob &job, const QString &extension)
{
    std::vector<QString> targets;
    targets.reserve(job.entries.size());
    std::int64_t position = 0;
    for (const BatchEntry &entry : job.entries)
        targets.push_back(entry.failure.isEmpty()
                              ? batchOutputPath(job.destination, job.genericName, ++position,
                                                extension)
                              : QString());
    return targets;
}

BatchSummary runBatch(const BatchJob &job, const BatchCallbacks &callbacks)
{
    BatchSummary summary;
    Reporter reporter(callbacks, summary);
    // A run killed before (SIGKILL, a power cut) could not clean up after
    // itself; its work files go now.
    removeStaleWorkFiles(job.destination);
    const std::vector<QString> targets = batchTargets(job, job.options.settings.Extension);
    QSet<QString> sources;
    for (const BatchEntry &entry : job.entries)
        if (entry.failure.isEmpty())
            sources.insert(identity(entry.path));
    const auto stop = [&callbacks] {
        return (callbacks.stopRequested && callbacks.stopRequested())
            || (callbacks.cancel && callbacks.cancel->cancelled());
    };
    const std::size_t count = job.entries.size();

    if (job.workers <= 1) {
        ConversionContext context(job.options);
        context.stageTimes = job.stageTimes;
        context.directColourInMemory = job.directColourInMemory;
        SourcePrefetch prefetch(callbacks.cancel);
        // The next entry that needs decoding is read while this one encodes.
        const auto readAheadAfter = [&](std::size_t index) {
            if (!job.readAhead)
                return;
            for (std::size_t next = index + 1; next < count; ++next) {
                if (!decidedBeforeDecoding(job, job.entries[next], targets[next], sources)) {
                    prefetch.start(job.entries[next].path);
                    return;
                }
            }
        };
        readAheadAfter(std::size_t(-1));
        std::size_t i = 0;
        for (; i < count && !stop(); ++i) {
            if (callbacks.starting)
                callbacks.starting(i);
            const BatchEntry &entry = job.entries[i];
            if (auto decided = decidedBeforeDecoding(job, entry, targets[i], sources)) {
                if (prefetch.pending() == entry.path)
                    readAheadAfter(i);
                reporter.report(i, *decided);
                continue;
            }
            LoadResult loaded;
            {
                StageClock clock(job.stageTimes, StageTimes::Load); // the wait that is left
                loaded = job.readAhead ? prefetch.take(entry.path)
                                       : loadPicture(entry.path, lowerExtensionOf(entry.path),
                                                     LoaderTable::Batch, callbacks.cancel);
            }
            // A stop that ended the decode leaves this entry not converted.
            if (loaded.cancelled)
                break;
            readAheadAfter(i);
            reporter.report(i, convertOne(context, job, entry.path, targets[i], loaded));
        }
        summary.notStarted = std::int64_t(count - i);
        return summary;
    }

    // Several workers, each with its own decoder process and surfaces, take
    // the next entry in turn.
    std::atomic<std::size_t> next{0};
    std::atomic<std::int64_t> cancelled{0};
    std::atomic<bool> stopped{false};
    std::mutex starting;
    const auto work = [&] {
        ConversionContext context(job.options);
        context.directColourInMemory = job.directColourInMemory;
        DecoderSandbox decoder;
        for (;;) {
            std::size_t i;
            {
                // Asking for a stop and taking the next entry happen together,
                // so that the entries left are exactly those never taken.
                const std::lock_guard lock(starting);
                if (stopped || next >= count)
                    return;
                if (stop()) {
                    stopped = true;
                    return;
                }
                i = next++;
                if (callbacks.starting)
                    callbacks.starting(i);
            }
            const BatchEntry &entry = job.entries[i];
            if (auto decided = decidedBeforeDecoding(job, entry, targets[i], sources)) {
                reporter.report(i, *decided);
                continue;
            }
            const LoadResult loaded = loaderMode() == LoaderMode::Sandboxed
                ? decoder.load(entry.path, lowerExtensionOf(entry.path), LoaderTable::Batch,
                               callbacks.cancel)
                : loadPicture(entry.path, lowerExtensionOf(entry.path), LoaderTable::Batch,
                              callbacks.cancel);
            if (loaded.cancelled) {
                ++cancelled;
                reporter.pass(i);
                continue; // the stop is seen when the next entry would be taken
            }
            reporter.report(i, convertOne(context, job, entry.path, targets[i], loaded));
        }
    };
    std::vector<std::thread> threads;
    for (int w = 1; w < job.workers && std::size_t(w) < count; ++w)
        threads.emplace_back(work);
    work();
    for (std::thread &t : threads)
        t.join();
    summary.notStarted = std::int64_t(count - std::min(count, next.load())) + cancelled.load();
    reporter.skipTo(count);
    return summary;
}

} // namespace pictrove

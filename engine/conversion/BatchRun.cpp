#include "engine/conversion/BatchRun.h"

#include "decoding/CancelToken.h"
#include "decoding/DecoderSandbox.h"
#include "decoding/PictureLoader.h"
#include "engine/conversion/BatchOutputName.h"
#include "engine/conversion/BatchSource.h"
#include "engine/conversion/BatchWorker.h"
#include "engine/conversion/StageClock.h"
#include "engine/conversion/StagedOutput.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <deque>
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

// What the load was made of, for the bench.
void addLoadTimes(StageTimes *times, const LoadResult::Timing &timing)
{
    if (!times)
        return;
    times->total[StageTimes::LoadDecode] += timing.decodeWall;
    times->total[StageTimes::LoadDecodeCpu] += timing.decodeCpu;
    times->total[StageTimes::LoadHandOver] += timing.handOver;
    times->total[StageTimes::LoadOther] +=
        std::max(timing.load - timing.decodeWall - timing.handOver, std::chrono::nanoseconds(0));
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

namespace {
// The processors shared out among the workers, at least one each.
int threadsPerWorker(int workers)
{
    const int processors = int(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, processors / std::max(1, workers));
}
} // namespace

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
    const auto decided = [&](std::size_t i) {
        return decidedBeforeDecoding(job, job.entries[i], targets[i], sources);
    };
    const std::size_t count = job.entries.size();
    const int workers = int(std::min<std::size_t>(std::size_t(std::max(1, job.workers)),
                                                  std::max<std::size_t>(count, 1)));
    // The other workers' decoders start with the shared one's settings (its
    // program, its time limits).
    const SandboxOptions decoderOptions =
        workers > 1 ? DecoderSandbox::shared().options() : SandboxOptions{};

    std::mutex taking;
    std::size_t next = 0; // the first entry never taken
    bool stopped = false;
    std::atomic<std::int64_t> cancelled{0};
    // Asking for a stop and taking the next entry happen together, so that
    // the entries left are exactly those never taken (and those whose decode
    // was cancelled).
    const auto take = [&]() -> std::optional<std::size_t> {
        const std::lock_guard lock(taking);
        if (stopped || next >= count)
            return std::nullopt;
        if ((callbacks.stopRequested && callbacks.stopRequested())
            || (callbacks.cancel && callbacks.cancel->cancelled())) {
            stopped = true;
            return std::nullopt;
        }
        const std::size_t i = next++;
        if (callbacks.starting)
            callbacks.starting(i);
        return i;
    };

    // Each worker has its own surfaces; the first reads through the shared
    // decoder (the window's, already running), every other through one of
    // its own so that their decodes do not queue behind each other. Each
    // reads ahead: once its picture is read, it takes its next entry (and
    // the entries before that one that need no decoding) and its decoder
    // reads that while this one encodes, so at most one picture waits per
    // worker. Taken early, the entry is under way: a stop asked for now
    // still converts it, and entries are still taken in order.
    const auto work = [&](int worker) {
        ConversionContext context(job.options);
        StageTimes *const stageTimes = worker == 0 ? job.stageTimes : nullptr;
        context.stageTimes = stageTimes;
        context.directColourInMemory = job.directColourInMemory;
        context.threads = threadsPerWorker(workers);
        const std::unique_ptr<DecoderSandbox> ownDecoder =
            worker == 0 ? nullptr : std::make_unique<DecoderSandbox>(decoderOptions);
        BatchSource source(callbacks.cancel, ownDecoder.get(), job.readAhead, job.options.resize);
        std::deque<std::size_t> taken; // in entry order
        for (;;) {
            if (taken.empty()) {
                if (const std::optional<std::size_t> i = take())
                    taken.push_back(*i);
                else
                    break;
            }
            const std::size_t i = taken.front();
            taken.pop_front();
            const BatchEntry &entry = job.entries[i];
            std::optional<FileResult> result = decided(i);
            LoadResult loaded;
            if (!result) {
                {
                    StageClock clock(stageTimes, StageTimes::Load); // the wait that is left
                    loaded = source.take(entry.path);
                }
                addLoadTimes(stageTimes, loaded.timing);
            }
            // A stop that ended the decode leaves this entry not converted;
            // the stop itself is seen when the next entry would be taken.
            if (loaded.cancelled) {
                ++cancelled;
                reporter.pass(i);
                continue;
            }
            if (source.readsAhead() && taken.empty()) {
                while (const std::optional<std::size_t> ahead = take()) {
                    taken.push_back(*ahead);
                    if (!decided(*ahead)) {
                        source.start(job.entries[*ahead].path);
                        break;
                    }
                }
            }
            if (!result)
                result = convertOne(context, job, entry.path, targets[i], loaded);
            reporter.report(i, std::move(*result));
        }
    };
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w)
        threads.emplace_back(work, w);
    work(0);
    for (std::thread &t : threads)
        t.join();
    summary.notStarted = std::int64_t(count - next) + cancelled.load();
    return summary;
}

} // namespace pictrove

#pragma once

#include "engine/conversion/ConversionContext.h"
#include "engine/conversion/FileResult.h"

#include <QMetaType>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace pictrove {

struct LoadResult;
class CancelToken;

// One input of a batch: a picture to convert, or an input that already
// failed (a picture list that could not be read, a path that names no file),
// which is reported as failed and takes no position.
struct BatchEntry {
    QString path;
    QString failure;
};

// A whole batch, fixed when it starts: the inputs in order, where and under
// which name they go, and the options they are all converted with.
struct BatchJob {
    std::vector<BatchEntry> entries;
    QString destination;
    QString genericName; // exactly as typed
    EncodingOptions options;
    bool jpeg = false; // JPEG rows, written with options.settings.JpegQuality
    bool overwrite = false;
    // Files converted at once, each worker with its own decoder process (the
    // first with the shared one).
    int workers = 1;
    // Each worker reads its next source while it encodes the current one.
    bool readAhead = true;
    // For the benchmarks: where the first worker's time goes (all of it with
    // one worker), and the true-colour rows through a BMP written and read
    // back (see ConversionContext).
    StageTimes *stageTimes = nullptr;
    bool directColourInMemory = true;
};

struct BatchSummary {
    std::int64_t written = 0;
    std::int64_t skipped = 0;
    std::int64_t failed = 0;
    std::int64_t notStarted = 0; // left when a stop was asked for, or still being read
};

struct BatchCallbacks {
    // Asked before each file; true ends the run after the files under way.
    std::function<bool()> stopRequested;
    // Cancelled, it also ends the decodes under way at once: a file still
    // being read is not converted and counts as not started. A file whose
    // picture has been read is written to its end.
    const CancelToken *cancel = nullptr;
    // Entry index (0-based) that is about to be converted.
    std::function<void(std::size_t index)> starting;
    // Each entry's result, always in entry order, whatever the workers.
    // Called on a worker thread when there are several.
    std::function<void(std::size_t index, const FileResult &result)> finished;
};

// The output path of every entry (empty for an entry that already failed):
// entries that already failed take no position.
std::vector<QString> batchTargets(const BatchJob &job, const QString &extension);

// Converts every entry of the job on the calling thread (and, with several
// workers, on as many threads of its own). Existing files are replaced only
// by complete new ones and only with overwrite on; an output name that is
// the path of one of the batch's own pictures is never written: that entry
// is skipped.
BatchSummary runBatch(const BatchJob &job, const BatchCallbacks &callbacks);

} // namespace pictrove

Q_DECLARE_METATYPE(pictrove::BatchSummary)

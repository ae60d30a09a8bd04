#pragma once

#include "decoding/PictureLoader.h"

#include <QString>

#include <future>

namespace pictrove {

// Reads the next batch source while the current picture is encoded, for
// programs that convert a known list of files (pictrove-convert, the bench).
// The decode itself runs in the decoder process, so the thread started here
// only waits for it; with the loader in process mode nothing is read ahead.
// The window's batch run does not use this: it reads each file when its turn
// comes.
class SourcePrefetch {
public:
    // A cancelled token ends the read under way and every later one.
    explicit SourcePrefetch(const CancelToken *cancel = nullptr) : m_cancel(cancel) {}
    ~SourcePrefetch();
    SourcePrefetch(const SourcePrefetch &) = delete;
    SourcePrefetch &operator=(const SourcePrefetch &) = delete;

    // Begins reading path through the batch loader table.
    void start(const QString &path);
    // The picture of path: the one read ahead when it was started for this
    // path, else read now.
    LoadResult take(const QString &path);
    // The path being read ahead, if any.
    const QString &pending() const { return m_path; }

private:
    const CancelToken *m_cancel;
    QString m_path;
    std::future<LoadResult> m_next;
};

} // namespace pictrove

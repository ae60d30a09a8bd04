#pragma once

#include "decoding/PictureLoader.h"

#include <QString>

#include <future>

namespace pictrove {

class DecoderSandbox;

// Where one batch worker's pictures come from: its decoder, and, when it
// reads ahead, the next picture read while the current one is encoded. The
// decode itself runs in the decoder process, so the thread started for a
// read-ahead only waits for it; with the loader in process mode nothing is
// read ahead (the libraries are not to be used from two threads at once).
class BatchSource {
public:
    // A cancelled token ends the read under way and every later one. Without
    // a decoder of its own the source reads through the shared one.
    // Pictures are read for the resize (a JPEG may be decoded smaller).
    explicit BatchSource(const CancelToken *cancel = nullptr, DecoderSandbox *decoder = nullptr,
                         bool readAhead = true, const ResizeSetting &resize = {})
        : m_cancel(cancel), m_decoder(decoder), m_readAhead(readAhead), m_resize(resize)
    {
    }
    ~BatchSource();
    BatchSource(const BatchSource &) = delete;
    BatchSource &operator=(const BatchSource &) = delete;

    // Whether start() reads anything ahead.
    bool readsAhead() const;
    // Begins reading path through the batch loader table, unless that path
    // is being read already; any other read ahead is given up.
    void start(const QString &path);
    // The picture of path: the one read ahead when it was started for this
    // path, else read now.
    LoadResult take(const QString &path);
    // The path being read ahead, if any.
    const QString &pending() const { return m_path; }

private:
    LoadResult read(const QString &path) const;
    void drop();

    const CancelToken *m_cancel;
    DecoderSandbox *m_decoder;
    bool m_readAhead;
    ResizeSetting m_resize;
    QString m_path;
    std::future<LoadResult> m_next;
};

} // namespace pictrove

#include "engine/conversion/BatchSource.h"

#include "decoding/ImageExtensions.h"

#include <chrono>

namespace pictrove {

BatchSource::~BatchSource() { drop(); }

bool BatchSource::readsAhead() const
{
    return m_readAhead && loaderMode() == LoaderMode::Sandboxed;
}

void BatchSource::start(const QString &path)
{
    if (m_next.valid() && m_path == path)
        return;
    drop();
    if (!readsAhead())
        return;
    m_path = path;
    m_next = std::async(std::launch::async, [this, path] { return read(path); });
}

LoadResult BatchSource::take(const QString &path)
{
    if (m_next.valid() && m_path == path) {
        m_path.clear();
        return m_next.get();
    }
    drop();
    return read(path);
}

LoadResult BatchSource::read(const QString &path) const
{
    const auto start = std::chrono::steady_clock::now();
    LoadResult loaded =
        loadPicture(path, lowerExtensionOf(path), LoaderTable::Batch, m_cancel, m_decoder, m_resize);
    loaded.timing.load = std::chrono::steady_clock::now() - start;
    return loaded;
}

// A read given up still holds the decoder until it ends, which its time
// limit (or the cancel token) bounds.
void BatchSource::drop()
{
    if (m_next.valid())
        m_next.wait();
    m_next = {};
    m_path.clear();
}

} // namespace pictrove

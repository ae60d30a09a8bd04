#include "engine/conversion/SourcePrefetch.h"

#include "decoding/ImageExtensions.h"

namespace pictrove {

SourcePrefetch::~SourcePrefetch()
{
    if (m_next.valid())
        m_next.wait(); // bounded by the decoder's time limit
}

void SourcePrefetch::start(const QString &path)
{
    if (m_next.valid())
        m_next.wait();
    m_next = {};
    m_path.clear();
    if (loaderMode() != LoaderMode::Sandboxed)
        return; // the libraries are not to be used from two threads at once
    m_path = path;
    m_next = std::async(std::launch::async, [path, cancel = m_cancel] {
        return loadPicture(path, lowerExtensionOf(path), LoaderTable::Batch, cancel);
    });
}

LoadResult SourcePrefetch::take(const QString &path)
{
    if (m_next.valid() && m_path == path) {
        m_path.clear();
        return m_next.get();
    }
    if (m_next.valid())
        m_next.wait();
    m_next = {};
    m_path.clear();
    return loadPicture(path, lowerExtensionOf(path), LoaderTable::Batch, m_cancel);
}

} // namespace pictrove

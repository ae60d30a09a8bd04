#include "selection/ImageBasket.h"

#include "selection/FolderListing.h"


#include <algorithm>

namespace pictrove {

BasketEntry basketEntryFor(const QString &fullPath)
{
    const QString fileName = fullPath.mid(fullPath.lastIndexOf(u'/') + 1);
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : fileName.mid(dot + 1);
    return {fullPath, nameWithoutExtension(fileName), extension.toUpper(),
            parentFolderOf(fullPath), extension.toLower()};
}

QStringList ImageBasket::paths() const
{
    QStringList list;
    list.reserve(qsizetype(m_entries.size()));
    for (const BasketEntry &entry : m_entries)
        list.append(entry.fullPath);
    return list;
}

bool ImageBasket::contains(const QString &fullPath, PathMatch match) const
{
    return match == PathMatch::Exact ? m_exact.contains(fullPath)
                                     : m_folded.contains(fullPath.toCaseFolded());
}

void ImageBasket::index(const BasketEntry &entry, int delta)
{
    const auto adjust = [delta](QHash<QString, int> &map, const QString &key) {
        int &count = map[key];
        count += delta;
        if (count <= 0)
            map.remove(key);
    };
    adjust(m_exact, entry.fullPath);
    adjust(m_folded, entry.fullPath.toCaseFolded());
}

void ImageBasket::append(BasketEntry entry)
{
    index(entry, +1);
    m_entries.push_back(std::move(entry));
}

void ImageBasket::removeAt(std::vector<std::int64_t> positions)
{
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    std::vector<BasketEntry> kept;
    kept.reserve(m_entries.size());
    size_t next = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (next < positions.size() && positions[next] == std::int64_t(i)) {
            index(m_entries[i], -1);
            ++next;
        } else {
            kept.push_back(std::move(m_entries[i]));
        }
    }
    m_entries = std::move(kept);
}

void ImageBasket::clear()
{
    m_entries.clear();
    m_exact.clear();
    m_folded.clear();
}

} // namespace pictrove

#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace pictrove {

// One queued image. The full path is its identity: duplicates are judged on
// it, and the preview, the picture list and the batch run use nothing else.
struct BasketEntry {
    QString fullPath;
    QString displayName;  // "File Name" column
    QString type;         // upper-cased extension, without the dot
    QString parentFolder; // "Parent Folder" column
    QString iconKey;      // lower-cased extension
};

// How an added path is compared with the basket's: the toolbar and the
// Enter key compare letter for letter, drag and drop ignores letter case.
enum class PathMatch { Exact, IgnoreCase };

// A basket entry for a file: display name without extension, the folder part
// of the path as parent folder.
BasketEntry basketEntryFor(const QString &fullPath);

// The Image Basket: entries in the order they were added. Indexes by path
// (as written and case-folded) make the duplicate test cost the same for a
// basket of ten entries or of fifty thousand.
class ImageBasket {
public:
    std::int64_t size() const { return std::int64_t(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    const BasketEntry &at(std::int64_t position) const { return m_entries[size_t(position)]; }
    const std::vector<BasketEntry> &entries() const { return m_entries; }
    QStringList paths() const;

    bool contains(const QString &fullPath, PathMatch match) const;

    // Appends without a duplicate test (opening a picture list keeps the
    // duplicates it holds).
    void append(BasketEntry entry);

    // Removes the entries at the given 0-based positions, in any order;
    // the others keep their order.
    void removeAt(std::vector<std::int64_t> positions);
    void clear();

private:
    void index(const BasketEntry &entry, int delta);

    std::vector<BasketEntry> m_entries;
    QHash<QString, int> m_exact;  // path -> entries with it
    QHash<QString, int> m_folded; // case-folded path -> entries with it
};

} // namespace pictrove

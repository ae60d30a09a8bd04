#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace pictrove {

// One listed file of a folder.
struct FolderFile {
    QString name;      // with extension, in the file system's letter case
    QString fullPath;  // the folder joined with the name (the entry's tag)
    QString extension; // lower-cased, without the dot
    std::int64_t size = 0;
};

// A folder's path joined with a name: one "/" between them, none added when
// the folder already ends with one (the root).
QString joinFolderPath(const QString &folder, const QString &name);

// The folder part of a path: without its last component and without a
// trailing separator, except that the root keeps its "/".
QString parentFolderOf(const QString &path);

// The file name of a path without "." + its extension; a name without "."
// stays whole.
QString nameWithoutExtension(const QString &fileName);

// The regular, non-hidden files of folder whose extension (any letter case)
// is a recognised image extension, ordered by name without regard to case.
// A folder that cannot be read gives none. Safe to call on any thread.
std::vector<FolderFile> listImageFiles(const QString &folder);

} // namespace pictrove

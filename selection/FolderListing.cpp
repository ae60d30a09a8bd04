#include "selection/FolderListing.h"

#include "decoding/ImageExtensions.h"

#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace pictrove {

QString joinFolderPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

QString parentFolderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

QString nameWithoutExtension(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? fileName : fileName.left(dot);
}

std::vector<FolderFile> listImageFiles(const QString &folder)
{
    std::vector<FolderFile> files;
    // Without QDir::Hidden and QDir::System: names starting with "." and
    // anything that is not a regular file (or a link to one) stay out.
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QString name = info.fileName();
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot < 0)
            continue;
        const QString extension = name.mid(dot + 1).toLower();
        if (!isRecognisedExtension(extension))
            continue;
        files.push_back({name, joinFolderPath(folder, name), extension, info.size()});
    }
    std::sort(files.begin(), files.end(), [](const FolderFile &a, const FolderFile &b) {
        const int order = a.name.compare(b.name, Qt::CaseInsensitive);
        // Names that differ only in letter case keep a fixed order.
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return files;
}

} // namespace pictrove

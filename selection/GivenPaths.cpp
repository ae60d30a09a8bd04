#include "selection/GivenPaths.h"

#include "decoding/ImageExtensions.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace pictrove {

QStringList localPathsFromArguments(const QStringList &arguments, const QString &workingFolder)
{
    const QDir base(workingFolder);
    QStringList paths;
    bool optionsEnded = false;
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            continue;
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith(QLatin1Char('-')))
            continue;
        QString path = argument;
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            // file://host/... names another machine's file.
            if (!url.isValid() || !url.isLocalFile() ||
                !(url.host().isEmpty() || url.host() == QLatin1String("localhost")))
                continue;
            // toLocalFile() keeps "//localhost" in front of the path.
            path = url.host().isEmpty() ? url.toLocalFile() : url.path();
        } else if (argument.contains(QLatin1String("://"))) {
            continue;
        }
        if (path.isEmpty())
            continue;
        paths.append(QDir::cleanPath(base.absoluteFilePath(path)));
    }
    return paths;
}

GivenPaths sortGivenPaths(const QStringList &paths)
{
    GivenPaths given;
    if (paths.size() == 1 && lowerExtensionOf(paths.front()) == QLatin1String("ripl") &&
        QFileInfo(paths.front()).isFile()) {
        given.pictureList = paths.front();
        return given;
    }
    for (const QString &path : paths) {
        if (QFileInfo(path).isDir()) {
            if (given.folder.isEmpty())
                given.folder = path;
            continue;
        }
        given.files.append(path);
    }
    return given;
}

} // namespace pictrove

#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace pictrove {
namespace {
QString overrideFolder;
}

QString programFolder()
{
    if (!overrideFolder.isEmpty())
        return overrideFolder;
    QString dir = QCoreApplication::applicationDirPath();
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

void setProgramFolder(const QString &folder) { overrideFolder = folder; }

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

} // namespace pictrove

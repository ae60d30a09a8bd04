#include "platform/DesktopFolder.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace pictrove {

QString GetDesktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return !desktop.isEmpty() && QFileInfo(desktop).isDir() ? desktop : QString();
}

} // namespace pictrove

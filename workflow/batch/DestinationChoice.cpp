#include "workflow/batch/DestinationChoice.h"

#include "platform/DesktopFolder.h"
#include "platform/MessageService.h"
#include "platform/ProgramFolder.h"
#include "settings/StartupSettings.h"

#include <QFileInfo>

namespace pictrove {

DestinationChoice DestinationChoice::prefilled()
{
    StartupSettings &s = startupSettings();
    DestinationChoice choice;
    const QString stored = s.LastDestination.trimmed();
    s.LastDestination = stored;
    choice.startFolder = !stored.isEmpty() && QFileInfo(stored).isDir() ? stored : programFolder();
    choice.showDestination = s.ShowDestination != 0;
    choice.overwrite = s.OverwriteExisting != 0;
    choice.genericName = s.LastGenericName.trimmed();
    choice.folderSelected(choice.startFolder);
    return choice;
}

void DestinationChoice::folderSelected(const QString &folder, const QString &displayName)
{
    QString candidate = folder;
    if (candidate.isEmpty()) {
        if (displayName != QLatin1String("Desktop"))
            return; // another node without a folder changes nothing
        candidate = GetDesktopFolder();
    }
    if (!candidate.isEmpty() && QFileInfo(candidate).isDir()) {
        path = candidate;
        selectEnabled = true;
    } else {
        selectEnabled = false;
    }
}

void DestinationChoice::clearFolder()
{
    path.clear();
    selectEnabled = false;
}

std::optional<Destination> DestinationChoice::select()
{
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
        messages().show(QStringLiteral("Invalid Folder Path!"), QStringLiteral("Pictrove"),
                        MessageIcon::Information, MessageButtons::Ok);
        return std::nullopt;
    }
    StartupSettings &s = startupSettings();
    s.ShowDestination = showDestination ? 1 : 0;
    s.OverwriteExisting = overwrite ? 1 : 0;
    s.LastGenericName = trimBlanks(genericName);
    s.LastDestination = path;
    return Destination{path, genericName, overwrite, showDestination};
}

} // namespace pictrove

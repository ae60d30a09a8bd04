#include "app/StartupSequence.h"

#include "settings/StartupSettings.h"

#include "app/Guarded.h"

namespace pictrove {

void StartProgram(StartupHost &host)
{
    guarded([&] { host.loadSettings(); });
    guarded([&] { host.loadMainWindow(); });

    bool refused = false;
    guarded([&] { refused = host.anotherCopyRunning(); });
    if (refused) {
        guarded([&] { host.reportAlreadyRunning(); });
        guarded([&] { host.unloadMainWindow(); });
        guarded([&] { host.closeSplash(); });
        guarded([&] { host.endProcess(); });
        return;
    }

    guarded([&] {
        const StartupSettings &s = startupSettings();
        if (s.Maximized != 0)
            host.maximizeMainWindow();
        else
            host.sizeMainWindow(s.WindowWidth, s.WindowHeight);
    });
    guarded([&] {
        StartupSettings &s = startupSettings();
        const QString folder = s.LastPictureListFolder.trimmedRight();
        s.LastPictureListFolder = folder;
        host.setPictureListFolder(folder);
    });
    guarded([&] { host.showMainWindow(); });
    guarded([&] { host.closeSplash(); });
}

} // namespace pictrove

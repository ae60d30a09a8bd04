#include "app/StartupSequence.h"

#include "settings/StartupSettings.h"

#include "app/Guarded.h"

namespace pictrove {

void StartProgram(StartupHost &host)
{
    // A running copy is asked for first: a refused copy must not read the
    // running copy's settings file (which that copy may be writing, or may
    // have left empty until it closes), let alone report it as damaged,
    // delete it or write its own window into it.
    bool refused = false;
    guarded([&] { refused = host.anotherCopyRunning(); });
    if (refused) {
        // Files opened from the file manager go to the copy that runs,
        // which shows them; only a start that had nothing to give (or
        // could not give it) is told why no window comes.
        bool handedOver = false;
        guarded([&] { handedOver = host.handOverToRunningCopy(); });
        if (!handedOver)
            guarded([&] { host.reportAlreadyRunning(); });
        guarded([&] { host.closeSplash(); });
        guarded([&] { host.endProcess(); });
        return;
    }

    guarded([&] { host.loadSettings(); });
    guarded([&] { host.loadMainWindow(); });

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
    // Before the given paths: their messages wait for the user, and a
    // second start meanwhile is served all the same.
    guarded([&] { host.listenForHandOvers(); });
    guarded([&] { host.openGivenPaths(); });
}

} // namespace pictrove

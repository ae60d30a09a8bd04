#pragma once

#include <QString>

namespace pictrove {

// What the start routine does to the program's windows. The application
// implements it with the real splash and main window; tests record calls.
class StartupHost {
public:
    virtual ~StartupHost() = default;
    virtual void loadSettings() = 0;
    // Creates the main window and runs its load handler, without showing it.
    virtual void loadMainWindow() = 0;
    // True when another copy of this program is alive.
    virtual bool anotherCopyRunning() = 0;
    virtual void reportAlreadyRunning() = 0;
    // Gives the paths named at start to the running copy. False when none
    // were named, or when no running copy confirmed them.
    virtual bool handOverToRunningCopy() = 0;
    // Closes the main window through its normal close path.
    virtual void unloadMainWindow() = 0;
    virtual void closeSplash() = 0;
    virtual void endProcess() = 0;
    virtual void maximizeMainWindow() = 0;
    // Outer size in twips; the position stays.
    virtual void sizeMainWindow(int widthTwips, int heightTwips) = 0;
    virtual void setPictureListFolder(const QString &folder) = 0;
    virtual void showMainWindow() = 0;
    // Takes paths that later starts hand over.
    virtual void listenForHandOvers() = 0;
    // Opens the paths named at start: files into the basket, a picture
    // list, a folder in the tree.
    virtual void openGivenPaths() = 0;
};

// StartProgram, run once by the splash timer. Every step is guarded: one
// that fails is skipped and the next one runs, so a broken settings file or
// a failed placement still ends with the main window on screen.
void StartProgram(StartupHost &host);

} // namespace pictrove

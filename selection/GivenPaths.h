#pragma once

#include <QString>
#include <QStringList>

namespace pictrove {

// The program's arguments as absolute local paths: a file:// URL becomes
// its path, a relative path is taken from workingFolder, other URLs
// (http:, smb: a file manager cannot hand over as a file) and options are
// left out; "--" makes every later argument a path.
QStringList localPathsFromArguments(const QStringList &arguments, const QString &workingFolder);

// What the paths given at start (or handed over by a second start) open:
// each as the matching command of the window would.
struct GivenPaths {
    QStringList files;   // into the basket as a drop from the file manager
    QString pictureList; // a .ripl given alone: opened as the basket
    QString folder;      // the first folder: opened in the folder tree

    bool isEmpty() const { return files.isEmpty() && pictureList.isEmpty() && folder.isEmpty(); }
};

// Sorts absolute paths. Only the first folder counts (the tree shows one);
// a picture list among other paths is no picture and goes where the drop
// rule leaves it: out.
GivenPaths sortGivenPaths(const QStringList &paths);

} // namespace pictrove

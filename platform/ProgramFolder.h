#pragma once

#include <QString>

namespace pictrove {

// The folder that holds the program's executable, without a trailing
// separator. Tests point it at a temporary folder with setProgramFolder.
QString programFolder();
void setProgramFolder(const QString &folder); // empty: back to the real one

// Joins a folder and a name with one "/" (the root "/" takes no second one).
QString joinPath(const QString &folder, const QString &name);

} // namespace pictrove

#pragma once

#include <QString>

#include <optional>

namespace pictrove {

// What the destination dialog hands back on Select.
struct Destination {
    QString folder;
    QString genericName; // exactly as typed
    bool overwrite = false;
    bool showDestination = false;
};

// The destination dialog as logic: the folder accepted from the tree and
// whether Select is enabled, the name and the two boxes. The widget shows
// it and forwards the tree's selections and the buttons.
class DestinationChoice {
public:
    // Prefilled from the settings: the trimmed stored destination when it
    // is an existing folder (stored back trimmed), else the program folder;
    // the two boxes; the trimmed stored generic name.
    static DestinationChoice prefilled();

    QString startFolder;
    QString path; // FileName: the accepted folder, empty until one is
    bool selectEnabled = false;
    QString genericName;
    bool overwrite = false;
    bool showDestination = false;

    // The tree reports a folder: its file-system path, or an empty path and
    // the node's name for a node without one (only "Desktop" means a folder).
    void folderSelected(const QString &folder, const QString &displayName = QString());

    // No folder accepted: FileName empty and Select disabled.
    void clearFolder();

    // Select: nothing (and "Invalid Folder Path!" shown) when the folder has
    // gone; otherwise the values, also stored in the settings.
    std::optional<Destination> select();
};

} // namespace pictrove

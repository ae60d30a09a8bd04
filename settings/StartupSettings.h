#pragma once

#include "settings/Text256.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace pictrove {

// The user settings kept between runs, stored as one fixed 1060-byte record
// (little-endian, no padding) in "oStart.up" in the program folder.
struct StartupSettings {
    Text256 LastGenericName;           // offset 0
    Text256 LastFolder;                // 256
    Text256 LastDestination;           // 512
    std::int16_t LastFormatIndex = 0;  // 768
    std::uint8_t OverwriteExisting = 0; // 770
    std::int16_t Maximized = 0;        // 771, -1 = maximized
    std::int32_t WindowWidth = 0;      // 773, twips
    std::int32_t WindowHeight = 0;     // 777, twips
    std::int32_t Bs11Position = 0;     // 781, percentages
    std::int32_t Bs13Position = 0;     // 785
    std::int32_t Bs12Position = 0;     // 789
    std::int32_t Bs14Position = 0;     // 793
    std::int32_t Bs21Position = 0;     // 797
    Text256 LastPictureListFolder;     // 801, read with trimmedRight()
    std::uint8_t ShowDestination = 0;  // 1057
    std::int16_t CustomJpegQuality = 0; // 1058

    bool operator==(const StartupSettings &other) const = default;
};

constexpr int SettingsRecordSize = 1060;

// The process-wide record.
StartupSettings &startupSettings();

// The first-start values: the folders of firstStartFolderFor, 640 x 480
// pixels in twips of the current screen, GIF-256, quality 60, "Sample".
StartupSettings defaultStartupSettings();

// The record as it stands in the file, exactly SettingsRecordSize bytes.
QByteArray serializeSettings(const StartupSettings &settings);

// Reads the fields that lie wholly inside bytes into settings; fields beyond
// the end (a short file) keep the values settings already holds. Bytes past
// the record are ignored.
void deserializeSettings(const QByteArray &bytes, StartupSettings &settings);

// Where oStart.up lives, for reading and writing alike: the program folder
// when it can hold the file (a build tree, a copy unpacked somewhere
// writable), else the user's configuration folder (an installed copy, whose
// program folder belongs to the system).
QString settingsFilePath();

// The rule behind it: programFolderUsable says whether the program folder
// can hold the file.
QString settingsFolderFor(const QString &programFolder, bool programFolderUsable,
                          const QString &configFolder);

// The folder that LastFolder, LastDestination and LastPictureListFolder
// name at a first start: the program folder when it holds the settings (a
// build tree, a copy unpacked somewhere writable); for an installed copy,
// whose folder (/usr/bin) holds no picture of the user's and takes no
// file, the user's Pictures folder when it exists, else the home folder.
QString firstStartFolderFor(const QString &programFolder, bool programFolderUsable,
                            const QString &picturesFolder, const QString &homeFolder);

// True when a file or folder exists at path.
bool FileExists(const QString &path);

// Fills startupSettings() from the settings file, or with the defaults when
// the file is absent or empty (an empty file is reported and recreated);
// then extraSettings() from pictrove.conf beside it.
void LoadSettings();

// Writes startupSettings() into the settings file, keeping any bytes the
// file holds beyond the record, and extraSettings() into pictrove.conf.
void SaveSettings();

} // namespace pictrove

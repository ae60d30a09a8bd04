#pragma once

#include <QString>

namespace pictrove {

// Every setting oStart.up has no room for, kept in "pictrove.conf" (INI
// text) in the folder that holds oStart.up. One line per key: its type, its
// name (which is also its key in the file) and its first-start value. The
// types a key may have are those readValue() in ExtraSettings.cpp reads.
#define PICTROVE_EXTRA_SETTINGS(KEY)                                                          \
    KEY(bool, KeepMetadata, true)                                                             \
    KEY(int, WebpQuality, 80)                                                                 \
    KEY(int, AvifQuality, 60)                                                                  \
    /* Step 2's "Resize": ResizeMode's number, its numbers, "Never enlarge" */                \
    KEY(int, ResizeMode, 0)                                                                   \
    KEY(int, ResizeSide, 1920)                                                                \
    KEY(int, ResizeWidth, 1920)                                                               \
    KEY(int, ResizeHeight, 1080)                                                              \
    KEY(int, ResizePercent, 50)                                                               \
    KEY(bool, ResizeNeverEnlarge, true)

struct ExtraSettings {
#define PICTROVE_EXTRA_SETTING_FIELD(type, name, initial) type name = initial;
    PICTROVE_EXTRA_SETTINGS(PICTROVE_EXTRA_SETTING_FIELD)
#undef PICTROVE_EXTRA_SETTING_FIELD

    bool operator==(const ExtraSettings &other) const = default;
};

// The process-wide record.
ExtraSettings &extraSettings();

// Where pictrove.conf lives: beside oStart.up (see settingsFilePath()).
QString extraSettingsFilePath();

// The settings a file holds. A key that is missing or whose value cannot be
// read (a damaged or hand-edited file) keeps its first-start value; a file
// that is missing, unreadable or not a settings file at all gives the
// first-start values throughout. Never fails.
ExtraSettings readExtraSettings(const QString &path);

// Writes the settings into the file, keeping the keys it holds that this
// program does not know (a newer version's). False when the file could not
// be written; the old file is then left as it was.
bool writeExtraSettings(const QString &path, const ExtraSettings &settings);

// extraSettings() from and to extraSettingsFilePath(); LoadSettings() and
// SaveSettings() call these with oStart.up's.
void LoadExtraSettings();
void SaveExtraSettings();

} // namespace pictrove

#include "settings/ExtraSettings.h"

#include "platform/ProgramFolder.h"
#include "settings/StartupSettings.h"

#include <QFileInfo>
#include <QSettings>

namespace pictrove {

namespace {

const QString FileName = QStringLiteral("pictrove.conf");

// A value as the file holds it, or nothing when it is not one of the type:
// the first-start value is kept then.
bool readValue(const QVariant &stored, bool &out)
{
    const QString text = stored.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        out = true;
    else if (text == QLatin1String("false") || text == QLatin1String("0"))
        out = false;
    else
        return false;
    return true;
}

[[maybe_unused]] bool readValue(const QVariant &stored, int &out)
{
    bool ok = false;
    const int value = stored.toString().trimmed().toInt(&ok);
    if (ok)
        out = value;
    return ok;
}

[[maybe_unused]] bool readValue(const QVariant &stored, QString &out)
{
    if (!stored.canConvert<QString>())
        return false;
    out = stored.toString();
    return true;
}

QVariant storedValue(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }
[[maybe_unused]] QVariant storedValue(int value) { return value; }
[[maybe_unused]] QVariant storedValue(const QString &value) { return value; }

} // namespace

ExtraSettings &extraSettings()
{
    static ExtraSettings settings;
    return settings;
}

QString extraSettingsFilePath()
{
    return joinPath(QFileInfo(settingsFilePath()).path(), FileName);
}

ExtraSettings readExtraSettings(const QString &path)
{
    ExtraSettings s;
    if (!QFileInfo(path).isFile())
        return s;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return s;
#define PICTROVE_READ_EXTRA_SETTING(type, name, initial)                                    \
    if (const QVariant stored = file.value(QStringLiteral(#name)); stored.isValid())        \
        readValue(stored, s.name);
    PICTROVE_EXTRA_SETTINGS(PICTROVE_READ_EXTRA_SETTING)
#undef PICTROVE_READ_EXTRA_SETTING
    return s;
}

bool writeExtraSettings(const QString &path, const ExtraSettings &s)
{
    // A folder or a device in the file's place is not written over.
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        return false;
    // QSettings reads the file first and writes back what it holds along
    // with ours, through a complete new file.
    QSettings file(path, QSettings::IniFormat);
#define PICTROVE_WRITE_EXTRA_SETTING(type, name, initial)                                   \
    file.setValue(QStringLiteral(#name), storedValue(s.name));
    PICTROVE_EXTRA_SETTINGS(PICTROVE_WRITE_EXTRA_SETTING)
#undef PICTROVE_WRITE_EXTRA_SETTING
    file.sync();
    return file.status() == QSettings::NoError;
}

void LoadExtraSettings() { extraSettings() = readExtraSettings(extraSettingsFilePath()); }

void SaveExtraSettings() { writeExtraSettings(extraSettingsFilePath(), extraSettings()); }

} // namespace pictrove

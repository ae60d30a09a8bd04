#include "settings/StartupSettings.h"

#include "settings/ExtraSettings.h"

#include "platform/MessageService.h"
#include "platform/ProgramFolder.h"
#include "platform/Rounding.h"
#include "platform/Twips.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <type_traits>

namespace pictrove {
namespace {

// The one description of the file layout: every field with its offset, in
// file order. Serialising and reading both walk it.
template <class Settings, class Visit>
void visitFields(Settings &s, Visit &&visit)
{
    visit(0, s.LastGenericName);
    visit(256, s.LastFolder);
    visit(512, s.LastDestination);
    visit(768, s.LastFormatIndex);
    visit(770, s.OverwriteExisting);
    visit(771, s.Maximized);
    visit(773, s.WindowWidth);
    visit(777, s.WindowHeight);
    visit(781, s.Bs11Position);
    visit(785, s.Bs13Position);
    visit(789, s.Bs12Position);
    visit(793, s.Bs14Position);
    visit(797, s.Bs21Position);
    visit(801, s.LastPictureListFolder);
    visit(1057, s.ShowDestination);
    visit(1058, s.CustomJpegQuality);
}

template <class Field>
void writeField(char *out, const Field &field)
{
    if constexpr (std::is_same_v<Field, Text256>) {
        std::copy(field.bytes().begin(), field.bytes().end(), out);
    } else {
        using Unsigned = std::make_unsigned_t<Field>;
        const auto value = static_cast<Unsigned>(field);
        for (std::size_t i = 0; i < sizeof(Field); ++i)
            out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

template <class Field>
void readField(const char *in, Field &field)
{
    if constexpr (std::is_same_v<Field, Text256>) {
        Text256::Bytes bytes;
        std::copy_n(in, bytes.size(), bytes.begin());
        field.setBytes(bytes);
    } else {
        using Unsigned = std::make_unsigned_t<Field>;
        Unsigned value = 0;
        for (std::size_t i = 0; i < sizeof(Field); ++i)
            value |= static_cast<Unsigned>(static_cast<unsigned char>(in[i])) << (8 * i);
        field = static_cast<Field>(value);
    }
}

} // namespace

StartupSettings &startupSettings()
{
    static StartupSettings settings;
    return settings;
}

namespace {
bool canHoldSettings(const QString &folder);
}

StartupSettings defaultStartupSettings()
{
    const QString program = programFolder();
    const QString folder = firstStartFolderFor(
        program, canHoldSettings(program),
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), QDir::homePath());
    StartupSettings s;
    s.LastGenericName = QStringLiteral("Sample");
    s.LastFolder = folder;
    s.LastDestination = folder;
    s.LastFormatIndex = 7;
    s.OverwriteExisting = 1;
    s.Maximized = 0;
    s.WindowWidth = static_cast<std::int32_t>(roundHalfEven(twipsPerPixelX() * 640));
    s.WindowHeight = static_cast<std::int32_t>(roundHalfEven(twipsPerPixelY() * 480));
    s.Bs11Position = 30;
    s.Bs13Position = 50;
    s.Bs12Position = 75;
    s.Bs14Position = 30;
    s.Bs21Position = 50;
    s.LastPictureListFolder = folder;
    s.ShowDestination = 1;
    s.CustomJpegQuality = 60;
    return s;
}

QByteArray serializeSettings(const StartupSettings &settings)
{
    QByteArray bytes(SettingsRecordSize, '\0');
    visitFields(settings, [&](int offset, const auto &field) {
        writeField(bytes.data() + offset, field);
    });
    return bytes;
}

void deserializeSettings(const QByteArray &bytes, StartupSettings &settings)
{
    visitFields(settings, [&](int offset, auto &field) {
        if (offset + qsizetype(sizeof(field)) <= bytes.size())
            readField(bytes.constData() + offset, field);
    });
}

namespace {
const QString SettingsFileName = QStringLiteral("oStart.up");

// The file is replaced by a new one beside it, so the folder itself must
// take new files; an existing file must also be writable.
bool canHoldSettings(const QString &folder)
{
    const QFileInfo dir(folder);
    if (folder.isEmpty() || !dir.isDir() || !dir.isWritable())
        return false;
    const QFileInfo file(joinPath(folder, SettingsFileName));
    return !file.exists() || file.isWritable();
}

QString settingsFolder()
{
    const QString program = programFolder();
    return settingsFolderFor(
        program, canHoldSettings(program),
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}
} // namespace

QString settingsFolderFor(const QString &programFolder, bool programFolderUsable,
                          const QString &configFolder)
{
    return programFolderUsable || configFolder.isEmpty() ? programFolder : configFolder;
}

QString firstStartFolderFor(const QString &programFolder, bool programFolderUsable,
                            const QString &picturesFolder, const QString &homeFolder)
{
    if (programFolderUsable)
        return programFolder;
    if (!picturesFolder.isEmpty() && QFileInfo(picturesFolder).isDir())
        return picturesFolder;
    return homeFolder.isEmpty() ? programFolder : homeFolder;
}

QString settingsFilePath() { return joinPath(settingsFolder(), SettingsFileName); }

bool FileExists(const QString &path) { return !path.isEmpty() && QFileInfo::exists(path); }

void LoadSettings()
{
    QDir().mkpath(settingsFolder()); // a first start of an installed copy
    const QString path = settingsFilePath();
    bool useDefaults = false;
    if (!FileExists(path)) {
        useDefaults = true;
    } else if (QFileInfo(path).isFile() && QFileInfo(path).size() == 0) {
        messages().show(
            QStringLiteral("Configuration data file is corrupted\r\nValues will be initilized"),
            QStringLiteral("Pictrove"), MessageIcon::Exclamation, MessageButtons::Ok);
        QFile::remove(path);
        useDefaults = true;
    }

    // Whatever the file does not supply keeps its first-start value: a file
    // shorter than the record (never written by this program, but possible
    // after a crash or by hand) yields its whole fields and defaults for the
    // rest, and an unreadable file yields the defaults rather than an
    // all-zero window and format.
    StartupSettings loaded = defaultStartupSettings();
    QFile file(path);
    // An absent file is left behind empty until the settings are saved; a
    // read-only one is still read.
    if (file.open(QIODevice::ReadWrite) || file.open(QIODevice::ReadOnly)) {
        if (!useDefaults)
            deserializeSettings(file.read(SettingsRecordSize), loaded);
        file.close();
    }
    startupSettings() = loaded;
    LoadExtraSettings();
}

void SaveSettings()
{
    QDir().mkpath(settingsFolder());
    SaveExtraSettings();
    const QString path = settingsFilePath();
    // Bytes beyond the record are kept. The file is replaced by a complete
    // new one, so a full disk or a crash never leaves half a record.
    QByteArray contents = serializeSettings(startupSettings());
    if (QFileInfo::exists(path)) {
        QFile old(path);
        if (!old.open(QIODevice::ReadOnly))
            return;
        const QByteArray previous = old.readAll();
        if (previous.size() > SettingsRecordSize)
            contents += previous.mid(SettingsRecordSize);
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    // commit() does not notice when writing out its buffer fails: flush first.
    if (file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() && file.flush())
        file.commit();
}

} // namespace pictrove

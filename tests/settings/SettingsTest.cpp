#include "settings/ExtraSettings.h"
#include "settings/StartupSettings.h"

#include "platform/ProgramFolder.h"
#include "platform/Twips.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>

namespace pictrove {
namespace {

// Points the program folder at a sandbox and fixes the screen factor.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        setProgramFolder(sandbox.path());
        setTwipsPerPixel(15, 15);
        startupSettings() = StartupSettings();
        extraSettings() = ExtraSettings();
    }
    void TearDown() override
    {
        setProgramFolder(QString());
        setTwipsPerPixel(0, 0);
    }
    QByteArray fileBytes() const { return sandbox.read(QStringLiteral("oStart.up")); }

    test::Sandbox sandbox;
    test::RecordingMessages messages;
};

StartupSettings distinctValues()
{
    StartupSettings s;
    s.LastGenericName = QStringLiteral("name");
    s.LastFolder = QStringLiteral("/folder");
    s.LastDestination = QStringLiteral("/dest");
    s.LastFormatIndex = 0x0102;
    s.OverwriteExisting = 0x03;
    s.Maximized = -1;
    s.WindowWidth = 0x04050607;
    s.WindowHeight = 0x08090A0B;
    s.Bs11Position = 0x0C0D0E0F;
    s.Bs13Position = 0x10111213;
    s.Bs12Position = 0x14151617;
    s.Bs14Position = 0x18191A1B;
    s.Bs21Position = -2;
    s.LastPictureListFolder = QStringLiteral("/lists");
    s.ShowDestination = 0x1C;
    s.CustomJpegQuality = 0x1D1E;
    return s;
}

QByteArray padded(const char *text)
{
    QByteArray bytes(text);
    return bytes + QByteArray(256 - bytes.size(), ' ');
}

TEST_F(SettingsFile, EveryFieldLandsAtItsOffsetLittleEndian)
{
    startupSettings() = distinctValues();
    SaveSettings();
    const QByteArray bytes = fileBytes();
    ASSERT_EQ(bytes.size(), SettingsRecordSize);

    const struct {
        const char *field;
        int offset;
        QByteArray expected;
    } layout[] = {
        {"LastGenericName", 0, padded("name")},
        {"LastFolder", 256, padded("/folder")},
        {"LastDestination", 512, padded("/dest")},
        {"LastFormatIndex", 768, QByteArray("\x02\x01", 2)},
        {"OverwriteExisting", 770, QByteArray("\x03", 1)},
        {"Maximized", 771, QByteArray("\xFF\xFF", 2)},
        {"WindowWidth", 773, QByteArray("\x07\x06\x05\x04", 4)},
        {"WindowHeight", 777, QByteArray("\x0B\x0A\x09\x08", 4)},
        {"Bs11Position", 781, QByteArray("\x0F\x0E\x0D\x0C", 4)},
        {"Bs13Position", 785, QByteArray("\x13\x12\x11\x10", 4)},
        {"Bs12Position", 789, QByteArray("\x17\x16\x15\x14", 4)},
        {"Bs14Position", 793, QByteArray("\x1B\x1A\x19\x18", 4)},
        {"Bs21Position", 797, QByteArray("\xFE\xFF\xFF\xFF", 4)},
        {"LastPictureListFolder", 801, padded("/lists")},
        {"ShowDestination", 1057, QByteArray("\x1C", 1)},
        {"CustomJpegQuality", 1058, QByteArray("\x1E\x1D", 2)},
    };
    int covered = 0;
    for (const auto &f : layout) {
        EXPECT_EQ(bytes.mid(f.offset, f.expected.size()).toHex(), f.expected.toHex()) << f.field;
        EXPECT_EQ(f.offset, covered) << f.field << " leaves a gap or overlaps";
        covered = f.offset + int(f.expected.size());
    }
    EXPECT_EQ(covered, SettingsRecordSize);

    startupSettings() = StartupSettings();
    LoadSettings();
    EXPECT_EQ(startupSettings(), distinctValues());
    EXPECT_TRUE(messages.calls.empty());
}

TEST_F(SettingsFile, AbsentFileGivesDefaultsAndIsLeftBehindEmpty)
{
    LoadSettings();
    const StartupSettings &s = startupSettings();
    EXPECT_EQ(s.LastGenericName.trimmed(), QStringLiteral("Sample"));
    EXPECT_EQ(s.LastFolder.trimmed(), sandbox.path());
    EXPECT_EQ(s.LastDestination.trimmed(), sandbox.path());
    EXPECT_EQ(s.LastPictureListFolder.trimmedRight(), sandbox.path());
    EXPECT_EQ(s.LastFormatIndex, 7);
    EXPECT_EQ(s.OverwriteExisting, 1);
    EXPECT_EQ(s.ShowDestination, 1);
    EXPECT_EQ(s.Maximized, 0);
    EXPECT_EQ(s.WindowWidth, 9600);
    EXPECT_EQ(s.WindowHeight, 7200);
    EXPECT_EQ(s.Bs11Position, 30);
    EXPECT_EQ(s.Bs13Position, 50);
    EXPECT_EQ(s.Bs12Position, 75);
    EXPECT_EQ(s.Bs14Position, 30);
    EXPECT_EQ(s.Bs21Position, 50);
    EXPECT_EQ(s.CustomJpegQuality, 60);
    EXPECT_TRUE(messages.calls.empty());
    EXPECT_TRUE(QFileInfo(settingsFilePath()).isFile());
    EXPECT_EQ(QFileInfo(settingsFilePath()).size(), 0);
}

TEST_F(SettingsFile, DefaultWindowSizeFollowsTheScreenFactor)
{
    setTwipsPerPixel(1440.0 / 120, 1440.0 / 144); // 120 and 144 DPI
    LoadSettings();
    EXPECT_EQ(startupSettings().WindowWidth, 7680);
    EXPECT_EQ(startupSettings().WindowHeight, 4800);
}

TEST_F(SettingsFile, EmptyFileIsReportedOnceAndGivesDefaults)
{
    ASSERT_TRUE(sandbox.write(QStringLiteral("oStart.up"), QByteArray()));
    LoadSettings();
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text,
              QStringLiteral("Configuration data file is corrupted\r\nValues will be initilized"));
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("Pictrove"));
    EXPECT_EQ(messages.calls[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messages.calls[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(startupSettings(), defaultStartupSettings());
    EXPECT_TRUE(QFileInfo(settingsFilePath()).isFile());
}

TEST_F(SettingsFile, ShortFileKeepsDefaultsBeyondItsEnd)
{
    // Cut inside WindowWidth: the fields before it are read, it and the
    // rest keep their defaults.
    const QByteArray cut = serializeSettings(distinctValues()).left(775);
    ASSERT_TRUE(sandbox.write(QStringLiteral("oStart.up"), cut));
    LoadSettings();
    const StartupSettings &s = startupSettings();
    EXPECT_TRUE(messages.calls.empty());
    EXPECT_EQ(s.LastFolder.trimmed(), QStringLiteral("/folder"));
    EXPECT_EQ(s.LastFormatIndex, 0x0102);
    EXPECT_EQ(s.Maximized, -1);
    EXPECT_EQ(s.WindowWidth, 9600);
    EXPECT_EQ(s.CustomJpegQuality, 60);
    EXPECT_EQ(s.LastPictureListFolder.trimmedRight(), sandbox.path());
}

TEST_F(SettingsFile, SaveKeepsBytesBeyondTheRecordAndReplacesTheRest)
{
    QByteArray old = serializeSettings(defaultStartupSettings()) + QByteArray("tail");
    ASSERT_TRUE(sandbox.write(QStringLiteral("oStart.up"), old));
    startupSettings() = distinctValues();
    SaveSettings();
    const QByteArray bytes = fileBytes();
    EXPECT_EQ(bytes.left(SettingsRecordSize), serializeSettings(distinctValues()));
    EXPECT_EQ(bytes.mid(SettingsRecordSize), QByteArray("tail"));

    LoadSettings();
    EXPECT_EQ(startupSettings(), distinctValues());
}

TEST_F(SettingsFile, FullDiskKeepsTheOldFile)
{
    startupSettings() = distinctValues();
    SaveSettings();
    const QByteArray before = fileBytes();
    ASSERT_EQ(before.size(), SettingsRecordSize);
    startupSettings() = defaultStartupSettings();
    {
        test::FileSizeLimit limit(100);
        ASSERT_TRUE(limit.active());
        SaveSettings();
    }
    EXPECT_EQ(fileBytes(), before);
    // No work file is left beside the two settings files.
    EXPECT_EQ(QDir(sandbox.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"oStart.up", "pictrove.conf"}));
}

TEST_F(SettingsFile, UnreadableFileGivesDefaultsNotZeros)
{
    ASSERT_TRUE(QDir(sandbox.path()).mkdir(QStringLiteral("oStart.up")));
    startupSettings() = distinctValues();
    LoadSettings();
    EXPECT_EQ(startupSettings(), defaultStartupSettings());
    SaveSettings(); // nothing to write into; no crash, nothing lost
    EXPECT_TRUE(QFileInfo(settingsFilePath()).isDir());
}

// pictrove.conf: the settings oStart.up has no room for, beside it.
TEST_F(SettingsFile, ExtraSettingsLiveBesideTheRecordAndTravelWithIt)
{
    EXPECT_EQ(extraSettingsFilePath(), sandbox.file(QStringLiteral("pictrove.conf")));
    LoadSettings(); // no file yet: the first-start values
    EXPECT_TRUE(extraSettings().KeepMetadata);
    EXPECT_FALSE(QFileInfo::exists(extraSettingsFilePath()));

    startupSettings() = distinctValues();
    extraSettings().KeepMetadata = false;
    SaveSettings();
    // The record keeps its layout to the byte; the new setting is not in it.
    EXPECT_EQ(fileBytes(), serializeSettings(distinctValues()));
    EXPECT_EQ(QFileInfo(settingsFilePath()).size(), SettingsRecordSize);
    EXPECT_TRUE(sandbox.read(QStringLiteral("pictrove.conf")).contains("KeepMetadata=false"));

    extraSettings() = ExtraSettings();
    startupSettings() = StartupSettings();
    LoadSettings();
    EXPECT_FALSE(extraSettings().KeepMetadata);
    EXPECT_EQ(startupSettings(), distinctValues());
}

TEST_F(SettingsFile, DamagedOrUnreadableExtraSettingsGiveTheFirstStartValues)
{
    const QString path = extraSettingsFilePath();
    const QByteArray damaged[] = {
        QByteArray("KeepMetadata=perhaps\n"),
        QByteArray("[General]\nKeepMetadata\n"),
        QByteArray("\x00\xff\xfe[[[=\x01KeepMetadata", 20),
        QByteArray(4096, '\xff'),
        QByteArray(),
    };
    for (const QByteArray &bytes : damaged) {
        ASSERT_TRUE(sandbox.write(QStringLiteral("pictrove.conf"), bytes));
        extraSettings().KeepMetadata = false;
        LoadSettings();
        EXPECT_TRUE(extraSettings().KeepMetadata) << bytes.toHex().toStdString();
    }
    // Written again, the file is whole and reads back.
    extraSettings().KeepMetadata = false;
    SaveSettings();
    EXPECT_FALSE(readExtraSettings(path).KeepMetadata);

    // A folder in its place: the first-start values, and no failure saving.
    QFile::remove(path);
    ASSERT_TRUE(QDir(sandbox.path()).mkdir(QStringLiteral("pictrove.conf")));
    LoadSettings();
    EXPECT_TRUE(extraSettings().KeepMetadata);
    EXPECT_FALSE(writeExtraSettings(path, extraSettings()));
    SaveSettings();
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(QFileInfo(settingsFilePath()).size(), SettingsRecordSize);
}

TEST_F(SettingsFile, ExtraSettingsKeepTheKeysOfANewerVersion)
{
    ASSERT_TRUE(sandbox.write(QStringLiteral("pictrove.conf"),
                              "[General]\nKeepMetadata=true\nWebpQuality=80\n"
                              "[Resize]\nLongestSide=2048\n"));
    LoadSettings();
    extraSettings().KeepMetadata = false;
    SaveSettings();
    const QByteArray text = sandbox.read(QStringLiteral("pictrove.conf"));
    EXPECT_TRUE(text.contains("KeepMetadata=false")) << text.toStdString();
    EXPECT_TRUE(text.contains("WebpQuality=80")) << text.toStdString();
    EXPECT_TRUE(text.contains("LongestSide=2048")) << text.toStdString();
    // Values are read as written by hand too.
    ASSERT_TRUE(sandbox.write(QStringLiteral("pictrove.conf"), "[General]\nKeepMetadata = 0\n"));
    EXPECT_FALSE(readExtraSettings(extraSettingsFilePath()).KeepMetadata);
}

TEST_F(SettingsFile, TheWebRowsQualitiesSurviveARestartOutsideTheRecord)
{
    LoadSettings();
    EXPECT_EQ(extraSettings().WebpQuality, 80);
    EXPECT_EQ(extraSettings().AvifQuality, 60);
    startupSettings() = distinctValues();
    extraSettings().WebpQuality = 33;
    extraSettings().AvifQuality = 91;
    SaveSettings();
    EXPECT_EQ(fileBytes(), serializeSettings(distinctValues()));
    EXPECT_EQ(QFileInfo(settingsFilePath()).size(), SettingsRecordSize);
    const QByteArray text = sandbox.read(QStringLiteral("pictrove.conf"));
    EXPECT_TRUE(text.contains("WebpQuality=33")) << text.toStdString();
    EXPECT_TRUE(text.contains("AvifQuality=91")) << text.toStdString();

    extraSettings() = ExtraSettings();
    LoadSettings();
    EXPECT_EQ(extraSettings().WebpQuality, 33);
    EXPECT_EQ(extraSettings().AvifQuality, 91);
    // Not a number: the first-start value.
    ASSERT_TRUE(sandbox.write(QStringLiteral("pictrove.conf"), "[General]\nAvifQuality=high\n"));
    LoadSettings();
    EXPECT_EQ(extraSettings().AvifQuality, 60);
}

TEST_F(SettingsFile, FileExistsSeesFilesAndFolders)
{
    EXPECT_TRUE(FileExists(sandbox.path()));
    EXPECT_FALSE(FileExists(sandbox.file(QStringLiteral("none"))));
    EXPECT_FALSE(FileExists(QString()));
}

TEST(Text256, LongValuesAreCutAtACharacterBoundary)
{
    // 255 ASCII bytes then a two-byte character: it does not fit and must
    // not be cut in half.
    const QString tail = QStringLiteral("\u00e9");
    Text256 text = QString(255, QLatin1Char('a')) + tail + QStringLiteral("zz");
    EXPECT_EQ(text.bytes()[255], ' ');
    EXPECT_EQ(text.trimmed(), QString(255, QLatin1Char('a')));

    // A three-byte character ending exactly on byte 256 is kept whole.
    text = QString(253, QLatin1Char('b')) + QStringLiteral("\u20ac") + QStringLiteral("x");
    EXPECT_EQ(text.trimmed(), QString(253, QLatin1Char('b')) + QStringLiteral("\u20ac"));

    text = QString(300, QLatin1Char('c'));
    EXPECT_EQ(text.text(), QString(256, QLatin1Char('c')));
}

TEST(Text256, ReadersStripBlanksAsTheirFieldNeeds)
{
    const Text256 text = QStringLiteral("  /my folder ");
    EXPECT_EQ(text.text().size(), 256);
    EXPECT_EQ(text.trimmed(), QStringLiteral("/my folder"));
    EXPECT_EQ(text.trimmedRight(), QStringLiteral("  /my folder"));
    EXPECT_EQ(Text256().trimmed(), QString());
    EXPECT_EQ(Text256(QStringLiteral("\u65e5\u672c")).trimmed(), QStringLiteral("\u65e5\u672c"));
}

} // namespace
} // namespace pictrove

namespace pictrove {
namespace {

TEST(SettingsLocation, TheProgramFolderWhenItCanHoldTheFileElseTheConfigurationFolder)
{
    EXPECT_EQ(settingsFolderFor(QStringLiteral("/opt/p"), true, QStringLiteral("/home/u/.config/P")),
              QStringLiteral("/opt/p"));
    EXPECT_EQ(settingsFolderFor(QStringLiteral("/usr/bin"), false,
                                QStringLiteral("/home/u/.config/P")),
              QStringLiteral("/home/u/.config/P"));
    // Without a home of any kind, the program folder is all there is.
    EXPECT_EQ(settingsFolderFor(QStringLiteral("/usr/bin"), false, QString()),
              QStringLiteral("/usr/bin"));

    test::Sandbox box;
    setProgramFolder(box.path()); // a build tree: writable
    EXPECT_EQ(settingsFilePath(), box.file(QStringLiteral("oStart.up")));
    setProgramFolder(QString());
}

// An installed copy: the program folder cannot take the file, and the
// configuration folder does not exist yet at the first start.
TEST(SettingsLocation, AnInstalledCopyKeepsItsSettingsInANewConfigurationFolder)
{
    test::Sandbox box;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(box.file(QStringLiteral("config"))));
    setProgramFolder(box.file(QStringLiteral("no-such-program-folder")));
    const QString path = settingsFilePath();
    EXPECT_TRUE(path.startsWith(box.file(QStringLiteral("config/")))) << path.toStdString();
    EXPECT_TRUE(path.endsWith(QStringLiteral("/oStart.up")));

    LoadSettings(); // first start: the defaults, and the folder is made
    EXPECT_EQ(startupSettings(), defaultStartupSettings());
    startupSettings().LastFolder = QStringLiteral("/pictures");
    SaveSettings();
    EXPECT_EQ(QFileInfo(path).size(), SettingsRecordSize);
    startupSettings() = defaultStartupSettings();
    LoadSettings();
    EXPECT_EQ(startupSettings().LastFolder.trimmed(), QStringLiteral("/pictures"));
    // pictrove.conf follows oStart.up there.
    EXPECT_EQ(extraSettingsFilePath(), QFileInfo(path).absolutePath() + QStringLiteral("/pictrove.conf"));
    EXPECT_TRUE(QFileInfo(extraSettingsFilePath()).isFile());

    setProgramFolder(QString());
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(SettingsLocation, AnInstalledCopyStartsInThePicturesFolderElseHome)
{
    test::Sandbox box;
    ASSERT_TRUE(QDir(box.path()).mkpath(QStringLiteral("Bilder")));
    const QString pictures = box.file(QStringLiteral("Bilder"));
    // A copy that keeps its settings beside itself keeps naming its folder.
    EXPECT_EQ(firstStartFolderFor(QStringLiteral("/opt/p"), true, pictures, QStringLiteral("/home/u")),
              QStringLiteral("/opt/p"));
    EXPECT_EQ(firstStartFolderFor(QStringLiteral("/usr/bin"), false, pictures, QStringLiteral("/home/u")),
              pictures);
    EXPECT_EQ(firstStartFolderFor(QStringLiteral("/usr/bin"), false, box.file(QStringLiteral("none")),
                                  QStringLiteral("/home/u")),
              QStringLiteral("/home/u"));
    EXPECT_EQ(firstStartFolderFor(QStringLiteral("/usr/bin"), false, QString(), QString()),
              QStringLiteral("/usr/bin"));
}

// The first start of an installed copy as a new user meets it: the
// Pictures folder of the user's XDG folders file, in every folder default.
TEST(SettingsLocation, AnInstalledCopysDefaultsNameTheXdgPicturesFolder)
{
    test::Sandbox box;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    const QString home = box.file(QStringLiteral("home"));
    const QString pictures = box.file(QStringLiteral("home/Bilder"));
    ASSERT_TRUE(QDir().mkpath(pictures));
    ASSERT_TRUE(QDir().mkpath(box.file(QStringLiteral("config"))));
    ASSERT_TRUE(box.write(QStringLiteral("config/user-dirs.dirs"),
                          "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"));
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(box.file(QStringLiteral("config"))));
    setProgramFolder(box.file(QStringLiteral("no-such-program-folder")));

    StartupSettings s = defaultStartupSettings();
    EXPECT_EQ(s.LastFolder.trimmed(), pictures);
    EXPECT_EQ(s.LastDestination.trimmed(), pictures);
    EXPECT_EQ(s.LastPictureListFolder.trimmedRight(), pictures);

    // Without that folder on disk: the home folder.
    ASSERT_TRUE(QDir(pictures).removeRecursively());
    EXPECT_EQ(defaultStartupSettings().LastFolder.trimmed(), home);

    // A copy run from a writable folder keeps its own folder.
    setProgramFolder(box.path());
    EXPECT_EQ(defaultStartupSettings().LastFolder.trimmed(), box.path());

    setProgramFolder(QString());
    qputenv("XDG_CONFIG_HOME", oldConfig);
    qputenv("HOME", oldHome);
}

} // namespace
} // namespace pictrove

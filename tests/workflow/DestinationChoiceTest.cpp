// The destination dialog as logic: its prefill from the settings, the tree's
// selections (the Desktop node, other virtual nodes, a vanished folder), and
// what Select hands back and stores.
#include "platform/ProgramFolder.h"
#include "settings/StartupSettings.h"
#include "workflow/batch/DestinationChoice.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

class Destinations : public ::testing::Test {
protected:
    void SetUp() override
    {
        startupSettings() = defaultStartupSettings();
        setProgramFolder(box.file(QStringLiteral("program")));
        QDir(box.path()).mkpath(QStringLiteral("program"));
        QDir(box.path()).mkpath(QStringLiteral("out"));
    }
    void TearDown() override { setProgramFolder(QString()); }

    test::Sandbox box;
    test::RecordingMessages messages;
};

TEST_F(Destinations, PrefillTakesTheStoredFolderOnlyWhenItExists)
{
    StartupSettings &s = startupSettings();
    s.LastDestination = QStringLiteral("  ") + box.file(QStringLiteral("out")) + u' ';
    s.LastGenericName = QStringLiteral("  holiday ");
    s.OverwriteExisting = 1;
    s.ShowDestination = 0;
    DestinationChoice c = DestinationChoice::prefilled();
    EXPECT_EQ(c.startFolder, box.file(QStringLiteral("out")));
    EXPECT_EQ(s.LastDestination.text().trimmed(), box.file(QStringLiteral("out")));
    EXPECT_EQ(s.LastDestination.trimmed(), s.LastDestination.text().trimmed());
    EXPECT_EQ(c.path, box.file(QStringLiteral("out")));
    EXPECT_TRUE(c.selectEnabled);
    EXPECT_EQ(c.genericName, QStringLiteral("holiday"));
    EXPECT_TRUE(c.overwrite);
    EXPECT_FALSE(c.showDestination);

    s.LastDestination = box.file(QStringLiteral("gone"));
    EXPECT_EQ(DestinationChoice::prefilled().startFolder, programFolder());
}

TEST_F(Destinations, TheDesktopNodeOtherVirtualNodesAndAVanishedFolder)
{
    // The user's Desktop of this test, through the desktop's own folder file.
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    QDir(box.path()).mkpath(QStringLiteral("config"));
    QDir(box.path()).mkpath(QStringLiteral("Desk"));
    ASSERT_TRUE(box.write(QStringLiteral("config/user-dirs.dirs"),
                          "XDG_DESKTOP_DIR=\"" + box.file(QStringLiteral("Desk")).toUtf8() + "\"\n"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(box.file(QStringLiteral("config"))));

    DestinationChoice c;
    c.folderSelected(QString(), QStringLiteral("Desktop"));
    EXPECT_EQ(c.path, box.file(QStringLiteral("Desk")));
    EXPECT_TRUE(c.selectEnabled);
    c.folderSelected(QString(), QStringLiteral("Recent")); // no folder: nothing changes
    EXPECT_EQ(c.path, box.file(QStringLiteral("Desk")));
    EXPECT_TRUE(c.selectEnabled);
    c.folderSelected(QString(), QStringLiteral("desktop"));
    EXPECT_EQ(c.path, box.file(QStringLiteral("Desk")));

    c.folderSelected(box.file(QStringLiteral("vanished")));
    EXPECT_FALSE(c.selectEnabled);
    EXPECT_EQ(c.path, box.file(QStringLiteral("Desk"))); // kept, Select off
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST_F(Destinations, SelectHandsBackTheNameAsTypedAndStoresItTrimmed)
{
    DestinationChoice c;
    c.folderSelected(box.file(QStringLiteral("out")));
    c.genericName = QStringLiteral(" pic ");
    c.overwrite = true;
    c.showDestination = true;
    const std::optional<Destination> d = c.select();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->folder, box.file(QStringLiteral("out")));
    EXPECT_EQ(d->genericName, QStringLiteral(" pic "));
    const StartupSettings &s = startupSettings();
    EXPECT_EQ(s.LastGenericName.trimmed(), QStringLiteral("pic"));
    EXPECT_EQ(s.LastGenericName.text().left(4), QStringLiteral("pic "));
    EXPECT_EQ(s.LastDestination.trimmed(), box.file(QStringLiteral("out")));
    EXPECT_EQ(s.OverwriteExisting, 1);
    EXPECT_EQ(s.ShowDestination, 1);
    EXPECT_TRUE(messages.calls.empty());

    // Only blanks are trimmed: a tab or a non-breaking space belongs to the name.
    c.genericName = QStringLiteral(" \tpic\u00a0 ");
    ASSERT_TRUE(c.select());
    EXPECT_EQ(s.LastGenericName.trimmed(), QStringLiteral("\tpic\u00a0"));

    // The folder went away while the dialog was open.
    QDir(box.path()).mkpath(QStringLiteral("brief"));
    c.folderSelected(box.file(QStringLiteral("brief")));
    QDir(box.file(QStringLiteral("brief"))).removeRecursively();
    startupSettings() = defaultStartupSettings();
    EXPECT_FALSE(c.select());
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text, QStringLiteral("Invalid Folder Path!"));
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("Pictrove"));
    EXPECT_EQ(startupSettings(), defaultStartupSettings()); // nothing stored
}

} // namespace
} // namespace pictrove

#include "app/Guarded.h"
#include "app/FrameCommands.h"
#include "app/FrameLayout.h"
#include "app/SingleInstance.h"
#include "app/StartupSequence.h"
#include "app/WindowRecord.h"
#include "platform/ProgramFolder.h"
#include "platform/Twips.h"
#include "settings/StartupSettings.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <stdexcept>

namespace pictrove {
namespace {

using test::RecordingMessages;
using test::Sandbox;

// ---- The frame's pixel arithmetic -------------------------------------

// The help document beside the program, else where an installation puts it.
TEST(FrameCommands, TheHelpDocumentBesideTheProgramOrInTheInstalledShare)
{
    test::Sandbox box;
    QDir(box.path()).mkpath(QStringLiteral("bin"));
    setProgramFolder(box.file(QStringLiteral("bin")));
    const QString beside = box.file(QStringLiteral("bin/Help/default.htm"));
    EXPECT_EQ(helpDocumentPath(), beside); // neither there: the message names the first
    QDir(box.path()).mkpath(QStringLiteral("share/pictrove/Help"));
    ASSERT_TRUE(box.write(QStringLiteral("share/pictrove/Help/default.htm"), "<html/>"));
    EXPECT_EQ(helpDocumentPath(), box.file(QStringLiteral("share/pictrove/Help/default.htm")));
    QDir(box.path()).mkpath(QStringLiteral("bin/Help"));
    ASSERT_TRUE(box.write(QStringLiteral("bin/Help/default.htm"), "<html/>"));
    EXPECT_EQ(helpDocumentPath(), beside);
    setProgramFolder(QString());
}

TEST(FrameLayout, SnapsEachDimensionToTheMinimumByItself)
{
    struct Case {
        QSize client;
        std::optional<QSize> wanted;
    };
    const Case cases[] = {
        {{640, 480}, QSize(640, 500)}, // the first start: 480 pixels high
        {{599, 700}, QSize(600, 700)},
        {{300, 200}, QSize(600, 500)},
        {{600, 500}, std::nullopt},
        {{1024, 768}, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(frame::snappedOuterSize(c.client, c.client), c.wanted) << c.client.width();
}

TEST(FrameLayout, PagesAndTabStrip)
{
    const QSize client(800, 600);
    EXPECT_EQ(frame::tabStrip(client, 22), QRect(0, 0, 797, 578));
    EXPECT_EQ(frame::stepPage(client, 22), QRect(5, 25, 787, 545));
}

TEST(FrameLayout, ListsSitUnderTheirToolbarsAndTheBasketLeaves17Pixels)
{
    EXPECT_EQ(frame::listUnderToolbar(QSize(300, 200), 0, 26, 0), QRect(0, 26, 300, 174));
    EXPECT_EQ(frame::listUnderToolbar(QSize(300, 200), 0, 26, 17), QRect(0, 26, 283, 174));
}

TEST(FrameLayout, Step2ColumnSplitterAndViews)
{
    EXPECT_EQ(frame::saveColumn(787, 212, 545), QRect(575, 0, 212, 545));
    // bs21 is as high as the client, not the page.
    EXPECT_EQ(frame::step2Splitter(QSize(800, 600), 212), QRect(0, 0, 588, 600));

    const frame::ViewPaneLayout original = frame::viewPane(QSize(290, 600), 80, 0);
    EXPECT_EQ(original.viewport, QRect(0, 0, 290, 465));
    EXPECT_EQ(original.infoTop, 470);
    EXPECT_EQ(original.infoWidth, 290);
    const frame::ViewPaneLayout optimized = frame::viewPane(QSize(290, 600), 80, 25);
    EXPECT_EQ(optimized.viewport.width(), 265);
    EXPECT_EQ(optimized.infoWidth, 265);
}

TEST(FrameLayout, ProgressBarLiesInsidePanel2)
{
    EXPECT_EQ(frame::progressBar(160, 160, 600, 18), QRect(161, 582, 158, 18));
}

// ---- Window placement kept in the settings ------------------------------

class WithTwips : public ::testing::Test {
protected:
    void SetUp() override { setTwipsPerPixel(15, 15); }
    void TearDown() override { setTwipsPerPixel(0, 0); }
};

TEST_F(WithTwips, ANormalWindowStoresItsSizeAndOnlyThat)
{
    StartupSettings s;
    s.Maximized = -1;
    storeWindowPlacement(s, WindowShow::Normal, QSize(800, 600));
    EXPECT_EQ(s.WindowWidth, 12000);
    EXPECT_EQ(s.WindowHeight, 9000);
    EXPECT_EQ(s.Maximized, 0);
}

TEST_F(WithTwips, MaximizedAndMinimizedKeepTheStoredSize)
{
    StartupSettings s;
    s.WindowWidth = 9600;
    s.WindowHeight = 7200;
    storeWindowPlacement(s, WindowShow::Maximized, QSize(1920, 1080));
    EXPECT_EQ(s.Maximized, -1);
    EXPECT_EQ(s.WindowWidth, 9600);
    storeWindowPlacement(s, WindowShow::Minimized, QSize(100, 30));
    EXPECT_EQ(s.Maximized, -1);
    EXPECT_EQ(s.WindowHeight, 7200);
}

TEST_F(WithTwips, StoredTwipsBecomePixels)
{
    EXPECT_EQ(outerPixelsFromTwips(9600, 7200), QSize(640, 480));
    setTwipsPerPixel(1440.0 / 120, 1440.0 / 120); // 120 dpi
    EXPECT_EQ(outerPixelsFromTwips(9600, 7200), QSize(800, 600));
}

TEST_F(WithTwips, ARestoredSizeStaysOnTheScreen)
{
    const QSize screen(1280, 960);
    struct Case {
        int width, height;
        QSize available, expected;
    } cases[] = {
        {12000, 9000, screen, QSize(800, 600)},
        {2147483647, 9000, screen, QSize(1280, 600)}, // a damaged file
        {30000, 30000, screen, screen},                // a larger monitor used before
        {-5000, 0, screen, QSize(1, 1)},               // raised by the minimum-size rule
        {2147483647, -2147483647 - 1, screen, QSize(1280, 1)},
        {30000, 30000, QSize(), QSize(2000, 2000)},   // no screen known
    };
    for (const Case &c : cases)
        EXPECT_EQ(restoredOuterSize(c.width, c.height, c.available), c.expected)
            << c.width << " x " << c.height;
}

// ---- StartProgram ---------------------------------------------------------

class RecordingHost final : public StartupHost {
public:
    void loadSettings() override { step("loadSettings"); }
    void loadMainWindow() override { step("loadMainWindow"); }
    bool anotherCopyRunning() override
    {
        step("anotherCopyRunning");
        return running;
    }
    void reportAlreadyRunning() override { step("reportAlreadyRunning"); }
    void unloadMainWindow() override { step("unloadMainWindow"); }
    void closeSplash() override { step("closeSplash"); }
    void endProcess() override { step("endProcess"); }
    void maximizeMainWindow() override { step("maximize"); }
    void sizeMainWindow(int w, int h) override
    {
        step("size");
        width = w;
        height = h;
    }
    void setPictureListFolder(const QString &folder) override
    {
        step("pictureListFolder");
        pictureListFolder = folder;
    }
    void showMainWindow() override { step("showMainWindow"); }

    void step(const char *name)
    {
        calls << QString::fromLatin1(name);
        if (failing.contains(QString::fromLatin1(name)))
            throw std::runtime_error(name);
    }

    QStringList calls;
    QStringList failing;
    bool running = false;
    int width = 0;
    int height = 0;
    QString pictureListFolder;
};

TEST(StartProgram, RunsItsStepsInOrderAndPlacesTheWindow)
{
    StartupSettings &s = startupSettings();
    s = StartupSettings();
    s.WindowWidth = 9600;
    s.WindowHeight = 7200;
    s.LastPictureListFolder = QStringLiteral("  /pictures/lists   ");
    RecordingHost host;
    StartProgram(host);
    EXPECT_EQ(host.calls, QStringList({"anotherCopyRunning", "loadSettings", "loadMainWindow",
                                       "size", "pictureListFolder", "showMainWindow",
                                       "closeSplash"}));
    EXPECT_EQ(host.width, 9600);
    EXPECT_EQ(host.height, 7200);
    EXPECT_EQ(host.pictureListFolder, QStringLiteral("  /pictures/lists"));
    EXPECT_EQ(s.LastPictureListFolder.trimmedRight(), QStringLiteral("  /pictures/lists"));
}

TEST(StartProgram, MaximizedIgnoresTheStoredSize)
{
    startupSettings() = StartupSettings();
    startupSettings().Maximized = -1;
    RecordingHost host;
    StartProgram(host);
    EXPECT_TRUE(host.calls.contains("maximize"));
    EXPECT_FALSE(host.calls.contains("size"));
}

TEST(StartProgram, ASecondCopyReportsAndEndsWithoutTouchingTheSettings)
{
    startupSettings() = StartupSettings();
    RecordingHost host;
    host.running = true;
    StartProgram(host);
    EXPECT_EQ(host.calls, QStringList({"anotherCopyRunning", "reportAlreadyRunning",
                                       "closeSplash", "endProcess"}));
}

TEST(StartProgram, AFailingStepDoesNotKeepTheWindowFromShowing)
{
    startupSettings() = StartupSettings();
    RecordingHost host;
    host.failing = QStringList({"loadSettings", "size", "anotherCopyRunning"});
    StartProgram(host);
    EXPECT_TRUE(host.calls.contains("showMainWindow"));
    EXPECT_EQ(host.calls.last(), QStringLiteral("closeSplash"));
}

// ---- Single instance ------------------------------------------------------

TEST(SingleInstance, OnlyALiveHolderCounts)
{
    Sandbox box;
    const QString exe = box.file(QStringLiteral("pictrove"));
    SingleInstance first(exe, box.path());
    EXPECT_FALSE(first.anotherCopyRunning()); // takes the lock
    EXPECT_FALSE(first.anotherCopyRunning()); // asking again does not refuse itself

    SingleInstance second(exe, box.path());
    EXPECT_TRUE(second.anotherCopyRunning());

    // Another executable is another program.
    SingleInstance other(box.file(QStringLiteral("elsewhere/pictrove")), box.path());
    EXPECT_FALSE(other.anotherCopyRunning());
}

TEST(SingleInstance, ALockLeftByADeadProcessIsTakenOver)
{
    Sandbox box;
    const QString exe = box.file(QStringLiteral("pictrove"));
    SingleInstance probe(exe, box.path());

    // A process that has ended leaves its id behind in the lock file.
    QProcess gone;
    gone.start(QStringLiteral("true"), QStringList());
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QFile lock(probe.lockPath());
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(deadPid) + "\ntrue\n" + QSysInfo::machineHostName().toUtf8() +
               "\n");
    lock.close();

    EXPECT_FALSE(probe.anotherCopyRunning());
}

TEST(SingleInstance, ALockWithoutAReadableOwnerCountsOnlyWhileItIsHeld)
{
    Sandbox box;
    const QString exe = box.file(QStringLiteral("pictrove"));
    SingleInstance probe(exe, box.path());
    for (const QByteArray &contents : {QByteArray(), QByteArray("\0\0\0\0", 4),
                                       QByteArray("not a lock\n")}) {
        // What a crash or a power failure right after creating it leaves.
        ASSERT_TRUE(box.write(QFileInfo(probe.lockPath()).fileName(), contents));
        SingleInstance next(exe, box.path());
        EXPECT_FALSE(next.anotherCopyRunning()) << contents.toHex().toStdString();
        EXPECT_TRUE(probe.anotherCopyRunning()); // the new holder is alive
    }

    // A live holder whose file has been emptied still counts: it keeps the
    // file locked, so nobody can take the lock away from it.
    SingleInstance running(exe, box.path());
    ASSERT_FALSE(running.anotherCopyRunning());
    ASSERT_TRUE(QFile::resize(probe.lockPath(), 0));
    EXPECT_TRUE(probe.anotherCopyRunning());
}

TEST(SingleInstance, NoUsableFolderNeverRefusesToStart)
{
    Sandbox box;
    ASSERT_TRUE(box.write(QStringLiteral("file"), "x"));
    SingleInstance instance(box.file(QStringLiteral("pictrove")),
                            box.file(QStringLiteral("file"))); // not a folder
    EXPECT_FALSE(instance.anotherCopyRunning());
}

// ---- Help and web page ------------------------------------------------------

class RecordingOpener final : public UrlOpener {
public:
    RecordingOpener() { installUrlOpener(this); }
    ~RecordingOpener() override { installUrlOpener(nullptr); }
    bool open(const QUrl &url) override
    {
        opened.push_back(url);
        return true;
    }
    std::vector<QUrl> opened;
};

TEST(FrameCommands, MissingHelpOnlyShowsTheMessage)
{
    Sandbox box;
    setProgramFolder(box.path());
    RecordingMessages messages;
    RecordingOpener opener;
    OpenHelp();
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text,
              QStringLiteral("Help Files are Missing! Please Re-install Pictrove Again"));
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("Help Files Missing!"));
    EXPECT_EQ(messages.calls[0].icon, MessageIcon::Information);
    EXPECT_TRUE(opener.opened.empty());
    setProgramFolder(QString());
}

TEST(FrameCommands, HelpAndWebPageGoToTheDesktop)
{
    Sandbox box;
    setProgramFolder(box.path());
    ASSERT_TRUE(QDir(box.path()).mkpath(QStringLiteral("Help")));
    ASSERT_TRUE(box.write(QStringLiteral("Help/default.htm"), "<html></html>"));
    RecordingMessages messages;
    RecordingOpener opener;
    OpenHelp();
    OpenProductWebPage();
    EXPECT_TRUE(messages.calls.empty());
    ASSERT_EQ(opener.opened.size(), 2u);
    EXPECT_EQ(opener.opened[0], QUrl::fromLocalFile(box.file(QStringLiteral("Help/default.htm"))));
    EXPECT_EQ(opener.opened[1].scheme(), QStringLiteral("https"));
    EXPECT_TRUE(opener.opened[1].path().endsWith(QStringLiteral("/default.htm")));
    setProgramFolder(QString());
}

} // namespace
} // namespace pictrove

namespace pictrove {
namespace {

QStringList guardedLog;

void recordGuarded(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (QLatin1String(context.category) == QLatin1String("pictrove.guarded"))
        guardedLog << message;
}

} // namespace

// A step that fails is skipped, and says in the debug log what failed.
TEST(Guarded, AFailedStepIsSkippedAndLeavesADebugLine)
{
    QLoggingCategory::setFilterRules(QStringLiteral("pictrove.guarded.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(recordGuarded);
    int after = 0;
    guarded([] { throw std::runtime_error("the folder has gone"); });
    guarded([] { throw 42; });
    guarded([&] { ++after; });
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    EXPECT_EQ(after, 1);
    ASSERT_EQ(guardedLog.size(), 2);
    EXPECT_TRUE(guardedLog[0].contains(QStringLiteral("the folder has gone")));
}

} // namespace pictrove

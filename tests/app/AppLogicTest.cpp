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

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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
    bool handOverToRunningCopy() override
    {
        step("handOver");
        return handsOver;
    }
    void listenForHandOvers() override { step("listen"); }
    void openGivenPaths() override { step("openGivenPaths"); }
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
    bool handsOver = false;
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
                                       "closeSplash", "listen", "openGivenPaths"}));
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
    EXPECT_EQ(host.calls, QStringList({"anotherCopyRunning", "handOver", "reportAlreadyRunning",
                                       "closeSplash", "endProcess"}));
}

TEST(StartProgram, ASecondCopyWithFilesHandsThemOverAndEndsSilently)
{
    startupSettings() = StartupSettings();
    RecordingHost host;
    host.running = true;
    host.handsOver = true;
    StartProgram(host);
    EXPECT_EQ(host.calls, QStringList({"anotherCopyRunning", "handOver", "closeSplash",
                                       "endProcess"}));

    // A hand-over that fails on the way still says why no window comes.
    RecordingHost failing;
    failing.running = true;
    failing.failing = QStringList({"handOver"});
    StartProgram(failing);
    EXPECT_TRUE(failing.calls.contains("reportAlreadyRunning"));
    EXPECT_EQ(failing.calls.last(), QStringLiteral("endProcess"));
}

TEST(StartProgram, AFailingStepDoesNotKeepTheWindowFromShowing)
{
    startupSettings() = StartupSettings();
    RecordingHost host;
    host.failing = QStringList({"loadSettings", "size", "anotherCopyRunning"});
    StartProgram(host);
    EXPECT_TRUE(host.calls.contains("showMainWindow"));
    EXPECT_EQ(host.calls.last(), QStringLiteral("openGivenPaths"));
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

// ---- Hand-over to the running copy ---------------------------------------

TEST(Handover, MessagesCarryAbsolutePathsAndNothingElseDecodes)
{
    const QStringList paths{"/pics/a b.png", "/pics/ä.jpg", "/x"};
    EXPECT_EQ(handover::decode(handover::encode(paths)), paths);

    const QByteArray good = handover::encode(paths);
    QByteArray wrongLength = good;
    wrongLength[11] = char(wrongLength[11] + 1);
    QByteArray badUtf8 = handover::encode({"/a"});
    badUtf8[12 + 1] = char(0xC3); // a lead byte without its follower
    const QList<QByteArray> rejected = {
        QByteArray(), QByteArray("garbage"), good.left(good.size() - 1), good + "x",
        wrongLength, badUtf8, handover::encode({"relative.png"}), handover::encode({}),
        handover::encode({"/a", ""}), QByteArray("PTOPEN2") + good.mid(7)};
    for (const QByteArray &bytes : rejected)
        EXPECT_FALSE(handover::decode(bytes).has_value()) << bytes.toHex().toStdString();
}

class HandoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<HandoverServer>(socket());
        QObject::connect(server.get(), &HandoverServer::pathsReceived,
                         [this](const QStringList &paths) { received << paths; });
    }

    QString socket() const { return box.file(QStringLiteral("pictrove-test.socket")); }

    // A raw connection that sends bytes and keeps the line open.
    std::unique_ptr<QLocalSocket> connectRaw(const QByteArray &bytes)
    {
        auto raw = std::make_unique<QLocalSocket>();
        raw->connectToServer(socket());
        if (!test::waitFor([&] { return raw->state() == QLocalSocket::ConnectedState; }))
            return nullptr;
        raw->write(bytes);
        raw->flush();
        return raw;
    }

    // handover::send blocks this thread, which is the server's: the real
    // second start is another process, so run it as one here.
    bool sendFromAnotherThread(const QStringList &paths, int timeoutMs = 5000)
    {
        std::atomic<int> result{-1};
        std::thread sender([&] { result = handover::send(socket(), paths, timeoutMs) ? 1 : 0; });
        const bool finished = test::waitFor([&] { return result.load() >= 0; }, timeoutMs + 5000);
        sender.join();
        return finished && result.load() == 1;
    }

    Sandbox box;
    std::unique_ptr<HandoverServer> server;
    QList<QStringList> received;
};

TEST_F(HandoverTest, ASecondStartsPathsArriveAndTheSocketIsTheUsersAlone)
{
    ASSERT_TRUE(server->listen());
    const QFileInfo info(socket());
    EXPECT_EQ(info.ownerId(), ::geteuid());
    EXPECT_FALSE(info.permissions() &
                 (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther));

    const QStringList paths{box.file("a.png"), box.file("b c.jpg")};
    EXPECT_TRUE(sendFromAnotherThread(paths));
    ASSERT_TRUE(test::waitFor([&] { return received.size() == 1; }));
    EXPECT_EQ(received.front(), paths);

    // The socket goes with the server.
    server.reset();
    EXPECT_FALSE(QFileInfo::exists(socket()));
    EXPECT_FALSE(handover::send(socket(), paths, 1000));
}

TEST_F(HandoverTest, AStaleSocketOrFileNeverBlocksTheStart)
{
    {
        // A socket bound and abandoned, as a crashed copy leaves it.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(socket());
        ASSERT_LT(size_t(name.size()), sizeof(address.sun_path));
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ::close(fd);
    }
    ASSERT_TRUE(QFileInfo::exists(socket()));
    EXPECT_FALSE(handover::send(socket(), {"/a.png"}, 1000)); // nobody answers
    ASSERT_TRUE(server->listen());
    EXPECT_TRUE(sendFromAnotherThread({"/a.png"}));

    server.reset();
    ASSERT_TRUE(box.write(QFileInfo(socket()).fileName(), "not a socket"));
    SetUp();
    EXPECT_TRUE(server->listen());
}

TEST_F(HandoverTest, GarbageHugeAndSlowMessagesAreDroppedWithoutHoldingUpOthers)
{
    server->setLimits(64 * 1024, 500);
    ASSERT_TRUE(server->listen());

    // Garbage, a header announcing more than the bound, and more bytes than
    // the bound: each connection is closed and nothing arrives.
    QByteArray huge = handover::encode({QStringLiteral("/") + QString(100 * 1024, u'x')});
    QByteArray announced("PTOPEN1\0\x7f\xff\xff\xff", 12);
    for (const QByteArray &bytes : {QByteArray(4096, 'g'), announced, huge}) {
        std::unique_ptr<QLocalSocket> raw = connectRaw(bytes);
        ASSERT_TRUE(raw);
        EXPECT_TRUE(test::waitFor(
            [&] { return raw->state() == QLocalSocket::UnconnectedState; }, 3000));
    }

    // A writer that stops half-way holds its connection only until the time
    // limit; meanwhile a real second start is served.
    const QByteArray whole = handover::encode({"/slow.png"});
    std::unique_ptr<QLocalSocket> slow = connectRaw(whole.left(whole.size() / 2));
    ASSERT_TRUE(slow);
    EXPECT_TRUE(sendFromAnotherThread({"/quick.png"}));
    EXPECT_TRUE(test::waitFor([&] { return slow->state() == QLocalSocket::UnconnectedState; },
                              5000));
    // What remains arrives too late to count.
    slow->write(whole.mid(whole.size() / 2));
    QCoreApplication::processEvents();
    ASSERT_TRUE(test::waitFor([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, QList<QStringList>{QStringList{"/quick.png"}});

    // Many connections at once that never finish take no more than their
    // share; they end by the time limit and the server still answers.
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < handover::MaxConnections * 2; ++i)
        idle.push_back(connectRaw(QByteArray("PTOPEN1")));
    EXPECT_TRUE(test::waitFor(
        [&] {
            return std::all_of(idle.begin(), idle.end(), [](const auto &s) {
                return !s || s->state() == QLocalSocket::UnconnectedState;
            });
        },
        5000));
    EXPECT_TRUE(sendFromAnotherThread({"/after.png"}));
    EXPECT_TRUE(test::waitFor([&] { return received.size() == 2; }));
}

TEST_F(HandoverTest, AnotherUsersConnectionIsRefused)
{
    server->setAllowedUser(::geteuid() + 1);
    ASSERT_TRUE(server->listen());
    EXPECT_FALSE(sendFromAnotherThread({"/a.png"}, 1000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(received.isEmpty());
}

TEST(SingleInstance, TheSocketLiesBesideTheLock)
{
    Sandbox box;
    SingleInstance instance(box.file(QStringLiteral("pictrove")), box.path());
    const QFileInfo lock(instance.lockPath());
    const QFileInfo socket(instance.socketPath());
    EXPECT_EQ(socket.absolutePath(), lock.absolutePath());
    EXPECT_EQ(socket.completeBaseName(), lock.completeBaseName());
    EXPECT_EQ(socket.suffix(), QStringLiteral("socket"));

    // A folder too deep for a socket address: a short private folder, one
    // name per lock folder.
    const QString deep = box.file(QString(60, u'd') + u'/' + QString(60, u'e'));
    ASSERT_TRUE(QDir().mkpath(deep));
    SingleInstance deeper(box.file(QStringLiteral("pictrove")), deep);
    const QString fallback = deeper.socketPath();
    EXPECT_TRUE(fallback.startsWith(QStringLiteral("/tmp/pictrove-%1/").arg(::geteuid())))
        << fallback.toStdString();
    EXPECT_LT(QFile::encodeName(fallback).size(), 108);
    struct stat folder {};
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(fallback).absolutePath()).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 077, 0u);
    EXPECT_EQ(folder.st_uid, ::geteuid());
    SingleInstance other(box.file(QStringLiteral("pictrove")), deep + QStringLiteral("/x"));
    ASSERT_TRUE(QDir().mkpath(deep + QStringLiteral("/x")));
    EXPECT_NE(other.socketPath(), fallback);

    // And a hand-over works there.
    HandoverServer server(fallback);
    ASSERT_TRUE(server.listen());
    QStringList received;
    QObject::connect(&server, &HandoverServer::pathsReceived,
                     [&](const QStringList &paths) { received = paths; });
    std::atomic<int> sent{-1};
    std::thread sender([&] { sent = handover::send(fallback, {"/a.png"}) ? 1 : 0; });
    EXPECT_TRUE(test::waitFor([&] { return sent.load() >= 0; }, 10000));
    sender.join();
    EXPECT_EQ(sent.load(), 1);
    EXPECT_TRUE(test::waitFor([&] { return !received.isEmpty(); }));
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

#include "LoaderFixtures.h"

#include "decoding/CancelToken.h"
#include "decoding/DecoderProtocol.h"
#include "decoding/DecoderSandbox.h"
#include "decoding/PictureLoader.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/personality.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <future>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace pictrove {
namespace {

using namespace std::chrono_literals;

// A fresh decoder for each test, so counts start at zero.
class SandboxTest : public testing::Test {
protected:
    void SetUp() override { setLoaderMode(LoaderMode::Sandboxed); }

    QString write(const QString &name, const QByteArray &bytes)
    {
        EXPECT_TRUE(box.write(name, bytes));
        return box.file(name);
    }

    // Options whose "decoder" never answers, with a short time limit.
    SandboxOptions hangingDecoder()
    {
        // Ready for requests, then silent.
        const QString script = write(u"hang.sh"_qs, "#!/bin/sh\nprintf PTDY >&3\nexec sleep 30\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
        SandboxOptions options;
        options.program = script;
        options.baseTimeLimit = std::chrono::milliseconds(300);
        options.unknownSizeBase = std::chrono::milliseconds(300);
        return options;
    }

    // The looping PNG of SmallDamagedFilesThatHangADecoder..., with a time
    // limit long enough that only a cancel ends it soon.
    QString loopingPng()
    {
        return write(u"loops.png"_qs, test::loopingPngBytes());
    }

    QString goodPng()
    {
        for (const auto &f : test::loaderFixtures())
            if (f.name == u"quad.png")
                return write(u"good.png"_qs, f.bytes);
        return {};
    }

    test::Sandbox box;
};

// Cancels token after a while, from another thread.
class CancelLater {
public:
    CancelLater(CancelToken &token, std::chrono::milliseconds after)
        : m_thread([&token, after] {
              std::this_thread::sleep_for(after);
              token.cancel();
          })
    {
    }
    ~CancelLater() { m_thread.join(); }

private:
    std::thread m_thread;
};

TEST_F(SandboxTest, CrashingShapesFailCleanlyOrLoadThroughTheFallback)
{
    DecoderSandbox sandbox;
    const QString good = write(u"good.png"_qs, [] {
        for (const auto &f : test::loaderFixtures())
            if (f.name == u"quad.png")
                return f.bytes;
        return QByteArray();
    }());
    for (const test::LoaderFixture &f : test::crashingShapes()) {
        const QString path = write(f.name, f.bytes);
        for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
            const LoadResult r = sandbox.load(path, QFileInfo(path).suffix(), table);
            if (r.ok)
                EXPECT_EQ(r.image.size(), f.size) << f.name.toStdString();
            else
                EXPECT_FALSE(r.error.isEmpty()) << f.name.toStdString();
            // The decoder is back for the next file.
            EXPECT_TRUE(sandbox.load(good, u"png"_qs, table).ok) << f.name.toStdString();
        }
    }
    EXPECT_GT(sandbox.stats().crashed, 0);
    EXPECT_EQ(sandbox.stats().timedOut, 0);
}

TEST_F(SandboxTest, AModelWithOneTextureLoadsWhereTwoCrashDevil)
{
    DecoderSandbox sandbox;
    const QString one = write(u"one.mdl"_qs, test::halfLifeModelFile(1));
    const LoadResult r = sandbox.load(one, u"mdl"_qs, LoaderTable::Preview);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.image.size(), QSize(32, 24));
    EXPECT_EQ(sandbox.stats().crashed, 0);

    const QString two = write(u"two.mdl"_qs, test::halfLifeModelFile(2));
    const LoadResult crashed = sandbox.load(two, u"mdl"_qs, LoaderTable::Preview);
    EXPECT_FALSE(crashed.ok);
    EXPECT_EQ(crashed.error, QStringLiteral("the picture decoder crashed on this file"));
    EXPECT_EQ(sandbox.stats().crashed, 1);
    EXPECT_FALSE(sandbox.load(two, u"mdl"_qs, LoaderTable::Batch).ok); // no batch loader
    EXPECT_TRUE(sandbox.load(one, u"mdl"_qs, LoaderTable::Preview).ok);
}

TEST_F(SandboxTest, XpmFilesLoadAlthoughDevilCrashesOnThem)
{
    DecoderSandbox sandbox;
    const QString path = write(u"two.xpm"_qs, test::xpmFile(2));
    const LoadResult r = sandbox.load(path, u"xpm"_qs, LoaderTable::Preview);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.image.pixel(0, 0), qRgb(255, 0, 0));
}

TEST_F(SandboxTest, DeclaredHugeSizesAreRefusedBeforeDecoding)
{
    DecoderSandbox sandbox;
    for (const char *ext : {"sgi", "pcx", "png", "tga", "wal", "psd", "lbm", "iff"}) {
        const QString name = QStringLiteral("huge.") + QLatin1String(ext);
        const int side = qstrcmp(ext, "psd") == 0 ? 30000 : 60000; // the format's own maximum
        const QString path = write(name, test::declaringSize(QLatin1String(ext), side, side));
        for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
            QElapsedTimer clock;
            clock.start();
            const LoadResult r = sandbox.load(path, QLatin1String(ext), table);
            EXPECT_FALSE(r.ok) << ext;
            EXPECT_EQ(r.error.toStdString(), "the picture is too large") << ext << int(table);
            EXPECT_LT(clock.elapsed(), 2000) << ext;
        }
    }
    EXPECT_EQ(sandbox.stats().timedOut, 0);
    EXPECT_EQ(sandbox.stats().crashed, 0);
}

TEST_F(SandboxTest, AHangingDecoderIsKilledAtItsTimeLimit)
{
    DecoderSandbox sandbox(hangingDecoder());
    const QString path = write(u"a.gif"_qs, "not really"); // no fallback route: one attempt
    QElapsedTimer clock;
    clock.start();
    const LoadResult r = sandbox.load(path, u"gif"_qs, LoaderTable::Preview);
    EXPECT_FALSE(r.ok);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(sandbox.stats().timedOut, 1);
}

// A decoder that runs out of time is not followed by the fallback decoder:
// the file has had its time, and the message is the time-out's.
TEST_F(SandboxTest, ATimeOutStartsNoFallbackDecoder)
{
    DecoderSandbox sandbox(hangingDecoder());
    const QString path = write(u"a.xpm"_qs, "not really"); // XPM has a fallback route
    ASSERT_NE(fallbackRouteFor(LoaderTable::Preview, u"xpm").kind, DecoderKind::None);
    const LoadResult r = sandbox.load(path, u"xpm"_qs, LoaderTable::Preview);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, QStringLiteral("the picture decoder took too long"));
    EXPECT_EQ(sandbox.stats().started, 1); // one decoder, one time limit
    EXPECT_EQ(sandbox.stats().timedOut, 1);
}

// Starts the decoder as the program does, by hand: its end of the socket
// is fds[1] (closed here), ours fds[0].
void spawnDecoder(int (&fds)[2], pid_t &pid)
{
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], decoderprotocol::channelFd);
    const QByteArray exe =
        QFile::encodeName(QCoreApplication::applicationDirPath() + u"/pictrove-decoder"_qs);
    char *argv[] = {const_cast<char *>(exe.constData()), nullptr};
    ASSERT_EQ(::posix_spawn(&pid, exe.constData(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
}

// A decode that never ends (here: opening a FIFO nobody writes to) must not
// outlive the program that asked for it, whether that program stops it or
// is killed before it can.
TEST_F(SandboxTest, ADecoderStuckInADecodeEndsWhenTheProgramGoesAway)
{
    const QString fifo = box.file(u"stuck.png"_qs);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    int fds[2];
    pid_t pid = -1;
    ASSERT_NO_FATAL_FAILURE(spawnDecoder(fds, pid));

    const QByteArray path = QFile::encodeName(fifo);
    decoderprotocol::RequestHeader request;
    request.table = std::uint32_t(LoaderTable::Preview);
    request.pathBytes = std::uint32_t(path.size());
    request.extensionBytes = 3;
    request.maxPixels = 1 << 20;
    ASSERT_TRUE(decoderprotocol::writeFully(fds[0], &request, sizeof request));
    ASSERT_TRUE(decoderprotocol::writeFully(fds[0], path.constData(), std::size_t(path.size())));
    ASSERT_TRUE(decoderprotocol::writeFully(fds[0], "png", 3));
    std::this_thread::sleep_for(300ms); // well into the open() that never returns
    ::close(fds[0]);

    bool ended = false;
    for (int i = 0; i < 60 && !ended; ++i) {
        int status = 0;
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!ended)
            std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(ended);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

// Each decode starts from the same memory whatever was decoded before, so a
// file that crashes a library crashes it every time, and one that loads
// loads the same pixels.
TEST_F(SandboxTest, EveryCrashingShapeHasOneOutcomeInTwentyRuns)
{
    DecoderSandbox sandbox;
    std::vector<QString> paths;
    for (const test::LoaderFixture &f : test::crashingShapes())
        paths.push_back(write(f.name, f.bytes));
    for (const test::LoaderFixture &f : test::loaderFixtures())
        if (f.name.endsWith(u".xpm") || f.name.endsWith(u".psd") || f.name.endsWith(u".cut"))
            paths.push_back(write(f.name, f.bytes));
    for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
        std::vector<LoadResult> first;
        for (const QString &p : paths)
            first.push_back(sandbox.load(p, QFileInfo(p).suffix(), table));
        for (int run = 1; run < 20; ++run) {
            // A different order each run: other files go before each one.
            for (std::size_t k = 0; k < paths.size(); ++k) {
                const std::size_t i = (k * 3 + std::size_t(run)) % paths.size();
                const LoadResult r = sandbox.load(paths[i], QFileInfo(paths[i]).suffix(), table);
                const std::string name = QFileInfo(paths[i]).fileName().toStdString();
                EXPECT_EQ(r.ok, first[i].ok) << name << " run " << run;
                EXPECT_EQ(r.error.toStdString(), first[i].error.toStdString()) << name;
                EXPECT_TRUE(r.image == first[i].image) << name << " run " << run;
            }
        }
    }
    EXPECT_GT(sandbox.stats().crashed, 20);
    // A crash costs a child, not the decoder: one was started for all.
    EXPECT_EQ(sandbox.stats().started, 1);
    EXPECT_EQ(sandbox.stats().timedOut, 0);
}

// Damaged files on which a library loops for good: the time limit follows
// what they declare (a 32 x 24 picture, or a header cut short), not the
// seconds a large picture may need.
TEST_F(SandboxTest, SmallDamagedFilesThatHangADecoderFailWithinASecond)
{
    DecoderSandbox sandbox;
    // A flipped byte in a gAMA chunk; and an IFF whose colour map claims
    // 64 MiB where the file ends, which the reader skips for ever.
    const QString png = write(u"flipped.png"_qs, test::loopingPngBytes());
    const QString iff = write(u"cut.iff"_qs,
                              QByteArray::fromHex("464f524d000000cc494c424d424d4844000000140020001800000000"
                                                  "0200018000000a0a00200018434d41500400000cff000000ff000000"
                                                  "ffffffff"));
    for (const QString &path : {png, iff}) {
        QElapsedTimer clock;
        clock.start();
        const LoadResult r = sandbox.load(path, QFileInfo(path).suffix(), LoaderTable::Batch);
        EXPECT_LT(clock.elapsed(), 1000) << path.toStdString();
        EXPECT_EQ(r.error.toStdString(), "the picture decoder took too long") << path.toStdString();
    }
    EXPECT_EQ(sandbox.stats().timedOut, 2);
}

// A 2 KB Photoshop file whose header declares 16384 x 8191 pixels packed
// run-length, with none of its row lengths there. Depending on what the
// decode child's memory holds it crashes, or stalls on a lock using no
// processor time; either way it fails long before the 14 s its header
// would give it.
TEST_F(SandboxTest, ASmallFileDeclaringAHugePictureFailsLongBeforeItsTimeLimit)
{
    DecoderSandbox sandbox;
    QByteArray bytes = test::declaringSize(u"psd"_qs, 16384, 8191);
    bytes[bytes.size() - 1] = 1; // compression: run-length
    bytes.append(QByteArray(2048 - bytes.size(), '\0'));
    const QString path = write(u"stalls.pdd"_qs, bytes);
    ASSERT_GT(sandbox.timeLimitFor(2048, 16384 * 8191), 14000ms);
    for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
        QElapsedTimer clock;
        clock.start();
        const LoadResult r = sandbox.load(path, u"pdd"_qs, table);
        // Touching the memory the header asks for takes about 2.5 s alone,
        // and twice that beside another test; half the limit is the bound.
        EXPECT_LT(clock.elapsed(), 7000) << int(table);
        EXPECT_FALSE(r.ok) << int(table);
    }
}

// A decode child that uses no processor time for a second (here: opening a
// FIFO nobody writes to, which the program itself would refuse) is ended as
// a time-out by the decoder, whatever time its file would be given.
TEST_F(SandboxTest, ADecodeThatUsesNoProcessorTimeForASecondIsEndedByTheDecoder)
{
    const QString fifo = box.file(u"stalls.png"_qs);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    int fds[2];
    pid_t pid = -1;
    ASSERT_NO_FATAL_FAILURE(spawnDecoder(fds, pid));
    std::uint32_t ready = 0;
    ASSERT_TRUE(decoderprotocol::readFully(fds[0], &ready, sizeof ready));

    const QByteArray path = QFile::encodeName(fifo);
    decoderprotocol::RequestHeader request;
    request.table = std::uint32_t(LoaderTable::Preview);
    request.pathBytes = std::uint32_t(path.size());
    request.extensionBytes = 3;
    request.maxPixels = 1 << 20;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(decoderprotocol::writeFully(fds[0], &request, sizeof request));
    ASSERT_TRUE(decoderprotocol::writeFully(fds[0], path.constData(), std::size_t(path.size())));
    ASSERT_TRUE(decoderprotocol::writeFully(fds[0], "png", 3));
    pollfd answer{fds[0], POLLIN, 0};
    ASSERT_EQ(::poll(&answer, 1, 10000), 1); // the header peek never gets its bytes
    decoderprotocol::ReplyHeader reply;
    ASSERT_TRUE(decoderprotocol::readFully(fds[0], &reply, sizeof reply));
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(reply.magic, decoderprotocol::replyMagic);
    EXPECT_EQ(reply.ok, 0u);
    EXPECT_EQ(reply.ending, decoderprotocol::Ending::Stuck);
    ::close(fds[0]);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Files no decoder can be given say why in the system's words, at once.
TEST_F(SandboxTest, FilesThatCannotBeReadSayWhyWithoutADecoder)
{
    DecoderSandbox sandbox;
    const QString folder = box.file(u"looks-like.png"_qs);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(sandbox.load(folder, u"png"_qs, LoaderTable::Batch).error,
              QStringLiteral("the file is a folder"));
    EXPECT_EQ(sandbox.load(box.file(u"gone.png"_qs), u"png"_qs, LoaderTable::Batch).error,
              QStringLiteral("the file does not exist"));
    const QString fifo = box.file(u"pipe.png"_qs);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(sandbox.load(fifo, u"png"_qs, LoaderTable::Batch).error,
              QStringLiteral("the file is not a regular file"));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(sandbox.stats().started, 0);
}

// A file the user may not read: the decoders' own words were "DevIL could
// not read the file (error 0x050a)". Root reads everything, so as root the
// check runs in a child that has given up its rights.
TEST_F(SandboxTest, AFileThatMayNotBeReadSaysPermissionDenied)
{
    const QString path = write(u"secret.pcx"_qs, "not really a pcx");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::Permissions()));
    if (::geteuid() != 0) {
        DecoderSandbox sandbox;
        EXPECT_EQ(sandbox.load(path, u"pcx"_qs, LoaderTable::Batch).error,
                  QStringLiteral("permission denied"));
        return;
    }
    const QByteArray local = QFile::encodeName(path);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const QByteArray reason = unreadableFileReason(local).value_or(QString()).toUtf8();
        ::_exit(::write(pipe[1], reason.constData(), std::size_t(reason.size())) == reason.size() ? 0 : 3);
    }
    ::close(pipe[1]);
    char buffer[256] = {};
    const ssize_t n = ::read(pipe[0], buffer, sizeof buffer - 1);
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(std::string(buffer, std::size_t(std::max<ssize_t>(n, 0))), "permission denied");
}

// A decoder gets the same few variables whatever the program's environment
// holds, and keeps only those saying where its libraries come from.
TEST(DecoderEnvironment, FixedVariablesAndTheKeptOnesOnly)
{
    char home[] = "HOME=/home/someone", path[] = "PATH=/usr/bin", plugins[] = "QT_PLUGIN_PATH=/opt/qt",
         asan[] = "ASAN_OPTIONS=detect_leaks=0", look[] = "LD_LIBRARY_PATHS=no";
    char *environment[] = {home, path, plugins, asan, look, nullptr};
    decoderprotocol::DecoderEnvironment fixed(environment);
    const std::vector<std::string> want{"QT_QPA_PLATFORM=offscreen", "LANG=C.UTF-8",
                                        "GLIBC_TUNABLES=glibc.malloc.hugetlb=1", "LD_BIND_NOW=1",
                                        "QT_HASH_SEED=0", "QT_PLUGIN_PATH=/opt/qt",
                                        "ASAN_OPTIONS=detect_leaks=0"};
    EXPECT_EQ(fixed.variables(), want);
    char **list = fixed.data();
    for (const std::string &v : want)
        EXPECT_EQ(*list++, v);
    EXPECT_EQ(*list, nullptr);
}

// Processes this thread starts while the guard lives take the fixed layout;
// the thread's own persona comes back after, and other threads never change.
TEST(DecoderEnvironment, TheFixedLayoutGoesToChildrenOfThisThreadOnly)
{
    const int before = ::personality(0xffffffff);
    ASSERT_NE(before, -1);
    if (before & ADDR_NO_RANDOMIZE)
        GTEST_SKIP() << "this test runs with the layout fixed already";
    const auto childHasFixedLayout = [] {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit((::personality(0xffffffff) & ADDR_NO_RANDOMIZE) ? 0 : 1);
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    // A thread already running: it looks at its own persona while the guard lives.
    std::promise<void> guarded;
    std::future<int> other = std::async(std::launch::async, [ready = guarded.get_future()]() mutable {
        ready.wait();
        return ::personality(0xffffffff);
    });
    {
        const decoderprotocol::FixedLayoutForChildren layout;
        const bool fixed = ::personality(0xffffffff) & ADDR_NO_RANDOMIZE;
        guarded.set_value();
        const int otherPersona = other.get();
        if (!fixed)
            GTEST_SKIP() << "the system refuses a fixed layout";
        EXPECT_TRUE(childHasFixedLayout());
        EXPECT_EQ(otherPersona & ADDR_NO_RANDOMIZE, 0);
    }
    EXPECT_EQ(::personality(0xffffffff), before);
    EXPECT_FALSE(childHasFixedLayout());
}

// The decoder draws metafiles off screen: a platform named for the program
// (here one whose display cannot be reached) must not stop it.
TEST_F(SandboxTest, TheDecoderNeedsNoDisplay)
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("DISPLAY");
    DecoderSandbox sandbox;
    QImage picture(6, 4, QImage::Format_RGB32);
    picture.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(picture.save(box.file(u"a.bmp"_qs)));
    const LoadResult r = sandbox.load(box.file(u"a.bmp"_qs), u"bmp"_qs, LoaderTable::Batch);
    qputenv("QT_QPA_PLATFORM", platform);
    if (!display.isNull())
        qputenv("DISPLAY", display);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.image.size(), QSize(6, 4));
}

TEST_F(SandboxTest, AMissingDecoderIsAFailedLoad)
{
    SandboxOptions options;
    options.program = box.file(u"no-such-decoder"_qs);
    DecoderSandbox sandbox(options);
    const QString path = write(u"a.png"_qs, "x");
    const LoadResult r = sandbox.load(path, u"png"_qs, LoaderTable::Batch);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
}

// A cancelled load gives way at once, whether its decode is under way or it
// waits behind another thread's, and the decoder goes on serving.
TEST_F(SandboxTest, ACancelledLoadEndsItsDecodeAndTheDecoderServesOn)
{
    SandboxOptions options;
    options.baseTimeLimit = 20s; // only the cancel ends the looping decode soon
    DecoderSandbox sandbox(options);
    const QString loops = loopingPng();
    const QString good = goodPng();

    CancelToken early;
    early.cancel();
    EXPECT_TRUE(sandbox.load(good, u"png"_qs, LoaderTable::Preview, &early).cancelled);

    for (int round = 0; round < 2; ++round) {
        CancelToken token;
        QElapsedTimer clock;
        clock.start();
        LoadResult r;
        {
            const CancelLater later(token, 300ms);
            r = sandbox.load(loops, u"png"_qs, LoaderTable::Batch, &token);
        }
        EXPECT_TRUE(r.cancelled) << r.error.toStdString();
        EXPECT_FALSE(r.ok);
        EXPECT_LT(clock.elapsed(), 5000); // its time limit is 20 s
        const LoadResult next = sandbox.load(good, u"png"_qs, LoaderTable::Batch);
        EXPECT_TRUE(next.ok) << next.error.toStdString();
    }

    // Waiting behind another thread's decode.
    CancelToken first, second;
    LoadResult waited;
    std::thread other([&] { waited = sandbox.load(loops, u"png"_qs, LoaderTable::Preview, &first); });
    std::this_thread::sleep_for(200ms);
    QElapsedTimer clock;
    clock.start();
    {
        const CancelLater later(second, 200ms);
        EXPECT_TRUE(sandbox.load(good, u"png"_qs, LoaderTable::Preview, &second).cancelled);
    }
    EXPECT_LT(clock.elapsed(), 5000);
    first.cancel();
    other.join();
    EXPECT_TRUE(waited.cancelled);

    EXPECT_TRUE(sandbox.load(good, u"png"_qs, LoaderTable::Preview).ok);
    EXPECT_EQ(sandbox.stats().started, 1); // a cancel costs the decode, not the decoder
    EXPECT_EQ(sandbox.stats().timedOut, 0);
}

// The header is read by the decoder, never by this process: what the
// decoder says it declares sets the file's time, within the program's caps.
TEST_F(SandboxTest, TheDecodersWordOnTheHeaderSetsTheTime)
{
    // Ready, then a notice of a header declaring no pixels, then silence.
    const QString script = write(u"declares-nothing.sh"_qs,
        "#!/bin/sh\nprintf 'PTDY' >&3\n"
        "printf 'PTDS\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000' >&3\n"
        "exec sleep 30\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
    SandboxOptions options;
    options.program = script;
    options.baseTimeLimit = 300ms;
    DecoderSandbox sandbox(options);
    // Its real header declares 10000 x 10000 pixels: ten seconds more.
    const QString path = write(u"large.psd"_qs, test::declaringSize(u"psd"_qs, 10000, 10000));
    QElapsedTimer clock;
    clock.start();
    const LoadResult r = sandbox.load(path, u"psd"_qs, LoaderTable::Preview);
    EXPECT_EQ(r.error, QStringLiteral("the picture decoder took too long"));
    EXPECT_LT(clock.elapsed(), 5000);

    // The caps hold whatever the decoder says: a damaged header is a
    // megapixel, a huge one no more than the largest picture accepted.
    EXPECT_EQ(DecoderSandbox::pixelsToTime(decoderprotocol::sizeUnreadable, u"psd"), 1'000'000);
    EXPECT_EQ(DecoderSandbox::pixelsToTime(decoderprotocol::sizeNotInHeader, u"psd"), 1'000'000);
    EXPECT_EQ(DecoderSandbox::pixelsToTime(decoderprotocol::sizeNotInHeader, u"wmf"), -1);
    EXPECT_EQ(DecoderSandbox::pixelsToTime(-77, u"png"), 1'000'000);
    EXPECT_EQ(sandbox.timeLimitFor(0, std::int64_t(1) << 40), sandbox.timeLimitFor(0, std::int64_t(1) << 27));
}

TEST_F(SandboxTest, TimeLimitFollowsTheDeclaredWorkAndStaysInSeconds)
{
    const DecoderSandbox sandbox;
    // A small file declaring a small picture has well under a second.
    EXPECT_EQ(sandbox.timeLimitFor(61, 100 * 100), 601ms);
    EXPECT_LT(sandbox.timeLimitFor(64 << 10, 999'999), 800ms);
    // Megapixels and megabytes each add their time.
    EXPECT_EQ(sandbox.timeLimitFor(0, 12'000'000), 1800ms);
    EXPECT_EQ(sandbox.timeLimitFor(4 << 20, 12'000'000), 2800ms);
    // A 2 KB file declaring 16384 x 8191 pixels gets the time they need, in
    // every row and every run, not a limit it meets on some runs only.
    EXPECT_GT(sandbox.timeLimitFor(2200, 16384 * 8191), 14000ms);
    // A header past the pixel limit is refused at once: no more time for it.
    EXPECT_EQ(sandbox.timeLimitFor(0, std::int64_t(1) << 40), sandbox.timeLimitFor(0, std::int64_t(1) << 27));
    // Without a declared size, only the file's size tells.
    EXPECT_EQ(sandbox.timeLimitFor(0, -1), 4000ms);
    EXPECT_EQ(sandbox.timeLimitFor(40 << 20, -1), 14000ms);
    EXPECT_EQ(sandbox.timeLimitFor(std::int64_t(10) << 30, -1), 30000ms);
}

// The pixels that cross the process boundary are those the decoder made.
TEST_F(SandboxTest, SandboxedAndInProcessLoadsAgree)
{
    for (const test::LoaderFixture &f : test::loaderFixtures()) {
        if (!f.name.endsWith(u".png") && !f.name.endsWith(u".rgba") && !f.name.endsWith(u".psd")
            && !f.name.endsWith(u".wmf") && !f.name.endsWith(u".pcx"))
            continue;
        const QString path = write(f.name, f.bytes);
        for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
            setLoaderMode(LoaderMode::InProcess);
            const LoadResult direct = loadPicture(path, table);
            setLoaderMode(LoaderMode::Sandboxed);
            const LoadResult sandboxed = loadPicture(path, table);
            ASSERT_TRUE(direct.ok && sandboxed.ok) << f.name.toStdString();
            EXPECT_EQ(direct.image, sandboxed.image) << f.name.toStdString();
            EXPECT_EQ(direct.depth, sandboxed.depth) << f.name.toStdString();
        }
    }
}

TEST_F(SandboxTest, DescriptionChangesOnlyOnSuccess)
{
    ImageDescription description{7, 8, 9};
    const QString bad = write(u"bad.png"_qs, "not a png");
    EXPECT_TRUE(LoadImageBitmap(bad, u"png"_qs, description).isNull());
    EXPECT_EQ(description.width, 7);
    EXPECT_EQ(description.depth, 9);

    const QString gif = write(u"quad.gif"_qs, [] {
        for (const auto &f : test::loaderFixtures())
            if (f.name == u"quad.gif")
                return f.bytes;
        return QByteArray();
    }());
    // Upper-case extension, platform route: the depth is the route's own.
    EXPECT_FALSE(LoadImageBitmap(gif, u"GIF"_qs, description).isNull());
    EXPECT_EQ(description.width, 32);
    EXPECT_EQ(description.height, 24);
    EXPECT_EQ(description.depth, 8);

    const QString sgi = write(u"quad.SGI"_qs, "not an SGI file at all");
    EXPECT_TRUE(LoadImageBitmap(sgi, u"SGI"_qs, description).isNull());
    EXPECT_EQ(description.depth, 8);
}

TEST_F(SandboxTest, UnknownExtensionsLoadNothing)
{
    const QString path = write(u"notes.txt"_qs, "hello");
    const LoadResult r = loadPicture(path, LoaderTable::Batch);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.image.isNull());
}

} // namespace
} // namespace pictrove

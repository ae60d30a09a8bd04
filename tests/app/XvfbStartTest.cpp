// Starts the real program on a virtual X server, as a user would see it.
#include "platform/ProgramFolder.h"
#include "platform/Twips.h"
#include "settings/StartupSettings.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace pictrove {
namespace {

// The session script's "name=value" lines.
std::map<std::string, std::string> readResults(const QString &path)
{
    std::map<std::string, std::string> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            out[line.left(eq).toStdString()] = line.mid(eq + 1).toStdString();
    }
    return out;
}

TEST(XvfbStart, ShowsTheMainWindowAtTheStoredSizeAndStoresItOnClose)
{
    for (const char *tool : {"xvfb-run", "xauth", "import", "identify"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh --test)";
    }
    test::Sandbox box;
    // The program's own folder: a copy of the executable, so that its
    // settings file and its single-instance lock are this test's alone.
    const QString program = box.file(QStringLiteral("program"));
    const QString out = box.file(QStringLiteral("out"));
    const QString runtime = box.file(QStringLiteral("runtime"));
    for (const QString &dir : {program, out, runtime})
        ASSERT_TRUE(QDir().mkpath(dir));
    QFile(runtime).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
    ASSERT_TRUE(QFile::copy(QStringLiteral(PICTROVE_EXECUTABLE),
                            program + QStringLiteral("/pictrove")));

    setTwipsPerPixel(15, 15); // the X server runs at 96 dpi
    setProgramFolder(program);
    StartupSettings stored = defaultStartupSettings();
    stored.WindowWidth = 860 * 15;
    stored.WindowHeight = 620 * 15;
    stored.Bs11Position = 27;
    stored.LastFolder = program;
    startupSettings() = stored;
    SaveSettings();
    setProgramFolder(QString());

    QProcess session;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), box.path()); // xvfb-run's authority file
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    session.setProcessEnvironment(env);
    session.start(QStringLiteral("xvfb-run"),
                  {QStringLiteral("-a"), QStringLiteral("-s"),
                   QStringLiteral("-screen 0 1280x960x24 -dpi 96"),
                   QStringLiteral(PICTROVE_XVFB_SESSION), program, out,
                   QStringLiteral("860x620")});
    ASSERT_TRUE(session.waitForFinished(90000)) << "the X session did not end";
    auto results = readResults(out + QStringLiteral("/result.txt"));

    // Keep the screenshots where a person can look at them.
    const QString keep = QStringLiteral(PICTROVE_SCREENSHOT_DIR);
    QDir().mkpath(keep);
    for (const char *name : {"main.png", "second.png"}) {
        QFile::remove(keep + QLatin1Char('/') + QLatin1String(name));
        QFile::copy(out + QLatin1Char('/') + QLatin1String(name),
                    keep + QLatin1Char('/') + QLatin1String(name));
    }

    EXPECT_EQ(results["main-window"], "860x620+0+0")
        << "screenshot: " << keep.toStdString() << "/main.png";
    const QImage shot(out + QStringLiteral("/main.png"));
    ASSERT_FALSE(shot.isNull());
    // Not a blank rectangle: the window has drawn its panes.
    QSet<QRgb> colours;
    for (int y = 0; y < 620; y += 7)
        for (int x = 0; x < 860; x += 7)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 8);

    // The second copy ended by itself once its message was closed, and
    // the first copy was untouched by it.
    EXPECT_EQ(results["second-exit"], "0");
    EXPECT_EQ(results["first-alive"], "yes");
    // Its splash still stood beside the first window behind the message.
    EXPECT_NE(results["second-screen"], "860x620+0+0");
    EXPECT_FALSE(results["second-screen"].empty());

    // SIGTERM closed the first copy through its normal close.
    EXPECT_EQ(results["first-exit"], "0");
    QFile file(program + QStringLiteral("/oStart.up"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    StartupSettings after;
    deserializeSettings(file.readAll(), after);
    EXPECT_EQ(after.WindowWidth, 860 * 15);
    EXPECT_EQ(after.WindowHeight, 620 * 15);
    EXPECT_EQ(after.Maximized, 0);
    EXPECT_EQ(after.Bs11Position, 27);
    EXPECT_EQ(after.LastFolder.trimmed(), program);
    setTwipsPerPixel(0, 0);
}

} // namespace
} // namespace pictrove

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

#include <functional>
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

// The first missing tool of a list, or an empty text.
QString missingTool(std::initializer_list<const char *> tools)
{
    for (const char *tool : tools)
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QLatin1String(tool);
    return {};
}

// The program's own folder: a copy of the executable and its decoder, so
// that its settings file and its single-instance lock are this test's alone.
bool makeProgramFolder(const QString &program, const QString &out, const QString &runtime)
{
    for (const QString &dir : {program, out, runtime})
        if (!QDir().mkpath(dir))
            return false;
    QFile(runtime).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
    return QFile::copy(QStringLiteral(PICTROVE_EXECUTABLE), program + QStringLiteral("/pictrove")) &&
           QFile::copy(QStringLiteral(PICTROVE_DECODER),
                       program + QStringLiteral("/pictrove-decoder"));
}

// Keeps the screenshots where a person can look at them.
void keepScreenshots(const QString &out, std::initializer_list<const char *> names)
{
    const QString keep = QStringLiteral(PICTROVE_SCREENSHOT_DIR);
    QDir().mkpath(keep);
    for (const char *name : names) {
        QFile::remove(keep + QLatin1Char('/') + QLatin1String(name));
        QFile::copy(out + QLatin1Char('/') + QLatin1String(name),
                    keep + QLatin1Char('/') + QLatin1String(name));
    }
}

QProcessEnvironment sessionEnvironment(const QString &tmp, const QString &runtime)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp); // xvfb-run's authority file
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return env;
}

// Why the end-to-end sessions through the accessibility interface cannot
// run here, or an empty text when they can.
QString accessibilityMissing()
{
    const QString tool =
        missingTool({"xvfb-run", "xauth", "import", "convert", "identify", "dbus-run-session"});
    if (!tool.isEmpty())
        return tool + QStringLiteral(" is not installed (scripts/install-deps.sh --test)");
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QStringLiteral("import pyatspi")}) != 0)
        return QStringLiteral("python3-pyatspi is not installed (scripts/install-deps.sh --test)");
    return {};
}

// The settings file a copy of the program starts with: a window of the
// given size and whatever the test changes.
void storeSettings(const QString &program, QSize window,
                   const std::function<void(StartupSettings &)> &change)
{
    setTwipsPerPixel(15, 15); // the X server runs at 96 dpi
    setProgramFolder(program);
    StartupSettings stored = defaultStartupSettings();
    stored.WindowWidth = window.width() * 15;
    stored.WindowHeight = window.height() * 15;
    change(stored);
    startupSettings() = stored;
    SaveSettings();
    setProgramFolder(QString());
    setTwipsPerPixel(0, 0);
}

// ImageMagick's own sample pictures ("rose:", "logo:", ...) written as files.
bool makeSamples(const QString &folder,
                 std::initializer_list<std::pair<const char *, const char *>> samples)
{
    for (const auto &[sample, name] : samples)
        if (QProcess::execute(QStringLiteral("convert"),
                              {QLatin1String(sample), folder + u'/' + QLatin1String(name)}) != 0)
            return false;
    return true;
}

// One program folder, output folder and runtime folder of a session.
struct SessionFolders {
    QString program, out, runtime;
    SessionFolders(const test::Sandbox &box, const QString &name)
        : program(box.file(QStringLiteral("program-") + name)),
          out(box.file(QStringLiteral("out-") + name)),
          runtime(box.file(QStringLiteral("runtime-") + name))
    {
    }
};

// Runs a script against the real program on a virtual X server with an
// accessibility bus; its "name=value" results and the session's own.
std::map<std::string, std::string> runAccessibilitySession(const test::Sandbox &box,
                                                           const SessionFolders &f,
                                                           const QString &results,
                                                           const QStringList &script)
{
    QProcess session;
    session.setProcessEnvironment(sessionEnvironment(box.path(), f.runtime));
    session.start(QStringLiteral("xvfb-run"),
                  QStringList{QStringLiteral("-a"), QStringLiteral("-s"),
                              QStringLiteral("-screen 0 1280x960x24 -dpi 96"),
                              QStringLiteral("dbus-run-session"), QStringLiteral("bash"),
                              QStringLiteral(PICTROVE_ACCESSIBILITY_SESSION), f.program, f.out}
                      << script);
    if (!session.waitForFinished(200000)) {
        session.kill();
        session.waitForFinished();
        return {{"session", "did not end"}};
    }
    auto r = readResults(f.out + u'/' + results);
    r.merge(readResults(f.out + QStringLiteral("/session.txt")));
    return r;
}

TEST(XvfbStart, ShowsTheMainWindowAtTheStoredSizeAndStoresItOnClose)
{
    const QString missing = missingTool({"xvfb-run", "xauth", "import", "identify"});
    if (!missing.isEmpty())
        GTEST_SKIP() << missing.toStdString() << " is not installed (scripts/install-deps.sh --test)";
    test::Sandbox box;
    const QString program = box.file(QStringLiteral("program"));
    const QString out = box.file(QStringLiteral("out"));
    const QString runtime = box.file(QStringLiteral("runtime"));
    ASSERT_TRUE(makeProgramFolder(program, out, runtime));

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
    session.setProcessEnvironment(sessionEnvironment(box.path(), runtime));
    session.start(QStringLiteral("xvfb-run"),
                  {QStringLiteral("-a"), QStringLiteral("-s"),
                   QStringLiteral("-screen 0 1280x960x24 -dpi 96"),
                   QStringLiteral(PICTROVE_XVFB_SESSION), program, out,
                   QStringLiteral("860x620")});
    ASSERT_TRUE(session.waitForFinished(90000)) << "the X session did not end";
    auto results = readResults(out + QStringLiteral("/result.txt"));

    keepScreenshots(out, {"main.png", "second.png"});

    EXPECT_EQ(results["main-window"], "860x620+0+0")
        << "screenshot: " << PICTROVE_SCREENSHOT_DIR << "/main.png";
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

// Step 1 used as a person would, through the accessibility interface: the
// folder of pictures is listed and its first picture previewed, the
// toolbar adds every file to the basket and refuses them the second time,
// "Remove All" empties it.
TEST(XvfbStart, Step1ListsPreviewsAndFillsTheBasketThroughTheAccessibilityInterface)
{
    if (const QString missing = accessibilityMissing(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    test::Sandbox box;
    const SessionFolders f(box, QStringLiteral("step1"));
    const QString &out = f.out;
    const QString pictures = box.file(QStringLiteral("pictures"));
    ASSERT_TRUE(makeProgramFolder(f.program, f.out, f.runtime));
    ASSERT_TRUE(QDir().mkpath(pictures));
    // Six formats, and a file that is not a picture of any listed kind.
    ASSERT_TRUE(makeSamples(pictures, {{"rose:", "a-rose.jpg"}, {"logo:", "b-logo.png"},
                                       {"wizard:", "c-wizard.gif"}, {"granite:", "d-granite.tga"},
                                       {"netscape:", "e-netscape.bmp"}, {"rose:", "f-rose.tif"}}));
    ASSERT_TRUE(box.write(QStringLiteral("pictures/notes.txt"), "not a picture"));
    storeSettings(f.program, {900, 650}, [&](StartupSettings &s) { s.LastFolder = pictures; });

    auto r = runAccessibilitySession(box, f, QStringLiteral("step1.txt"),
                                     {QStringLiteral("step1-session.py"), pictures,
                                      QStringLiteral("6")});
    keepScreenshots(out, {"step1-listed.png", "step1-basket.png", "step1-duplicates.png"});
    const std::string logs = " (logs in " + out.toStdString() + ")";

    ASSERT_EQ(r["app"], "yes") << logs;
    EXPECT_EQ(r["folder-list"], "yes");
    EXPECT_EQ(r["basket-list"], "yes");
    EXPECT_EQ(r["listed"], "6");
    EXPECT_EQ(r["panel5"], "Current Directory : " + pictures.toStdString());
    EXPECT_EQ(r["previewed"], "yes");
    EXPECT_EQ(r["panel4"], "a-rose.jpg 70 x 46");
    EXPECT_EQ(r["basket-after-add"], "6");
    EXPECT_EQ(r["panel3"], "Basket: 6 file(s)");
    EXPECT_EQ(r["duplicate-message"],
              "6 File(s) already existed in the Basket. There were not added!");
    EXPECT_EQ(r["basket-after-remove"], "0");
    EXPECT_EQ(r["panel3-after-remove"], "Basket: 0 file(s)");
    EXPECT_EQ(r["missing-button"], "");
    EXPECT_EQ(r["done"], "yes");
    EXPECT_EQ(r["program-exit"], "0");
}

// Today's formats in Step 1: a WebP and a HEIC picture are listed beside
// each other and each is previewed, the second after a click on its row.
TEST(XvfbStart, Step1ListsAndPreviewsWebPAndHeicPictures)
{
    if (const QString missing = accessibilityMissing(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    test::Sandbox box;
    const SessionFolders f(box, QStringLiteral("modern"));
    const QString pictures = box.file(QStringLiteral("pictures"));
    ASSERT_TRUE(makeProgramFolder(f.program, f.out, f.runtime));
    ASSERT_TRUE(QDir().mkpath(pictures));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PICTROVE_LOADER_FIXTURES "/quad.webp"),
                            pictures + QStringLiteral("/a-wallpaper.webp")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PICTROVE_LOADER_FIXTURES "/rotated.heic"),
                            pictures + QStringLiteral("/b-photo.heic")));
    storeSettings(f.program, {900, 650}, [&](StartupSettings &s) { s.LastFolder = pictures; });

    auto r = runAccessibilitySession(box, f, QStringLiteral("modern.txt"),
                                     {QStringLiteral("modern-session.py"), pictures});
    keepScreenshots(f.out, {"modern-webp.png", "modern-heic.png"});
    const std::string logs = " (logs in " + f.out.toStdString() + ")";
    ASSERT_EQ(r["app"], "yes") << logs;
    EXPECT_EQ(r["listed"], "2") << logs;
    EXPECT_EQ(r["first-panel4"], "a-wallpaper.webp 32 x 24") << logs;
    EXPECT_EQ(r["second-panel4"], "b-photo.heic 24 x 32") << logs;
    EXPECT_EQ(r["second-type"], "HEIC") << logs;
    EXPECT_EQ(r["done"], "yes") << logs;
}

// The whole road as a user takes it: the folder's pictures into the basket,
// a format, "Save All ...", a destination and a name in the dialog, the
// run to its end; every file written is read back by an outside reader.
TEST(XvfbStart, TheWholeRoadFromAFolderToConvertedFiles)
{
    if (const QString missing = accessibilityMissing(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    test::Sandbox box;
    const SessionFolders f(box, QStringLiteral("road"));
    const QString &out = f.out;
    const QString pictures = box.file(QStringLiteral("pictures"));
    const QString destination = box.file(QStringLiteral("converted"));
    ASSERT_TRUE(makeProgramFolder(f.program, f.out, f.runtime));
    ASSERT_TRUE(QDir().mkpath(pictures));
    ASSERT_TRUE(QDir().mkpath(destination));
    ASSERT_TRUE(makeSamples(pictures, {{"rose:", "a-rose.jpg"}, {"logo:", "b-logo.png"},
                                       {"wizard:", "c-wizard.gif"}, {"granite:", "d-granite.tga"},
                                       {"netscape:", "e-netscape.bmp"}}));
    storeSettings(f.program, {900, 650}, [&](StartupSettings &s) {
        s.LastFolder = pictures;
        s.LastDestination = destination;
        s.ShowDestination = 0;
    });

    auto r = runAccessibilitySession(box, f, QStringLiteral("road.txt"),
                                     {QStringLiteral("road-session.py"),
                                      QStringLiteral("PNG-8 bit"), QStringLiteral("trip")});
    keepScreenshots(out, {"road-dialog.png", "road-running.png", "road-done.png"});
    ASSERT_EQ(r["app"], "yes") << "logs in " << out.toStdString();
    EXPECT_EQ(r["basket"], "Basket: 5 file(s)");
    EXPECT_EQ(r["format"], "PNG-8 bit");
    EXPECT_EQ(r["dialog"], "yes");
    EXPECT_EQ(r["select-enabled"], "yes");
    EXPECT_EQ(r["summary"], "Save All: 5 written, 0 skipped, 0 failed");
    EXPECT_EQ(r["program-exit"], "0");

    const QStringList files = QDir(destination).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(files, (QStringList{"trip1.png", "trip2.png", "trip3.png", "trip4.png", "trip5.png"}));
    for (const QString &name : files) {
        QProcess identify;
        identify.start(QStringLiteral("identify"),
                       {QStringLiteral("-format"), QStringLiteral("%m %k"), destination + u'/' + name});
        ASSERT_TRUE(identify.waitForFinished(30000));
        EXPECT_EQ(identify.exitCode(), 0) << name.toStdString();
        const QStringList said = QString::fromLocal8Bit(identify.readAllStandardOutput()).split(u' ');
        ASSERT_EQ(said.size(), 2) << name.toStdString();
        EXPECT_EQ(said[0], QStringLiteral("PNG")) << name.toStdString();
        EXPECT_LE(said[1].toInt(), 256) << name.toStdString(); // a palette of at most 256
    }
}

// Step 2 through the accessibility interface, at the smallest window and at
// a large one: the stored GIF row is encoded as soon as the picture is
// shown, a dither and a JPEG row chosen in their lists re-encode it, and the
// labels of both views say what was written.
TEST(XvfbStart, Step2EncodesEveryChoiceInTheSmallestAndALargeWindow)
{
    if (const QString missing = accessibilityMissing(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    test::Sandbox box;
    const QString pictures = box.file(QStringLiteral("pictures"));
    ASSERT_TRUE(QDir().mkpath(pictures));
    // ImageMagick's photograph of a rose, enlarged to a photo's size.
    ASSERT_EQ(QProcess::execute(QStringLiteral("convert"),
                                {QStringLiteral("rose:"), QStringLiteral("-resize"),
                                 QStringLiteral("2000%"), pictures + QStringLiteral("/rose.jpg")}),
              0);
    const std::pair<const char *, QSize> windows[] = {{"small", {600, 500}},
                                                      {"large", {1260, 940}}};
    for (const auto &[name, size] : windows) {
        SCOPED_TRACE(name);
        const SessionFolders f(box, QLatin1String(name));
        const QString &out = f.out;
        ASSERT_TRUE(makeProgramFolder(f.program, f.out, f.runtime));
        storeSettings(f.program, size, [&](StartupSettings &s) { s.LastFolder = pictures; });
        auto r = runAccessibilitySession(box, f, QLatin1String(name) + QStringLiteral(".txt"),
                                         {QStringLiteral("step2-session.py"), QLatin1String(name)});
        const std::string prefix = std::string(name) + "-";
        keepScreenshots(out, {(prefix + "gif.png").c_str(), (prefix + "dither.png").c_str(),
                              (prefix + "jpeg.png").c_str(), (prefix + "resize.png").c_str()});

        ASSERT_EQ(r["app"], "yes") << "logs in " << out.toStdString();
        EXPECT_EQ(r["tab"], "yes");
        EXPECT_EQ(r["optimized-type"], "GIF");
        EXPECT_EQ(r["optimized-depth"], "256 Colors");
        EXPECT_EQ(r["original-type"], "JPG");
        EXPECT_EQ(r["original-colors"], "24 bit");
        EXPECT_NE(r["dithered-size"], r["gif-size"]); // a dithered GIF of another size
        EXPECT_EQ(r["jpeg-type"], "JPG");
        EXPECT_EQ(r["jpeg-depth"], "24 bit");
        EXPECT_TRUE(QString::fromStdString(r["jpeg-size"]).endsWith(QStringLiteral(" Kb")));
        EXPECT_EQ(r["jpeg-preset"], "Good");
        // The rose, 1400 x 920, resized to a longest side of 200.
        EXPECT_EQ(r["resolution-before"], "1400 x 920");
        EXPECT_EQ(r["side-field"], "yes");
        EXPECT_EQ(r["resolution-after"], "200 x 131");
        EXPECT_EQ(r["missing-item"], "");
        EXPECT_EQ(r["done"], "yes");
        EXPECT_EQ(r["program-exit"], "0");
    }
}

// A long Step 2 encode does not hold the window: with a 12-megapixel photo
// shown, "PNG-24 bit" is chosen and the Step 1 tab clicked at once. Step 1
// shows while the encode still runs, which the optimized view says (to a
// screen reader too) and its labels show (still the GIF's); then the
// encode ends and the labels are the PNG's.
TEST(XvfbStart, Step1ShowsWhileALongStep2EncodeRuns)
{
    if (const QString missing = accessibilityMissing(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    test::Sandbox box;
    const QString pictures = box.file(QStringLiteral("pictures"));
    ASSERT_TRUE(QDir().mkpath(pictures));
    // Like a photograph to a PNG encoder: smooth fractal shapes under
    // grain, which deflate squeezes slowly and little.
    ASSERT_EQ(QProcess::execute(
                  QStringLiteral("convert"),
                  {QStringLiteral("-size"), QStringLiteral("4000x3000"), QStringLiteral("-seed"),
                   QStringLiteral("7"), QStringLiteral("plasma:fractal"), QStringLiteral("-attenuate"),
                   QStringLiteral("0.4"), QStringLiteral("+noise"), QStringLiteral("Gaussian"),
                   QStringLiteral("-quality"), QStringLiteral("92"),
                   pictures + QStringLiteral("/photo.jpg")}),
              0);
    const SessionFolders f(box, QStringLiteral("tab"));
    ASSERT_TRUE(makeProgramFolder(f.program, f.out, f.runtime));
    storeSettings(f.program, {900, 650}, [&](StartupSettings &s) { s.LastFolder = pictures; });

    auto r = runAccessibilitySession(box, f, QStringLiteral("tab.txt"),
                                     {QStringLiteral("tab-session.py")});
    keepScreenshots(f.out, {"tab-shown.png", "tab-png.png"});

    ASSERT_EQ(r["app"], "yes") << "logs in " << f.out.toStdString();
    EXPECT_EQ(r["missing-item"], "");
    EXPECT_EQ(r["step1-hidden"], "yes");
    ASSERT_EQ(r["gif-type"], "GIF");
    EXPECT_EQ(r["idle-before"], "yes");
    EXPECT_EQ(r["chosen"], "PNG-24 bit");
    // Step 1 was showing, and after that the encode had still not ended.
    EXPECT_EQ(r["step1-shown"], "yes");
    EXPECT_EQ(r["busy-when-shown"], "yes")
        << "Step 1 showed " << r["seconds-to-show"] << " s after the choice, the encode ended "
        << r["seconds-to-encode"] << " s after it";
    EXPECT_EQ(r["type-when-shown"], "GIF");
    EXPECT_EQ(r["size-when-shown"], r["gif-size"]);
    // Then it ended and said what it wrote.
    EXPECT_EQ(r["png-type"], "PNG");
    EXPECT_EQ(r["png-depth"], "24 bit");
    EXPECT_NE(r["png-size"], r["gif-size"]);
    EXPECT_TRUE(QString::fromStdString(r["png-size"]).endsWith(QStringLiteral(" KB")));
    EXPECT_EQ(r["idle-after"], "yes");
    EXPECT_EQ(r["done"], "yes");
    EXPECT_EQ(r["program-exit"], "0");
}

// "Open With Pictrove" on a running copy: the second start hands its files
// over and ends; they arrive in the running copy's basket, on Step 1.
TEST(XvfbStart, ASecondStartHandsItsFilesToTheRunningCopy)
{
    if (const QString missing = accessibilityMissing(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    test::Sandbox box;
    const SessionFolders f(box, QStringLiteral("handover"));
    const QString pictures = box.file(QStringLiteral("pictures"));
    ASSERT_TRUE(makeProgramFolder(f.program, f.out, f.runtime));
    ASSERT_TRUE(QDir().mkpath(pictures));
    ASSERT_TRUE(makeSamples(pictures, {{"rose:", "a-rose.jpg"}, {"logo:", "b logo.png"}}));
    ASSERT_TRUE(box.write(QStringLiteral("pictures/notes.txt"), "not a picture"));
    storeSettings(f.program, {900, 650}, [&](StartupSettings &s) { s.LastFolder = pictures; });

    auto r = runAccessibilitySession(
        box, f, QStringLiteral("handover.txt"),
        {QStringLiteral("handover-session.py"), f.program + QStringLiteral("/pictrove"), pictures});
    keepScreenshots(f.out, {"handover-received.png"});
    const std::string logs = " (logs in " + f.out.toStdString() + ")";

    ASSERT_EQ(r["app"], "yes") << logs;
    EXPECT_EQ(r["missing-item"], "") << logs;
    EXPECT_EQ(r["basket-before"], "0") << logs;
    EXPECT_EQ(r["step2-before"], "yes") << logs;
    EXPECT_EQ(r["second-exit"], "0") << logs;
    EXPECT_EQ(r["second-quick"], "yes") << logs;
    EXPECT_EQ(r["basket-after"], "2") << logs;
    EXPECT_EQ(r["panel3"], "Basket: 2 file(s)") << logs;
    EXPECT_EQ(r["step1-shown"], "yes") << logs;
    EXPECT_EQ(r["lonely-waits"], "yes") << logs;
    EXPECT_EQ(r["done"], "yes") << logs;
    EXPECT_EQ(r["program-exit"], "0") << logs;
}

// The rows for the web in the real window: a transparent picture written as
// "WebP - Lossy" says "32 bit" and shows on a checkerboard; its quality,
// typed and applied with Enter (not before), changes the size; "AVIF" keeps
// its own quality. The qualities are in pictrove.conf after the session.
TEST(XvfbStart, Step2WritesATransparentPictureAsWebPAndAvifWithTheirQualities)
{
    if (const QString missing = accessibilityMissing(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    test::Sandbox box;
    const QString pictures = box.file(QStringLiteral("pictures"));
    ASSERT_TRUE(QDir().mkpath(pictures));
    // A photo-like picture that fades out from its middle to its corners.
    ASSERT_EQ(QProcess::execute(QStringLiteral("convert"),
                                {QStringLiteral("-size"), QStringLiteral("1200x900"), QStringLiteral("-seed"),
                                 QStringLiteral("3"), QStringLiteral("plasma:fractal"), QStringLiteral("("),
                                 QStringLiteral("-size"), QStringLiteral("1200x900"),
                                 QStringLiteral("radial-gradient:white-black"), QStringLiteral(")"),
                                 QStringLiteral("-alpha"), QStringLiteral("off"), QStringLiteral("-compose"),
                                 QStringLiteral("CopyOpacity"), QStringLiteral("-composite"),
                                 pictures + QStringLiteral("/clear.png")}),
              0);
    const SessionFolders f(box, QStringLiteral("web"));
    ASSERT_TRUE(makeProgramFolder(f.program, f.out, f.runtime));
    storeSettings(f.program, {1000, 720}, [&](StartupSettings &s) { s.LastFolder = pictures; });

    auto r = runAccessibilitySession(box, f, QStringLiteral("web.txt"), {QStringLiteral("web-session.py")});
    keepScreenshots(f.out, {"web-webp-80.png", "web-webp-20.png", "web-avif.png"});
    const std::string logs = " (logs in " + f.out.toStdString() + ")";
    ASSERT_EQ(r["app"], "yes") << logs;
    EXPECT_EQ(r["missing-item"], "") << logs;
    EXPECT_EQ(r["gif-type"], "GIF");
    EXPECT_EQ(r["webp-type"], "WEBP");
    EXPECT_EQ(r["webp-depth"], "32 bit");
    EXPECT_TRUE(QString::fromStdString(r["webp-size"]).endsWith(QStringLiteral(" KB")));
    EXPECT_EQ(r["quality-shown"], "yes");
    EXPECT_EQ(r["quality-before"], "80");
    EXPECT_EQ(r["quality-typed"], "20") << "digits only";
    EXPECT_EQ(r["size-before-enter"], r["webp-size"]) << "applied on Enter, not before";
    EXPECT_NE(r["webp-low-size"], r["webp-size"]);
    EXPECT_EQ(r["avif-type"], "AVIF");
    EXPECT_EQ(r["avif-depth"], "32 bit");
    EXPECT_EQ(r["avif-quality"], "60");
    EXPECT_EQ(r["done"], "yes");
    EXPECT_EQ(r["program-exit"], "0");
    QFile conf(f.program + QStringLiteral("/pictrove.conf"));
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly)) << logs;
    const QByteArray stored = conf.readAll();
    EXPECT_TRUE(stored.contains("WebpQuality=20")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("AvifQuality=60")) << stored.toStdString();
}

} // namespace
} // namespace pictrove

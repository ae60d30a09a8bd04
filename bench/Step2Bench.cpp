// Step 2 latency in the real window, offscreen, on a 4000 x 3000 photo: for
// each kind of option change, the time from the change to the optimized view
// holding the newly written picture and its labels, and the longest the
// window did not answer meanwhile. ImageMagick does the same
// encodes of the same picture beside it (from its own memory-mapped pixel
// cache, so that its decoding costs next to nothing).
#include "app/MainWindow.h"
#include "app/TabStrip.h"
#include "engine/conversion/LargeImageMemory.h"
#include "platform/MessageService.h"
#include "platform/ProgramFolder.h"
#include "selection/ImagePreview.h"
#include "settings/StartupSettings.h"
#include "workflow/widgets/PictureViews.h"

#include "WindowBench.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace pictrove;

namespace {

struct Timing {
    double shownMs = 0; // from the change to the optimized view painted with the result
    double stallMs = 0; // the longest the user-interface thread was busy meanwhile
};

// Runs the event loop until the newest encode is shown, timing each turn:
// a turn that takes long is a moment the window did not answer.
Timing awaitShown(MainWindow &window, QElapsedTimer &clock, double stall)
{
    QWidget *view = window.step2().COptimizedPP->viewport();
    while (window.encoding()) {
        const qint64 before = clock.nsecsElapsed();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        stall = std::max(stall, (clock.nsecsElapsed() - before) / 1e6);
        QThread::usleep(200);
    }
    const qint64 before = clock.nsecsElapsed();
    view->repaint();
    stall = std::max(stall, (clock.nsecsElapsed() - before) / 1e6);
    return {clock.nsecsElapsed() / 1e6, stall};
}

// The medians of runs of one change.
Timing timeChange(MainWindow &window, const std::function<void()> &change, int runs)
{
    std::vector<double> shown, stalls;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        change();
        const Timing t = awaitShown(window, clock, clock.nsecsElapsed() / 1e6);
        shown.push_back(t.shownMs);
        stalls.push_back(t.stallMs);
        QCoreApplication::processEvents();
    }
    std::sort(shown.begin(), shown.end());
    std::sort(stalls.begin(), stalls.end());
    return {shown[shown.size() / 2], stalls.back()};
}

// Five changes 50 ms apart, as a user clicking through a list: the time
// from the last one to its result, which is the only one shown.
Timing timeBurst(MainWindow &window, const std::vector<std::function<void()>> &changes)
{
    QElapsedTimer clock;
    clock.start();
    double stall = 0;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (i > 0) {
            while (clock.elapsed() < qint64(50 * i)) {
                const qint64 before = clock.nsecsElapsed();
                QCoreApplication::processEvents(QEventLoop::AllEvents);
                stall = std::max(stall, (clock.nsecsElapsed() - before) / 1e6);
                QThread::usleep(200);
            }
        }
        const qint64 before = clock.nsecsElapsed();
        changes[i]();
        stall = std::max(stall, (clock.nsecsElapsed() - before) / 1e6);
    }
    const double last = clock.nsecsElapsed() / 1e6;
    Timing t = awaitShown(window, clock, stall);
    t.shownMs -= last;
    return t;
}

double timeMagick(const QStringList &args, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (QProcess::execute(QStringLiteral("convert"), args) != 0)
            return -1;
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void choose(QComboBox *list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
}

// "Resize" switched from "Original size" to "Longest side" 1920 on a row,
// each run at a size the worker has not resized to just before (1920 and
// 1921 in turn), so no run is served the previous run's picture.
void resizeLatency(MainWindow &window, int runs)
{
    Step2Panes &p = window.step2();
    QElapsedTimer settle;
    const auto awaitQuietly = [&] {
        settle.start();
        awaitShown(window, settle, 0);
    };
    const std::pair<int, const char *> rows[] = {{7, "GIF-256 Colors"}, {18, "JPEG - Good Quality"}};
    for (const auto &[row, name] : rows) {
        choose(p.CboFiles, row);
        awaitQuietly();
        std::vector<double> shown;
        double stall = 0;
        for (int i = 0; i < runs; ++i) {
            choose(p.cboResize, 0);
            awaitQuietly();
            p.TxtResizeWD->setValue(1920 + i % 2);
            awaitQuietly();
            QElapsedTimer clock;
            clock.start();
            choose(p.cboResize, 1);
            const Timing t = awaitShown(window, clock, clock.nsecsElapsed() / 1e6);
            shown.push_back(t.shownMs);
            stall = std::max(stall, t.stallMs);
        }
        std::sort(shown.begin(), shown.end());
        std::printf("%-42s %7.0f ms %12s %6.0f ms   %s | %s\n",
                    qPrintable(QStringLiteral("resize: longest side 1920, %1").arg(QLatin1String(name))),
                    shown[shown.size() / 2], "250", stall,
                    qPrintable(p.COptimizedPP->info()->resolutionValue()->text()),
                    qPrintable(p.COptimizedPP->info()->sizeValue()->text()));
        std::fflush(stdout);
    }
    choose(p.cboResize, 0);
    awaitQuietly();
}

} // namespace

int main(int argc, char **argv)
{
    // The heap as the program has it.
    restartForPictureWork(argv);
    keepLargeImageBuffers();
    bench::offscreenUnlessTold();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Step 2 latency in the real window"));
    parser.addHelpOption();
    QCommandLineOption photo(QStringLiteral("photo"), QStringLiteral("Photo to scale to 4000 x 3000"),
                             QStringLiteral("PATH"),
                             QString::fromLatin1(bench::DefaultPhoto));
    QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs per change (median)"),
                            QStringLiteral("N"), QStringLiteral("3"));
    QCommandLineOption webOnly(QStringLiteral("web"), QStringLiteral("Only the WebP and AVIF rows"));
    QCommandLineOption goalsOnly(QStringLiteral("goals"),
                                 QStringLiteral("Only the rows GIF-256 Colors (Optimal) and PNG-24 bit and their goals"));
    parser.addOption(goalsOnly);
    parser.addOption(photo);
    parser.addOption(runs);
    parser.addOption(webOnly);
    parser.process(app);
    const int n = std::max(1, parser.value(runs).toInt());

    QTemporaryDir work(QDir::currentPath() + QStringLiteral("/step2-bench-XXXXXX"));
    const QString folder = work.filePath(QStringLiteral("photo"));
    QDir().mkpath(folder);
    const QImage picture = bench::twelveMegapixelPhoto(parser.value(photo));
    if (picture.isNull()) {
        std::fprintf(stderr, "cannot read %s (install mate-backgrounds or pass --photo)\n",
                     qPrintable(parser.value(photo)));
        return 1;
    }
    const QString source = folder + QStringLiteral("/photo.png");
    picture.save(source, "PNG", 10);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(work.path()));

    setProgramFolder(work.path());
    startupSettings() = defaultStartupSettings();
    startupSettings().LastFolder = folder;
    MainWindow window;
    window.resize(1200, 800);
    window.formLoad();
    window.show();
    window.tabStrip()->tabs()->setCurrentIndex(1);
    QElapsedTimer wait;
    wait.start();
    while ((window.preview().holder().isNull() ||
            window.step2().COptimizedPP->info()->typeValue()->text().isEmpty()) &&
           wait.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Step2Panes &p = window.step2();

    const QString mpc = work.filePath(QStringLiteral("photo.mpc"));
    const bool magick = !QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty() &&
                        QProcess::execute(QStringLiteral("convert"), {source, mpc}) == 0;
    const QString out = work.filePath(QStringLiteral("magick-out"));

    struct Case {
        const char *name;
        double goalMs;
        std::function<void()> change;
        QStringList magickArgs;
    };
    const int optimal = 1, binary = 1;
    const std::vector<Case> cases = {
        {"row GIF-256 Colors (Optimal, no dither)", 250, [&] { choose(p.CboFiles, 7); },
         {mpc, "+dither", "-colors", "256", out + ".gif"}},
        {"map Optimal on GIF-256", 250, [&] { choose(p.cboMap, optimal); },
         {mpc, "+dither", "-colors", "256", out + ".gif"}},
        {"dither Binary (GIF-256 Optimal)", 500, [&] { choose(p.cboDither, binary); },
         {mpc, "-dither", "FloydSteinberg", "-colors", "256", out + ".gif"}},
        {"colour mode Greyscale", 0, [&] { choose(p.cboColorMode, 1); },
         {mpc, "-colorspace", "Gray", "-colors", "256", out + ".gif"}},
        {"colour mode Colors", 0, [&] { choose(p.cboColorMode, 0); }, {}},
        {"flip horizontal", 500, [&] { p.chkFlipH->click(); },
         {mpc, "-flop", "-dither", "FloydSteinberg", "-colors", "256", out + ".gif"}},
        {"interlace", 0, [&] { p.ChkInterlaced->click(); },
         {mpc, "-interlace", "GIF", "-dither", "FloydSteinberg", "-colors", "256", out + ".gif"}},
        {"map MS 256 (fixed palette)", 0, [&] { choose(p.cboMap, 4); },
         {mpc, "-dither", "FloydSteinberg", "-remap", "netscape:", out + ".gif"}},
        {"row BMP-24 bit", 0, [&] { choose(p.CboFiles, 12); }, {mpc, out + ".bmp"}},
        {"row PNG-24 bit", 800, [&] { choose(p.CboFiles, 14); }, {mpc, out + ".png"}},
        {"row JPEG - Low Quality", 150, [&] { choose(p.CboFiles, 15); },
         {mpc, "-quality", "10", out + ".jpg"}},
        {"row JPEG - Average Quality", 150, [&] { choose(p.CboFiles, 16); },
         {mpc, "-quality", "25", out + ".jpg"}},
        {"row JPEG - Normal Quality", 150, [&] { choose(p.CboFiles, 17); },
         {mpc, "-quality", "50", out + ".jpg"}},
        {"row JPEG - Good Quality", 150, [&] { choose(p.CboFiles, 18); },
         {mpc, "-quality", "75", out + ".jpg"}},
        {"row JPEG - Superb Quality", 150, [&] { choose(p.CboFiles, 19); },
         {mpc, "-quality", "100", out + ".jpg"}},
        {"row JPEG - Custom Quality", 150, [&] { choose(p.CboFiles, 20); },
         {mpc, "-quality", "60", out + ".jpg"}},
        {"JPEG preset Good", 150, [&] { choose(p.cboJpg, 3); },
         {mpc, "-quality", "75", out + ".jpg"}},
        {"custom quality 85", 150, [&] { p.TxtJPGD->setValue(p.TxtJPGD->value() == 85 ? 84 : 85); },
         {mpc, "-quality", "85", out + ".jpg"}},
    };
    // The rows for the web: each encode uses both cores for the one picture.
    const std::vector<Case> webCases = {
        {"row WebP - Lossy (quality 80)", 700, [&] { choose(p.CboFiles, 26); },
         {mpc, "-quality", "80", out + ".webp"}},
        {"WebP quality 79/80", 700, [&] { p.TxtWebD->setValue(p.TxtWebD->value() == 80 ? 79 : 80); },
         {mpc, "-quality", "79", out + ".webp"}},
        {"row AVIF (quality 60)", 2500, [&] { choose(p.CboFiles, 28); },
         {mpc, "-quality", "60", out + ".avif"}},
    };
    std::printf("Step 2 on a %dx%d photo, median of %d; the longest stall of the window "
                "(goal 50 ms) over all runs; ImageMagick on the same picture\n",
                picture.width(), picture.height(), n);
    std::printf("%-42s %10s %12s %9s %12s %8s\n", "change", "shown", "goal", "stall", "ImageMagick",
                "ratio");
    std::vector<Case> all = parser.isSet(webOnly) ? std::vector<Case>{} : cases;
    if (parser.isSet(goalsOnly)) {
        // The goals' rows, with BMP-24 before PNG-24 as in the whole run.
        all.clear();
        for (const Case &c : cases)
            if (QByteArray(c.name).startsWith("row GIF-256") || QByteArray(c.name).startsWith("row BMP-24")
                || QByteArray(c.name).startsWith("row PNG-24"))
                all.push_back(c);
    } else {
        all.insert(all.end(), webCases.begin(), webCases.end());
    }
    for (const Case &c : all) {
        const Timing t = timeChange(window, c.change, n);
        const double im = magick && !c.magickArgs.isEmpty() ? timeMagick(c.magickArgs, n) : -1;
        const QString goal = c.goalMs > 0 ? QStringLiteral("%1 %2").arg(c.goalMs).arg(t.shownMs <= c.goalMs ? "met" : "MISSED")
                                          : QStringLiteral("-");
        std::printf("%-42s %7.0f ms %12s %6.0f ms %9.0f ms %7.1fx  %s | %s\n", c.name, t.shownMs,
                    qPrintable(goal), t.stallMs, im, im > 0 ? im / t.shownMs : 0.0,
                    qPrintable(p.COptimizedPP->info()->typeValue()->text()),
                    qPrintable(p.COptimizedPP->info()->sizeValue()->text()));
        std::fflush(stdout);
    }

    if (parser.isSet(webOnly) || parser.isSet(goalsOnly))
        return 0;
    resizeLatency(window, n);

    // Five rows clicked through 50 ms apart, ending on GIF-256 Colors.
    choose(p.CboFiles, 12);
    QElapsedTimer settle;
    settle.start();
    awaitShown(window, settle, 0);
    const Timing single = timeChange(window, [&] { choose(p.CboFiles, 7); }, n);
    std::vector<std::function<void()>> burst;
    for (int row : {14, 3, 17, 12, 7})
        burst.push_back([&p, row] { choose(p.CboFiles, row); });
    const Timing five = timeBurst(window, burst);
    std::printf("%-42s %7.0f ms %12s %6.0f ms   (one change %.0f ms: %.2fx, goal 1.3x)\n",
                "five rows 50 ms apart, last GIF-256", five.shownMs, "-", five.stallMs,
                single.shownMs, five.shownMs / single.shownMs);
    return 0;
}

// Step 2 latency in the real window, offscreen, on a 4000 x 3000 photo: for
// each kind of option change, the time from the change to the optimized view
// holding the newly written picture and its labels. ImageMagick does the same
// encodes of the same picture beside it (from its own memory-mapped pixel
// cache, so that its decoding costs next to nothing).
#include "app/MainWindow.h"
#include "app/TabStrip.h"
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

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace pictrove;

namespace {

// The median of runs of one change, each ended once the optimized view has
// painted the new picture.
double timeChange(MainWindow &window, const std::function<void()> &change, int runs)
{
    QWidget *view = window.step2().COptimizedPP->viewport()->image();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        change();
        view->repaint();
        times.push_back(clock.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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

} // namespace

int main(int argc, char **argv)
{
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
    parser.addOption(photo);
    parser.addOption(runs);
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
        {"row GIF-256 Colors (Optimal, no dither)", 500, [&] { choose(p.CboFiles, 7); },
         {mpc, "+dither", "-colors", "256", out + ".gif"}},
        {"map Optimal on GIF-256", 500, [&] { choose(p.cboMap, optimal); },
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
        {"row PNG-24 bit", 0, [&] { choose(p.CboFiles, 14); }, {mpc, out + ".png"}},
        {"row JPEG - Low Quality", 250, [&] { choose(p.CboFiles, 15); },
         {mpc, "-quality", "10", out + ".jpg"}},
        {"row JPEG - Average Quality", 250, [&] { choose(p.CboFiles, 16); },
         {mpc, "-quality", "25", out + ".jpg"}},
        {"row JPEG - Normal Quality", 250, [&] { choose(p.CboFiles, 17); },
         {mpc, "-quality", "50", out + ".jpg"}},
        {"row JPEG - Good Quality", 250, [&] { choose(p.CboFiles, 18); },
         {mpc, "-quality", "75", out + ".jpg"}},
        {"row JPEG - Superb Quality", 250, [&] { choose(p.CboFiles, 19); },
         {mpc, "-quality", "100", out + ".jpg"}},
        {"row JPEG - Custom Quality", 250, [&] { choose(p.CboFiles, 20); },
         {mpc, "-quality", "60", out + ".jpg"}},
        {"JPEG preset Good", 250, [&] { choose(p.cboJpg, 3); },
         {mpc, "-quality", "75", out + ".jpg"}},
        {"custom quality 85", 250, [&] { p.TxtJPGD->setValue(p.TxtJPGD->value() == 85 ? 84 : 85); },
         {mpc, "-quality", "85", out + ".jpg"}},
    };
    std::printf("Step 2 on a %dx%d photo, median of %d (goal, and ImageMagick on the same "
                "picture)\n",
                picture.width(), picture.height(), n);
    std::printf("%-42s %10s %8s %12s %8s\n", "change", "Pictrove", "goal", "ImageMagick", "ratio");
    for (const Case &c : cases) {
        const double ms = timeChange(window, c.change, n);
        const double im = magick && !c.magickArgs.isEmpty() ? timeMagick(c.magickArgs, n) : -1;
        const QString goal = c.goalMs > 0 ? QStringLiteral("%1").arg(c.goalMs) : QStringLiteral("-");
        std::printf("%-42s %7.0f ms %8s %9.0f ms %7.1fx  %s | %s\n", c.name, ms, qPrintable(goal), im,
                    im > 0 ? im / ms : 0.0,
                    qPrintable(p.COptimizedPP->info()->typeValue()->text()),
                    qPrintable(p.COptimizedPP->info()->sizeValue()->text()));
        std::fflush(stdout);
    }
    return 0;
}

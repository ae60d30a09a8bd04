// Corpus benchmark of the batch worker: every picture of a corpus converted
// into catalogue formats exactly as the batch run does it (the sandboxed
// decoder process included), against ImageMagick doing the same work in the
// same run.
#include "BenchCorpus.h"
#include "CorpusJob.h"
#include "MemoryBench.h"
#include "PeerBench.h"
#include "ProcessRun.h"
#include "WindowBench.h"
#include "WebBench.h"
#include "ResizeBench.h"
#include "TestProfiles.h"

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "engine/conversion/BatchOutputName.h"
#include "app/BatchWiring.h"
#include "app/MainWindow.h"
#include "workflow/widgets/DestinationDialog.h"
#include "engine/conversion/BatchRun.h"
#include "selection/ImageSelection.h"
#include "platform/ProgramFolder.h"
#include "settings/StartupSettings.h"
#include "engine/conversion/BatchWorker.h"
#include "engine/conversion/ConversionContext.h"
#include "engine/conversion/LargeImageMemory.h"
#include "engine/conversion/StageClock.h"
#include "decoding/DecoderSandbox.h"
#include "decoding/PictureLoader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QProcess>
#include <QThread>
#include <QTextStream>

#include "decoding/DecoderSandbox.h"

#include <QStandardPaths>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <thread>

extern char **environ;

using namespace pictrove;
using namespace pictrove::bench;

namespace {

// The rows the speed aims name: GIF-256, PNG-8, PNG-24, JPEG q60, BMP-24,
// TGA-24, PCX-24, TIFF-24.
const QList<int> DefaultRows{7, 13, 14, 20, 12, 24, 22, 25};

// ImageMagick's arguments for the same output as a row (before the output
// name, which may carry a format prefix).
struct MagickJob {
    QStringList options;
    QString prefix;
};

MagickJob magickJob(int row)
{
    const FormatRow &r = *formatRow(row);
    if (r.kind == FormatKind::Web) {
        if (r.web == WebFormat::WebpLossless)
            return {{QStringLiteral("-define"), QStringLiteral("webp:lossless=true")}, {}};
        return {{QStringLiteral("-quality"), r.web == WebFormat::Avif ? QStringLiteral("60") : QStringLiteral("80")}, {}};
    }
    if (r.kind == FormatKind::Jpeg) {
        static const int qualities[] = {10, 25, 50, 75, 100, 60}; // FreeImage's preset flags
        return {{QStringLiteral("-quality"), QString::number(qualities[row - FirstJpegRow])}, {}};
    }
    const QString colours = QString::number(1 << r.bitDepth);
    if (r.kind == FormatKind::Gif)
        return {{QStringLiteral("+dither"), QStringLiteral("-colors"), colours}, {}};
    switch (r.libraryFormat) {
    case LibraryFormat::Bmp:
        if (r.bitDepth <= 8)
            return {{QStringLiteral("+dither"), QStringLiteral("-colors"), colours, QStringLiteral("-type"),
                     QStringLiteral("Palette")},
                    QStringLiteral("BMP3:")};
        if (r.bitDepth == 16)
            return {{QStringLiteral("-define"), QStringLiteral("bmp:subtype=RGB555")}, QStringLiteral("BMP3:")};
        return {{QStringLiteral("-type"), QStringLiteral("TrueColor")}, QStringLiteral("BMP3:")};
    case LibraryFormat::Png:
        if (r.bitDepth <= 8)
            return {{QStringLiteral("+dither"), QStringLiteral("-colors"), colours}, QStringLiteral("PNG8:")};
        return {{}, QStringLiteral("PNG24:")};
    case LibraryFormat::Tga:
        return {{QStringLiteral("-compress"), r.bitDepth == 16 ? QStringLiteral("RLE") : QStringLiteral("None")}, {}};
    case LibraryFormat::Tiff:
        return {{QStringLiteral("-compress"), QStringLiteral("lzw")}, {}};
    case LibraryFormat::Pcx:
        return {{QStringLiteral("-type"), QStringLiteral("TrueColor")}, {}};
    }
    return {};
}

struct Timing {
    double seconds = 0;
    int failures = 0;
};

// The corpus through the engine's batch run, exactly as pictrove-convert
// runs it (each worker reads ahead; several each have a decoder process).
Timing runOurs(int row, const std::vector<CorpusImage> &corpus, const QString &outFolder,
               StageTimes *stages, bool viaBmp, bool prefetchNext, int workers)
{
    FormatChoice choice;
    choice.row = row;
    BatchJob job = bench::corpusJob(choice, corpus, outFolder, workers);
    job.readAhead = prefetchNext;
    job.stageTimes = workers == 1 ? stages : nullptr;
    job.directColourInMemory = !viaBmp;

    Timing t;
    BatchCallbacks callbacks;
    callbacks.finished = [&t](std::size_t, const FileResult &r) {
        if (!r.ok()) {
            ++t.failures;
            QTextStream(stderr) << "  failed " << r.path << ": " << r.reason << '\n';
        }
    };
    QElapsedTimer timer;
    timer.start();
    runBatch(job, callbacks);
    t.seconds = double(timer.nsecsElapsed()) / 1e9;
    return t;
}

// The window's own batch run, offscreen: the basket filled with the
// corpus, the row chosen, then "Save All ..." to the end of the run, with
// the longest time the event loop did not get to turn (a frozen window).
struct WindowTiming : Timing {
    double longestStallMs = 0;
};

WindowTiming runWindow(MainWindow &window, int row, const std::vector<CorpusImage> &corpus,
                       const QString &outFolder)
{
    QStringList paths;
    for (const CorpusImage &image : corpus)
        paths << image.path;
    window.selection().removeAll();
    window.selection().dropFiles(paths);
    startupSettings().LastFormatIndex = std::int16_t(row);
    window.applyLastFormat(); // as choosing it in the list does
    window.batch().chooseDestination = [&outFolder](DestinationChoice) {
        return std::optional<Destination>(Destination{outFolder, QStringLiteral("win"), true, false});
    };
    WindowTiming t;
    QObject::connect(&window.batch().runner(), &BatchRunner::fileFinished, &window,
                     [&t](qint64, const FileResult &r) { t.failures += r.ok() ? 0 : 1; });
    QElapsedTimer sinceTick;
    QTimer ticker;
    // Often enough to see a stall of a tenth of a second, seldom enough not
    // to take a core from the run on a two-core machine.
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        t.longestStallMs = std::max(t.longestStallMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QElapsedTimer timer;
    timer.start();
    sinceTick.start();
    ticker.start();
    window.step2().cmdBatch->click();
    // Waiting as the window's own event loop does; with a time limit,
    // processEvents would not wait but spin, and take a core from the run.
    while (window.batch().runner().running())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    t.seconds = double(timer.nsecsElapsed()) / 1e9;
    QObject::disconnect(&window.batch().runner(), &BatchRunner::fileFinished, &window, nullptr);
    return t;
}

Timing runMagick(const QString &magick, int row, const std::vector<CorpusImage> &corpus,
                 const QString &outFolder)
{
    const MagickJob job = magickJob(row);
    const QString extension = formatRow(row)->extension;
    Timing t;
    QElapsedTimer timer;
    timer.start();
    std::int64_t position = 0;
    for (const CorpusImage &image : corpus) {
        const QString out = job.prefix + batchOutputPath(outFolder, QStringLiteral("magick"), ++position, extension);
        QProcess process;
        process.start(magick, QStringList{image.path} + job.options + QStringList{out});
        if (!process.waitForFinished(600000) || process.exitCode() != 0)
            ++t.failures;
    }
    t.seconds = double(timer.nsecsElapsed()) / 1e9;
    return t;
}

// A program run to its end with its wall time and its own peak resident size.
struct External {
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

External runExternal(const QString &program, const QStringList &arguments)
{
    const bench::WatchedRun watched = bench::runWatchingMemory(QStringList{program} + arguments);
    return External{watched.run.wallSeconds, watched.ownPeakKiB, watched.run.ok};
}

// The corpus photos as WebP, HEIC and AVIF (made once beside the corpus
// with Debian's encoders), each set converted to "JPEG - Good Quality" by
// one job and by all, against ImageMagick (where its build reads the
// format) and vips; wall time and peak resident size per tool.
void modernInputs(QTextStream &out, const std::vector<CorpusImage> &corpus, const QString &magick,
                  int workers, const QString &outFolder)
{
    const std::vector<CorpusImage> photos = corpusPhotos(corpus);
    if (photos.empty())
        return;
    const int row = FirstJpegRow + 3; // JPEG - Good Quality
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    out << "\nmodern inputs: " << photos.size() << " photos to " << formatRow(row)->listText << "\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
               .arg(QStringLiteral("source"), -8)
               .arg(QStringLiteral("1 job s"), 9).arg(QStringLiteral("peak MiB"), 9)
               .arg(QStringLiteral("%1 jobs s").arg(workers), 10)
               .arg(QStringLiteral("magick s"), 9).arg(QStringLiteral("peak MiB"), 9)
               .arg(QStringLiteral("vips s"), 9).arg(QStringLiteral("peak MiB"), 9);
    struct Source { const char *extension; QStringList encoder; };
    const Source sources[] = {
        {"webp", {QStringLiteral("cwebp"), QStringLiteral("-quiet"), QStringLiteral("-q"), QStringLiteral("80"),
                  QStringLiteral("%in"), QStringLiteral("-o"), QStringLiteral("%out")}},
        {"heic", {QStringLiteral("heif-enc"), QStringLiteral("-q"), QStringLiteral("80"), QStringLiteral("%in"),
                  QStringLiteral("-o"), QStringLiteral("%out")}},
        {"avif", {QStringLiteral("avifenc"), QStringLiteral("-s"), QStringLiteral("8"), QStringLiteral("%in"),
                  QStringLiteral("%out")}},
    };
    for (const Source &source : sources) {
        const QString extension = QLatin1String(source.extension);
        std::vector<CorpusImage> set;
        bool made = true;
        for (const CorpusImage &photo : photos) {
            const QFileInfo info(photo.path);
            const QString folder = info.absolutePath() + QStringLiteral("/modern-") + extension;
            QDir().mkpath(folder);
            const QString path = folder + u'/' + info.completeBaseName() + u'.' + extension;
            if (!QFileInfo::exists(path)) {
                QStringList arguments = source.encoder.mid(1);
                arguments.replaceInStrings(QStringLiteral("%in"), photo.path);
                arguments.replaceInStrings(QStringLiteral("%out"), path);
                if (!runExternal(source.encoder.first(), arguments).ok) {
                    made = false;
                    break;
                }
            }
            set.push_back({path, photo.width, photo.height});
        }
        if (!made) {
            out << extension << ": " << source.encoder.first() << " could not make the pictures\n";
            continue;
        }
        QDir(outFolder).removeRecursively();
        QDir().mkpath(outFolder);
        const Timing one = runOurs(row, set, outFolder, nullptr, false, true, 1);
        rusage self{};
        ::getrusage(RUSAGE_SELF, &self);
        const double ourPeak = double(std::max<std::int64_t>(self.ru_maxrss, DecoderSandbox::shared().stats().peakKiB)) / 1024;
        const Timing all = workers > 1 ? runOurs(row, set, outFolder, nullptr, false, false, workers) : one;
        // Another tool's time and peak over the set, or nothing where it fails.
        const auto other = [&](const QString &program, auto argumentsFor) -> QString {
            if (program.isEmpty())
                return QStringLiteral("%1 %2").arg(QStringLiteral("-"), 9).arg(QStringLiteral("-"), 9);
            double seconds = 0;
            long peak = 0;
            std::int64_t position = 0;
            for (const CorpusImage &image : set) {
                const QString target = batchOutputPath(outFolder, QStringLiteral("other"), ++position, QStringLiteral("jpg"));
                const External e = runExternal(program, argumentsFor(image.path, target));
                if (!e.ok)
                    return QStringLiteral("%1 %2").arg(QStringLiteral("fails"), 9).arg(QStringLiteral("-"), 9);
                seconds += e.seconds;
                peak = std::max(peak, e.peakKiB);
            }
            return QStringLiteral("%1 %2").arg(seconds, 9, 'f', 2).arg(double(peak) / 1024, 9, 'f', 1);
        };
        const QString magickText = other(magick, [](const QString &in, const QString &to) {
            return QStringList{in, QStringLiteral("-quality"), QStringLiteral("75"), to};
        });
        const QString vipsText = other(vips, [](const QString &in, const QString &to) {
            return QStringList{QStringLiteral("copy"), in, to + QStringLiteral("[Q=75]")};
        });
        out << QStringLiteral("%1 %2 %3 %4 ").arg(extension, -8).arg(one.seconds, 9, 'f', 2)
                   .arg(ourPeak, 9, 'f', 1).arg(all.seconds, 10, 'f', 2)
            << magickText << ' ' << vipsText;
        if (one.failures || all.failures)
            out << "  (failures: " << one.failures << ", " << all.failures << ')';
        out << '\n';
        out.flush();
    }
}

// At most n pictures spread evenly over the corpus (photos and graphics
// alike), for a quick run.
std::vector<CorpusImage> spreadSubset(const std::vector<CorpusImage> &corpus, int n)
{
    if (n <= 0 || std::size_t(n) >= corpus.size())
        return corpus;
    std::vector<CorpusImage> subset;
    for (int i = 0; i < n; ++i)
        subset.push_back(corpus[std::size_t(i) * corpus.size() / std::size_t(n)]);
    return subset;
}

// Each picture as a PNG (stored, not deflated, so that reading it costs
// little), made once beside the corpus for the peers that read only PNG.
QStringList pngCopies(const std::vector<CorpusImage> &corpus)
{
    QStringList copies;
    for (const CorpusImage &image : corpus) {
        const QFileInfo info(image.path);
        const QString folder = info.absolutePath() + QStringLiteral("/png-copies");
        QDir().mkpath(folder);
        const QString copy = folder + u'/' + info.completeBaseName() + u'-' + info.suffix() + QStringLiteral(".png");
        if (!QFileInfo::exists(copy)) {
            const QString part = copy + QStringLiteral(".part.png");
            const ProcessRun made = runProcess({QStringLiteral("/usr/bin/convert"), image.path, QStringLiteral("-define"),
                                                QStringLiteral("png:compression-level=0"),
                                                QStringLiteral("PNG24:") + part});
            if (!made.ok || !QFile::rename(part, copy)) {
                QFile::remove(part);
                return {};
            }
        }
        copies << copy;
    }
    return copies;
}

// The corpus read as the converter reads it, each of jobs threads through
// a decoder process of its own, nothing converted or written: the least
// time a converter of ours needs however fast it converts and writes.
// Median of rounds.
double readingAlone(const std::vector<CorpusImage> &corpus, int jobs, int rounds)
{
    std::vector<double> walls;
    std::vector<std::unique_ptr<DecoderSandbox>> sandboxes;
    for (int j = 0; j < jobs; ++j)
        sandboxes.push_back(std::make_unique<DecoderSandbox>());
    for (int round = 0; round < rounds; ++round) {
        std::atomic<std::size_t> next{0};
        QElapsedTimer clock;
        clock.start();
        std::vector<std::thread> threads;
        for (int j = 0; j < jobs; ++j)
            threads.emplace_back([&, sandbox = sandboxes[std::size_t(j)].get()] {
                for (std::size_t i = next++; i < corpus.size(); i = next++) {
                    const QString &path = corpus[i].path;
                    const LoadResult read =
                        sandbox->load(path, QFileInfo(path).suffix().toLower(), LoaderTable::Batch);
                    if (!read.ok)
                        QTextStream(stderr) << "not read: " << path << ": " << read.error << '\n';
                }
            });
        for (std::thread &t : threads)
            t.join();
        walls.push_back(double(clock.nsecsElapsed()) / 1e9);
    }
    std::sort(walls.begin(), walls.end());
    return walls[walls.size() / 2];
}

// The table: pictrove-convert as a user runs it beside the peers,
// per row, then the ratios and the goals.
void peerTable(QTextStream &out, const std::vector<CorpusImage> &corpus, const QList<int> &rows, int rounds,
               bool extraPeers, const QString &outFolder)
{
    PeerSetup setup;
    setup.extraPeers = extraPeers;
    setup.converter = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pictrove-convert"));
    setup.parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    setup.jobs = std::max(1, QThread::idealThreadCount());
    setup.rounds = rounds;
    setup.outFolder = outFolder;
    double megapixels = 0;
    for (const CorpusImage &image : corpus) {
        setup.inputs << image.path;
        megapixels += image.megapixels();
    }
    std::vector<PeerRow> plan;
    for (int row : rows) {
        if (const PeerRow *known = peerRow(row)) {
            plan.push_back(*known);
        } else {
            const FormatRow *format = formatRow(row);
            plan.push_back({row, format->listText, {}, format->extension, {}});
        }
    }
    const bool wantsPng = std::any_of(plan.begin(), plan.end(), [](const PeerRow &r) {
        return std::any_of(r.peers.begin(), r.peers.end(), [](const PeerCommand &p) { return p.pngInput; });
    });
    if (wantsPng && QFileInfo(QStringLiteral("/usr/bin/convert")).isExecutable())
        setup.pngInputs = pngCopies(corpus);
    out << "peers: " << corpus.size() << " pictures, " << QString::number(megapixels, 'f', 1)
        << " megapixels; pictrove-convert with its default " << setup.jobs
        << " jobs and with 1; each peer one process per file, in turn and through GNU parallel -j" << setup.jobs
        << (setup.parallel.isEmpty() ? " (not installed: skipped)" : "") << "; median of " << rounds
        << " interleaved rounds; CPU = user + system of the whole process tree\n";
    if (wantsPng)
        out << "pngquant reads PNG copies of the pictures made beforehand (stored, not deflated): "
               "its decoding of the sources is not counted, ours is\n";
    out.flush();
    QTextStream log(stderr);
    std::vector<RowResult> results;
    for (const PeerRow &row : plan) {
        results.push_back(measureRow(row, setup, log));
        printRow(out, results.back(), true);
    }
    printRatios(out, results, setup.jobs, readingAlone(corpus, setup.jobs, rounds));
}

} // namespace

int main(int argc, char *argv[])
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    restartForPictureWork(argv); // as pictrove-convert does
    keepLargeImageBuffers();
    QApplication app(argc, argv);
    QTextStream out(stdout);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Converts a corpus into catalogue formats through the batch worker and ImageMagick."));
    parser.addHelpOption();
    const QCommandLineOption corpusOption(QStringLiteral("corpus"),
        QStringLiteral("Folder of pictures to convert (default: a generated corpus in the build tree)."), QStringLiteral("DIR"));
    const QCommandLineOption rowsOption(QStringLiteral("rows"),
        QStringLiteral("Catalogue rows, comma-separated, or \"all\" (default 7,13,14,20,12,24,22,25)."), QStringLiteral("LIST"));
    const QCommandLineOption scaleOption(QStringLiteral("scale"),
        QStringLiteral("Side scale of the generated corpus, for a quick run (default 1)."), QStringLiteral("F"));
    const QCommandLineOption noMagickOption(QStringLiteral("no-magick"), QStringLiteral("Skip ImageMagick."));
    const QCommandLineOption stagesOption(QStringLiteral("stages"), QStringLiteral("Print where the time goes."));
    const QCommandLineOption inProcessOption(QStringLiteral("in-process"),
        QStringLiteral("Decode in this process instead of the decoder process (to measure the hand-over)."));
    const QCommandLineOption viaBmpOption(QStringLiteral("via-bmp"),
        QStringLiteral("True-colour rows through a BMP written and read back, as the slow route does."));
    const QCommandLineOption noPrefetchOption(QStringLiteral("no-prefetch"),
        QStringLiteral("Read each picture only when its turn comes."));
    const QCommandLineOption jobsOption(QStringLiteral("jobs"),
        QStringLiteral("Also time the batch run with N workers (default: one per processor; 1: skip)."), QStringLiteral("N"));
    const QCommandLineOption windowOption(QStringLiteral("window"),
        QStringLiteral("Also time the window's own batch run (offscreen) and its longest stall."));
    const QCommandLineOption repeatOption(QStringLiteral("repeat"),
        QStringLiteral("Runs of each conversion; the fastest counts (default 1)."), QStringLiteral("N"));
    const QCommandLineOption modernOption(QStringLiteral("modern"),
        QStringLiteral("Also convert the corpus photos made WebP, HEIC and AVIF, against ImageMagick and vips."));
    const QCommandLineOption modernOnlyOption(QStringLiteral("modern-only"),
        QStringLiteral("Only the modern-inputs line."));
    const QCommandLineOption webOption(QStringLiteral("web"),
        QStringLiteral("Only the WebP and AVIF rows against cwebp, avifenc and vips (wall time, size, SSIM)."));
    const QCommandLineOption resizeOption(QStringLiteral("resize"),
        QStringLiteral("Also resize the corpus photos to a longest side of 1920, against vipsthumbnail and "
                       "ImageMagick, with the SSIM against a Lanczos-3 reference."));
    const QCommandLineOption resizeOnlyOption(QStringLiteral("resize-only"), QStringLiteral("Only the resize line."));
    const QCommandLineOption tagOption(QStringLiteral("tag-profile"),
        QStringLiteral("Also time each row (one worker) on a copy of the corpus whose JPEG photos carry an "
                       "Adobe RGB profile, against the untagged corpus."));
    parser.addOptions({corpusOption, rowsOption, scaleOption, noMagickOption, stagesOption, inProcessOption,
                       repeatOption, viaBmpOption, noPrefetchOption, jobsOption, windowOption, modernOption,
                       modernOnlyOption, tagOption, webOption});
    const QCommandLineOption peersOption(QStringLiteral("peers"),
        QStringLiteral("Only the table of pictrove-convert against ImageMagick, GraphicsMagick, vips, pngquant and "
                       "djpeg | cjpeg (in turn and through GNU parallel), with the ratios and the speed goals."));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
        QStringLiteral("Interleaved rounds of --peers; the median counts (default 3)."), QStringLiteral("N"));
    const QCommandLineOption filesOption(QStringLiteral("files"),
        QStringLiteral("Only N pictures spread over the corpus, for a quick run."), QStringLiteral("N"));
    const QCommandLineOption memoryOption(QStringLiteral("memory"),
        QStringLiteral("Only the peak memory of pictrove-convert -j1 on a 10000 x 10000 photo, per row, "
                       "against 3 x its pixel memory."));
    const QCommandLineOption morePeersOption(QStringLiteral("more-peers"),
        QStringLiteral("With --peers, GraphicsMagick also on the GIF, PNG and JPEG rows (a longer run)."));
    parser.addOptions({resizeOption, resizeOnlyOption, peersOption, roundsOption, filesOption, memoryOption,
                       morePeersOption});
    parser.process(app);

    std::vector<CorpusImage> corpus;
    if (parser.isSet(corpusOption)) {
        corpus = scanCorpus(parser.value(corpusOption));
    } else {
        const double scale = parser.isSet(scaleOption) ? parser.value(scaleOption).toDouble() : 1.0;
        const QString folder = QDir(QCoreApplication::applicationDirPath()).filePath(
            scale == 1.0 ? QStringLiteral("../bench-corpus") : QStringLiteral("../bench-corpus-%1").arg(scale));
        QString error;
        corpus = makeCorpus(QDir::cleanPath(folder), scale, &error);
        if (corpus.empty()) {
            QTextStream(stderr) << error << '\n';
            return 1;
        }
    }
    if (corpus.empty()) {
        QTextStream(stderr) << "no pictures in the corpus\n";
        return 1;
    }
    const QString corpusFolder = QFileInfo(corpus.front().path).absolutePath();
    if (parser.isSet(filesOption))
        corpus = spreadSubset(corpus, parser.value(filesOption).toInt());
    if (parser.isSet(inProcessOption))
        setLoaderMode(LoaderMode::InProcess);
    std::vector<CorpusImage> tagged;
    if (parser.isSet(tagOption)) {
        QString error;
        tagged = taggedCorpus(corpus, QDir::cleanPath(QDir(QCoreApplication::applicationDirPath())
                                                          .filePath(QStringLiteral("../bench-corpus-tagged"))),
                              test::adobeRgbLikeProfile(), &error);
        if (tagged.empty()) {
            QTextStream(stderr) << error << '\n';
            return 1;
        }
    }

    QList<int> rows = DefaultRows;
    if (parser.isSet(rowsOption)) {
        rows.clear();
        if (parser.value(rowsOption) == QLatin1String("all")) {
            for (int r = 0; r < FormatCount; ++r)
                rows << r;
        } else {
            for (const QString &item : parser.value(rowsOption).split(QLatin1Char(','))) {
                bool ok = false;
                const int r = item.toInt(&ok);
                if (ok && formatRow(r))
                    rows << r;
            }
        }
    }

    if (parser.isSet(peersOption) || parser.isSet(memoryOption)) {
        QElapsedTimer whole;
        whole.start();
        const QString scratch = QDir::cleanPath(
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../bench-out")));
        if (parser.isSet(peersOption))
            peerTable(out, corpus, rows, parser.isSet(roundsOption) ? std::max(1, parser.value(roundsOption).toInt()) : 3,
                      parser.isSet(morePeersOption), scratch);
        if (parser.isSet(memoryOption)) {
            // A real photo when the backgrounds are installed, else the
            // corpus's largest picture.
            QString source = QString::fromLatin1(DefaultPhoto);
            if (!QFileInfo::exists(source))
                source = std::max_element(corpus.begin(), corpus.end(), [](const CorpusImage &a, const CorpusImage &b) {
                             return a.megapixels() < b.megapixels();
                         })->path;
            QString error;
            const QString photo = hundredMegapixelPhoto(corpusFolder + QStringLiteral("/memory"), source, &error);
            if (photo.isEmpty()) {
                QTextStream(stderr) << error << '\n';
                return 1;
            }
            out << '\n';
            memoryRows(out, QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pictrove-convert")),
                       rows, photo, scratch);
        }
        out << "\nthe run took " << QString::number(double(whole.elapsed()) / 60000, 'f', 1) << " min\n";
        return 0;
    }

    double megapixels = 0;
    for (const CorpusImage &image : corpus)
        megapixels += image.megapixels();
    const QString magick = parser.isSet(noMagickOption) ? QString() : imageMagickProgram();
    out << "corpus: " << corpus.size() << " pictures, " << QString::number(megapixels, 'f', 1)
        << " megapixels; decoder: "
        << (loaderMode() == LoaderMode::InProcess ? "in process" : "decoder process")
        << "; ImageMagick: " << (magick.isEmpty() ? QStringLiteral("not used") : magick) << "\n\n";
    const int workers = parser.isSet(jobsOption) ? std::max(1, parser.value(jobsOption).toInt())
                                                 : std::max(1, QThread::idealThreadCount());
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
               .arg(QStringLiteral("format"), -28)
               .arg(QStringLiteral("ours s"), 8)
               .arg(QStringLiteral("img/s"), 7)
               .arg(QStringLiteral("MP/s"), 7)
               .arg(QStringLiteral("magick s"), 9)
               .arg(QStringLiteral("speed-up"), 8)
               .arg(QStringLiteral("%1 jobs s").arg(workers), 10)
               .arg(QStringLiteral("x 1 job"), 8)
        << (parser.isSet(windowOption) ? QStringLiteral(" %1 %2 %3").arg(QStringLiteral("window s"), 9)
                                             .arg(QStringLiteral("vs 1 job"), 8)
                                             .arg(QStringLiteral("stall ms"), 8)
                                       : QString())
        << '\n';
    out.flush();

    // The window for --window: a program folder and runtime of the bench's own.
    std::unique_ptr<MainWindow> window;
    QTemporaryDir windowHome(QDir::currentPath() + QStringLiteral("/bench-window-XXXXXX"));
    if (parser.isSet(windowOption)) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(windowHome.path()));
        setProgramFolder(windowHome.path());
        startupSettings() = defaultStartupSettings();
        window = std::make_unique<MainWindow>();
        window->resize(1000, 700);
        window->formLoad();
        window->show();
    }
    const QString outFolder = QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../bench-out")));
    if (parser.isSet(modernOnlyOption) || parser.isSet(webOption)
        || parser.isSet(resizeOnlyOption))
        rows.clear();
    for (int row : rows) {
        QDir(outFolder).removeRecursively();
        QDir().mkpath(outFolder);
        const int repeat = std::max(1, parser.value(repeatOption).toInt());
        StageTimes stages;
        Timing ours;
        Timing oursTagged;
        Timing theirs;
        Timing parallel;
        WindowTiming windowRun;
        for (int run = 0; run < repeat; ++run) {
            StageTimes runStages;
            const Timing t = runOurs(row, corpus, outFolder, parser.isSet(stagesOption) ? &runStages : nullptr,
                                   parser.isSet(viaBmpOption), !parser.isSet(noPrefetchOption), 1);
            if (run == 0 || t.seconds < ours.seconds) {
                ours = t;
                stages = runStages;
            }
            if (!tagged.empty()) {
                const Timing t = runOurs(row, tagged, outFolder, nullptr, parser.isSet(viaBmpOption),
                                         !parser.isSet(noPrefetchOption), 1);
                if (run == 0 || t.seconds < oursTagged.seconds)
                    oursTagged = t;
            }
            if (window) {
                const WindowTiming w = runWindow(*window, row, corpus, outFolder);
                if (run == 0 || w.seconds < windowRun.seconds)
                    windowRun = w;
            }
            if (workers > 1) {
                const Timing p = runOurs(row, corpus, outFolder, nullptr, parser.isSet(viaBmpOption),
                                         !parser.isSet(noPrefetchOption), workers);
                if (run == 0 || p.seconds < parallel.seconds)
                    parallel = p;
            }
            if (!magick.isEmpty()) {
                const Timing m = runMagick(magick, row, corpus, outFolder);
                if (run == 0 || m.seconds < theirs.seconds)
                    theirs = m;
            }
        }
        out << QStringLiteral("%1 %2 %3 %4 ")
                   .arg(formatRow(row)->listText, -28)
                   .arg(ours.seconds, 8, 'f', 2)
                   .arg(double(corpus.size()) / ours.seconds, 7, 'f', 2)
                   .arg(megapixels / ours.seconds, 7, 'f', 1);
        if (!magick.isEmpty())
            out << QStringLiteral("%1 %2x").arg(theirs.seconds, 9, 'f', 2).arg(theirs.seconds / ours.seconds, 7, 'f', 2);
        else
            out << QString(18, QLatin1Char(' '));
        if (workers > 1)
            out << QStringLiteral(" %1 %2x").arg(parallel.seconds, 10, 'f', 2).arg(ours.seconds / parallel.seconds, 7, 'f', 2);
        if (window)
            out << QStringLiteral(" %1 %2 %3").arg(windowRun.seconds, 9, 'f', 2)
                       .arg(QStringLiteral("%1%").arg((windowRun.seconds / ours.seconds - 1) * 100, 0, 'f', 1), 8)
                       .arg(windowRun.longestStallMs, 8, 'f', 1);
        if (ours.failures || theirs.failures)
            out << "  (failures: ours " << ours.failures << ", magick " << theirs.failures << ')';
        out << '\n';
        if (!tagged.empty()) {
            out << QStringLiteral("%1 %2 %3 %4  %5 vs untagged")
                       .arg(QStringLiteral("  photos tagged Adobe RGB"), -28)
                       .arg(oursTagged.seconds, 8, 'f', 2)
                       .arg(double(tagged.size()) / oursTagged.seconds, 7, 'f', 2)
                       .arg(megapixels / oursTagged.seconds, 7, 'f', 1)
                       .arg(QStringLiteral("%1%2%").arg(oursTagged.seconds >= ours.seconds ? "+" : "")
                                .arg((oursTagged.seconds / ours.seconds - 1) * 100, 0, 'f', 1));
            if (oursTagged.failures)
                out << "  (failures: " << oursTagged.failures << ')';
            out << '\n';
        }
        if (parser.isSet(stagesOption)) {
            for (int s = 0; s < StageTimes::Count; ++s) {
                const double seconds = double(stages.total[s].count()) / 1e9;
                if (seconds > 0)
                    out << QStringLiteral("    %1 %2 s\n").arg(QString::fromLatin1(StageTimes::name(StageTimes::Stage(s))), -44).arg(seconds, 7, 'f', 2);
            }
        }
        out.flush();
    }
    if (parser.isSet(modernOption) || parser.isSet(modernOnlyOption))
        modernInputs(out, corpus, magick, workers, outFolder);
    if (parser.isSet(webOption))
        webRows(out, corpus, workers, outFolder);
    if (parser.isSet(resizeOption) || parser.isSet(resizeOnlyOption))
        bench::resizeLine(out, corpus, magick, workers, outFolder);
    QDir(outFolder).removeRecursively();
    return 0;
}

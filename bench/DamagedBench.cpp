// pictrove-bench-damaged: a generated set of small damaged files of every
// recognised extension through the real decoder process, as a batch and a
// Step 1 click meet them, then through pictrove-convert as a user runs it.
// Prints the total time, the slowest files and the decoder's peak memory.
//
//   pictrove-bench-damaged [--files N] [--keep DIR]
#include "LoaderFixtures.h"
#include "Mutants.h"

#include "decoding/DeclaredSize.h"
#include "decoding/DecoderSandbox.h"
#include "decoding/ImageExtensions.h"
#include "decoding/PictureLoader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <random>

using namespace pictrove;

namespace {

struct Damaged {
    QString path;
    QString extension;
    qint64 bytes = 0;
    std::int64_t declaredPixels = -1; // -1: the header says nothing
};

struct Timed {
    const Damaged *file = nullptr;
    qint64 ms = 0;
    LoadResult result;
};

// The goal's group: damaged files small enough that their failure must be quick.
bool isSmall(const Damaged &d)
{
    return d.bytes < 64 * 1024 && d.declaredPixels < 1'000'000;
}

std::vector<Damaged> makeDamagedFiles(const QString &folder, int count)
{
    // One fixture per recognised extension, in the list's order.
    std::vector<test::LoaderFixture> fixtures;
    const auto all = test::loaderFixtures();
    for (const QString &ext : recognisedExtensions()) {
        for (const auto &f : all) {
            if (QFileInfo(f.name).suffix() == ext) {
                fixtures.push_back(f);
                break;
            }
        }
    }
    std::vector<Damaged> files;
    for (int i = 0; i < count; ++i) {
        const test::LoaderFixture &fixture = fixtures[std::size_t(i) % fixtures.size()];
        std::mt19937 random(20261209u + quint32(i));
        const QByteArray bytes = test::mutate(fixture.bytes, random);
        Damaged d;
        d.extension = QFileInfo(fixture.name).suffix();
        d.path = QStringLiteral("%1/%2-%3").arg(folder).arg(i, 3, 10, QLatin1Char('0')).arg(fixture.name);
        QFile out(d.path);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
            return {};
        out.close();
        d.bytes = bytes.size();
        if (const auto declared = declaredSizeOf(d.path, d.extension))
            d.declaredPixels = declared->pixels();
        files.push_back(d);
    }
    return files;
}

void printSlowest(const char *title, std::vector<Timed> timed, std::size_t shown)
{
    std::sort(timed.begin(), timed.end(), [](const Timed &a, const Timed &b) { return a.ms > b.ms; });
    std::printf("  %s\n", title);
    for (std::size_t i = 0; i < std::min(shown, timed.size()); ++i) {
        const Timed &t = timed[i];
        const QString declared = t.file->declaredPixels < 0
            ? QStringLiteral("no size readable")
            : QStringLiteral("%1 px declared").arg(t.file->declaredPixels);
        std::printf("    %6lld ms  %-22s %7lld bytes  %-20s %s\n", t.ms,
                    qPrintable(QFileInfo(t.file->path).fileName()), t.file->bytes,
                    qPrintable(declared), t.result.ok ? "loaded" : qPrintable(t.result.error));
    }
}

void runTable(const std::vector<Damaged> &files, LoaderTable table, const char *name)
{
    DecoderSandbox &sandbox = DecoderSandbox::shared();
    sandbox.setOptions({}); // the program's own limits, and a fresh decoder
    const auto before = sandbox.stats();
    std::vector<Timed> timed;
    QElapsedTimer total;
    total.start();
    for (const Damaged &d : files) {
        QElapsedTimer clock;
        clock.start();
        LoadResult r = loadPicture(d.path, table);
        timed.push_back({&d, clock.elapsed(), std::move(r)});
    }
    const qint64 totalMs = total.elapsed();
    const auto stats = sandbox.stats();

    int loaded = 0, smallOverSecond = 0, small = 0;
    qint64 slowestSmall = 0, slowestOther = 0;
    QMap<QString, int> messages;
    for (const Timed &t : timed) {
        loaded += t.result.ok ? 1 : 0;
        if (!t.result.ok)
            ++messages[t.result.error];
        if (isSmall(*t.file)) {
            ++small;
            slowestSmall = std::max(slowestSmall, t.ms);
            smallOverSecond += t.ms >= 1000 ? 1 : 0;
        } else {
            slowestOther = std::max(slowestOther, t.ms);
        }
    }
    std::printf("\n%s table: %zu files in %.2f s (%d loaded, %zu failed)\n", name, files.size(),
                double(totalMs) / 1000.0, loaded, files.size() - std::size_t(loaded));
    std::printf("  small files (< 64 KiB, < 1 MP declared): %d, slowest %lld ms, %d took 1 s or more\n",
                small, slowestSmall, smallOverSecond);
    std::printf("  the other %zu files: slowest %lld ms\n", files.size() - std::size_t(small), slowestOther);
    std::printf("  decoders started %d, decodes crashed %d, timed out %d; largest decode %.1f MiB resident\n",
                stats.started - before.started, stats.crashed - before.crashed,
                stats.timedOut - before.timedOut, double(stats.peakKiB) / 1024.0);
    for (auto it = messages.cbegin(); it != messages.cend(); ++it)
        std::printf("  %5d  %s\n", it.value(), qPrintable(it.key()));
    printSlowest("slowest files:", timed, 5);
}

// The whole set through the converter as a user would run it, one job and
// all processors.
void runConverter(const std::vector<Damaged> &files, const QString &folder)
{
    const QString converter = QCoreApplication::applicationDirPath() + QStringLiteral("/pictrove-convert");
    if (!QFileInfo(converter).isExecutable()) {
        std::printf("\npictrove-convert not found beside the benchmark\n");
        return;
    }
    QStringList inputs;
    for (const Damaged &d : files)
        inputs << d.path;
    for (const QString &jobs : {QStringLiteral("1"), QString::number(QThread::idealThreadCount())}) {
        const QString out = folder + QStringLiteral("/out-") + jobs;
        QDir().mkpath(out);
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        process.start(converter, QStringList{QStringLiteral("-q"), QStringLiteral("-j"), jobs,
                                             QStringLiteral("-f"), QStringLiteral("14"),
                                             QStringLiteral("-o"), out}
                                     + inputs);
        process.waitForFinished(-1);
        const qint64 ms = clock.elapsed();
        const QString summary = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        std::printf("\npictrove-convert -j %s, PNG-24: %.2f s; %s\n", qPrintable(jobs),
                    double(ms) / 1000.0, qPrintable(summary.section(u'\n', -1)));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Damaged files through the decoder"));
    parser.addHelpOption();
    QCommandLineOption filesOption(QStringLiteral("files"), QStringLiteral("Number of files."),
                                   QStringLiteral("N"), QStringLiteral("500"));
    QCommandLineOption keepOption(QStringLiteral("keep"), QStringLiteral("Write the files here and keep them."),
                                  QStringLiteral("DIR"));
    parser.addOptions({filesOption, keepOption});
    parser.process(app);

    QTemporaryDir temporary;
    const QString folder = parser.isSet(keepOption) ? parser.value(keepOption) : temporary.path();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "no folder to write the files in\n");
        return 1;
    }
    const std::vector<Damaged> files = makeDamagedFiles(folder, std::max(1, parser.value(filesOption).toInt()));
    if (files.empty()) {
        std::fprintf(stderr, "could not write the damaged files\n");
        return 1;
    }
    qint64 bytes = 0;
    for (const Damaged &d : files)
        bytes += d.bytes;
    std::printf("%zu damaged files of %d extensions, %lld bytes in all\n", files.size(),
                int(recognisedExtensions().size()), bytes);

    setLoaderMode(LoaderMode::Sandboxed);
    runTable(files, LoaderTable::Batch, "Batch");
    runTable(files, LoaderTable::Preview, "Preview");
    DecoderSandbox::shared().setOptions({}); // stop the decoder, so that it counts below
    runConverter(files, folder);

    // Decoders end when their program does; the largest of every process
    // this benchmark started, decode children included.
    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    std::printf("\nlargest resident size of any decoder or converter: %.1f MiB\n",
                double(children.ru_maxrss) / 1024.0);
    return 0;
}

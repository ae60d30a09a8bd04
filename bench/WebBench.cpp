#include "WebBench.h"

#include "CorpusJob.h"
#include "ImageQuality.h"

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "engine/conversion/BatchRun.h"
#include "engine/core/WebCodecs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>

#include <vector>

namespace pictrove::bench {

namespace {

// One tool's run over the set: wall time, bytes written, mean SSIM of what
// it wrote against the source picture.
struct Result {
    double seconds = -1;
    qint64 bytes = 0;
    double ssim = 0;
    int failures = 0;
};

QImage readSource(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// The written files, in input order, measured against their sources.
void measure(Result &r, const std::vector<CorpusImage> &set, const std::vector<QString> &outputs, web::Codec codec)
{
    double sum = 0;
    int counted = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        QFile file(outputs[i]);
        if (!file.open(QIODevice::ReadOnly)) {
            ++r.failures;
            continue;
        }
        const QByteArray bytes = file.readAll();
        r.bytes += bytes.size();
        const QImage written = web::decodeOwn(codec, bytes);
        const QImage source = readSource(set[i].path);
        if (written.isNull() || written.size() != source.size()) {
            ++r.failures;
            continue;
        }
        sum += ssim(source, written.convertToFormat(QImage::Format_RGB32));
        ++counted;
    }
    r.ssim = counted ? sum / counted : 0;
}

QString outputOf(const QString &folder, const QString &tool, const CorpusImage &image, const QString &extension)
{
    return folder + u'/' + tool + u'-' + QFileInfo(image.path).completeBaseName() + u'.' + extension;
}

Result runOursOn(int row, const std::vector<CorpusImage> &set, const QString &folder, int workers)
{
    FormatChoice choice;
    choice.row = row;
    const BatchJob job = corpusJob(choice, set, folder, workers);
    Result r;
    QElapsedTimer timer;
    timer.start();
    const BatchSummary summary = runBatch(job, {});
    r.seconds = double(timer.nsecsElapsed()) / 1e9;
    r.failures = int(summary.failed + summary.skipped);
    std::vector<QString> outputs;
    for (std::size_t i = 0; i < set.size(); ++i)
        outputs.push_back(folder + QStringLiteral("/ours%1.").arg(i + 1) + formatRow(row)->extension);
    measure(r, set, outputs, row == AvifRow ? web::Codec::Avif : web::Codec::WebpLossy);
    return r;
}

// A peer's command per file, "%in" and "%out" replaced: one process per file
// in turn, or all of them through GNU parallel with `jobs` at once.
Result runPeer(const QStringList &command, const std::vector<CorpusImage> &set, const QString &folder,
               const QString &tool, const QString &extension, web::Codec codec, int jobs)
{
    Result r;
    const QString program = QStandardPaths::findExecutable(command.first());
    const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    if (program.isEmpty() || (jobs > 1 && parallel.isEmpty()))
        return r;
    std::vector<QString> outputs;
    for (const CorpusImage &image : set)
        outputs.push_back(outputOf(folder, tool, image, extension));
    QElapsedTimer timer;
    timer.start();
    if (jobs <= 1) {
        for (std::size_t i = 0; i < set.size(); ++i) {
            QStringList arguments = command.mid(1);
            arguments.replaceInStrings(QStringLiteral("%in"), set[i].path);
            arguments.replaceInStrings(QStringLiteral("%out"), outputs[i]);
            QProcess process;
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.setStandardOutputFile(QProcess::nullDevice());
            process.start(program, arguments);
            if (!process.waitForFinished(-1) || process.exitCode() != 0)
                ++r.failures;
        }
    } else {
        // parallel -j N --link PROGRAM ARGS ::: inputs ::: outputs
        QStringList arguments{QStringLiteral("-j"), QString::number(jobs), QStringLiteral("--link"), program};
        for (QString argument : command.mid(1)) {
            argument.replace(QStringLiteral("%in"), QStringLiteral("{1}"));
            argument.replace(QStringLiteral("%out"), QStringLiteral("{2}"));
            arguments << argument;
        }
        arguments << QStringLiteral(":::");
        for (const CorpusImage &image : set)
            arguments << image.path;
        arguments << QStringLiteral(":::");
        for (const QString &output : outputs)
            arguments << output;
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(parallel, arguments);
        if (!process.waitForFinished(-1) || process.exitCode() != 0)
            ++r.failures;
    }
    r.seconds = double(timer.nsecsElapsed()) / 1e9;
    measure(r, set, outputs, codec);
    return r;
}

void printLine(QTextStream &out, const QString &name, const Result &r, const Result &reference)
{
    if (r.seconds < 0) {
        out << QStringLiteral("  %1 not installed\n").arg(name, -34);
        return;
    }
    out << QStringLiteral("  %1 %2 %3 %4 %5")
               .arg(name, -34)
               .arg(r.seconds, 8, 'f', 2)
               .arg(double(r.bytes) / (1024 * 1024), 9, 'f', 2)
               .arg(reference.bytes > 0 ? double(r.bytes) / double(reference.bytes) : 0.0, 7, 'f', 3)
               .arg(r.ssim, 7, 'f', 4);
    if (r.failures)
        out << "  (failures: " << r.failures << ')';
    out << '\n';
    out.flush();
}

} // namespace

void webRows(QTextStream &out, const std::vector<CorpusImage> &corpus, int workers, const QString &outFolder)
{
    // What every peer reads: the corpus's JPEG photos and PNG graphics.
    std::vector<CorpusImage> set;
    double megapixels = 0;
    for (const CorpusImage &image : corpus) {
        if (image.path.endsWith(QLatin1String(".jpg")) || image.path.endsWith(QLatin1String(".png"))) {
            set.push_back(image);
            megapixels += image.megapixels();
        }
    }
    if (set.empty())
        return;
    const QString q = QString::number(web::avifQuantizer(DefaultAvifQuality));
    const QString speed = QString::number(web::AvifSpeed);
    const QString threads = QString::number(workers);
    out << "\nweb rows: " << set.size() << " JPEG and PNG pictures of the corpus, "
        << QString::number(megapixels, 'f', 1) << " megapixels; bytes relative to ours, SSIM of the luma\n";
    out << QStringLiteral("  %1 %2 %3 %4 %5\n")
               .arg(QStringLiteral("tool"), -34)
               .arg(QStringLiteral("wall s"), 8)
               .arg(QStringLiteral("MiB"), 9)
               .arg(QStringLiteral("size"), 7)
               .arg(QStringLiteral("SSIM"), 7);

    struct Peer {
        QString name;
        QStringList command;
        int jobs;
    };
    struct RowRun {
        int row;
        web::Codec codec;
        std::vector<Peer> peers;
    };
    const std::vector<RowRun> runs = {
        {WebpLossyRow, web::Codec::WebpLossy,
         {{QStringLiteral("cwebp -q 80 -m 4 -mt"),
           {"cwebp", "-quiet", "-q", "80", "-m", "4", "-mt", "%in", "-o", "%out"}, 1},
          {QStringLiteral("cwebp -q 80 -m 4, parallel -j%1").arg(workers),
           {"cwebp", "-quiet", "-q", "80", "-m", "4", "%in", "-o", "%out"}, workers},
          {QStringLiteral("vips webpsave Q=80"), {"vips", "webpsave", "%in", "%out", "--Q", "80"}, 1},
          {QStringLiteral("vips webpsave Q=80, parallel -j%1").arg(workers),
           {"vips", "webpsave", "%in", "%out", "--Q", "80"}, workers}}},
        {WebpLosslessRow, web::Codec::WebpLossless,
         {{QStringLiteral("cwebp -lossless -m 4 -mt"),
           {"cwebp", "-quiet", "-lossless", "-m", "4", "-mt", "%in", "-o", "%out"}, 1},
          {QStringLiteral("cwebp -lossless -m 4, parallel -j%1").arg(workers),
           {"cwebp", "-quiet", "-lossless", "-m", "4", "%in", "-o", "%out"}, workers},
          {QStringLiteral("vips webpsave lossless"), {"vips", "webpsave", "%in", "%out", "--lossless"}, 1},
          {QStringLiteral("vips webpsave lossless, parallel -j%1").arg(workers),
           {"vips", "webpsave", "%in", "%out", "--lossless"}, workers}}},
        {AvifRow, web::Codec::Avif,
         {{QStringLiteral("avifenc -s %1 -j %2 --min/--max %3").arg(speed, threads, q),
           {"avifenc", "-s", speed, "-j", threads, "-y", "420", "--min", q, "--max", q, "--minalpha", "0",
            "--maxalpha", "0", "%in", "%out"}, 1},
          {QStringLiteral("avifenc -s %1 -j 1, parallel -j%2").arg(speed, threads),
           {"avifenc", "-s", speed, "-j", "1", "-y", "420", "--min", q, "--max", q, "--minalpha", "0",
            "--maxalpha", "0", "%in", "%out"}, workers},
          {QStringLiteral("vips heifsave av1 Q=60 effort=1"),
           {"vips", "heifsave", "%in", "%out", "--compression", "av1", "--Q", "60", "--effort", "1"}, 1},
          {QStringLiteral("vips heifsave av1 Q=60, parallel -j%1").arg(workers),
           {"vips", "heifsave", "%in", "%out", "--compression", "av1", "--Q", "60", "--effort", "1"}, workers}}},
    };
    for (const RowRun &run : runs) {
        QDir(outFolder).removeRecursively();
        QDir().mkpath(outFolder);
        const QString extension = formatRow(run.row)->extension;
        out << formatRow(run.row)->listText << '\n';
        const Result one = runOursOn(run.row, set, outFolder, 1);
        printLine(out, QStringLiteral("ours, 1 job"), one, one);
        if (workers > 1)
            printLine(out, QStringLiteral("ours, %1 jobs").arg(workers), runOursOn(run.row, set, outFolder, workers), one);
        int index = 0;
        for (const Peer &peer : run.peers) {
            const Result r = runPeer(peer.command, set, outFolder, QStringLiteral("peer%1").arg(++index), extension,
                                     run.codec, peer.jobs);
            printLine(out, peer.name, r, one);
        }
    }
    QDir(outFolder).removeRecursively();
}

} // namespace pictrove::bench

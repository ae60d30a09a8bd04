#include "ResizeBench.h"

#include "CorpusJob.h"
#include "ImageQuality.h"

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "engine/conversion/BatchOutputName.h"
#include "engine/conversion/BatchRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace pictrove::bench {

namespace {

constexpr int side = 1920;

double runTool(const QString &program, const QStringList &arguments, bool *ok)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    const bool finished = process.waitForFinished(600000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        *ok = false;
    return seconds;
}

// Our batch run of the photos, every one to a longest side of 1920 (enlarged
// too, as the other tools' commands do).
double runOursResized(const std::vector<CorpusImage> &photos, const QString &folder, int workers,
                      int *failures, int row = FirstJpegRow + 3) // JPEG - Good Quality
{
    FormatChoice choice;
    choice.row = row;
    choice.resize.mode = ResizeMode::LongestSide;
    choice.resize.side = side;
    choice.resize.neverEnlarge = false;
    const BatchJob job = corpusJob(choice, photos, folder, workers);
    BatchCallbacks callbacks;
    callbacks.finished = [failures](std::size_t, const FileResult &r) { *failures += r.ok() ? 0 : 1; };
    QElapsedTimer timer;
    timer.start();
    runBatch(job, callbacks);
    return double(timer.nsecsElapsed()) / 1e9;
}

QString cell(double seconds, bool ok)
{
    return ok ? QStringLiteral("%1").arg(seconds, 9, 'f', 2) : QStringLiteral("%1").arg(QStringLiteral("fails"), 9);
}

} // namespace

void resizeLine(QTextStream &out, const std::vector<CorpusImage> &corpus, const QString &magick,
                int workers, const QString &outFolder)
{
    const std::vector<CorpusImage> photos = corpusPhotos(corpus);
    if (photos.empty())
        return;
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    const QString thumbnail = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    out << "\nresize: " << photos.size() << " photos to a longest side of " << side << " as "
        << formatRow(FirstJpegRow + 3)->listText << " (seconds)\n";
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(QStringLiteral("ours 1 job"), 11)
               .arg(QStringLiteral("ours %1 jobs").arg(workers), 12)
               .arg(QStringLiteral("vipsthumb"), 10)
               .arg(QStringLiteral("vt parallel"), 12)
               .arg(QStringLiteral("magick"), 9);

    const QString ours = outFolder + QStringLiteral("/resize-ours");
    const QString theirs = outFolder + QStringLiteral("/resize-theirs");
    QDir(ours).removeRecursively();
    QDir().mkpath(ours);
    int failures = 0;
    const double one = runOursResized(photos, ours, 1, &failures);
    const double all = workers > 1 ? runOursResized(photos, ours, workers, &failures) : one;

    // vipsthumbnail writes name.jpg into the folder its -o names.
    const QString thumbTarget = theirs + QStringLiteral("/%s.jpg[Q=75]");
    bool thumbOk = !thumbnail.isEmpty();
    double thumbSeconds = 0;
    QDir(theirs).removeRecursively();
    QDir().mkpath(theirs);
    for (const CorpusImage &photo : photos)
        if (thumbOk)
            thumbSeconds += runTool(thumbnail, {photo.path, QStringLiteral("--size"),
                                                QString::number(side), QStringLiteral("-o"), thumbTarget},
                                    &thumbOk);
    bool parallelOk = !thumbnail.isEmpty() && !parallel.isEmpty();
    double parallelSeconds = 0;
    if (parallelOk) {
        QStringList arguments{QStringLiteral("-j"), QString::number(workers), thumbnail, QStringLiteral("{}"),
                              QStringLiteral("--size"), QString::number(side), QStringLiteral("-o"),
                              thumbTarget, QStringLiteral(":::")};
        for (const CorpusImage &photo : photos)
            arguments << photo.path;
        parallelSeconds = runTool(parallel, arguments, &parallelOk);
    }
    bool magickOk = !magick.isEmpty();
    double magickSeconds = 0;
    std::int64_t position = 0;
    for (const CorpusImage &photo : photos)
        if (magickOk)
            magickSeconds += runTool(magick, {photo.path, QStringLiteral("-resize"),
                                              QStringLiteral("%1x%1").arg(side), QStringLiteral("-quality"),
                                              QStringLiteral("75"),
                                              batchOutputPath(theirs, QStringLiteral("magick"), ++position,
                                                              QStringLiteral("jpg"))},
                                     &magickOk);
    out << QStringLiteral("%1 %2 %3 %4 %5")
               .arg(one, 11, 'f', 2)
               .arg(all, 12, 'f', 2)
               .arg(cell(thumbSeconds, thumbOk), 10)
               .arg(cell(parallelSeconds, parallelOk), 12)
               .arg(cell(magickSeconds, magickOk), 9);
    if (failures)
        out << "  (failures: " << failures << ')';
    out << '\n';

    // SSIM of each of our files against vips' Lanczos-3 of the whole decode
    // at exactly our size; vipsthumbnail's files beside them.
    if (vips.isEmpty()) {
        out << "  no vips: no SSIM against a Lanczos-3 reference\n";
        return;
    }
    // The same resize written losslessly (PNG-24 bit), by us and by
    // vipsthumbnail: what the resampling alone gives, without the JPEG
    // encoder's losses, which dominate the SSIM of grainy photos.
    const QString lossless = outFolder + QStringLiteral("/resize-png");
    QDir(lossless).removeRecursively();
    QDir().mkpath(lossless);
    runOursResized(photos, lossless, workers, &failures, 14); // PNG-24 bit
    if (!thumbnail.isEmpty()) {
        for (const CorpusImage &photo : photos) {
            bool ignored = true;
            runTool(thumbnail, {photo.path, QStringLiteral("--size"), QString::number(side),
                                QStringLiteral("-o"), lossless + QStringLiteral("/%s.png")},
                    &ignored);
        }
    }
    struct Score {
        double sum = 0, least = 1;
        int count = 0;
        void add(double s) { sum += s; least = std::min(least, s); ++count; }
        QString text() const
        {
            return count ? QStringLiteral("mean %1, least %2").arg(sum / count, 0, 'f', 4).arg(least, 0, 'f', 4)
                         : QStringLiteral("-");
        }
    };
    // Shrunk and enlarged apart: vips resize enlarges through its own
    // interpolator whatever the kernel, so only the shrunk photos meet a
    // Lanczos-3 reference.
    Score oursPng, thumbPng, oursEnlarged, thumbEnlarged;
    double sum = 0, least = 1, thumbSum = 0;
    int measured = 0, thumbMeasured = 0;
    position = 0;
    for (const CorpusImage &photo : photos) {
        const QImage written(batchOutputPath(ours, QStringLiteral("ours"), ++position, QStringLiteral("jpg")));
        if (written.isNull())
            continue;
        const QImage writtenPng(batchOutputPath(lossless, QStringLiteral("ours"), position, QStringLiteral("png")));
        const QImage thumbPngImage(lossless + u'/' + QFileInfo(photo.path).completeBaseName() + QStringLiteral(".png"));
        const QString reference = theirs + QStringLiteral("/reference.png");
        bool ok = true;
        runTool(vips, {QStringLiteral("resize"), photo.path, reference,
                       QString::number(double(written.width()) / photo.width, 'g', 17),
                       QStringLiteral("--vscale"),
                       QString::number(double(written.height()) / photo.height, 'g', 17),
                       QStringLiteral("--kernel"), QStringLiteral("lanczos3")},
                &ok);
        const QImage ref(reference);
        if (!ok || ref.size() != written.size())
            continue;
        const bool shrunk = ref.width() < photo.width;
        if (writtenPng.size() == ref.size())
            (shrunk ? oursPng : oursEnlarged).add(ssim(ref, writtenPng));
        if (thumbPngImage.size() == ref.size())
            (shrunk ? thumbPng : thumbEnlarged).add(ssim(ref, thumbPngImage));
        const double s = ssim(ref, written);
        sum += s;
        least = std::min(least, s);
        ++measured;
        const QImage thumb(theirs + u'/' + QFileInfo(photo.path).completeBaseName() + QStringLiteral(".jpg"));
        if (thumb.size() == ref.size()) {
            thumbSum += ssim(ref, thumb);
            ++thumbMeasured;
        }
    }
    if (measured)
        out << QStringLiteral("  SSIM against vips resize --kernel lanczos3: mean %1, least %2 (%3 photos)")
                   .arg(sum / measured, 0, 'f', 4)
                   .arg(least, 0, 'f', 4)
                   .arg(measured);
    if (thumbMeasured)
        out << QStringLiteral("; vipsthumbnail's mean %1").arg(thumbSum / thumbMeasured, 0, 'f', 4);
    out << '\n';
    out << QStringLiteral("  the resize alone (PNG-24 bit), SSIM of the %1 shrunk photos: ours %2; "
                          "vipsthumbnail %3\n")
               .arg(oursPng.count)
               .arg(oursPng.text(), thumbPng.text());
    out << QStringLiteral("  the %1 enlarged ones (vips' reference is not Lanczos-3 there): ours %2; "
                          "vipsthumbnail %3\n")
               .arg(oursEnlarged.count)
               .arg(oursEnlarged.text(), thumbEnlarged.text());
}

} // namespace pictrove::bench

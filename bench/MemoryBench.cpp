#include "MemoryBench.h"

#include "PeerBench.h"
#include "ProcessRun.h"

#include "engine/catalogue/FormatCatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QTextStream>

namespace pictrove::bench {

namespace {

constexpr int Side = 10000;

} // namespace

QString hundredMegapixelPhoto(const QString &folder, const QString &source, QString *error)
{
    const QString path = QDir(folder).filePath(QStringLiteral("photo-%1x%1.jpg").arg(Side));
    if (QImageReader(path).size() == QSize(Side, Side))
        return path;
    const QSize size = QImageReader(source).size();
    if (!size.isValid()) {
        *error = QStringLiteral("cannot read %1").arg(source);
        return {};
    }
    QDir().mkpath(folder);
    const QString part = path + QStringLiteral(".part.jpg");
    ProcessRun made;
    if (!QStandardPaths::findExecutable(QStringLiteral("vips")).isEmpty()) {
        made = runProcess({QStringLiteral("vips"), QStringLiteral("resize"), source, part + QStringLiteral("[Q=90]"),
                           QString::number(double(Side) / size.width(), 'f', 9), QStringLiteral("--vscale"),
                           QString::number(double(Side) / size.height(), 'f', 9)});
    }
    if (!made.ok || QImageReader(part).size() != QSize(Side, Side)) {
        made = runProcess({QStringLiteral("/usr/bin/convert"), source, QStringLiteral("-resize"),
                           QStringLiteral("%1x%1!").arg(Side), QStringLiteral("-quality"), QStringLiteral("90"), part});
    }
    if (!made.ok || QImageReader(part).size() != QSize(Side, Side) || !QFile::rename(part, path)) {
        QFile::remove(part);
        *error = QStringLiteral("neither vips nor ImageMagick could scale %1 to %2 x %2").arg(source).arg(Side);
        return {};
    }
    return path;
}

void memoryRows(QTextStream &out, const QString &converter, const QList<int> &rows, const QString &photo,
                const QString &outFolder)
{
    const QSize size = QImageReader(photo).size();
    const double pixelBytes = double(size.width()) * size.height() * 4;
    const double limit = 3 * pixelBytes;
    out << "memory: " << QFileInfo(photo).fileName() << ", " << size.width() << " x " << size.height()
        << "; pixel memory " << QString::number(pixelBytes / 1e6, 'f', 0) << " MB, goal: peak within 3 x = "
        << QString::number(limit / 1e6, 'f', 0) << " MB (converter + its decoder processes, pictrove-convert -j1)\n"
        << "total: the peaks summed, the decoded picture counted in the decoder that wrote it and in the\n"
           "converter that maps it; shared once: the decoders' shared memory counted in the converter only\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8  %9\n")
               .arg(QStringLiteral("row"), -28)
               .arg(QStringLiteral("wall s"), 8)
               .arg(QStringLiteral("convert MB"), 11)
               .arg(QStringLiteral("decoder MB"), 11)
               .arg(QStringLiteral("total MB"), 9)
               .arg(QStringLiteral("x pixels"), 9)
               .arg(QStringLiteral("shared once"), 12)
               .arg(QStringLiteral("x pixels"), 9)
               .arg(QStringLiteral("goal (shared once)"));
    out.flush();
    for (int row : rows) {
        const FormatRow *format = formatRow(row);
        if (!format)
            continue;
        QDir(outFolder).removeRecursively();
        QDir().mkpath(outFolder);
        QStringList argv{converter, QStringLiteral("-q"), QStringLiteral("--overwrite"), QStringLiteral("-j"),
                         QStringLiteral("1"), QStringLiteral("-f"), QString::number(row)};
        if (const PeerRow *peer = peerRow(row))
            argv << peer->ourOptions;
        argv << QStringLiteral("-o") << outFolder << QStringLiteral("-n") << QStringLiteral("memory") << photo;
        const WatchedRun w = runWatchingMemory(argv);
        const double own = double(w.ownPeakKiB) * 1024;
        const double decoders = double(w.descendantsPeakKiB) * 1024;
        const double total = own + decoders;
        const double once = double(w.sharedOncePeakKiB()) * 1024;
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8  %9")
                   .arg(format->listText, -28)
                   .arg(w.run.wallSeconds, 8, 'f', 2)
                   .arg(own / 1e6, 11, 'f', 0)
                   .arg(decoders / 1e6, 11, 'f', 0)
                   .arg(total / 1e6, 9, 'f', 0)
                   .arg(total / pixelBytes, 9, 'f', 2)
                   .arg(once / 1e6, 12, 'f', 0)
                   .arg(once / pixelBytes, 9, 'f', 2)
                   .arg(!w.run.ok ? QStringLiteral("failed (exit %1)").arg(w.run.exitCode)
                                  : once <= limit ? QStringLiteral("met") : QStringLiteral("MISSED"));
        out << '\n';
        out.flush();
    }
    QDir(outFolder).removeRecursively();
}

} // namespace pictrove::bench

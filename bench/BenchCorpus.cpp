#include "BenchCorpus.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include "decoding/FreeImageHandles.h"

#include <cmath>

namespace pictrove::bench {

namespace {

struct Planned {
    QString name;
    int width;
    int height;
    QStringList arguments; // ImageMagick arguments without the output
};

QSize photoSize(double megapixels)
{
    const double w = std::sqrt(megapixels * 1e6 * 4.0 / 3.0);
    return {int(std::lround(w)), int(std::lround(w * 3.0 / 4.0))};
}

std::vector<Planned> plan(double scale)
{
    std::vector<Planned> out;
    const int photos = 24;
    for (int i = 0; i < photos; ++i) {
        const double mp = 0.3 * std::pow(12.0 / 0.3, double(i) / (photos - 1));
        QSize s = photoSize(mp) * scale;
        s = s.expandedTo(QSize(8, 6));
        // A small fractal blown up, with grain: smooth areas and fine noise
        // like a photograph, and cheap to make at 12 megapixels.
        const QSize seedSize = (s / 4).expandedTo(QSize(4, 3));
        out.push_back({QStringLiteral("photo%1.jpg").arg(i + 1, 2, 10, QLatin1Char('0')), s.width(), s.height(),
                       {QStringLiteral("-seed"), QString::number(1000 + i), QStringLiteral("-size"),
                        QStringLiteral("%1x%2").arg(seedSize.width()).arg(seedSize.height()),
                        QStringLiteral("plasma:fractal"), QStringLiteral("-resize"),
                        QStringLiteral("%1x%2!").arg(s.width()).arg(s.height()),
                        QStringLiteral("-attenuate"), QStringLiteral("0.35"), QStringLiteral("+noise"),
                        QStringLiteral("Gaussian"), QStringLiteral("-quality"), QStringLiteral("90")}});
    }
    const char *const kinds[] = {"png", "png", "gif", "bmp", "png", "tga", "tif", "png"};
    const int graphics = 16;
    for (int i = 0; i < graphics; ++i) {
        const double mp = 0.75 + 3.0 * double(i) / (graphics - 1);
        QSize s = photoSize(mp) * scale;
        s = s.expandedTo(QSize(8, 6));
        const int w = s.width();
        const int h = s.height();
        auto rect = [](int x0, int y0, int x1, int y1) {
            return QStringLiteral("rectangle %1,%2 %3,%4").arg(x0).arg(y0).arg(x1).arg(y1);
        };
        QStringList args{QStringLiteral("-size"), QStringLiteral("%1x%2").arg(w).arg(h),
                         i % 2 ? QStringLiteral("gradient:#f0f4ff-#c8d8f0") : QStringLiteral("xc:white")};
        const char *const fills[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b"};
        for (int k = 0; k < 6; ++k) {
            const int x0 = (k * w) / 7 + (i * 13) % (w / 10 + 1);
            const int y0 = ((k * 37 + i * 11) % 5) * h / 6;
            args << QStringLiteral("-fill") << QString::fromLatin1(fills[k]) << QStringLiteral("-draw")
                 << rect(x0, y0, x0 + w / 9, y0 + h / 3);
        }
        args << QStringLiteral("-fill") << QStringLiteral("none") << QStringLiteral("-stroke")
             << QStringLiteral("black") << QStringLiteral("-strokewidth") << QString::number(std::max(1, w / 300))
             << QStringLiteral("-draw")
             << QStringLiteral("circle %1,%2 %3,%4").arg(w / 2).arg(h / 2).arg(w / 2 + h / 3).arg(h / 2)
             << QStringLiteral("-draw")
             << QStringLiteral("line 0,%1 %2,%3").arg(h - 1).arg(w - 1).arg(h / 5);
        if (QLatin1String(kinds[i % 8]) == QLatin1String("gif"))
            args << QStringLiteral("+dither") << QStringLiteral("-colors") << QStringLiteral("64");
        if (QLatin1String(kinds[i % 8]) == QLatin1String("tif"))
            args << QStringLiteral("-compress") << QStringLiteral("lzw");
        out.push_back({QStringLiteral("graphic%1.%2").arg(i + 1, 2, 10, QLatin1Char('0')).arg(QLatin1String(kinds[i % 8])),
                       w, h, args});
    }
    return out;
}

} // namespace

QString imageMagickProgram()
{
    for (const char *name : {"magick", "convert-im6.q16", "convert"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

std::vector<CorpusImage> makeCorpus(const QString &folder, double scale, QString *error)
{
    const QString magick = imageMagickProgram();
    QDir().mkpath(folder);
    std::vector<CorpusImage> corpus;
    QTextStream err(stderr);
    for (const Planned &p : plan(scale)) {
        const QString path = QDir(folder).filePath(p.name);
        if (!QFileInfo::exists(path)) {
            if (magick.isEmpty()) {
                *error = QStringLiteral("ImageMagick is needed to make the corpus");
                return {};
            }
            err << "making " << path << '\n';
            err.flush();
            QProcess im;
            im.start(magick, p.arguments + QStringList{path + QStringLiteral(".part.") + QFileInfo(path).suffix()});
            if (!im.waitForFinished(600000) || im.exitCode() != 0) {
                *error = QStringLiteral("ImageMagick failed on %1: %2")
                             .arg(p.name, QString::fromLocal8Bit(im.readAllStandardError()));
                return {};
            }
            QFile::rename(path + QStringLiteral(".part.") + QFileInfo(path).suffix(), path);
        }
        corpus.push_back({path, p.width, p.height});
    }
    return corpus;
}

std::vector<CorpusImage> scanCorpus(const QString &folder)
{
    std::vector<CorpusImage> corpus;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        QImageReader reader(file.absoluteFilePath());
        QSize size = reader.size();
        if (!size.isValid()) {
            const QByteArray native = QFile::encodeName(file.absoluteFilePath());
            const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(native.constData(), 0);
            if (format != FIF_UNKNOWN) {
                const FiBitmap header(FreeImage_Load(format, native.constData(), FIF_LOAD_NOPIXELS));
                if (header)
                    size = QSize(int(FreeImage_GetWidth(header.get())), int(FreeImage_GetHeight(header.get())));
            }
        }
        if (size.isValid())
            corpus.push_back({file.absoluteFilePath(), size.width(), size.height()});
    }
    return corpus;
}

QByteArray withIccProfile(const QByteArray &jpeg, const QByteArray &icc)
{
    QByteArray segments;
    const int chunk = 65519;
    const int count = int((icc.size() + chunk - 1) / chunk);
    for (int i = 0; i < count; ++i) {
        const QByteArray payload = QByteArray("ICC_PROFILE\0", 12) + char(i + 1) + char(count)
            + icc.mid(qsizetype(i) * chunk, chunk);
        const int length = int(payload.size()) + 2;
        segments += QByteArray("\xFF\xE2", 2) + char(length >> 8) + char(length & 0xFF) + payload;
    }
    return jpeg.left(2) + segments + jpeg.mid(2);
}

std::vector<CorpusImage> taggedCorpus(const std::vector<CorpusImage> &corpus, const QString &folder,
                                      const QByteArray &icc, QString *error)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    std::vector<CorpusImage> tagged;
    for (const CorpusImage &image : corpus) {
        const QFileInfo info(image.path);
        const QString suffix = info.suffix().toLower();
        if (suffix != QLatin1String("jpg") && suffix != QLatin1String("jpeg")) {
            tagged.push_back(image);
            continue;
        }
        QFile source(image.path);
        QFile copy(QDir(folder).filePath(info.fileName()));
        if (!source.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly)
            || copy.write(withIccProfile(source.readAll(), icc)) < 0) {
            *error = QStringLiteral("cannot make a tagged copy of %1").arg(image.path);
            return {};
        }
        tagged.push_back({copy.fileName(), image.width, image.height});
    }
    return tagged;
}

} // namespace pictrove::bench

// libpng's own conformance pictures through both tables, against netpbm's
// reading of them (libpng underneath) mixed on white.
#include "decoding/PictureLoader.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

QString suiteFolder()
{
    return QStringLiteral(PICTROVE_SHARED_TESTIMAGES "/pngsuite");
}

// The picture as netpbm's pngtopam reads it, on white, 8 bits a sample.
QImage reference(const QString &path)
{
    QProcess p;
    p.start(u"sh"_qs, {u"-c"_qs, u"pngtopam -mix -background=white \"$1\" | pamtopnm | ppmtoppm | pamdepth 255"_qs,
                       u"sh"_qs, path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    const QByteArray out = p.readAllStandardOutput();
    // "P6 width height 255" then the samples.
    const QList<QByteArray> head = out.left(64).simplified().split(' ');
    if (head.size() < 4 || head[0] != "P6")
        return {};
    const int w = head[1].toInt(), h = head[2].toInt();
    const qsizetype at = out.size() - qsizetype(w) * h * 3;
    if (w <= 0 || h <= 0 || at < 0)
        return {};
    QImage image(w, h, QImage::Format_RGB32);
    const auto *s = reinterpret_cast<const uchar *>(out.constData() + at);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, s += 3)
            image.setPixel(x, y, qRgb(s[0], s[1], s[2]));
    return image;
}

QRgb onWhite(QRgb c)
{
    const int a = qAlpha(c);
    const auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

TEST(PngSuite, EveryPictureMatchesLibpngOnWhiteInBothTables)
{
    const QDir folder(suiteFolder());
    if (!folder.exists())
        GTEST_SKIP() << "libpng's test pictures are not at " << suiteFolder().toStdString();
    if (QStandardPaths::findExecutable(u"pngtopam"_qs).isEmpty())
        GTEST_SKIP() << "netpbm's pngtopam is not installed";
    setLoaderMode(LoaderMode::Sandboxed);
    const QStringList files = folder.entryList({u"*.png"_qs}, QDir::Files, QDir::Name);
    ASSERT_GT(files.size(), 100);
    for (const QString &name : files) {
        const QString path = folder.filePath(name);
        // pngtopam shows the colour key of RGB pictures opaque; VariantTest
        // checks those keys against the pictures that made them.
        if (name.startsWith(u"testpngs-rgb-8") && name.endsWith(u"-tRNS.png"))
            continue;
        const QImage want = reference(path);
        ASSERT_FALSE(want.isNull()) << name.toStdString();
        for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
            const std::string what = name.toStdString() + (table == LoaderTable::Preview ? " (preview)" : " (batch)");
            const LoadResult r = loadPicture(path, table);
            ASSERT_TRUE(r.ok) << what << ": " << r.error.toStdString();
            ASSERT_EQ(r.image.size(), want.size()) << what;
            int worst = 0;
            QPoint where;
            for (int y = 0; y < want.height(); ++y)
                for (int x = 0; x < want.width(); ++x) {
                    const QRgb g = onWhite(r.image.pixel(x, y)), e = want.pixel(x, y);
                    const int d = std::max({std::abs(qRed(g) - qRed(e)), std::abs(qGreen(g) - qGreen(e)),
                                            std::abs(qBlue(g) - qBlue(e))});
                    if (d > worst) {
                        worst = d;
                        where = {x, y};
                    }
                }
            EXPECT_LE(worst, 1) << what << " at " << where.x() << "," << where.y() << std::hex << ": got "
                                << onWhite(r.image.pixel(where)) << " want " << want.pixel(where);
        }
    }
}

} // namespace
} // namespace pictrove

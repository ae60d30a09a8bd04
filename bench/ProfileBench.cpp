// What applying a colour profile and an orientation costs on a 12-megapixel
// photo: building the Little CMS transform, applying a built (cached) one
// with one and two threads, and the whole decode of a tagged JPEG against
// the same JPEG untagged, in this process and through the decoder process.
#include "BenchCorpus.h"
#include "WindowBench.h"

#include "decoding/ColourProfile.h"
#include "decoding/PhotoAdjust.h"
#include "decoding/PictureLoader.h"
#include "TestProfiles.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>

using namespace pictrove;

namespace {

// The fastest of `runs` calls, in milliseconds.
double fastest(int runs, const std::function<void()> &work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        best = std::min(best, double(clock.nsecsElapsed()) / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessTold();
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times colour profiles and orientation on a 12-megapixel photo."));
    parser.addHelpOption();
    const QCommandLineOption photoOption(QStringLiteral("photo"),
        QStringLiteral("Photo to scale to 4000 x 3000 (default: %1).").arg(QLatin1String(bench::DefaultPhoto)),
        QStringLiteral("PATH"), QLatin1String(bench::DefaultPhoto));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of each; the fastest counts (default 5)."),
                                        QStringLiteral("N"), QStringLiteral("5"));
    parser.addOptions({photoOption, runsOption});
    parser.process(app);
    const int runs = std::max(1, parser.value(runsOption).toInt());
    QTextStream out(stdout);

    const QImage photo = bench::twelveMegapixelPhoto(parser.value(photoOption));
    if (photo.isNull()) {
        QTextStream(stderr) << "cannot read " << parser.value(photoOption) << '\n';
        return 1;
    }
    out << "photo: " << photo.width() << " x " << photo.height() << ", fastest of " << runs << " runs\n\n";

    struct Profile {
        const char *name;
        QByteArray icc;
        ProfileInput input;
    };
    const Profile profiles[] = {{"Adobe RGB (matrix)", test::adobeRgbLikeProfile(), ProfileInput::Bgra},
                                {"Display P3 (matrix)", test::displayP3Profile(), ProfileInput::Bgra},
                                {"CMYK press (tables)", test::cmykProfile(), ProfileInput::Cmyk}};
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(QStringLiteral("profile"), -22)
               .arg(QStringLiteral("build ms"), 9)
               .arg(QStringLiteral("1 thread"), 9)
               .arg(QStringLiteral("2 threads"), 10)
               .arg(QStringLiteral("built+2 thr"), 12);
    std::vector<uchar> cmyk(size_t(photo.width()) * photo.height() * 4);
    for (size_t i = 0; i < cmyk.size(); ++i)
        cmyk[i] = uchar((i * 2654435761u) >> 24);
    for (const Profile &p : profiles) {
        const double build = fastest(runs, [&] { SrgbTransform::build(p.icc, p.input); });
        const auto found = SrgbTransform::build(p.icc, p.input);
        if (!found.transform) {
            out << p.name << ": no transform\n";
            continue;
        }
        const auto apply = [&](int threads) {
            if (p.input == ProfileInput::Cmyk) {
                found.transform->applyCmyk(cmyk.data(), qsizetype(photo.width()) * 4, photo.width(), photo.height(),
                                           threads);
            } else {
                QImage copy = photo.copy();
                found.transform->apply(copy, threads);
            }
        };
        const double copyCost = p.input == ProfileInput::Cmyk ? 0.0 : fastest(runs, [&] {
            QImage c = photo.copy();
            (void)c;
        });
        const double one = fastest(runs, [&] { apply(1); }) - copyCost;
        const double two = fastest(runs, [&] { apply(2); }) - copyCost;
        out << QStringLiteral("%1 %2 %3 %4 %5\n")
                   .arg(QLatin1String(p.name), -22)
                   .arg(build, 9, 'f', 2)
                   .arg(one, 9, 'f', 1)
                   .arg(two, 10, 'f', 1)
                   .arg(build + two, 12, 'f', 1);
        out.flush();
    }

    out << '\n';
    for (int orientation : {3, 6, 5}) {
        const double ms = fastest(runs, [&] { uprightPicture(photo, orientation); });
        out << QStringLiteral("orientation %1: %2 ms\n").arg(orientation).arg(ms, 0, 'f', 1);
    }

    // The whole decode: a JPEG of the photo, untagged and tagged.
    QTemporaryDir folder;
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        photo.save(&buffer, "JPEG", 90);
    }
    const QString plainPath = folder.filePath(QStringLiteral("plain.jpg"));
    const QString taggedPath = folder.filePath(QStringLiteral("tagged.jpg"));
    QFile plainFile(plainPath), taggedFile(taggedPath);
    if (!plainFile.open(QIODevice::WriteOnly) || !taggedFile.open(QIODevice::WriteOnly))
        return 1;
    plainFile.write(jpeg);
    taggedFile.write(bench::withIccProfile(jpeg, test::adobeRgbLikeProfile()));
    plainFile.close();
    taggedFile.close();
    out << '\n'
        << QStringLiteral("%1 %2 %3 %4\n")
               .arg(QStringLiteral("decode of the JPEG"), -34)
               .arg(QStringLiteral("untagged"), 9)
               .arg(QStringLiteral("Adobe RGB"), 10)
               .arg(QStringLiteral("extra"), 8);
    for (LoaderMode mode : {LoaderMode::InProcess, LoaderMode::Sandboxed})
        for (LoaderTable table : {LoaderTable::Preview, LoaderTable::Batch}) {
            setLoaderMode(mode);
            SrgbTransform::clearCache();
            const double plain = fastest(runs, [&] { loadPicture(plainPath, table); });
            // In process the transform is built once and kept; every decode
            // in the decoder process is a fresh child that builds it again.
            const double withProfile = fastest(runs, [&] { loadPicture(taggedPath, table); });
            out << QStringLiteral("%1 %2 %3 %4\n")
                       .arg(QStringLiteral("%1, %2 table").arg(mode == LoaderMode::InProcess ? "in process" : "decoder process",
                                                               table == LoaderTable::Preview ? "preview" : "batch"),
                            -34)
                       .arg(plain, 9, 'f', 1)
                       .arg(withProfile, 10, 'f', 1)
                       .arg(QStringLiteral("%1%").arg((withProfile / plain - 1) * 100, 0, 'f', 1), 8);
            out.flush();
        }
    return 0;
}

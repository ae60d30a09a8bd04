// Times the PaletteEncoder on a large photo-like picture, next to
// ImageMagick (and pngquant when installed), and compares their quality.
//
//   pictrove-bench [--image PATH] [--runs N] [--size WxH]
#include "BenchPicture.h"
#include "ImageQuality.h"

#include "decoding/FreeImageConvert.h"
#include "engine/core/PcxWriter.h"
#include "engine/core/PictureSurface.h"
#include "engine/palette/PaletteEncoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

using namespace pictrove;

namespace {

struct Timing {
    double best = 0, median = 0; // wall-clock milliseconds
    double cpu = 0;              // CPU milliseconds of this process in the best run
};

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Runs work `runs` times; nullopt when any run fails.
std::optional<Timing> timeRuns(int runs, const std::function<bool()> &work)
{
    std::vector<std::pair<double, double>> ms; // wall, cpu
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        const double cpuBefore = processCpuMs();
        timer.start();
        if (!work())
            return std::nullopt;
        ms.emplace_back(double(timer.nsecsElapsed()) / 1e6, processCpuMs() - cpuBefore);
    }
    std::sort(ms.begin(), ms.end());
    return Timing{ms.front().first, ms[ms.size() / 2].first, ms.front().second};
}

bool runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

QImage readBack(const QString &path)
{
    QImageReader reader(path);
    reader.setAllocationLimit(0);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// The machine's load, printed with the numbers: other work on a shared
// machine slows every timing down.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(' ', 0, 2);
}

struct Quality {
    QString who;
    double psnr, ssim;
};

// CPU time is ours only (both threads of an encode); for the external tools
// it shows 0, as they run in their own processes.
void printTiming(const char *label, const Timing &t, double megapixels)
{
    std::printf("  %-44s %8.0f ms  (median %6.0f, cpu %5.0f)  %6.1f MP/s\n", label, t.best,
                t.median, t.cpu, megapixels / (t.best / 1000.0));
}

// PSNR at every colour count from 2 to 256, with error diffusion, on a
// 1000 x 750 crop from the middle of the picture (so that the tools run in
// seconds, with the picture's own detail and noise).
void colourSweep(const QImage &original, const QTemporaryDir &work, const QString &convert,
                 const QString &pngquant)
{
    const QImage crop = original.copy((original.width() - 1000) / 2, (original.height() - 750) / 2,
                                      std::min(1000, original.width()), std::min(750, original.height()));
    const QString ppm = work.filePath("crop.ppm"), png = work.filePath("crop.png");
    const bool haveConvert = !convert.isEmpty() && crop.save(ppm, "PPM");
    const bool havePngquant = !pngquant.isEmpty() && crop.save(png, "PNG");
    PictureSurface surface;
    surface.setPicture(crop);
    std::printf("\nPSNR in dB by colour count, error diffusion, %d x %d crop\n", crop.width(),
                crop.height());
    std::printf("  %8s %10s %12s %10s\n", "colours", "Pictrove", "ImageMagick", "pngquant");
    for (int depth = 1; depth <= 8; ++depth) {
        const QString colours = QString::number(1 << depth);
        const QString ours = work.filePath(QStringLiteral("sweep%1.gif").arg(depth));
        PaletteEncoder encoder;
        const bool ok = encoder.EncodePicture(surface, ours, code(EncoderKind::Gif), code(ColourMode::Colours), depth,
                                              code(ColourMap::Optimal), code(Dither::Binary))
                        != 0;
        auto measure = [&](bool ran, const QString &file) {
            const QImage got = ran ? readBack(file) : QImage();
            return got.isNull() ? QStringLiteral("-") : QString::number(bench::psnr(crop, got), 'f', 2);
        };
        const QString im = work.filePath(QStringLiteral("sweep-im%1.gif").arg(depth));
        const QString pq = work.filePath(QStringLiteral("sweep-pq%1.png").arg(depth));
        const bool imRan = haveConvert
                           && runTool(convert, {ppm, "-colors", colours, "-dither", "FloydSteinberg", im});
        const bool pqRan = havePngquant && runTool(pngquant, {"--force", "--output", pq, colours, png});
        std::printf("  %8s %10s %12s %10s\n", qPrintable(colours), qPrintable(measure(ok, ours)),
                    qPrintable(measure(imRan, im)), qPrintable(measure(pqRan, pq)));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString imagePath;
    int runs = 3, width = 4000, height = 3000;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--image" && i + 1 < args.size())
            imagePath = args[++i];
        else if (args[i] == "--runs" && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == "--size" && i + 1 < args.size()) {
            const QStringList wh = args[++i].split('x');
            if (wh.size() == 2) {
                width = std::max(16, wh[0].toInt());
                height = std::max(16, wh[1].toInt());
            }
        } else {
            std::fprintf(stderr, "usage: pictrove-bench [--image PATH] [--runs N] [--size WxH]\n");
            return 2;
        }
    }

    QImage original;
    if (!imagePath.isEmpty()) {
        original = readBack(imagePath);
        if (original.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(imagePath));
            return 1;
        }
    } else {
        original = bench::makePhotoLikePicture(width, height, 2024);
    }
    const double megapixels = double(original.width()) * original.height() / 1e6;
    std::printf("Picture: %s, %d x %d (%.1f MP); best of %d runs; %d CPUs, load average %s\n",
                imagePath.isEmpty() ? "synthetic photo-like" : qPrintable(imagePath),
                original.width(), original.height(), megapixels, runs, QThread::idealThreadCount(),
                qPrintable(loadAverage()));

    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    PictureSurface surface;
    surface.setPicture(original);

    // ---- ours -----------------------------------------------------------
    struct Job {
        const char *label;
        std::int32_t kind, depth, flags, dither;
        const char *file;
    };
    const std::vector<Job> jobs{
        {"GIF-256 Optimal, None", 1, 8, code(ColourMap::Optimal), code(Dither::None), "o256-none.gif"},
        {"GIF-256 Optimal, Binary (Floyd-Steinberg)", 1, 8, code(ColourMap::Optimal), code(Dither::Binary), "o256-fs.gif"},
        {"GIF-256 Optimal, Ordered (Bayer)", 1, 8, code(ColourMap::Optimal), code(Dither::Ordered), "o256-2.gif"},
        {"GIF-256 Optimal, Haftone", 1, 8, code(ColourMap::Optimal), code(Dither::Halftone), "o256-4.gif"},
        {"GIF-256 Optimal, Forward Diagonal", 1, 8, code(ColourMap::Optimal), code(Dither::ForwardDiagonal), "o256-8.gif"},
        {"GIF-256 Optimal, Backward Diagonal", 1, 8, code(ColourMap::Optimal), code(Dither::BackwardDiagonal), "o256-16.gif"},
        {"GIF-256 Optimal, Horizontal", 1, 8, code(ColourMap::Optimal), code(Dither::Horizontal), "o256-32.gif"},
        {"GIF-256 Optimal, Vertical", 1, 8, code(ColourMap::Optimal), code(Dither::Vertical), "o256-64.gif"},
        {"GIF-256 Optimal, Odd (serpentine FS)", 1, 8, code(ColourMap::Optimal), code(Dither::Odd), "o256-256.gif"},
        {"GIF-256 Optimal, Even (Jarvis-Judice-Ninke)", 1, 8, code(ColourMap::Optimal), code(Dither::Even), "o256-512.gif"},
        {"GIF-256 Optimal, Equal", 1, 8, code(ColourMap::Optimal), code(Dither::Equal), "o256-1024.gif"},
        {"GIF-256 Optimal interlaced, Binary", 2, 8, code(ColourMap::Optimal), code(Dither::Binary), "o256-fs-i.gif"},
        {"GIF-16 Optimal, Binary", 1, 4, code(ColourMap::Optimal), code(Dither::Binary), "o16-fs.gif"},
        {"GIF-16 VGA, None", 1, 4, code(ColourMap::Vga), code(Dither::None), "vga-none.gif"},
        {"GIF-16 VGA, Binary", 1, 4, code(ColourMap::Vga), code(Dither::Binary), "vga-fs.gif"},
        {"BMP-256 Optimal, Binary", 0, 8, code(ColourMap::Optimal), code(Dither::Binary), "o256-fs.bmp"},
        {"BMP-24", 0, 24, code(ColourMap::Windows), code(Dither::None), "rgb24.bmp"},
    };
    std::printf("\nPaletteEncoder (whole encode: palette, dither, file)\n");
    std::optional<Timing> oursFs, oursNone;
    for (const Job &job : jobs) {
        const QString path = work.filePath(job.file);
        const auto t = timeRuns(runs, [&] {
            PaletteEncoder encoder;
            return encoder.EncodePicture(surface, path, job.kind, 0, job.depth, job.flags,
                                         job.dither, -1, -1, -1, -1)
                   != 0;
        });
        if (!t) {
            std::printf("  %-44s FAILED\n", job.label);
            continue;
        }
        printTiming(job.label, *t, megapixels);
        if (QString(job.file) == "o256-fs.gif")
            oursFs = t;
        if (QString(job.file) == "o256-none.gif")
            oursNone = t;
    }
    // The PCX rows: the encoder writes a BMP, FreeImage reads it back, the
    // picture goes into a surface and the PCX writer saves that.
    for (auto [label, depth] : {std::pair{"PCX-24 bit (Uncompressed), BMP route", 24},
                                std::pair{"PCX-24 bit (Compressed), BMP route", 16}}) {
        const QString bmp = work.filePath("pcx-route.bmp"), pcx = work.filePath("out.pcx");
        const auto t = timeRuns(runs, [&] {
            PaletteEncoder encoder;
            if (!encoder.EncodePicture(surface, bmp, code(EncoderKind::Bmp), code(ColourMode::Colours), depth,
                                       code(ColourMap::Windows), code(Dither::None)))
                return false;
            FiBitmap dib(FreeImage_Load(FIF_BMP, QFile::encodeName(bmp).constData(), 0));
            PictureSurface drawn;
            drawn.setPicture(toQImage(dib.get()));
            try {
                cPCX().SavePCXinFile(pcx, drawn, true);
            } catch (const PcxWriteError &) {
                return false;
            }
            return true;
        });
        if (t)
            printTiming(label, *t, megapixels);
        else
            std::printf("  %-44s FAILED\n", label);
    }

    std::vector<Quality> quality{
        {"Pictrove 256, Floyd-Steinberg", 0, 0},
        {"Pictrove 16, Floyd-Steinberg", 0, 0},
    };
    const QImage ours256 = readBack(work.filePath("o256-fs.gif"));
    const QImage ours16 = readBack(work.filePath("o16-fs.gif"));
    quality[0].psnr = bench::psnr(original, ours256);
    quality[0].ssim = bench::ssim(original, ours256);
    quality[1].psnr = bench::psnr(original, ours16);
    quality[1].ssim = bench::ssim(original, ours16);

    // ---- ImageMagick --------------------------------------------------------
    const QString convert = QStandardPaths::findExecutable("convert");
    const QString input = work.filePath("input.ppm");
    if (convert.isEmpty()) {
        std::printf("\nImageMagick: convert not installed, skipped\n");
    } else if (!original.save(input, "PPM")) {
        std::printf("\nImageMagick: cannot write its input, skipped\n");
    } else {
        std::printf("\nImageMagick (%s, reading a PPM, writing GIF)\n", qPrintable(convert));
        const int imRuns = std::min(runs, 2);
        auto im = [&](const char *label, const QStringList &options, const QString &out) {
            const auto t = timeRuns(imRuns, [&] {
                return runTool(convert, QStringList{input} + options + QStringList{work.filePath(out)});
            });
            if (t)
                printTiming(label, *t, megapixels);
            else
                std::printf("  %-44s FAILED\n", label);
            return t;
        };
        const auto imFs = im("convert -colors 256 -dither FloydSteinberg",
                             {"-colors", "256", "-dither", "FloydSteinberg"}, "im256-fs.gif");
        const auto imNone = im("convert -colors 256 -dither None", {"-colors", "256", "-dither", "None"},
                               "im256-none.gif");
        im("convert -colors 16 -dither FloydSteinberg", {"-colors", "16", "-dither", "FloydSteinberg"},
           "im16-fs.gif");
        if (imFs && oursFs)
            std::printf("  Floyd-Steinberg: ImageMagick / Pictrove = %.1fx\n", imFs->best / oursFs->best);
        if (imNone && oursNone)
            std::printf("  No dither:       ImageMagick / Pictrove = %.1fx\n", imNone->best / oursNone->best);
        for (auto [who, file] : {std::pair{"ImageMagick 256, Floyd-Steinberg", "im256-fs.gif"},
                                 std::pair{"ImageMagick 16, Floyd-Steinberg", "im16-fs.gif"}}) {
            const QImage got = readBack(work.filePath(file));
            if (!got.isNull())
                quality.push_back({who, bench::psnr(original, got), bench::ssim(original, got)});
        }
    }

    // ---- pngquant (libimagequant's own tool) ---------------------------------
    const QString pngquant = QStandardPaths::findExecutable("pngquant");
    if (pngquant.isEmpty()) {
        std::printf("\npngquant: not installed, skipped\n");
    } else if (original.save(work.filePath("input.png"), "PNG", 100)) {
        std::printf("\npngquant (%s, PNG in and out, default speed and dithering)\n", qPrintable(pngquant));
        for (auto [colours, who] : {std::pair{"256", "pngquant 256, Floyd-Steinberg"},
                                    std::pair{"16", "pngquant 16, Floyd-Steinberg"}}) {
            const QString out = work.filePath(QStringLiteral("pq%1.png").arg(colours));
            const auto t = timeRuns(std::min(runs, 2), [&] {
                return runTool(pngquant, {"--force", "--output", out, colours, work.filePath("input.png")});
            });
            if (t)
                printTiming(qPrintable(QStringLiteral("pngquant %1").arg(colours)), *t, megapixels);
            const QImage got = readBack(out);
            if (!got.isNull())
                quality.push_back({who, bench::psnr(original, got), bench::ssim(original, got)});
        }
    }

    std::printf("\nLoad average at the end: %s\n", qPrintable(loadAverage()));
    std::printf("\nQuality against the original (higher is better)\n");
    for (const Quality &q : quality)
        std::printf("  %-36s PSNR %6.2f dB   SSIM %.4f\n", qPrintable(q.who), q.psnr, q.ssim);

    colourSweep(original, work, convert, pngquant);
    return 0;
}

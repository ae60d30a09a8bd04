// The WebP and AVIF rows: files the reference decoders read, transparency
// kept, the options applied, the quality felt in the size, failures said.
#include "decoding/PictureLoader.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "engine/conversion/BatchRun.h"
#include "engine/conversion/BatchWorker.h"
#include "engine/conversion/PreviewEncoder.h"
#include "engine/core/WebCodecs.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cmath>

using namespace pictrove;

namespace {

// A picture whose left half is opaque, whose right half fades out and whose
// last columns are fully transparent, over the usual gradient.
QImage transparentPicture(int width, int height)
{
    QImage picture = test::makeTestPicture(width, height).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int alpha = x < width / 2 ? 255 : x >= width - 8 ? 0 : 255 - (x - width / 2) * 4;
            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), std::clamp(alpha, 0, 255));
        }
    }
    return picture;
}

LoadResult loaded(const QImage &picture)
{
    LoadResult r;
    r.ok = true;
    r.image = picture;
    r.depth = picture.hasAlphaChannel() ? 32 : 24;
    return r;
}

EncodingOptions optionsFor(int row, std::optional<int> quality = {}, bool greyscale = false,
                           bool flipH = false, bool invert = false)
{
    FormatChoice choice;
    choice.row = row;
    choice.webQuality = quality;
    if (greyscale)
        choice.colorMode = 1;
    choice.flipHorizontal = flipH;
    choice.invert = invert;
    return encodingOptionsFor(choice).options;
}

FileResult convert(const QImage &picture, const EncodingOptions &options, const QString &path)
{
    ConversionContext context(options);
    AdoptBatchSource(context, QStringLiteral("/pictures/source.png"), loaded(picture));
    return EncodeBatchImage(context, path, 1);
}

// The file as the format's own command-line decoder reads it, through a PNG.
QImage referenceDecode(const QString &path)
{
    const bool avif = path.endsWith(QLatin1String(".avif"));
    const QString tool = QStandardPaths::findExecutable(avif ? QStringLiteral("avifdec") : QStringLiteral("dwebp"));
    if (tool.isEmpty())
        return {};
    const QString png = path + QStringLiteral(".decoded.png");
    QProcess process;
    process.start(tool, avif ? QStringList{path, png} : QStringList{path, QStringLiteral("-o"), png});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QImage(png).convertToFormat(QImage::Format_ARGB32);
}

bool referenceDecodersPresent()
{
    return !QStandardPaths::findExecutable(QStringLiteral("dwebp")).isEmpty()
           && !QStandardPaths::findExecutable(QStringLiteral("avifdec")).isEmpty();
}

// Mean absolute difference of the colour channels where both are visible.
double meanColourDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    qint64 count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (qAlpha(p) == 0)
                continue;
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            count += 3;
        }
    }
    return count ? sum / double(count) : 0.0;
}

constexpr int WebRows[] = {WebpLossyRow, WebpLosslessRow, AvifRow};

// Smooth like a photo, which is what the lossy rows are tuned for (the
// usual test picture's hard blue squares are the worst case of 4:2:0).
QImage smoothPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x * 255 / (width - 1), y * 255 / (height - 1),
                                        int(128 + 90 * std::sin(x / 9.0) * std::cos(y / 7.0))));
    return picture;
}

QString target(const test::Sandbox &box, int row, const QString &stem = QStringLiteral("out"))
{
    return box.file(stem + QStringLiteral(".") + formatRow(row)->extension);
}

} // namespace

TEST(WebRows, EachRowWritesAFileItsReferenceDecoderReadsAtTheRightSize)
{
    if (!referenceDecodersPresent())
        GTEST_SKIP() << "dwebp and avifdec are not installed (scripts/install-deps.sh --test)";
    test::Sandbox box;
    const QImage source = smoothPicture(97, 61); // odd sizes: chroma halves round up
    for (const int row : WebRows) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        const QString path = target(box, row);
        const FileResult result = convert(source, optionsFor(row), path);
        ASSERT_TRUE(result.ok()) << result.reason.toStdString();
        const QImage decoded = referenceDecode(path);
        ASSERT_FALSE(decoded.isNull());
        EXPECT_EQ(decoded.size(), source.size());
        // Close to the source; lossless exactly so.
        const double difference = meanColourDifference(source.convertToFormat(QImage::Format_ARGB32), decoded);
        EXPECT_LT(difference, 3.0);
        if (row == WebpLosslessRow) {
            EXPECT_EQ(test::maxChannelDifference(source.convertToFormat(QImage::Format_RGB32),
                                                 decoded.convertToFormat(QImage::Format_RGB32)),
                      0);
        }
        // What this program reads back for its own view is what the file holds.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QImage own = web::decodeOwn(row == AvifRow ? web::Codec::Avif : web::Codec::WebpLossy, file.readAll());
        EXPECT_LE(meanColourDifference(decoded, own.convertToFormat(QImage::Format_ARGB32)), 1.0);
    }
}

TEST(WebRows, TransparencyIsKeptAndAnOpaqueAlphaChannelIsNotWritten)
{
    if (!referenceDecodersPresent())
        GTEST_SKIP() << "dwebp and avifdec are not installed (scripts/install-deps.sh --test)";
    test::Sandbox box;
    const QImage source = transparentPicture(80, 48);
    for (const int row : WebRows) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        const QString path = target(box, row);
        ASSERT_TRUE(convert(source, optionsFor(row), path).ok());
        const QImage decoded = referenceDecode(path);
        ASSERT_EQ(decoded.size(), source.size());
        ASSERT_TRUE(decoded.hasAlphaChannel());
        int worst = 0;
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                worst = std::max(worst, std::abs(qAlpha(source.pixel(x, y)) - qAlpha(decoded.pixel(x, y))));
        EXPECT_LE(worst, row == WebpLossyRow ? 2 : 0) << "the alpha is written without loss";
        if (row == WebpLosslessRow) {
            EXPECT_EQ(meanColourDifference(source, decoded), 0.0);
        }

        // The same picture fully opaque, though it comes with an alpha
        // channel: a file without alpha.
        QImage opaque = source;
        opaque.fill(qRgba(20, 120, 200, 255));
        const QString opaquePath = target(box, row, QStringLiteral("opaque"));
        ASSERT_TRUE(convert(opaque, optionsFor(row), opaquePath).ok());
        QFile file(opaquePath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QImage own = web::decodeOwn(row == AvifRow ? web::Codec::Avif : web::Codec::WebpLossy, file.readAll());
        EXPECT_FALSE(own.hasAlphaChannel());
    }
}

TEST(WebRows, LowerQualityWritesASmallerFileAndTheDefaultsAreTheRows)
{
    test::Sandbox box;
    const QImage source = test::makeTestPicture(160, 120);
    for (const int row : {WebpLossyRow, AvifRow}) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        const QString low = target(box, row, QStringLiteral("q30"));
        const QString high = target(box, row, QStringLiteral("q90"));
        const QString byDefault = target(box, row, QStringLiteral("default"));
        const QString same = target(box, row, QStringLiteral("same"));
        ASSERT_TRUE(convert(source, optionsFor(row, 30), low).ok());
        ASSERT_TRUE(convert(source, optionsFor(row, 90), high).ok());
        ASSERT_TRUE(convert(source, optionsFor(row), byDefault).ok());
        const int rowDefault = row == AvifRow ? DefaultAvifQuality : DefaultWebpQuality;
        ASSERT_TRUE(convert(source, optionsFor(row, rowDefault), same).ok());
        EXPECT_LT(QFileInfo(low).size(), QFileInfo(high).size());
        EXPECT_EQ(box.read(QFileInfo(byDefault).fileName()), box.read(QFileInfo(same).fileName()));
    }
    EXPECT_EQ(web::avifQuantizer(100), 0);
    EXPECT_EQ(web::avifQuantizer(1), 62);
    EXPECT_EQ(web::avifQuantizer(60), 25);
}

TEST(WebRows, FlipsInversionAndGreyscaleApplyWithTheAlphaMovingAlong)
{
    test::Sandbox box;
    const QImage source = transparentPicture(64, 40);
    const QString path = target(box, WebpLosslessRow);
    ASSERT_TRUE(convert(source, optionsFor(WebpLosslessRow, {}, false, true, true), path).ok());
    QImage expected = source.mirrored(true, false);
    expected.invertPixels(QImage::InvertRgb);
    const QImage decoded = web::decodeOwn(web::Codec::WebpLossless, box.read(QStringLiteral("out.webp")));
    ASSERT_EQ(decoded.size(), expected.size());
    EXPECT_EQ(meanColourDifference(expected, decoded), 0.0);
    EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 0) << "the transparent columns are now on the left";

    ASSERT_TRUE(convert(source, optionsFor(WebpLosslessRow, {}, true), path).ok());
    const QImage grey = web::decodeOwn(web::Codec::WebpLossless, box.read(QStringLiteral("out.webp")));
    for (int x = 0; x < 40; x += 7) {
        const QRgb p = grey.pixel(x, 20);
        EXPECT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
    }
}

TEST(WebRows, ThePreviewShowsTheTransparentResultWithItsLabels)
{
    test::Sandbox box;
    for (const int row : WebRows) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        ConversionContext context(optionsFor(row));
        context.original.setPicture(transparentPicture(48, 32));
        const PreviewResult result = EncodePreview(context, target(box, row), 0);
        ASSERT_TRUE(result.file.ok()) << result.file.reason.toStdString();
        ASSERT_TRUE(result.labels);
        EXPECT_EQ(result.labels->FileType4, row == AvifRow ? QStringLiteral("AVIF") : QStringLiteral("WEBP"));
        EXPECT_EQ(result.labels->Depth4, QStringLiteral("32 bit"));
        EXPECT_TRUE(result.labels->FileSize4.endsWith(QLatin1String("KB")));
        EXPECT_FALSE(context.optimized.transparent().isNull());
        EXPECT_EQ(context.optimized.clientSize(), QSize(48, 32));

        context.original.setPicture(test::makeTestPicture(48, 32));
        const PreviewResult opaque = EncodePreview(context, target(box, row), 0);
        ASSERT_TRUE(opaque.labels);
        EXPECT_EQ(opaque.labels->Depth4, QStringLiteral("24 bit"));
        EXPECT_TRUE(context.optimized.transparent().isNull());
    }
}

TEST(WebRows, AFullDiskFailsTheFileWithTheSystemsReasonAndKeepsTheOldOne)
{
    test::Sandbox box;
    const QImage source = test::makeTestPicture(400, 300);
    for (const int row : WebRows) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        const QString path = target(box, row);
        ASSERT_TRUE(box.write(QFileInfo(path).fileName(), "the old file"));
        FileResult result;
        {
            test::FileSizeLimit limit(64);
            ASSERT_TRUE(limit.active());
            result = convert(source, optionsFor(row), path);
        }
        EXPECT_EQ(result.status, FileStatus::Failed);
        EXPECT_TRUE(result.reason.contains(QLatin1String("file too large"))) << result.reason.toStdString();
        EXPECT_EQ(box.read(QFileInfo(path).fileName()), QByteArray("the old file"));
        const QStringList left = QDir(box.path()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
        EXPECT_TRUE(left.isEmpty()) << left.join(u' ').toStdString(); // no work file stays
    }
}

TEST(WebRows, APictureTooLargeForWebPIsAFailureOfItsOwn)
{
    test::Sandbox box;
    QImage wide(16384, 2, QImage::Format_RGB32);
    wide.fill(Qt::darkCyan);
    const FileResult result = convert(wide, optionsFor(WebpLossyRow), target(box, WebpLossyRow));
    EXPECT_EQ(result.status, FileStatus::Failed);
    EXPECT_TRUE(result.reason.contains(QLatin1String("16383"))) << result.reason.toStdString();
}

TEST(WebRows, ABatchOfThreePicturesForEachRow)
{
    test::Sandbox box;
    QStringList inputs;
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("in%1.png").arg(i);
        ASSERT_TRUE((i == 1 ? transparentPicture(40 + i, 30) : test::makeTestPicture(40 + i, 30)).save(box.file(name)));
        inputs << box.file(name);
    }
    for (const int row : WebRows) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        BatchJob job;
        for (const QString &input : inputs)
            job.entries.push_back({input, {}});
        job.destination = box.path();
        job.genericName = QStringLiteral("row%1-").arg(row);
        job.options = optionsFor(row);
        const BatchSummary summary = runBatch(job, {});
        EXPECT_EQ(summary.written, 3);
        for (int i = 1; i <= 3; ++i) {
            const QString name = QStringLiteral("row%1-%2.%3").arg(row).arg(i).arg(formatRow(row)->extension);
            const QImage picture =
                web::decodeOwn(row == AvifRow ? web::Codec::Avif : web::Codec::WebpLossy, box.read(name));
            EXPECT_EQ(picture.size(), QSize(40 + i - 1, 30)) << name.toStdString();
            EXPECT_EQ(picture.hasAlphaChannel(), i == 2) << name.toStdString();
        }
    }
}

// A white disc on a transparent ground, shrunk on its way to WebP: its soft
// edge stays white (only the alpha falls off), and the file keeps the alpha.
// Resampling the picture flattened, or without premultiplying, darkens it.
TEST(WebRows, AResizedTransparentPictureKeepsItsAlphaWithoutADarkFringe)
{
    if (!referenceDecodersPresent())
        GTEST_SKIP() << "dwebp and avifdec are not installed (scripts/install-deps.sh --test)";
    test::Sandbox box;
    QImage disc(300, 300, QImage::Format_ARGB32);
    for (int y = 0; y < disc.height(); ++y)
        for (int x = 0; x < disc.width(); ++x) {
            const bool inside = std::hypot(x - 149.5, y - 149.5) < 100.0;
            disc.setPixel(x, y, inside ? qRgba(255, 255, 255, 255) : qRgba(0, 0, 0, 0));
        }
    EncodingOptions options = optionsFor(WebpLosslessRow);
    options.resize.mode = ResizeMode::LongestSide;
    options.resize.side = 97;
    const QString path = target(box, WebpLosslessRow);
    ASSERT_TRUE(convert(disc, options, path).ok());
    const QImage decoded = referenceDecode(path);
    ASSERT_EQ(decoded.size(), QSize(97, 97));
    ASSERT_TRUE(decoded.hasAlphaChannel());
    int edge = 0;
    for (int y = 0; y < decoded.height(); ++y)
        for (int x = 0; x < decoded.width(); ++x) {
            const QRgb c = decoded.pixel(x, y);
            if (qAlpha(c) < 16 || qAlpha(c) > 240)
                continue;
            ++edge;
            EXPECT_GE(std::min({qRed(c), qGreen(c), qBlue(c)}), 250) << x << "," << y << " alpha " << qAlpha(c);
        }
    EXPECT_GT(edge, 20) << "the disc has a soft edge to look at";
}

// The source's EXIF and XMP in the written files: which rows carry them, what
// is corrected on the way, and that nothing else about a file changes.
#include "decoding/FreeImageHandles.h"
#include "decoding/PictureLoader.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "engine/conversion/BatchWorker.h"
#include "engine/conversion/PreviewWorker.h"
#include "metadata/ExifDirectories.h"

#include "CameraFixtures.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace pictrove;

namespace {

// A portrait photo as the decoder hands it over: already upright (200 x 300)
// while its EXIF still says "rotate 90" and gives the camera's 300 x 200.
LoadResult portraitPhoto(bool withMetadata = true)
{
    LoadResult r;
    r.ok = true;
    r.image = test::makeTestPicture(200, 300);
    r.depth = 24;
    if (withMetadata) {
        test::CameraDetails details;
        details.pixelSize = QSize(300, 200);
        r.exif = test::exifBlock(details);
        r.xmp = test::xmpPacket(6, QSize(300, 200));
    }
    return r;
}

EncodingOptions optionsFor(int row, bool keepMetadata)
{
    FormatChoice choice;
    choice.row = row;
    choice.keepMetadata = keepMetadata;
    return encodingOptionsFor(choice).options;
}

// Converts the loaded picture with the row's options into path, as the batch does.
QByteArray convert(const LoadResult &loaded, int row, bool keepMetadata, const QString &path)
{
    ConversionContext context(optionsFor(row, keepMetadata));
    AdoptBatchSource(context, QStringLiteral("/photos/portrait.jpg"), loaded);
    const FileResult result = isJpegRow(row)
        ? EncodeBatchJpeg(context, path, context.options.settings.JpegQuality, 1)
        : EncodeBatchImage(context, path, 1);
    EXPECT_EQ(result.status, FileStatus::Written) << result.reason.toStdString();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The EXIF block a written file holds, found where its format keeps it.
QByteArray exifOf(const QByteArray &file)
{
    if (file.startsWith("\xFF\xD8")) {
        const QList<QByteArray> found = test::jpegApp1Payloads(file, QByteArray("Exif\0\0", 6));
        return found.isEmpty() ? QByteArray() : found.first();
    }
    if (file.startsWith("\x89PNG")) {
        const QList<QByteArray> found = test::pngChunks(file, "eXIf");
        return found.isEmpty() ? QByteArray() : found.first();
    }
    if (file.startsWith("II*") || file.startsWith("MM\0*"))
        return file; // a TIFF is a TIFF structure itself
    if (file.startsWith("RIFF") && file.mid(8, 4) == "WEBP") {
        for (qsizetype at = 12; at + 8 <= file.size();) {
            const auto *p = reinterpret_cast<const uchar *>(file.constData() + at + 4);
            const qsizetype size = qsizetype(p[0] | p[1] << 8 | p[2] << 16 | quint32(p[3]) << 24);
            if (file.mid(at, 4) == "EXIF")
                return file.mid(at + 8, size);
            at += 8 + size + (size & 1);
        }
        return {};
    }
    if (file.mid(4, 8) == "ftypavif") {
        // The item's TIFF structure, which its own offsets delimit.
        qsizetype at = file.indexOf(QByteArray("II*\0", 4));
        if (at < 0)
            at = file.indexOf(QByteArray("MM\0*", 4));
        return at < 0 ? QByteArray() : file.mid(at);
    }
    return {};
}

struct FileTags {
    QString make, model, dateTaken, orientation, width, height, latitude, xmp;
};

QString tagText(FIBITMAP *dib, FREE_IMAGE_MDMODEL model, const char *key)
{
    FITAG *tag = nullptr;
    if (!FreeImage_GetMetadata(model, dib, key, &tag) || !tag)
        return {};
    return QString::fromLatin1(FreeImage_TagToString(model, tag));
}

// What FreeImage, a reader of its own, finds in a written JPEG.
FileTags jpegTags(const QByteArray &file)
{
    FileTags t;
    FIMEMORY *memory = FreeImage_OpenMemory(reinterpret_cast<BYTE *>(const_cast<char *>(file.constData())),
                                            DWORD(file.size()));
    FiBitmap dib(FreeImage_LoadFromMemory(FIF_JPEG, memory, 0));
    if (dib) {
        t.make = tagText(dib.get(), FIMD_EXIF_MAIN, "Make");
        t.model = tagText(dib.get(), FIMD_EXIF_MAIN, "Model");
        t.orientation = tagText(dib.get(), FIMD_EXIF_MAIN, "Orientation");
        t.dateTaken = tagText(dib.get(), FIMD_EXIF_EXIF, "DateTimeOriginal");
        t.width = tagText(dib.get(), FIMD_EXIF_EXIF, "PixelXDimension");
        t.height = tagText(dib.get(), FIMD_EXIF_EXIF, "PixelYDimension");
        t.latitude = tagText(dib.get(), FIMD_EXIF_GPS, "GPSLatitude");
        t.xmp = tagText(dib.get(), FIMD_XMP, "XMLPacket");
    }
    FreeImage_CloseMemory(memory);
    return t;
}

bool holdsAnyDetail(const QByteArray &file)
{
    return file.contains("Tevalen Optics") || file.contains("Harbour at dusk")
        || file.contains("2024:05:17") || file.contains("Exif\0\0") || file.contains("eXIf");
}

} // namespace

TEST(MetadataWrite, JpegKeepsDateCameraAndPositionUprightAtItsWrittenSize)
{
    test::Sandbox box;
    const QByteArray file = convert(portraitPhoto(), 18, true, box.file("kept.jpg"));
    const FileTags tags = jpegTags(file);
    EXPECT_EQ(tags.make, QStringLiteral("Tevalen Optics"));
    EXPECT_EQ(tags.model, QStringLiteral("TV-300 Mk II"));
    EXPECT_EQ(tags.dateTaken, QStringLiteral("2024:05:17 14:03:22"));
    EXPECT_FALSE(tags.latitude.isEmpty());
    EXPECT_EQ(tags.orientation, QStringLiteral("top, left side"));
    EXPECT_EQ(tags.width, QStringLiteral("200"));
    EXPECT_EQ(tags.height, QStringLiteral("300"));
    EXPECT_FALSE(file.contains(test::thumbnailMark()));
    EXPECT_FALSE(file.contains("TevalenMakerNote"));
    // The XMP packet, with its orientation and size corrected too.
    EXPECT_TRUE(tags.xmp.contains(QStringLiteral("Harbour at dusk")));
    EXPECT_TRUE(tags.xmp.contains(QStringLiteral("tiff:Orientation=\"1\"")));
    EXPECT_TRUE(tags.xmp.contains(QStringLiteral("exif:PixelXDimension=\"200\"")));
    // A viewer that turns pictures by their tags shows it as written.
    QImageReader reader(box.file("kept.jpg"));
    reader.setAutoTransform(true);
    EXPECT_EQ(reader.read().size(), QSize(200, 300));
}

// Keep metadata off, or a source without any: the very file that a source
// without metadata gives, in every row.
TEST(MetadataWrite, WithoutKeepingOrWithoutMetadataEveryRowWritesTheSameBytes)
{
    test::Sandbox box;
    for (int row = 0; row < FormatCount; ++row) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        const QString ext = formatRow(row)->extension;
        const QByteArray plain = convert(portraitPhoto(false), row, true, box.file("plain." + ext));
        const QByteArray stripped = convert(portraitPhoto(), row, false, box.file("stripped." + ext));
        const QByteArray plainOff = convert(portraitPhoto(false), row, false, box.file("off." + ext));
        ASSERT_FALSE(plain.isEmpty());
        EXPECT_EQ(stripped, plain);
        EXPECT_EQ(plainOff, plain);
        EXPECT_FALSE(holdsAnyDetail(stripped));
    }
}

// From a source tagged "rotate 90", every written file that has an
// orientation says 1, has no thumbnail, and the formats that hold no
// metadata get none of it.
TEST(MetadataWrite, EveryRowIsUprightAndOnlyJpegPngAndTiffCarryDetails)
{
    test::Sandbox box;
    for (int row = 0; row < FormatCount; ++row) {
        const FormatRow *format = formatRow(row);
        SCOPED_TRACE(format->listText.toStdString());
        const QByteArray file = convert(portraitPhoto(), row, true, box.file(QStringLiteral("row%1.%2").arg(row).arg(format->extension)));
        EXPECT_FALSE(file.contains(test::thumbnailMark()));
        if (!format->carriesMetadata()) {
            EXPECT_FALSE(holdsAnyDetail(file));
            continue;
        }
        const std::optional<exif::Directories> d = exif::read(exifOf(file));
        ASSERT_TRUE(d.has_value());
        const exif::Entry *orientation = exif::find(d->primary, exif::tag::Orientation);
        if (orientation) {
            EXPECT_EQ(exif::unsignedValue(*orientation, d->order), 1u);
        }
        const exif::Entry *make = exif::find(d->primary, exif::tag::Make);
        ASSERT_NE(make, nullptr);
        EXPECT_EQ(make->value, QByteArray("Tevalen Optics\0", 15));
        ASSERT_NE(exif::find(d->exif, exif::tag::DateTimeOriginal), nullptr);
        // A TIFF's size is its own; the others say the written size.
        const exif::Entry *width = exif::find(d->exif, exif::tag::PixelXDimension);
        if (format->extension == QLatin1String("tif")) {
            EXPECT_EQ(width, nullptr);
        } else {
            ASSERT_NE(width, nullptr);
            EXPECT_EQ(exif::unsignedValue(*width, d->order), 200u);
        }
        EXPECT_EQ(d->gps.size(), 3u);
        EXPECT_TRUE(file.contains("Harbour at dusk"));
    }
}

// ExifTool, the reference reader, finds the details where the other
// programs look for them, and nothing it would warn about.
TEST(MetadataWrite, ExifToolReadsTheDetailsOfEveryFormatThatCarriesThem)
{
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    if (exiftool.isEmpty())
        GTEST_SKIP() << "exiftool is not installed (scripts/install-deps.sh --test)";
    test::Sandbox box;
    for (const int row : {13, 14, 15, 20, 25, WebpLossyRow, WebpLosslessRow, AvifRow}) {
        const FormatRow *format = formatRow(row);
        SCOPED_TRACE(format->listText.toStdString());
        const QString path = box.file(QStringLiteral("row%1.%2").arg(row).arg(format->extension));
        convert(portraitPhoto(), row, true, path);
        QProcess tool;
        tool.start(exiftool, {QStringLiteral("-j"), QStringLiteral("-n"),
                              QStringLiteral("-Make"), QStringLiteral("-Model"),
                              QStringLiteral("-Orientation"), QStringLiteral("-DateTimeOriginal"),
                              QStringLiteral("-ExifImageWidth"), QStringLiteral("-ExifImageHeight"),
                              QStringLiteral("-GPSLatitude"), QStringLiteral("-LensModel"),
                              QStringLiteral("-XMP:Title"), QStringLiteral("-ThumbnailLength"), path});
        ASSERT_TRUE(tool.waitForFinished(60000));
        const QJsonObject tags = QJsonDocument::fromJson(tool.readAllStandardOutput()).array().at(0).toObject();
        EXPECT_EQ(tags.value("Make").toString(), QStringLiteral("Tevalen Optics"));
        EXPECT_EQ(tags.value("Model").toString(), QStringLiteral("TV-300 Mk II"));
        EXPECT_EQ(tags.value("DateTimeOriginal").toString(), QStringLiteral("2024:05:17 14:03:22"));
        EXPECT_EQ(tags.value("LensModel").toString(), QStringLiteral("TV 24-70mm F2.8"));
        EXPECT_EQ(tags.value("GPSLatitude").toDouble(), 51.5);
        EXPECT_EQ(tags.value("ExifImageWidth").toInt(), 200);
        EXPECT_EQ(tags.value("ExifImageHeight").toInt(), 300);
        EXPECT_EQ(tags.value("Title").toString(), QStringLiteral("Harbour at dusk"));
        EXPECT_TRUE(tags.value("Orientation").isUndefined() || tags.value("Orientation").toInt() == 1);
        EXPECT_TRUE(tags.value("ThumbnailLength").isUndefined());

        // Its checks of the structure find nothing wrong; a tag the standard
        // wants that the camera did not write is the camera's business.
        QProcess check;
        check.start(exiftool, {QStringLiteral("-validate"), QStringLiteral("-warning"), QStringLiteral("-a"),
                               QStringLiteral("-s3"), path});
        ASSERT_TRUE(check.waitForFinished(60000));
        for (const QString &line : QString::fromUtf8(check.readAllStandardOutput()).split(u'\n')) {
            static const QRegularExpression count(QStringLiteral("^\\d+ Warnings?"));
            if (!line.isEmpty() && !line.contains(QStringLiteral("Missing required"))
                && !count.match(line).hasMatch() && line != QStringLiteral("OK"))
                ADD_FAILURE() << line.toStdString();
        }
    }
}

// A damaged block from a hostile file never stops the file: it is written
// with whatever of the block checked out, or without it.
TEST(MetadataWrite, DamagedExifNeverStopsTheFile)
{
    test::Sandbox box;
    QRandomGenerator random(1806);
    const QByteArray good = test::exifBlock();
    for (int round = 0; round < 60; ++round) {
        LoadResult loaded = portraitPhoto();
        loaded.exif = good;
        for (int c = 0; c < 6; ++c)
            loaded.exif[qsizetype(random.bounded(int(good.size())))] = char(random.bounded(256));
        if (round % 3 == 0)
            loaded.exif.truncate(qsizetype(random.bounded(int(good.size()))));
        if (round % 5 == 0)
            loaded.exif = QByteArray(64 * 1024, char(0xFF));
        for (const int row : {14, 19, 25}) {
            const QByteArray file = convert(loaded, row, true, box.file(QStringLiteral("r%1").arg(row)));
            ASSERT_FALSE(file.isEmpty()) << round;
            const QByteArray block = exifOf(file);
            if (!block.isEmpty()) {
                EXPECT_TRUE(exif::read(block).has_value()) << round;
            }
        }
    }
}

// Step 2 and Save As: the worker encodes the picture with the metadata of
// the same snapshot.
TEST(MetadataWrite, PreviewAndSaveAsCarryTheSnapshotsMetadata)
{
    test::Sandbox box;
    PreviewWorker worker;
    int done = 0;
    QObject::connect(&worker, &PreviewWorker::finished, [&](const PreviewDone &) { ++done; });
    const LoadResult photo = portraitPhoto();
    for (const bool keep : {true, false}) {
        PreviewJob job;
        job.options = optionsFor(20, keep);
        job.jpeg = true;
        job.quality = 80;
        job.original = photo.image;
        job.metadata = {photo.exif, photo.xmp};
        job.path = box.file(keep ? "kept.jpg" : "stripped.jpg");
        job.saveAs = true;
        worker.request(job);
    }
    ASSERT_TRUE(test::waitFor([&] { return done == 2; }, 30000));
    EXPECT_EQ(jpegTags(box.read("kept.jpg")).make, QStringLiteral("Tevalen Optics"));
    EXPECT_FALSE(holdsAnyDetail(box.read("stripped.jpg")));
}

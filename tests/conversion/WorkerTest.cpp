#include "engine/core/WebCodecs.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "workflow/options/OutputSettingsController.h"
#include "engine/conversion/BatchWorker.h"
#include "engine/conversion/EncodePipeline.h"
#include "engine/conversion/PreviewEncoder.h"
#include "engine/conversion/PreviewWorker.h"
#include "platform/SizeText.h"
#include "engine/conversion/BatchSource.h"
#include "engine/conversion/StagedOutput.h"
#include "decoding/Decoders.h"
#include "decoding/FreeImageConvert.h"
#include "engine/core/FreeImageBridge.h"
#include "decoding/FreeImageHandles.h"
#include "engine/palette/PaletteCodes.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QImageReader>
#include <QProcess>

#include <QThread>
#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>
#include <unistd.h>

using namespace pictrove;

namespace {

// A window's worth of state without a window: the Step 2 options with their
// lists filled and a context that encodes a snapshot of them, as the
// window's preview worker does.
struct Harness {
    OutputSettingsController options;
    ConversionContext context;

    Harness() { options.fillOptionLists(60); }
    void select(int row) { options.selectFormat(row); }
    // The context with the options as they stand now.
    ConversionContext &sync()
    {
        context.options = options.encodingOptions();
        return context;
    }
};

struct ReadBack {
    FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
    int width = 0;
    int height = 0;
    int bpp = 0;
    QImage pixels;
};

ReadBack readWithFreeImage(const QString &path)
{
    ReadBack r;
    const QByteArray native = QFile::encodeName(path);
    r.format = FreeImage_GetFileType(native.constData(), 0);
    if (r.format == FIF_UNKNOWN)
        return r;
    FiBitmap dib(FreeImage_Load(r.format, native.constData(), 0));
    if (!dib)
        return r;
    r.width = int(FreeImage_GetWidth(dib.get()));
    r.height = int(FreeImage_GetHeight(dib.get()));
    r.bpp = int(FreeImage_GetBPP(dib.get()));
    r.pixels = toQImage(dib.get());
    return r;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

const QImage &samplePicture()
{
    static const QImage picture = test::makeTestPicture(37, 23); // odd width: PCX pad bytes
    return picture;
}

QImage noisePicture(int width, int height)
{
    std::mt19937 random(7);
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, random() | 0xFF000000u);
    return picture;
}

} // namespace

// Every catalogue row writes a file of its own format and depth that the
// libraries read back at the picture's size.
TEST(BatchWorker, EveryRowWritesItsFormat)
{
    const struct {
        FREE_IMAGE_FORMAT format;
        int bpp; // FreeImage's depth on reading; 0: any palette depth
        int tolerance; // largest channel difference from the source; -1 unchecked
    } expected[FormatCount] = {
        {FIF_GIF, 0, -1}, {FIF_GIF, 0, -1}, {FIF_GIF, 0, -1}, {FIF_GIF, 0, -1},
        {FIF_GIF, 0, -1}, {FIF_GIF, 0, -1}, {FIF_GIF, 0, -1}, {FIF_GIF, 0, -1},
        {FIF_BMP, 1, -1}, {FIF_BMP, 4, -1}, {FIF_BMP, 8, -1}, {FIF_BMP, 16, 8},
        {FIF_BMP, 24, 0}, {FIF_PNG, 8, -1}, {FIF_PNG, 24, 0},
        {FIF_JPEG, 24, 160}, {FIF_JPEG, 24, 160}, {FIF_JPEG, 24, 160}, {FIF_JPEG, 24, 160},
        {FIF_JPEG, 24, 160}, {FIF_JPEG, 24, 160},
        {FIF_PCX, 24, 8}, {FIF_PCX, 24, 0}, {FIF_TARGA, 16, 8}, {FIF_TARGA, 24, 0},
        {FIF_TIFF, 24, 0},
        // Read back by their own libraries below.
        {FIF_UNKNOWN, 0, -1}, {FIF_UNKNOWN, 0, -1}, {FIF_UNKNOWN, 0, -1},
    };
    test::Sandbox box;
    Harness h;
    h.options.reencodeJpeg = [&h](int q) { h.options.settings.JpegQuality = q; };
    h.context.source.setPicture(samplePicture());
    for (int row = 0; row < FormatCount; ++row) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        h.select(row);
        const QString out = box.file(QStringLiteral("row%1.%2").arg(row).arg(h.options.settings.Extension));
        const FileResult result = isJpegRow(row)
            ? EncodeBatchJpeg(h.sync(), out, h.options.settings.JpegQuality, 0)
            : EncodeBatchImage(h.sync(), out, 0);
        ASSERT_EQ(result.status, FileStatus::Written) << result.reason.toStdString();
        EXPECT_EQ(result.path, out);

        if (formatRow(row)->kind == FormatKind::Web) {
            QFile file(out);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QImage back = web::decodeOwn(row == AvifRow ? web::Codec::Avif : web::Codec::WebpLossy, file.readAll());
            EXPECT_EQ(back.size(), QSize(37, 23));
            EXPECT_LE(test::maxChannelDifference(back.convertToFormat(QImage::Format_RGB32), samplePicture()),
                      row == WebpLosslessRow ? 0 : 160);
            continue;
        }
        const ReadBack back = readWithFreeImage(out);
        EXPECT_EQ(back.format, expected[row].format);
        EXPECT_EQ(back.width, 37);
        EXPECT_EQ(back.height, 23);
        if (expected[row].bpp) {
            EXPECT_EQ(back.bpp, expected[row].bpp);
        } else {
            EXPECT_LE(back.bpp, 8);
        }
        if (expected[row].tolerance >= 0) {
            EXPECT_LE(test::maxChannelDifference(back.pixels, samplePicture()), expected[row].tolerance);
        }

        if (back.format == FIF_GIF || back.format == FIF_BMP || back.format == FIF_JPEG) {
            QImageReader reader(out);
            EXPECT_EQ(reader.read().size(), QSize(37, 23)) << reader.errorString().toStdString();
        }
    }
    EXPECT_EQ(filesIn(box.path()).size(), FormatCount); // no work files left behind
}

TEST(BatchWorker, InterlacedGifAndFixedColourCombinedOnce)
{
    test::Sandbox box;
    Harness h;
    h.context.source.setPicture(samplePicture());
    h.options.setInterlaced(true);
    h.select(3); // GIF-16 Colors
    h.options.selectMap(2); // "Fixed Color"
    ASSERT_EQ(h.options.settings.EncoderKind, EncoderKind::GifInterlaced);
    ASSERT_TRUE(EncodeBatchImage(h.sync(), box.file("i.gif"), 0).ok());
    EXPECT_EQ(h.options.settings.PaletteFlags, 0x8010);
    const QByteArray gif = box.read("i.gif");
    // The image descriptor's packed byte (after the 13-byte screen
    // descriptor and the colour table) carries the interlace bit 0x40.
    const int tableBytes = 3 << ((quint8(gif.at(10)) & 7) + 1);
    qsizetype at = 13 + ((quint8(gif.at(10)) & 0x80) ? tableBytes : 0);
    while (at < gif.size() && gif.at(at) == '!') { // skip extension blocks
        at += 2;
        while (at < gif.size() && gif.at(at) != 0)
            at += quint8(gif.at(at)) + 1;
        ++at;
    }
    ASSERT_LT(at + 9, gif.size());
    EXPECT_EQ(gif.at(at), ',');
    EXPECT_TRUE(quint8(gif.at(at + 9)) & 0x40);
}

// Flips and inversion go through the encoder's transform chain and reach the
// written pixels; the JPEG route ignores them.
TEST(BatchWorker, FlipsAndInversionReachTheFile)
{
    test::Sandbox box;
    Harness h;
    h.context.source.setPicture(samplePicture());
    h.select(12); // BMP-24 bit
    h.options.chkFlipV.checked = true;
    h.options.chkInvert.checked = true;
    EXPECT_EQ(transformFlags(false, true, true), 0x1010000 | 0x3100000);
    ASSERT_TRUE(EncodeBatchImage(h.sync(), box.file("vi.bmp"), 0).ok());
    QImage expected = samplePicture().mirrored(false, true);
    expected.invertPixels();
    EXPECT_EQ(test::maxChannelDifference(readWithFreeImage(box.file("vi.bmp")).pixels, expected), 0);

    h.options.chkFlipV.checked = false;
    h.options.chkFlipH.checked = true;
    ASSERT_TRUE(EncodeBatchImage(h.sync(), box.file("hi.bmp"), 0).ok());
    expected = samplePicture().mirrored(true, false);
    expected.invertPixels();
    EXPECT_EQ(test::maxChannelDifference(readWithFreeImage(box.file("hi.bmp")).pixels, expected), 0);
}

TEST(BatchWorker, PcxBatchTakesEachPicturesOwnSize)
{
    test::Sandbox box;
    Harness h;
    h.select(21); // PCX-24 bit (Compressed)
    h.context.source.setPicture(test::makeTestPicture(200, 100));
    ASSERT_TRUE(EncodeBatchImage(h.sync(), box.file("a1.pcx"), 0).ok());
    h.context.source.setPicture(test::makeTestPicture(50, 40));
    ASSERT_TRUE(EncodeBatchImage(h.sync(), box.file("a2.pcx"), 0).ok());
    const ReadBack first = readWithFreeImage(box.file("a1.pcx"));
    const ReadBack second = readWithFreeImage(box.file("a2.pcx"));
    EXPECT_EQ(QSize(first.width, first.height), QSize(200, 100));
    EXPECT_EQ(QSize(second.width, second.height), QSize(50, 40));
    EXPECT_EQ(h.context.optimized.clientSize(), QSize(50, 40)); // the last one drawn
    EXPECT_EQ(box.read("a1.pcx").at(2), 1); // compressed, as both PCX rows ask
}

TEST(BatchWorker, OverwriteFlagDecidesAndNothingIsHalfWritten)
{
    test::Sandbox box;
    Harness h;
    h.context.source.setPicture(samplePicture());
    h.select(14); // PNG-24 bit
    ASSERT_TRUE(box.write("x1.png", "precious"));

    FileResult r = EncodeBatchImage(h.sync(), box.file("x1.png"), 0);
    EXPECT_EQ(r.status, FileStatus::Skipped);
    EXPECT_EQ(box.read("x1.png"), QByteArray("precious"));
    r = EncodeBatchJpeg(h.sync(), box.file("x1.png"), 60, 0);
    EXPECT_EQ(r.status, FileStatus::Skipped);
    EXPECT_EQ(box.read("x1.png"), QByteArray("precious"));

    // A conversion that fails after the encoder wrote its BMP leaves the old
    // file whole and no stray file.
    h.options.settings.LibraryFormat = 9;
    r = EncodeBatchImage(h.sync(), box.file("x1.png"), 1);
    EXPECT_EQ(r.status, FileStatus::Failed);
    EXPECT_EQ(box.read("x1.png"), QByteArray("precious"));
    EXPECT_EQ(filesIn(box.path()), QStringList{QStringLiteral("x1.png")});

    h.select(14);
    r = EncodeBatchImage(h.sync(), box.file("x1.png"), 1);
    ASSERT_EQ(r.status, FileStatus::Written) << r.reason.toStdString();
    EXPECT_EQ(readWithFreeImage(box.file("x1.png")).format, FIF_PNG);
    EXPECT_EQ(filesIn(box.path()), QStringList{QStringLiteral("x1.png")});
}

// A file the user made read-only is never replaced, even by root (as CI
// runs), in the batch with Overwrite and in Save As alike; a file that is
// replaced stays the same file to the user: its permission bits survive.
TEST(BatchWorker, ReadOnlyFilesAreNeverReplacedAndReplacedOnesKeepTheirMode)
{
    test::Sandbox box;
    Harness h;
    h.context.source.setPicture(samplePicture());
    h.context.original.setPicture(samplePicture());
    h.select(14); // PNG-24 bit
    const QString locked = box.file("locked.png");
    ASSERT_TRUE(box.write("locked.png", "precious"));
    ASSERT_EQ(::link(QFile::encodeName(locked).constData(),
                     QFile::encodeName(box.file("hard.png")).constData()), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0444), 0);

    FileResult r = EncodeBatchImage(h.sync(), locked, 1);
    EXPECT_EQ(r.status, FileStatus::Skipped);
    EXPECT_EQ(r.reason, QStringLiteral("the file is read-only"));
    r = EncodeBatchJpeg(h.sync(), locked, 60, 1);
    EXPECT_EQ(r.status, FileStatus::Skipped);
    const PreviewResult saved = EncodePreview(h.sync(), locked, 1);
    EXPECT_FALSE(saved.file.ok());
    EXPECT_EQ(saved.file.reason, QStringLiteral("the file is read-only"));
    EXPECT_EQ(box.read("locked.png"), QByteArray("precious"));
    EXPECT_EQ(box.read("hard.png"), QByteArray("precious"));
    struct stat st{};
    ASSERT_EQ(::stat(QFile::encodeName(locked).constData(), &st), 0);
    EXPECT_EQ(st.st_nlink, nlink_t(2)); // the hard link was not cut

    // Protected after the check, before the swap: still not replaced.
    {
        ASSERT_TRUE(box.write("late.png", "old"));
        StagedOutput staged(box.file("late.png"));
        ASSERT_TRUE(staged.create(nullptr));
        ASSERT_EQ(::chmod(QFile::encodeName(box.file("late.png")).constData(), 0555), 0);
        QString error;
        EXPECT_EQ(staged.commit(true, &error), StagedOutput::Commit::ReadOnly);
        EXPECT_EQ(error, QStringLiteral("the file is read-only"));
    }
    EXPECT_EQ(box.read("late.png"), QByteArray("old"));

    // Writable, with unusual bits: replaced, and the bits are kept.
    ASSERT_TRUE(box.write("shared.png", "old"));
    const QByteArray shared = QFile::encodeName(box.file("shared.png"));
    ASSERT_EQ(::chmod(shared.constData(), 0664), 0);
    const mode_t before = ::umask(077); // new files would come out 0600
    r = EncodeBatchImage(h.sync(), box.file("shared.png"), 1);
    ::umask(before);
    ASSERT_EQ(r.status, FileStatus::Written) << r.reason.toStdString();
    ASSERT_EQ(::stat(shared.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0664));
    EXPECT_EQ(readWithFreeImage(box.file("shared.png")).format, FIF_PNG);
}

// A disk that fills up while a file is written must fail that file and
// leave the existing one whole, on every writer: the library writers report
// success on a short write unless their output is checked, and a file
// smaller than the write buffer fails only when the buffer is written out.
TEST(BatchWorker, ShortWriteFailsAndKeepsTheExistingFile)
{
    const struct {
        QSize size;
        rlim_t limit;
    } cases[] = {{{400, 300}, 4096}, {{60, 40}, 512}};
    for (const auto &c : cases) {
        test::Sandbox box;
        Harness h;
        h.options.reencodeJpeg = [&h](int q) { h.options.settings.JpegQuality = q; };
        h.context.source.setPicture(noisePicture(c.size.width(), c.size.height()));
        for (const int row : {7, 10, 12, 13, 14, 15, 21, 22, 23, 24, 25}) {
            SCOPED_TRACE(testing::Message() << formatRow(row)->listText.toStdString() << " "
                                            << c.size.width() << "x" << c.size.height());
            h.select(row);
            const QString name = QStringLiteral("full.") + h.options.settings.Extension;
            ASSERT_TRUE(box.write(name, "precious"));
            FileResult result;
            {
                test::FileSizeLimit limit(c.limit);
                ASSERT_TRUE(limit.active());
                result = isJpegRow(row)
                    ? EncodeBatchJpeg(h.sync(), box.file(name), h.options.settings.JpegQuality, 1)
                    : EncodeBatchImage(h.sync(), box.file(name), 1);
            }
            EXPECT_EQ(result.status, FileStatus::Failed);
            EXPECT_EQ(box.read(name), QByteArray("precious"));
            EXPECT_EQ(filesIn(box.path()), QStringList{name});
            QFile::remove(box.file(name));
        }
    }
}

// The same with the disk filling up at many points of each file, where some
// writers go back to finish what they began (TIFF writes its header last):
// just below every row's full size, and at every 16 KiB below it, where the
// file's buffer is written out.
TEST(BatchWorker, AWriteThatFailsNearTheEndFailsTheFileAndKeepsTheOldOne)
{
    test::Sandbox box;
    Harness h;
    h.options.reencodeJpeg = [&h](int q) { h.options.settings.JpegQuality = q; };
    h.context.source.setPicture(noisePicture(200, 150));
    for (const int row : {7, 10, 12, 13, 14, 15, 21, 22, 23, 24, 25}) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        h.select(row);
        const QString name = QStringLiteral("near.") + h.options.settings.Extension;
        const auto encode = [&] {
            return isJpegRow(row)
                ? EncodeBatchJpeg(h.sync(), box.file(name), h.options.settings.JpegQuality, 1)
                : EncodeBatchImage(h.sync(), box.file(name), 1);
        };
        ASSERT_TRUE(encode().ok());
        const qint64 full = QFileInfo(box.file(name)).size();
        std::vector<qint64> limits{full - 1, full - 8, full - 64, full * 3 / 4};
        for (qint64 block = 16384; block < full; block += 16384)
            limits.push_back(block);
        for (const qint64 limit : limits) {
            if (limit <= 0)
                continue;
            SCOPED_TRACE(limit);
            ASSERT_TRUE(box.write(name, "precious"));
            FileResult result;
            {
                test::FileSizeLimit fileLimit{rlim_t(limit)};
                ASSERT_TRUE(fileLimit.active());
                result = encode();
            }
            EXPECT_EQ(result.status, FileStatus::Failed);
            // The system's reason, not the library's "could not write".
            EXPECT_TRUE(result.reason.contains(QStringLiteral("file too large")))
                << result.reason.toStdString();
            EXPECT_EQ(box.read(name), QByteArray("precious"));
            EXPECT_EQ(filesIn(box.path()), QStringList{name});
        }
        QFile::remove(box.file(name));
    }
}

// FreeImage keeps its last message until another replaces it, and the
// encoders and the decoder read it through one callback: a later failure on
// the same thread must carry its own reason, never that message.
TEST(EncodeErrors, AFailureCarriesOnlyItsOwnReason)
{
    test::Sandbox box;
    const auto leaveAMessage = [&box] {
        bridge::FreeImageScope freeImage;
        FiBitmap none(FreeImage_Load(FIF_PNG, QFile::encodeName(box.file("earlier.png")).constData()));
    };

    // An encode: a GIF into a folder that is gone.
    Harness h;
    h.context.source.setPicture(samplePicture());
    h.select(0);
    leaveAMessage();
    ASSERT_TRUE(bridge::BridgeErrorText().contains("earlier.png"));
    const EncodeOutcome gif = encodeWithPalette(h.sync(), h.context.source, box.file("gone/x.gif"));
    EXPECT_FALSE(gif.written);
    EXPECT_EQ(gif.error, "the palette encoder could not write the GIF file (no such file or directory)")
        << gif.error.toStdString();

    // A decode after the encoders started FreeImage on this thread: a cut
    // PNG says what libpng said about it.
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && samplePicture().save(&buffer, "PNG"));
    ASSERT_TRUE(box.write("whole.png", png));
    ASSERT_TRUE(box.write("cut.png", png.left(png.size() * 2 / 3)));
    ASSERT_TRUE(decodeWithFreeImage(box.file("whole.png"), FIF_PNG, 0, {}).ok);
    leaveAMessage();
    const LoadResult cut = decodeWithFreeImage(box.file("cut.png"), FIF_PNG, 0, {});
    EXPECT_FALSE(cut.ok);
    EXPECT_TRUE(cut.error.startsWith("FreeImage could not read the file: ")) << cut.error.toStdString();
    EXPECT_FALSE(cut.error.contains("earlier.png")) << cut.error.toStdString();
}

// Formats that keep sizes in 16 bits refuse larger pictures rather than
// writing a file of another size.
TEST(BatchWorker, SizesBeyondTheFormatsFieldsFail)
{
    test::Sandbox box;
    Harness h;
    QImage wide(65536, 2, QImage::Format_RGB32);
    wide.fill(qRgb(10, 200, 30));
    h.context.source.setPicture(wide);
    for (const int row : {7, 21, 23, 24}) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        h.select(row);
        const QString out = box.file(QStringLiteral("wide.") + h.options.settings.Extension);
        const FileResult result = EncodeBatchImage(h.sync(), out, 1);
        EXPECT_EQ(result.status, FileStatus::Failed);
        EXPECT_FALSE(result.reason.isEmpty());
        EXPECT_FALSE(result.reason.contains(QStringLiteral(".part-"))) << result.reason.toStdString();
        EXPECT_TRUE(filesIn(box.path()).isEmpty());
    }
    // One pixel less fits.
    h.select(24);
    h.context.source.setPicture(wide.copy(0, 0, 65535, 2));
    const QString out = box.file(QStringLiteral("fits.tga"));
    ASSERT_EQ(EncodeBatchImage(h.sync(), out, 1).status, FileStatus::Written);
    EXPECT_EQ(readWithFreeImage(out).width, 65535);
}

// Any name the file system takes can be written, however little room it
// leaves for a work file's longer name.
TEST(BatchWorker, NamesUpToTheFileSystemsLimitAreWritten)
{
    test::Sandbox box;
    Harness h;
    h.context.source.setPicture(samplePicture());
    for (const int row : {7, 12, 14, 15, 21}) {
        SCOPED_TRACE(formatRow(row)->listText.toStdString());
        h.select(row);
        const QString ext = h.options.settings.Extension;
        const QString name = QString(254 - int(ext.size()), QLatin1Char('n')) + QLatin1Char('.') + ext;
        const QString out = box.file(name);
        for (const std::uint8_t overwrite : {0, 1}) {
            const FileResult result = isJpegRow(row)
                ? EncodeBatchJpeg(h.sync(), out, 60, overwrite)
                : EncodeBatchImage(h.sync(), out, overwrite);
            EXPECT_EQ(result.status, FileStatus::Written)
                << result.reason.toStdString();
            QFile::remove(out);
        }
        EXPECT_TRUE(filesIn(box.path()).isEmpty());
    }
}

TEST(BatchWorker, UnloadableSourceIsNeverWrittenWithThePreviousPicture)
{
    test::Sandbox box;
    Harness h;
    h.select(12);
    ASSERT_TRUE(samplePicture().save(box.file("good.png")));
    ASSERT_TRUE(box.write("broken.png", QByteArray("\x89PNG\r\n\x1a\n garbage", 17)));
    ASSERT_TRUE(box.write("notes.xyz", "text"));

    ASSERT_TRUE(LoadBatchSource(h.context, box.file("good.png")));
    EXPECT_EQ(h.context.source.clientSize(), QSize(37, 23));
    EXPECT_TRUE(EncodeBatchImage(h.sync(), box.file("o1.bmp"), 0).ok());

    for (const char *name : {"broken.png", "notes.xyz", "missing.png"}) {
        SCOPED_TRACE(name);
        const QString input = box.file(QString::fromLatin1(name));
        EXPECT_FALSE(LoadBatchSource(h.context, input));
        EXPECT_TRUE(h.context.source.isEmpty());
        for (const FileResult &r : {EncodeBatchImage(h.sync(), box.file("o2.bmp"), 1),
                                    EncodeBatchJpeg(h.sync(), box.file("o2.jpg"), 60, 1)}) {
            EXPECT_EQ(r.status, FileStatus::Failed);
            EXPECT_EQ(r.path, input);
            EXPECT_FALSE(r.reason.isEmpty());
        }
    }
    EXPECT_FALSE(QFile::exists(box.file("o2.bmp")));
    EXPECT_FALSE(QFile::exists(box.file("o2.jpg")));
}

TEST(BatchWorker, UpperCaseAndJpegExtensionsLoad)
{
    test::Sandbox box;
    Harness h;
    ASSERT_TRUE(samplePicture().save(box.file("a.JPEG"), "JPEG"));
    ASSERT_TRUE(samplePicture().save(box.file("b.PNG"), "PNG"));
    EXPECT_TRUE(LoadBatchSource(h.context, box.file("a.JPEG"))) << h.context.sourceError.toStdString();
    EXPECT_TRUE(LoadBatchSource(h.context, box.file("b.PNG"))) << h.context.sourceError.toStdString();
    EXPECT_EQ(h.context.source.clientSize(), QSize(37, 23));
}

TEST(PreviewEncoder, LabelsAndShownPictureByFormat)
{
    test::Sandbox box;
    Harness h;
    h.context.original.setPicture(samplePicture());
    const QString path = box.file("t65s8s98");

    h.select(14); // PNG-24: shown through FreeImage's PNG reader
    PreviewResult r = EncodePreview(h.sync(), path, 0);
    ASSERT_TRUE(r.labels.has_value()) << r.file.reason.toStdString();
    EXPECT_EQ(r.labels->FileType4, QStringLiteral("PNG"));
    EXPECT_EQ(r.labels->Depth4, QStringLiteral("24 bit"));
    EXPECT_EQ(r.labels->bytes, QFileInfo(path).size());
    EXPECT_EQ(r.labels->FileSize4, kilobyteText(r.labels->bytes, false));
    EXPECT_EQ(test::maxChannelDifference(h.context.optimized.image(), samplePicture()), 0);

    h.options.setInterlaced(true);
    h.select(7); // GIF-256, interlaced
    r = EncodePreview(h.sync(), path, 0);
    ASSERT_TRUE(r.labels.has_value());
    EXPECT_EQ(r.labels->FileType4, QStringLiteral("GIF"));
    EXPECT_EQ(r.labels->Depth4, QStringLiteral("256 Colors"));
    EXPECT_EQ(readWithFreeImage(path).format, FIF_GIF);
    EXPECT_EQ(h.context.optimized.clientSize(), QSize(37, 23));

    for (int row : {23, 25, 10}) { // TGA (flags 1), TIFF, BMP through Qt
        h.select(row);
        r = EncodePreview(h.sync(), path, 1);
        ASSERT_TRUE(r.labels.has_value()) << row;
        EXPECT_EQ(h.context.optimized.clientSize(), QSize(37, 23));
    }
    EXPECT_EQ(r.labels->FileType4, QStringLiteral("BMP"));

    h.select(22); // PCX: the drawing made for the writer stays
    r = EncodePreview(h.sync(), path, 0);
    ASSERT_TRUE(r.labels.has_value());
    EXPECT_EQ(r.labels->FileType4, QStringLiteral("PCX"));
    EXPECT_EQ(test::maxChannelDifference(h.context.optimized.image(), samplePicture()), 0);

    r = EncodePreviewJpeg(h.sync(), path, 60, 0);
    ASSERT_TRUE(r.labels.has_value());
    EXPECT_EQ(r.labels->FileType4, QStringLiteral("JPG"));
    EXPECT_EQ(r.labels->Depth4, QStringLiteral("24 bit"));
    EXPECT_TRUE(r.labels->FileSize4.endsWith(QStringLiteral(" Kb")));
    EXPECT_EQ(h.context.options.settings.JpegQuality, 60);
    EXPECT_EQ(readWithFreeImage(path).format, FIF_JPEG);
    EXPECT_EQ(filesIn(box.path()), QStringList{QStringLiteral("t65s8s98")});
}

// The 24-bit rows show the picture they wrote instead of reading the file
// back: it must be exactly what the file holds, grey and flipped too.
TEST(PreviewEncoder, TwentyFourBitRowsShowWhatTheirFilesHold)
{
    test::Sandbox box;
    Harness h;
    h.context.original.setPicture(test::makeTestPicture(64, 3));
    int shown = 0;
    for (int row : {12, 14, 24, 25}) { // BMP, PNG, TGA and TIFF at 24 bits
        for (bool greyAndFlipped : {false, true}) {
            SCOPED_TRACE(QStringLiteral("row %1, %2").arg(row).arg(greyAndFlipped).toStdString());
            h.select(row);
            h.options.selectColorMode(greyAndFlipped ? 1 : 0);
            h.options.chkFlipV.checked = greyAndFlipped;
            h.context.optimized.setPicture(samplePicture()); // what an earlier encode showed
            const QString path = box.file(QStringLiteral("shown%1").arg(shown++));
            const PreviewResult r = EncodePreview(h.sync(), path, 0);
            ASSERT_TRUE(r.labels.has_value()) << r.file.reason.toStdString();
            EXPECT_EQ(r.labels->Depth4, QStringLiteral("24 bit"));
            const ReadBack back = readWithFreeImage(path);
            ASSERT_EQ(back.bpp, 24);
            EXPECT_EQ(h.context.optimized.image().size(), QSize(64, 3));
            EXPECT_EQ(test::maxChannelDifference(h.context.optimized.image(), back.pixels), 0);
        }
    }
}

TEST(PreviewEncoder, NoPictureReportsTheFormatTextAndKeepsTheView)
{
    test::Sandbox box;
    Harness h;
    h.select(13); // PNG-8: library route
    h.context.optimized.setPicture(samplePicture());
    PreviewResult r = EncodePreview(h.sync(), box.file("p"), 0);
    EXPECT_FALSE(r.labels.has_value());
    EXPECT_EQ(r.file.status, FileStatus::Failed);
    EXPECT_EQ(r.status, QStringLiteral("The current format cannot be applied to the image!"));
    EXPECT_EQ(h.context.optimized.clientSize(), QSize(37, 23));

    h.select(7); // a GIF failure shows nothing
    r = EncodePreview(h.sync(), box.file("p"), 0);
    EXPECT_FALSE(r.labels.has_value());
    EXPECT_TRUE(r.status.isEmpty());
    r = EncodePreviewJpeg(h.sync(), box.file("p"), 60, 0);
    EXPECT_FALSE(r.labels.has_value());
    EXPECT_TRUE(filesIn(box.path()).isEmpty());

    // Save As (keep 1) never loses the file it was to replace; the preview
    // path (keep 0) is cleared first.
    ASSERT_TRUE(box.write("saved.png", "earlier"));
    h.select(14);
    EXPECT_FALSE(EncodePreview(h.sync(), box.file("saved.png"), 1).labels.has_value());
    EXPECT_EQ(box.read("saved.png"), QByteArray("earlier"));
    EXPECT_FALSE(EncodePreview(h.sync(), box.file("saved.png"), 0).labels.has_value());
    EXPECT_FALSE(QFile::exists(box.file("saved.png")));
}

// An encode whose result nobody waits for any more ends at a stage
// boundary: nothing written, no work file, the file it was to replace kept.
TEST(PreviewEncoder, AnAbandonedEncodeWritesNothing)
{
    test::Sandbox box;
    Harness h;
    h.context.original.setPicture(samplePicture());
    ASSERT_TRUE(box.write("kept.png", "earlier"));
    for (int row : {7, 12, 14, 21}) {
        SCOPED_TRACE(row);
        h.select(row);
        for (int boundary = 1; boundary <= 3; ++boundary) {
            int asked = 0;
            h.context.hooks.abandoned = [&] { return ++asked >= boundary; };
            const PreviewResult r = EncodePreview(h.sync(), box.file("kept.png"), 1);
            if (!r.abandoned) { // fewer boundaries on this route: it wrote the file
                ASSERT_TRUE(box.write("kept.png", "earlier"));
                continue;
            }
            EXPECT_FALSE(r.file.ok());
            EXPECT_FALSE(r.labels.has_value());
            EXPECT_EQ(box.read("kept.png"), QByteArray("earlier"));
        }
    }
    h.context.hooks.abandoned = [] { return true; };
    EXPECT_TRUE(EncodePreviewJpeg(h.sync(), box.file("kept.png"), 60, 1).abandoned);
    EXPECT_EQ(filesIn(box.path()), QStringList{QStringLiteral("kept.png")});
}

// Keeping the 24- and 16-bit picture in memory must write byte for byte what
// the BMP written and read back gives.
TEST(BatchWorker, DirectColourInMemoryWritesTheSameFiles)
{
    test::Sandbox box;
    Harness h;
    // Every 5-5-5 colour once, for the 16-bit rows' widening.
    QImage everyColour(256, 128, QImage::Format_RGB32);
    for (int c = 0; c < 32768; ++c)
        everyColour.setPixel(c % 256, c / 256, qRgb((c >> 10) << 3 | 4, ((c >> 5) & 31) << 3 | 4, (c & 31) << 3 | 4));
    const QImage pictures[] = {samplePicture(), test::makeTestPicture(64, 3), everyColour};
    int compared = 0;
    for (int row : {11, 12, 14, 21, 22, 23, 24, 25}) {
        for (const QImage &picture : pictures) {
            for (bool greyAndFlipped : {false, true}) {
                SCOPED_TRACE(QStringLiteral("row %1, %2x%3, %4").arg(row).arg(picture.width())
                                 .arg(picture.height()).arg(greyAndFlipped).toStdString());
                h.select(row);
                if (greyAndFlipped)
                    h.options.selectColorMode(1);
                h.options.chkFlipH.checked = greyAndFlipped;
                h.context.source.setPicture(picture);
                const QString name = QStringLiteral("r%1-%2").arg(row).arg(compared);
                h.context.directColourInMemory = false;
                ASSERT_TRUE(EncodeBatchImage(h.sync(), box.file(name + "-file"), 0).ok());
                const QImage drawnThroughFile = h.context.optimized.image();
                h.context.directColourInMemory = true;
                ASSERT_TRUE(EncodeBatchImage(h.sync(), box.file(name + "-memory"), 0).ok());
                EXPECT_EQ(box.read(name + "-file"), box.read(name + "-memory"));
                if (row == 21 || row == 22) {
                    EXPECT_EQ(h.context.optimized.image(), drawnThroughFile);
                }
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 48);
}

namespace {

// The largest resident size this process has had, in bytes.
std::int64_t residentHighWater()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

} // namespace

// One row's encode of a large picture, run by the test below in a process of
// its own: the high-water mark is that row's, and libgomp's thread pool,
// which does not survive a fork, starts afresh. Prints the growth of the
// high-water mark over the picture's memory.
TEST(BatchWorker, DISABLED_OneRowsMemory)
{
    test::Sandbox box;
    const int row = qEnvironmentVariableIntValue("PICTROVE_MEMORY_ROW");
    const QSize size(3000, 2000);
    Harness h;
    h.select(row);
    // Everything a small encode sets up is there before the mark.
    h.context.source.setPicture(test::makeTestPicture(64, 48));
    EncodeBatchImage(h.sync(), box.file(QStringLiteral("warm")), 1);
    h.context.source.reset();
    const std::int64_t before = residentHighWater();
    h.context.source.setPicture(test::makeTestPicture(size.width(), size.height()));
    ASSERT_TRUE(EncodeBatchImage(h.sync(), box.file(QStringLiteral("big")), 1).ok());
    std::printf("ratio %.4f\n", double(residentHighWater() - before) / (4.0 * size.width() * size.height()));
}

// A large picture in any true-colour or GIF row costs at most three times its
// pixel memory, the picture itself included. The 16-bit PCX row once took
// four: two full-size bitmaps stood between the encoder and the writer.
TEST(BatchWorker, EveryRowKeepsWithinThreeTimesThePicturesMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed memory and adds its own";
#endif
    for (int row : {7, 11, 12, 14, 21, 22, 23, 24, 25}) {
        SCOPED_TRACE(row);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PICTROVE_MEMORY_ROW"), QString::number(row));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=BatchWorker.DISABLED_OneRowsMemory"),
                     QStringLiteral("--gtest_also_run_disabled_tests")});
        ASSERT_TRUE(child.waitForFinished(300000));
        ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
        const QByteArray output = child.readAllStandardOutput();
        const qsizetype at = output.indexOf("ratio ");
        ASSERT_GE(at, 0) << output.toStdString();
        const double ratio = output.mid(at + 6).split('\n').first().toDouble();
        EXPECT_GT(ratio, 0.9); // the picture itself, at least: the measure works
        EXPECT_LE(ratio, 3.0);
        std::printf("row %d: %.2f times the pixel memory\n", row, ratio);
    }
}

// The JPEG route builds its 24-bit bitmap in one pass; the file is the one
// the window bitmap's 32-bit copy converted to 24 bits gives.
TEST(BatchWorker, JpegMatchesTheThirtyTwoBitRoute)
{
    test::Sandbox box;
    Harness h;
    h.context.source.setPicture(samplePicture());
    ASSERT_TRUE(EncodeBatchJpeg(h.sync(), box.file("a.jpg"), 60, 0).ok());
    EXPECT_EQ(h.context.options.settings.JpegQuality, 60);
    const FiBitmap wide = toFreeImage32(samplePicture());
    const FiBitmap narrow(FreeImage_ConvertTo24Bits(wide.get()));
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, narrow.get(), QFile::encodeName(box.file("b.jpg")).constData(), 60));
    EXPECT_EQ(box.read("a.jpg"), box.read("b.jpg"));
}

PreviewJob previewJob(OutputSettingsController &options, int row, const QString &path,
                      const QImage &picture)
{
    options.selectFormat(row);
    PreviewJob job;
    job.options = options.encodingOptions();
    job.original = picture;
    job.path = path;
    return job;
}

// The newest preview wins: requests made faster than the encodes give one
// result, the newest's; Save As jobs are all done, in order, and reported.
TEST(PreviewWorker, OnlyTheNewestPreviewIsReportedAndEverySaveAs)
{
    test::Sandbox box;
    OutputSettingsController options;
    options.fillOptionLists(60);
    const QImage picture = test::makeTestPicture(400, 300);
    PreviewWorker worker;
    std::vector<PreviewDone> done;
    QObject::connect(&worker, &PreviewWorker::finished,
                     [&](const PreviewDone &d) { done.push_back(d); });
    for (int row : {14, 7, 3, 25, 12})
        worker.request(previewJob(options, row, box.file("preview"), picture));
    PreviewJob save = previewJob(options, 21, box.file("saved.pcx"), picture);
    save.saveAs = true;
    save.keep = 1;
    worker.request(save);
    const std::uint64_t last = worker.request(previewJob(options, 24, box.file("preview"), picture));
    EXPECT_TRUE(worker.busy());
    ASSERT_TRUE(test::waitFor([&] { return !worker.busy(); }, 30000));
    ASSERT_EQ(done.size(), 2u);
    EXPECT_TRUE(done[0].job.saveAs);
    EXPECT_TRUE(done[0].result.file.ok()) << done[0].result.file.reason.toStdString();
    EXPECT_EQ(readWithFreeImage(box.file("saved.pcx")).format, FIF_PCX);
    EXPECT_EQ(done[1].generation, last);
    ASSERT_TRUE(done[1].result.labels.has_value());
    EXPECT_EQ(done[1].result.labels->FileType4, QStringLiteral("TGA"));
    EXPECT_EQ(done[1].optimized.size(), QSize(400, 300));
    EXPECT_EQ(filesIn(box.path()), (QStringList{QStringLiteral("preview"), QStringLiteral("saved.pcx")}));

    // A new picture makes what was asked of the old one worthless.
    worker.request(previewJob(options, 14, box.file("preview"), picture));
    worker.abandonPreviews();
    EXPECT_FALSE(worker.busy());
    test::waitFor([] { return false; }, 200); // time for a stray result to arrive
    EXPECT_EQ(done.size(), 2u);
}

// A worker destroyed during an encode (the window closed) ends it without
// a result, a crash or a work file.
TEST(PreviewWorker, DestroyedDuringAnEncodeLeavesNoWorkFile)
{
    test::Sandbox box;
    OutputSettingsController options;
    options.fillOptionLists(60);
    const QImage picture = test::makeTestPicture(2000, 1500);
    for (int row : {14, 7, 17}) {
        auto worker = std::make_unique<PreviewWorker>();
        int reported = 0;
        QObject::connect(worker.get(), &PreviewWorker::finished, [&] { ++reported; });
        PreviewJob job = previewJob(options, row, box.file("preview"), picture);
        job.jpeg = isJpegRow(row);
        job.quality = 60;
        worker->request(job);
        QThread::msleep(20); // under way
        worker.reset();
        QCoreApplication::processEvents();
        EXPECT_EQ(reported, 0);
        for (const QString &name : filesIn(box.path()))
            EXPECT_FALSE(name.contains(QStringLiteral(".part-"))) << name.toStdString();
    }
}

TEST(BatchSource, HandsOverThePictureOfTheAskedPath)
{
    test::Sandbox box;
    ASSERT_TRUE(test::makeTestPicture(30, 20).save(box.file("a.png")));
    ASSERT_TRUE(test::makeTestPicture(12, 9).save(box.file("b.bmp")));
    BatchSource prefetch;
    prefetch.start(box.file("a.png"));
    EXPECT_EQ(prefetch.pending(), box.file("a.png"));
    LoadResult a = prefetch.take(box.file("a.png"));
    EXPECT_TRUE(prefetch.pending().isEmpty());
    ASSERT_TRUE(a.ok) << a.error.toStdString();
    EXPECT_EQ(a.image.size(), QSize(30, 20));

    prefetch.start(box.file("a.png")); // read ahead, then another file asked for
    const LoadResult b = prefetch.take(box.file("b.bmp"));
    EXPECT_EQ(b.image.size(), QSize(12, 9));
    EXPECT_FALSE(prefetch.take(box.file("none.png")).ok);

    Harness h;
    h.context.source.setPicture(samplePicture());
    EXPECT_FALSE(AdoptBatchSource(h.context, box.file("none.png"), LoadResult{}));
    EXPECT_TRUE(h.context.source.isEmpty());
    EXPECT_TRUE(AdoptBatchSource(h.context, box.file("a.png"), a));
    EXPECT_EQ(h.context.source.clientSize(), QSize(30, 20));
}

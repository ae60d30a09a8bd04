// pictrove-convert end to end: the built program run on a mixed folder.
#include "settings/StartupSettings.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "workflow/options/OutputSettingsController.h"
#include "engine/conversion/BatchWorker.h"
#include "decoding/FreeImageConvert.h"
#include "engine/core/PictureSurface.h"
#include "engine/palette/PaletteEncoder.h"
#include "metadata/ExifDirectories.h"
#include "tools/convert/ConvertRun.h"

#include "CameraFixtures.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <vector>

extern char **environ;

using namespace pictrove;

namespace {

struct ToolRun {
    int exitCode = -1;
    QStringList lines;
    QString errors;
};

ToolRun runConvert(const QStringList &arguments,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pictrove-convert"), arguments);
    ToolRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QByteArray pictureListRecord(const QString &path)
{
    return path.toLocal8Bit().leftJustified(150, ' ', true);
}

} // namespace

TEST(ConvertTool, ConvertsAMixedFolderEndToEnd)
{
    test::Sandbox box;
    QDir(box.path()).mkdir(QStringLiteral("out"));
    const QString out = box.file("out");
    const QImage picture = test::makeTestPicture(40, 30);
    ASSERT_TRUE(picture.save(box.file("a.png")));
    ASSERT_TRUE(picture.save(box.file("b.jpg")));
    ASSERT_TRUE(picture.save(box.file("d.bmp")));
    {
        PictureSurface surface;
        surface.setPicture(picture);
        ASSERT_NE(PaletteEncoder().EncodePicture(surface, box.file("c.gif"), 1, 0, 8, 0x4000, 0), 0);
        const FiBitmap tga = toFreeImage32(picture);
        ASSERT_TRUE(FreeImage_Save(FIF_TARGA, tga.get(), QFile::encodeName(box.file("e.TGA")).constData(), 0));
    }
    ASSERT_TRUE(box.write("broken.png", "not a picture"));
    ASSERT_TRUE(box.write("list.ripl", pictureListRecord(box.file("a.png")) +
                                           pictureListRecord(box.file("gone.png"))));

    const QStringList inputs{box.file("a.png"), box.file("b.jpg"), box.file("c.gif"), box.file("d.bmp"),
                             box.file("e.TGA"), box.file("broken.png"), box.file("list.ripl")};
    ToolRun run = runConvert(QStringList{"-f", "PNG-24 bit", "-o", out, "-n", "pic"} << inputs);
    EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString();
    const QStringList expected{
        "written " + out + "/pic1.png", "written " + out + "/pic2.png", "written " + out + "/pic3.png",
        "written " + out + "/pic4.png", "written " + out + "/pic5.png",
    };
    ASSERT_EQ(run.lines.size(), 9) << run.lines.join('\n').toStdString();
    EXPECT_EQ(run.lines.mid(0, 5), expected);
    EXPECT_TRUE(run.lines[5].startsWith("failed " + box.file("broken.png") + ": "));
    // A failed entry keeps its position: the list's picture is number 7.
    EXPECT_EQ(run.lines[6], "written " + out + "/pic7.png");
    // Entries that no longer exist are left out of the basket, as the window does.
    EXPECT_TRUE(run.lines[7].startsWith("failed " + box.file("gone.png") + ": "));
    EXPECT_EQ(run.lines[8], QStringLiteral("6 written, 0 skipped, 2 failed"));
    EXPECT_FALSE(run.errors.contains(QLatin1Char('\r'))); // no progress bar without a terminal
    for (int i : {1, 2, 3, 4, 5, 7}) {
        const QImage back(out + QStringLiteral("/pic%1.png").arg(i));
        EXPECT_EQ(back.size(), QSize(40, 30)) << i;
    }
    EXPECT_FALSE(QFile::exists(out + "/pic6.png"));

    // Again: every file exists now, none is touched without --overwrite.
    const QByteArray before = box.read("out/pic1.png");
    run = runConvert({"-f", "14", "-o", out, "-n", "pic", box.file("a.png"), box.file("b.jpg")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.lines.value(0), "skipped " + out + "/pic1.png: a file of that name exists");
    EXPECT_EQ(run.lines.value(2), QStringLiteral("0 written, 2 skipped, 0 failed"));
    EXPECT_EQ(box.read("out/pic1.png"), before);

    // With --overwrite and only good inputs: exit 0; quiet leaves the summary.
    run = runConvert({"-f", "JPEG - Custom Quality ..", "--quality", "85", "--overwrite", "-q", "-o", out,
                      "-n", "", box.file("a.png"), box.file("c.gif")});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.lines, QStringList{QStringLiteral("2 written, 0 skipped, 0 failed")});
    EXPECT_EQ(QImage(out + "/1.jpg").size(), QSize(40, 30));
    EXPECT_EQ(QImage(out + "/2.jpg").size(), QSize(40, 30));
    // Written with the custom quality: the same bytes as the worker gives at 85.
    ConversionContext context;
    ASSERT_TRUE(LoadBatchSource(context, box.file("a.png")));
    ASSERT_TRUE(EncodeBatchJpeg(context, box.file("q85.jpg"), 85, 0).ok());
    EXPECT_EQ(box.read("out/1.jpg"), box.read("q85.jpg"));
}

// A picture whose colour profile cannot be used is written with its colours
// as stored; a line after the written one says so, naming the input.
TEST(ConvertTool, AWarningFollowsTheWrittenLineOfItsFile)
{
    test::Sandbox box;
    QDir(box.path()).mkdir(QStringLiteral("out"));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(test::makeTestPicture(40, 30).save(&buffer, "JPG"));
    QByteArray payload("ICC_PROFILE\0\1\1", 14);
    payload += QByteArray(300, '\x33');
    QByteArray segment("\xFF\xE2", 2);
    segment += char((payload.size() + 2) >> 8);
    segment += char((payload.size() + 2) & 0xFF);
    ASSERT_TRUE(box.write("tagged.jpg", jpeg.left(2) + segment + payload + jpeg.mid(2)));
    ASSERT_TRUE(box.write("plain.jpg", jpeg));
    const ToolRun run = runConvert({"-f", "PNG-24 bit", "-o", box.file("out"), "-n", "p", "-j", "2",
                                    box.file("tagged.jpg"), box.file("plain.jpg")});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.lines, (QStringList{"written " + box.file("out/p1.png"),
                                      "warning " + box.file("tagged.jpg")
                                          + ": the colour profile is damaged; colours are shown as stored",
                                      "written " + box.file("out/p2.png"), "2 written, 0 skipped, 0 failed"}));
}

TEST(ConvertTool, UsageErrorsExitWithTwo)
{
    test::Sandbox box;
    const QString dir = box.path();
    const QString in = box.file("a.png");
    ASSERT_TRUE(test::makeTestPicture(8, 8).save(in));
    const QList<QStringList> bad = {
        {in},                                                 // no destination
        {"-o", dir, "-f", "29", in},                          // row out of range
        {"-o", dir, "-f", "gif-256 colors", in},              // list text is exact
        {"-o", dir, "-f", "3", "--map", "Windows 256", in},   // not in the row's map list
        {"-o", dir, "-f", "15", "--map", "0", in},            // JPEG rows have no map
        {"-o", dir, "-f", "12", "--interlaced", in},          // only GIF rows interlace
        {"-o", dir, "-f", "19", "--quality", "70", in},       // only the custom row
        {"-o", dir, "-f", "8", "--map", "MS Map", "--dither", "Ordered", in}, // map locks dither
        {"-o", dir, "--dither", "Sideways", in},
    };
    for (const QStringList &args : bad) {
        const ToolRun run = runConvert(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.errors.contains(QStringLiteral("pictrove-convert: "))) << run.errors.toStdString();
    }
    ToolRun help = runConvert({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.lines.value(0).startsWith(QStringLiteral("Usage: pictrove-convert")));
    EXPECT_EQ(runConvert({"--version"}).exitCode, 0);
}

// Options reach OutputSettings through the window's handlers in the window's
// order, so a combination gives what Step 2 gives.
TEST(ConvertTool, ChoicesResolveAsTheWindowAppliesThem)
{
    test::Sandbox box;
    convert::ConvertOptions o;
    o.output = box.path();
    o.format = QStringLiteral("GIF-16 Colors");
    o.map = QStringLiteral("fixed color");
    o.dither = QStringLiteral("Haftone");
    o.greyscale = true;
    o.interlaced = true;
    QString error;
    const auto choice = convert::resolveChoice(o, &error);
    ASSERT_TRUE(choice.has_value()) << error.toStdString();
    EXPECT_EQ(choice->row, 3);
    EXPECT_EQ(choice->map, 2);
    EXPECT_EQ(choice->dither, 3);
    EXPECT_EQ(choice->colorMode, 1);

    OutputSettingsController viaChoice;
    viaChoice.fillOptionLists(60);
    viaChoice.applyChoice(*choice);
    OutputSettingsController byHand;
    byHand.fillOptionLists(60);
    byHand.setInterlaced(true);
    byHand.selectFormat(3);
    byHand.selectMap(2);
    byHand.selectDither(3);
    byHand.selectColorMode(1);
    EXPECT_EQ(viaChoice.settings, byHand.settings);
    EXPECT_EQ(code(viaChoice.settings.EncoderKind), 2);
    EXPECT_EQ(code(viaChoice.settings.DitherCode), 4);
    EXPECT_EQ(code(viaChoice.settings.ColorMode), 2);

    // The converter derives the same options from the catalogue alone,
    // without Step 2 controls and without touching the stored format.
    startupSettings().LastFormatIndex = 11;
    EXPECT_EQ(encodingOptionsFor(*choice).options.settings, byHand.settings);
    EXPECT_EQ(startupSettings().LastFormatIndex, 11);
}

// The rows for the web by index and by text; --quality for the lossy two
// only, and map and dither refused as the window hides them.
TEST(ConvertTool, WritesTheWebRowsWithTheirQuality)
{
    test::Sandbox box;
    ASSERT_TRUE(QDir(box.path()).mkdir(QStringLiteral("out")));
    QStringList inputs;
    for (int i = 0; i < 3; ++i) {
        inputs << box.file(QStringLiteral("in%1.png").arg(i));
        ASSERT_TRUE(test::makeTestPicture(120 + i, 90).save(inputs.last()));
    }
    const QString out = box.file(QStringLiteral("out"));
    ToolRun run = runConvert(QStringList{QStringLiteral("-f"), QStringLiteral("28"), QStringLiteral("--quality"),
                                         QStringLiteral("50"), QStringLiteral("-o"), out, QStringLiteral("-n"),
                                         QStringLiteral("q50-")} + inputs);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.lines.size(), 4);
    run = runConvert(QStringList{QStringLiteral("-f"), QStringLiteral("AVIF"), QStringLiteral("--quality"),
                                 QStringLiteral("90"), QStringLiteral("-o"), out, QStringLiteral("-n"),
                                 QStringLiteral("q90-")} + inputs);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    for (int i = 1; i <= 3; ++i) {
        const QByteArray low = box.read(QStringLiteral("out/q50-%1.avif").arg(i));
        EXPECT_EQ(low.mid(4, 8), QByteArray("ftypavif"));
        EXPECT_LT(low.size(), box.read(QStringLiteral("out/q90-%1.avif").arg(i)).size());
    }
    run = runConvert({QStringLiteral("-f"), QStringLiteral("WebP - Lossless"), QStringLiteral("-o"), out,
                      inputs.first()});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(box.read(QStringLiteral("out/Sample1.webp")).startsWith("RIFF"));

    const QStringList refused[] = {
        {QStringLiteral("-f"), QStringLiteral("27"), QStringLiteral("--quality"), QStringLiteral("50")},
        {QStringLiteral("-f"), QStringLiteral("26"), QStringLiteral("--dither"), QStringLiteral("Binary")},
        {QStringLiteral("-f"), QStringLiteral("28"), QStringLiteral("--map"), QStringLiteral("0")},
        {QStringLiteral("-f"), QStringLiteral("29")},
    };
    for (const QStringList &arguments : refused) {
        run = runConvert(arguments + QStringList{QStringLiteral("-o"), out, inputs.first()});
        EXPECT_EQ(run.exitCode, 2) << arguments.join(u' ').toStdString();
    }
    run = runConvert({QStringLiteral("--help")});
    EXPECT_TRUE(run.lines.join(u'\n').contains(QLatin1String("\"WebP - Lossy\" (default 80)")));
}

// --strip-metadata is the window's "Keep metadata" turned off, accepted with
// every row (a script stripping everything it converts need not know which
// formats hold metadata) and described in the help.
TEST(ConvertTool, StripMetadataTurnsKeepingOffForEveryRow)
{
    test::Sandbox box;
    convert::ConvertOptions o;
    o.output = box.path();
    QString error;
    for (const char *row : {"JPEG - Good Quality", "PNG-24 bit", "GIF-256 Colors"}) {
        o.format = QString::fromLatin1(row);
        o.stripMetadata = false;
        std::optional<FormatChoice> choice = convert::resolveChoice(o, &error);
        ASSERT_TRUE(choice.has_value()) << error.toStdString();
        EXPECT_TRUE(encodingOptionsFor(*choice).options.keepMetadata) << row;
        o.stripMetadata = true;
        choice = convert::resolveChoice(o, &error);
        ASSERT_TRUE(choice.has_value()) << error.toStdString();
        EXPECT_FALSE(encodingOptionsFor(*choice).options.keepMetadata) << row;
    }
    EXPECT_TRUE(convert::usageText().contains(QStringLiteral("--strip-metadata")));
}

// A portrait photo from a camera, stored 300 x 200 and tagged "rotate 90",
// with its thumbnail, maker note and GPS position: converted to JPEG it is
// written upright with the date, camera and position and the written size,
// without thumbnail or maker note; --strip-metadata leaves all of it out.
TEST(ConvertTool, APhotosDetailsComeAlongUprightUnlessStripped)
{
    test::Sandbox box;
    QDir(box.path()).mkdir(QStringLiteral("out"));
    const QString out = box.file(QStringLiteral("out"));
    test::CameraDetails camera;
    camera.pixelSize = QSize(300, 200);
    ASSERT_TRUE(box.write(QStringLiteral("portrait.jpg"),
                          test::cameraJpeg(test::makeTestPicture(300, 200), test::exifBlock(camera),
                                           test::xmpPacket(6, QSize(300, 200)))));
    const QString input = box.file(QStringLiteral("portrait.jpg"));

    ToolRun run = runConvert({"-f", "JPEG - Good Quality", "-o", out, "-n", "kept", input});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QByteArray kept = box.read(QStringLiteral("out/kept1.jpg"));
    EXPECT_EQ(QImage::fromData(kept).size(), QSize(200, 300));
    const QList<QByteArray> blocks = test::jpegApp1Payloads(kept, QByteArray("Exif\0\0", 6));
    ASSERT_EQ(blocks.size(), 1);
    const std::optional<exif::Directories> d = exif::read(blocks[0]);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(exif::find(d->primary, exif::tag::Make)->value, QByteArray("Tevalen Optics\0", 15));
    EXPECT_EQ(exif::find(d->exif, exif::tag::DateTimeOriginal)->value, QByteArray("2024:05:17 14:03:22\0", 20));
    EXPECT_EQ(exif::unsignedValue(*exif::find(d->primary, exif::tag::Orientation), d->order), 1u);
    EXPECT_EQ(exif::unsignedValue(*exif::find(d->exif, exif::tag::PixelXDimension), d->order), 200u);
    EXPECT_EQ(exif::unsignedValue(*exif::find(d->exif, exif::tag::PixelYDimension), d->order), 300u);
    EXPECT_EQ(d->gps.size(), 3u);
    EXPECT_FALSE(kept.contains(test::thumbnailMark()));
    EXPECT_FALSE(kept.contains("TevalenMakerNote"));
    const QList<QByteArray> packets = test::jpegApp1Payloads(kept, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29));
    ASSERT_EQ(packets.size(), 1);
    EXPECT_TRUE(packets[0].contains("tiff:Orientation=\"1\""));
    EXPECT_TRUE(packets[0].contains("Harbour at dusk"));

    run = runConvert({"-f", "JPEG - Good Quality", "--strip-metadata", "-o", out, "-n", "stripped", input});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QByteArray stripped = box.read(QStringLiteral("out/stripped1.jpg"));
    EXPECT_EQ(QImage::fromData(stripped).size(), QSize(200, 300));
    EXPECT_FALSE(stripped.contains("Exif"));
    EXPECT_FALSE(stripped.contains("Tevalen"));
    EXPECT_FALSE(stripped.contains("Harbour"));
    EXPECT_LT(stripped.size(), kept.size());
}

// The four forms of --resize, through the decoder (JPEG scaling included)
// and every route; a portrait photo stored on its side comes out upright.
TEST(ConvertTool, ResizesInEveryFormAndRefusesABadSize)
{
    test::Sandbox box;
    QDir(box.path()).mkdir(QStringLiteral("out"));
    const QString out = box.file(QStringLiteral("out"));
    ASSERT_TRUE(box.write(QStringLiteral("turned.jpg"),
                          test::cameraJpeg(test::makeTestPicture(800, 600), test::exifBlock())));
    ASSERT_TRUE(test::makeTestPicture(400, 300).save(box.file(QStringLiteral("flat.png"))));
    const QString turned = box.file(QStringLiteral("turned.jpg"));
    const QString flat = box.file(QStringLiteral("flat.png"));
    const struct {
        QStringList resize;
        QSize turned; // upright 600 x 800
        QSize flat;   // 400 x 300
    } cases[] = {
        {{"--resize", "200"}, {150, 200}, {200, 150}},
        {{"--resize", "300x300"}, {225, 300}, {300, 225}},
        {{"--resize", "25%"}, {150, 200}, {100, 75}},
        {{"--resize", "1000"}, {600, 800}, {400, 300}},              // never enlarged
        {{"--resize", "1000", "--enlarge"}, {750, 1000}, {1000, 750}},
    };
    int n = 0;
    for (const auto &c : cases) {
        for (const char *row : {"JPEG - Good Quality", "GIF-256 Colors", "PNG-24 bit"}) {
            const QString name = QStringLiteral("r%1-").arg(++n);
            const ToolRun run = runConvert(QStringList{"-f", row, "-o", out, "-n", name} + c.resize
                                           + QStringList{turned, flat});
            ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
            const QString ext = QString::fromLatin1(row).startsWith(u'J') ? QStringLiteral("jpg")
                                : QString::fromLatin1(row).startsWith(u'G') ? QStringLiteral("gif")
                                                                            : QStringLiteral("png");
            EXPECT_EQ(QImage(out + u'/' + name + QStringLiteral("1.") + ext).size(), c.turned)
                << c.resize.join(' ').toStdString() << " " << row;
            EXPECT_EQ(QImage(out + u'/' + name + QStringLiteral("2.") + ext).size(), c.flat)
                << c.resize.join(' ').toStdString() << " " << row;
        }
    }
    for (const char *bad : {"0", "12x", "50.5%", "70000"}) {
        const ToolRun run = runConvert({"-o", out, "--resize", bad, flat});
        EXPECT_EQ(run.exitCode, 2) << bad;
        EXPECT_TRUE(run.errors.contains(QStringLiteral("--resize"))) << run.errors.toStdString();
    }
    EXPECT_TRUE(convert::usageText().contains(QStringLiteral("--resize")));
    EXPECT_TRUE(convert::usageText().contains(QStringLiteral("--enlarge")));
}

// A script run where a session chose a display platform for Qt programs, but
// no display can be reached (over ssh, from cron), still converts: neither
// the converter nor its decoder ever shows anything.
TEST(ConvertTool, NeedsNoDisplayWhateverPlatformTheSessionNames)
{
    test::Sandbox box;
    QDir(box.path()).mkdir(QStringLiteral("out"));
    ASSERT_TRUE(test::makeTestPicture(20, 10).save(box.file("a.png")));
    ASSERT_TRUE(test::makeTestPicture(20, 10).save(box.file("b.bmp"))); // read by Qt in the decoder
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const ToolRun run = runConvert({"-q", "-f", "12", "-o", box.file("out"), box.file("a.png"), box.file("b.bmp")},
                                   environment);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(QFile::exists(box.file("out/Sample1.bmp")));
    EXPECT_TRUE(QFile::exists(box.file("out/Sample2.bmp")));
}

// Interrupted (Ctrl-C, or a job runner's SIGTERM), the converter finishes the
// file under way and stops: no hidden work file is left, every file it
// reports is complete, and the status tells that not everything was written.
TEST(ConvertTool, AnInterruptionStopsAfterTheFileUnderWay)
{
    test::Sandbox box;
    QDir(box.path()).mkdir(QStringLiteral("out"));
    ASSERT_TRUE(test::makeTestPicture(600, 400).save(box.file("a.png")));
    QStringList arguments{"-f", "14", "-o", box.file("out")};
    for (int i = 0; i < 200; ++i)
        arguments << box.file("a.png");
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        for (const QString &name : QDir(box.file("out")).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(box.file("out/" + name));
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pictrove-convert"), arguments);
        ASSERT_TRUE(process.waitForReadyRead(60000));
        ::kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardError()).contains("not converted"));
        const QStringList left = QDir(box.file("out")).entryList(QDir::Files | QDir::Hidden);
        EXPECT_LT(left.size(), 200);
        for (const QString &name : left) {
            EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << name.toStdString();
            QImage written(box.file("out/" + name));
            EXPECT_EQ(written.size(), QSize(600, 400)) << name.toStdString();
        }
    }
}

// The running converter has started itself again as itself (its own name in
// ps, not "exe"), with the large-page heap and OpenMP threads that sleep
// when idle, and with a user's own choice of how OpenMP waits kept.
TEST(ConvertTool, RunsWithTheHeapAndThreadsItAskedForAndTheUsersChoicesKept)
{
    test::Sandbox box;
    QDir(box.path()).mkdir(QStringLiteral("out"));
    ASSERT_TRUE(test::makeTestPicture(600, 400).save(box.file("a.png")));
    QStringList arguments{"-f", "14", "--overwrite", "-o", box.file("out")};
    for (int i = 0; i < 200; ++i)
        arguments << box.file("a.png");
    for (const char *userPolicy : {"", "active"}) {
        SCOPED_TRACE(userPolicy);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("OMP_WAIT_POLICY"));
        environment.remove(QStringLiteral("GOMP_SPINCOUNT"));
        environment.remove(QStringLiteral("GLIBC_TUNABLES"));
        if (*userPolicy)
            environment.insert(QStringLiteral("OMP_WAIT_POLICY"), QString::fromLatin1(userPolicy));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pictrove-convert"), arguments);
        ASSERT_TRUE(process.waitForReadyRead(60000));
        const QString proc = QStringLiteral("/proc/%1/").arg(process.processId());
        QFile environ(proc + QStringLiteral("environ")), comm(proc + QStringLiteral("comm"));
        ASSERT_TRUE(environ.open(QIODevice::ReadOnly) && comm.open(QIODevice::ReadOnly));
        const QList<QByteArray> variables = environ.readAll().split('\0');
        const QByteArray name = comm.readAll().trimmed();
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(60000);
        EXPECT_EQ(name, QByteArray("pictrove-conver")); // the kernel keeps 15 characters
        EXPECT_TRUE(variables.contains("GLIBC_TUNABLES=glibc.malloc.hugetlb=1"));
        EXPECT_TRUE(variables.contains(*userPolicy ? QByteArray("OMP_WAIT_POLICY=") + userPolicy
                                                   : QByteArray("OMP_WAIT_POLICY=passive")));
        EXPECT_EQ(std::count_if(variables.begin(), variables.end(),
                                [](const QByteArray &v) { return v.startsWith("OMP_WAIT_POLICY="); }),
                  1);
    }
}

namespace {

// The minor page faults of one run of the converter, its decoders included;
// -1 when it could not be run. Without large pages, so that every fresh
// 4 KiB page counts.
long long faultsOfConverterRun(const QStringList &arguments)
{
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationDirPath()
                                                 + QStringLiteral("/pictrove-convert"));
    std::vector<QByteArray> texts{program};
    for (const QString &a : arguments)
        texts.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &t : texts)
        argv.push_back(t.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> variables{"GLIBC_TUNABLES=glibc.malloc.hugetlb=0"};
    for (char **v = environ; *v; ++v)
        if (!QByteArray(*v).startsWith("GLIBC_TUNABLES=") && !QByteArray(*v).startsWith("MALLOC_ARENA_MAX="))
            variables.emplace_back(*v);
    std::vector<char *> envp;
    for (QByteArray &v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.constData(), nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_minflt;
}

} // namespace

// What one picture's buffers free serves the next, whichever worker thread
// takes it: pictures growing in size, the common worst case, fault in not
// much more fresh memory than the largest of them alone.
TEST(ConvertTool, PicturesInARowReuseTheMemoryOfTheOnesBefore)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed memory and adds its own";
#endif
    test::Sandbox box;
    QStringList growing;
    for (int side = 2400; side <= 4000; side += 400) {
        const QString name = box.file(QStringLiteral("p%1.bmp").arg(side));
        ASSERT_TRUE(test::makeTestPicture(side, side * 3 / 4).save(name));
        growing << name;
    }
    QDir(box.path()).mkdir(QStringLiteral("alone"));
    QDir(box.path()).mkdir(QStringLiteral("row"));
    const long long alone =
        faultsOfConverterRun({"-q", "-j", "1", "-f", "12", "-o", box.file("alone"), growing.last()});
    const long long row =
        faultsOfConverterRun(QStringList{"-q", "-j", "1", "-f", "12", "-o", box.file("row")} << growing);
    ASSERT_GT(alone, 0);
    ASSERT_GT(row, 0);
    // 1.3 times the largest one's faults; 1.7 times when each worker
    // thread's heap was handed back with its picture.
    EXPECT_LT(double(row), 1.5 * double(alone)) << "alone " << alone << ", five growing " << row;
}

// --jobs: the same files, the same bytes and the same lines in the same
// order as one job, for every group of rows.
TEST(ConvertTool, JobsWriteWhatOneJobWrites)
{
    test::Sandbox box;
    QStringList inputs;
    for (int i = 0; i < 6; ++i) {
        const QString name = box.file(QStringLiteral("in%1.png").arg(i));
        ASSERT_TRUE(test::makeTestPicture(30 + 7 * i, 20 + i).save(name));
        inputs << name;
    }
    ASSERT_TRUE(box.write("in-broken.png", "not a picture"));
    inputs.insert(2, box.file("in-broken.png"));
    inputs << box.file("missing.png");
    for (const char *row : {"7", "11", "13", "17", "21", "23", "25"}) {
        SCOPED_TRACE(row);
        QStringList lines[2];
        QDir(box.path()).mkpath(QStringLiteral("one-%1").arg(row));
        QDir(box.path()).mkpath(QStringLiteral("two-%1").arg(row));
        for (int jobs : {1, 2}) {
            const QString out = box.file(QStringLiteral("%1-%2").arg(jobs == 1 ? "one" : "two", row));
            ToolRun run = runConvert(QStringList{"-f", row, "-j", QString::number(jobs), "-o", out,
                                                 "-n", "p"}
                                     << inputs);
            EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString(); // the broken and the missing file
            lines[jobs - 1] = run.lines.replaceInStrings(out, QStringLiteral("OUT"));
        }
        EXPECT_EQ(lines[0], lines[1]);
        EXPECT_EQ(lines[0].size(), 9);
        const QDir one(box.file(QStringLiteral("one-%1").arg(row)));
        const QDir two(box.file(QStringLiteral("two-%1").arg(row)));
        ASSERT_EQ(one.entryList(QDir::Files | QDir::Hidden), two.entryList(QDir::Files | QDir::Hidden));
        for (const QString &name : one.entryList(QDir::Files)) {
            QFile a(one.filePath(name)), b(two.filePath(name));
            ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            EXPECT_EQ(a.readAll(), b.readAll()) << name.toStdString();
        }
    }
    EXPECT_EQ(runConvert({"-j", "0", "-o", box.path(), inputs.first()}).exitCode, 2);
}

// Run from cron or over ssh, with no runtime folder of the session: not a
// word on standard error when all goes well.
TEST(ConvertTool, RunsQuietlyWithoutARuntimeFolder)
{
    test::Sandbox box;
    ASSERT_TRUE(test::makeTestPicture(20, 10).save(box.file("a.png")));
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    headless.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    headless.remove(QStringLiteral("DISPLAY"));
    headless.remove(QStringLiteral("WAYLAND_DISPLAY"));
    ToolRun help = runConvert({"--help"}, headless);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.errors, QString());
    ToolRun run = runConvert({"-q", "-o", box.path(), box.file("a.png")}, headless);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.errors, QString());
    EXPECT_TRUE(QFileInfo::exists(box.file("Sample1.gif")));
}

// A picture list is the user's data, not the terminal's: a crafted list's
// control characters are printed escaped, and an entry naming a folder says
// so instead of "no longer exists".
TEST(ConvertTool, ListsCannotRewriteTheTerminalAndFoldersAreNamedAsSuch)
{
    test::Sandbox box;
    QDir(box.path()).mkpath(QStringLiteral("a folder"));
    const QByteArray hostile = box.file("x\x1b]0;owned\x07\nwritten y.png").toUtf8();
    const QByteArray folder = box.file("a folder").toUtf8();
    ASSERT_TRUE(box.write("list.ripl", hostile.leftJustified(150, ' ', true) +
                                           folder.leftJustified(150, ' ', true)));
    QDir(box.path()).mkpath(QStringLiteral("out"));
    const ToolRun run = runConvert({"-o", box.file("out"), box.file("list.ripl"), box.file("a folder")});
    EXPECT_EQ(run.exitCode, 1);
    const QString all = run.lines.join(u'\n');
    EXPECT_FALSE(all.contains(QChar(0x1b)));
    EXPECT_FALSE(all.contains(QChar(0x07)));
    EXPECT_TRUE(all.contains(QStringLiteral("\\x1b]0;owned\\x07\\x0awritten y.png")))
        << all.toStdString();
    ASSERT_EQ(run.lines.size(), 4) << all.toStdString(); // three inputs and the summary
    EXPECT_TRUE(run.lines[1].endsWith(QStringLiteral("but is a folder"))) << run.lines[1].toStdString();
    EXPECT_TRUE(run.lines[2].endsWith(QStringLiteral(": is a folder"))) << run.lines[2].toStdString();
}

// Scripts pick a row by its text: each line is the row's index, its exact
// list text and its extension, in catalogue order, and asks for nothing else.
TEST(ConvertTool, ListFormatsPrintsEveryCatalogueRow)
{
    const ToolRun run = runConvert({"--list-formats"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const std::span<const FormatRow> rows = formatCatalogue();
    ASSERT_EQ(run.lines.size(), qsizetype(rows.size()));
    for (qsizetype i = 0; i < run.lines.size(); ++i) {
        const QStringList fields = run.lines[i].split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 3) << run.lines[i].toStdString();
        EXPECT_EQ(fields[0], QString::number(i));
        EXPECT_EQ(fields[1], rows[size_t(i)].listText);
        EXPECT_EQ(fields[2], rows[size_t(i)].extension);
        EXPECT_FALSE(fields[2].isEmpty());
        // The text printed is the one --format takes for that row.
        convert::ConvertOptions options;
        options.format = fields[1];
        QString error;
        const std::optional<FormatChoice> choice = convert::resolveChoice(options, &error);
        ASSERT_TRUE(choice.has_value()) << error.toStdString();
        EXPECT_EQ(choice->row, i);
    }
    // Asked before any destination or input is known (the completion does).
    EXPECT_EQ(convert::parseCommandLine({"--list-formats", "-o", "/nonexistent"}).action,
              convert::ParsedCommandLine::Action::ListFormats);
}

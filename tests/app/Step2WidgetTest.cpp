// The Step 2 page of the real main window under the offscreen platform:
// every kind of option change really encodes the current picture and shows
// the file written, and "Save As" writes the same encode under a chosen name.
#include "app/MainWindow.h"
#include "app/StatusSink.h"
#include "app/Step2Wiring.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "engine/conversion/ConversionContext.h"
#include "app/TabStrip.h"
#include "platform/ProgramFolder.h"
#include "platform/SizeText.h"
#include "platform/TempFolder.h"
#include "selection/ImagePreview.h"
#include "selection/ImageSelection.h"
#include "settings/ExtraSettings.h"
#include "settings/StartupSettings.h"

#include "CameraFixtures.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

using test::waitFor;

// What a file's first bytes say it is.
QString magicOf(const QByteArray &bytes)
{
    if (bytes.startsWith("GIF8"))
        return QStringLiteral("GIF");
    if (bytes.startsWith("BM"))
        return QStringLiteral("BMP");
    if (bytes.startsWith("\x89PNG"))
        return QStringLiteral("PNG");
    if (bytes.startsWith("\xff\xd8"))
        return QStringLiteral("JPG");
    if (bytes.startsWith("II*") || bytes.startsWith("MM"))
        return QStringLiteral("TIF");
    if (bytes.size() > 128 && bytes.at(0) == 0x0a)
        return QStringLiteral("PCX");
    if (bytes.size() > 18 && (bytes.at(2) == 2 || bytes.at(2) == 10))
        return QStringLiteral("TGA");
    return QStringLiteral("?");
}

class Step2Page : public ::testing::Test {
protected:
    void SetUp() override
    {
        setProgramFolder(box.path());
        ASSERT_TRUE(QDir(box.path()).mkpath(QStringLiteral("runtime")));
        QFile::setPermissions(box.file(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(box.file(QStringLiteral("runtime"))));
        ASSERT_TRUE(QDir(box.path()).mkdir(QStringLiteral("pictures")));
        ASSERT_TRUE(test::makeTestPicture(320, 240).save(box.file("pictures/photo.png")));
        startupSettings() = defaultStartupSettings();
        startupSettings().LastFolder = box.file(QStringLiteral("pictures"));
        extraSettings() = ExtraSettings();
        window = std::make_unique<MainWindow>();
        window->resize(900, 650);
        window->formLoad();
        window->show();
        window->tabStrip()->tabs()->setCurrentIndex(1);
        // The first picture is previewed and encoded with the stored row.
        ASSERT_TRUE(waitFor([this] { return !window->preview().holder().isNull(); }, 10000));
        ASSERT_TRUE(waitFor([this] { return type4() == u"GIF"_qs; }, 10000));
    }
    void TearDown() override
    {
        window.reset();
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        setProgramFolder(QString());
    }

    Step2Panes &p() { return window->step2(); }
    QString type4() { return p().COptimizedPP->info()->typeValue()->text(); }
    QString size4() { return p().COptimizedPP->info()->sizeValue()->text(); }
    QString depth4() { return p().COptimizedPP->info()->colorsValue()->text(); }
    QByteArray previewFile()
    {
        QFile f(GetPreviewFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A choice as the user makes it: the list shows it, then reports it;
    // then the encode it asked for is awaited.
    void choose(QComboBox *list, int index)
    {
        chooseNow(list, index);
        settle();
    }
    void chooseNow(QComboBox *list, int index)
    {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    void click(QAbstractButton *button)
    {
        button->click();
        settle();
    }
    void settle() { ASSERT_TRUE(waitFor([this] { return !window->encoding(); }, 30000)); }
    EncodingOptions asked() { return window->options().encodingOptions(); }

    test::Sandbox box;
    test::RecordingMessages messages;
    test::RecordingFileDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    QByteArray oldRuntime;
};

TEST_F(Step2Page, EveryRowWritesItsFileAndShowsItsTypeSizeAndDepth)
{
    struct Row {
        int index;
        const char *type;
        const char *depth;
    };
    const Row rows[] = {{7, "GIF", "256 Colors"}, {3, "GIF", "16 Colors"},
                        {8, "BMP", "2 Colors"},   {12, "BMP", "24 bit"},
                        {13, "PNG", "8 bit"},     {14, "PNG", "24 bit"},
                        {17, "JPG", "24 bit"},    {21, "PCX", "24 bit"},
                        {24, "TGA", "24 bit"},    {25, "TIF", "24 bit"}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.index);
        choose(p().CboFiles, row.index);
        EXPECT_EQ(type4(), QLatin1String(row.type));
        EXPECT_EQ(depth4(), QLatin1String(row.depth));
        const QByteArray file = previewFile();
        EXPECT_EQ(magicOf(file), QLatin1String(row.type));
        const bool jpeg = row.index >= 15 && row.index <= 20;
        EXPECT_EQ(size4(), kilobyteText(file.size(), jpeg));
        EXPECT_EQ(window->panel(2)->text(), p().CboFiles->itemText(row.index));
        // The frames follow the row.
        EXPECT_EQ(p().fgif->isVisible(), !jpeg);
        EXPECT_EQ(p().Fjpg->isVisible(), jpeg);
        EXPECT_EQ(p().ChkInterlaced->isVisible(), row.index <= 7);
        EXPECT_TRUE(p().CmdSave->isEnabled() && p().cmdBatch->isEnabled());
        // The optimized view shows the file as written, at its full size.
        EXPECT_EQ(window->optimizedSurface().clientSize(), QSize(320, 240));
        // GIF keeps every index: what is shown is the file's picture.
        if (QLatin1String(row.type) == QLatin1String("GIF")) {
            QImage written;
            ASSERT_TRUE(written.loadFromData(file, "GIF"));
            EXPECT_EQ(test::maxChannelDifference(window->optimizedSurface().image(),
                                                 written.convertToFormat(QImage::Format_RGB32)),
                      0);
        }
        if (row.index == 12 || row.index == 14 || row.index == 25) {
            EXPECT_EQ(test::maxChannelDifference(window->optimizedSurface().image(),
                                                 window->originalSurface().image()),
                      0);
        }
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(messages.calls.empty());
}

TEST_F(Step2Page, OptionsReEncodeTheirWay)
{
    choose(p().CboFiles, 3); // GIF-16 Colors
    // "Fixed Color" reaches the encoder combined with the colour count.
    const int fixed = p().cboMap->findText(QStringLiteral("Fixed Color"));
    ASSERT_GE(fixed, 0);
    choose(p().cboMap, fixed);
    EXPECT_EQ(asked().settings.PaletteFlags, 0x8010);
    const QByteArray fixedFile = previewFile();

    choose(p().cboDither, p().cboDither->findText(QStringLiteral("Binary")));
    EXPECT_EQ(code(asked().settings.DitherCode), 1);
    const QByteArray dithered = previewFile();
    EXPECT_NE(dithered, fixedFile);

    choose(p().cboMap, p().cboMap->findText(QStringLiteral("Optimal")));
    choose(p().cboColorMode, 1); // Greyscale
    EXPECT_EQ(code(asked().settings.ColorMode), 2);
    const QImage grey = window->optimizedSurface().image();
    EXPECT_EQ(qRed(grey.pixel(300, 10)), qGreen(grey.pixel(300, 10)));
    choose(p().cboColorMode, 0);

    // A flip: the optimized view is the original upside down.
    choose(p().CboFiles, 12); // BMP-24 bit
    click(p().chkFlipV);
    EXPECT_EQ(asked().transform, 0x1010000);
    EXPECT_EQ(window->optimizedSurface().image(), window->originalSurface().image().mirrored(false, true));
    click(p().chkFlipV);

    // "MS Map" on BMP-2 Colors disables the dither list and shows "None".
    choose(p().CboFiles, 8);
    choose(p().cboDither, 2);
    choose(p().cboMap, 0);
    EXPECT_FALSE(p().cboDither->isEnabled());
    EXPECT_EQ(p().cboDither->currentText(), QStringLiteral("None"));

    // Interlacing writes an interlaced GIF and names the type GIF.
    choose(p().CboFiles, 7);
    const QByteArray plain = previewFile();
    click(p().ChkInterlaced);
    EXPECT_EQ(code(asked().settings.EncoderKind), 2);
    const QByteArray interlaced = previewFile();
    EXPECT_EQ(magicOf(interlaced), QStringLiteral("GIF"));
    EXPECT_NE(interlaced, plain);
    EXPECT_EQ(type4(), QStringLiteral("GIF"));
    QImage written;
    ASSERT_TRUE(written.loadFromData(interlaced, "GIF"));
    EXPECT_EQ(test::maxChannelDifference(window->optimizedSurface().image(),
                                         written.convertToFormat(QImage::Format_RGB32)),
              0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Step2Page, JpegPresetsAndTheCustomQualityField)
{
    choose(p().CboFiles, 15); // Low Quality: preset "Bad"
    EXPECT_EQ(p().cboJpg->currentIndex(), 0);
    EXPECT_EQ(window->options().settings.JpegQuality, 2048);
    EXPECT_TRUE(size4().endsWith(QStringLiteral(" Kb")));
    const qint64 low = previewFile().size();
    choose(p().cboJpg, 4); // Superb
    EXPECT_EQ(window->options().settings.JpegQuality, 128);
    EXPECT_GT(previewFile().size(), low);

    choose(p().CboFiles, 20); // Custom: the field appears
    EXPECT_TRUE(p().frameJPG->isVisible());
    QLineEdit *text = p().TxtJPG;
    text->setFocus();
    QFocusEvent focus(QEvent::FocusIn);
    QApplication::sendEvent(text, &focus);
    EXPECT_EQ(text->selectedText(), QStringLiteral("60")); // typing replaces it
    // Only ASCII digits change it, whatever the key: letters, accented
    // letters, fractions and other scripts' digits are refused, also when an
    // input method commits them.
    for (const char *key : {"x", "8", "\xc3\xa9", "\xc2\xbd", "\xd9\xa3", "5"}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8(key));
        QApplication::sendEvent(text, &press);
    }
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("\u00e9"));
    QApplication::sendEvent(text, &composed);
    EXPECT_EQ(text->text(), QStringLiteral("85"));
    EXPECT_EQ(p().TxtJPGD->value(), 85);
    EXPECT_EQ(window->options().settings.JpegQuality, 85);
    p().TxtJPGD->setValue(101); // the control's own bound
    EXPECT_EQ(text->text(), QStringLiteral("100"));
    EXPECT_EQ(window->options().settings.JpegQuality, 100);
    window->close();
    EXPECT_EQ(startupSettings().CustomJpegQuality, 100);
    EXPECT_EQ(startupSettings().LastFormatIndex, 20);
}

TEST_F(Step2Page, SaveAsWritesTheSameEncodeUnderTheChosenName)
{
    choose(p().CboFiles, 21); // PCX-24 bit (Compressed)
    const QString target = box.file(QStringLiteral("saved"));
    ASSERT_TRUE(box.write(QStringLiteral("saved"), "an older file of the user's"));
    dialogs.answers = {target};
    click(p().CmdSave);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const FileDialogRequest &asked = dialogs.requests[0];
    EXPECT_EQ(asked.title, QStringLiteral("Save Optimized As"));
    EXPECT_EQ(asked.filter, QStringLiteral("PCX Format (*.pcx)|*.pcx"));
    EXPECT_TRUE(asked.confirmOverwrite);
    EXPECT_TRUE(asked.initialName.isEmpty());
    EXPECT_EQ(magicOf(box.read(QStringLiteral("saved"))), QStringLiteral("PCX"));
    EXPECT_EQ(box.read(QStringLiteral("saved")), previewFile()); // what the preview showed
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral(".pcx"))); // no extension added
    EXPECT_EQ(type4(), QStringLiteral("PCX"));

    // Cancelled: nothing is written; the last name is offered again.
    choose(p().CboFiles, 17);
    const QByteArray before = box.read(QStringLiteral("saved"));
    click(p().CmdSave);
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].initialName, target);
    EXPECT_EQ(dialogs.requests[1].filter, QStringLiteral("Independent JPEG (*.jpg)|*.jpg"));
    EXPECT_EQ(box.read(QStringLiteral("saved")), before);

    // A JPEG row saves with the quality of its preview.
    dialogs.answers = {box.file(QStringLiteral("photo.jpg"))};
    click(p().CmdSave);
    EXPECT_EQ(box.read(QStringLiteral("photo.jpg")), previewFile());
    EXPECT_TRUE(messages.calls.empty());

    // A folder that is not there: said so, nothing else touched.
    dialogs.answers = {box.file(QStringLiteral("gone/photo.jpg"))};
    click(p().CmdSave);
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].icon, MessageIcon::Critical);
}

// Changes made faster than the encodes: only the newest is written and
// shown, and the window never waits for an encode.
TEST_F(Step2Page, QuickChangesShowOnlyTheNewestResult)
{
    choose(p().CboFiles, 7);
    int shown = 0;
    QObject::connect(&window->optimizedSurface(), &PictureSurface::changed, [&] { ++shown; });
    chooseNow(p().CboFiles, 14); // PNG-24 bit
    chooseNow(p().cboDither, 1);  // not offered by PNG-24: nothing changes
    chooseNow(p().CboFiles, 3);  // GIF-16 Colors
    chooseNow(p().CboFiles, 12); // BMP-24 bit
    EXPECT_TRUE(window->encoding());
    // Said to a screen reader too, which cannot see the busy pointer.
    EXPECT_EQ(p().COptimizedPP->viewport()->accessibleDescription(), QStringLiteral("Encoding ..."));
    settle();
    EXPECT_EQ(magicOf(previewFile()), QStringLiteral("BMP"));
    EXPECT_EQ(type4(), QStringLiteral("BMP"));
    EXPECT_EQ(depth4(), QStringLiteral("24 bit"));
    EXPECT_LE(shown, 2); // the newest result, not one per change
    EXPECT_EQ(test::maxChannelDifference(window->optimizedSurface().image(),
                                         window->originalSurface().image()),
              0);
    EXPECT_TRUE(p().COptimizedPP->viewport()->cursor().shape() != Qt::BusyCursor);
    EXPECT_TRUE(p().COptimizedPP->viewport()->accessibleDescription().isEmpty());
}

// Save As asked for right after a change writes the settings just chosen.
TEST_F(Step2Page, SaveAsRightAfterAChangeWritesTheNewestSettings)
{
    chooseNow(p().CboFiles, 21); // PCX-24 bit, not yet encoded
    dialogs.answers = {box.file(QStringLiteral("now.pcx"))};
    p().CmdSave->click();
    settle();
    EXPECT_EQ(magicOf(box.read(QStringLiteral("now.pcx"))), QStringLiteral("PCX"));
    EXPECT_EQ(box.read(QStringLiteral("now.pcx")), previewFile());
}

// "Keep metadata": enabled for the rows whose files hold metadata, a click
// encodes again with or without the photo's details, and the choice is
// stored when the window closes and shown again at the next start.
TEST_F(Step2Page, KeepMetadataFollowsTheRowReEncodesAndIsStoredAtClose)
{
    QCheckBox *keep = p().chkKeepMetadata;
    EXPECT_EQ(keep->text(), QStringLiteral("Keep metadata"));
    EXPECT_FALSE(keep->accessibleName().isEmpty());
    EXPECT_TRUE(keep->toolTip().contains(QStringLiteral("GPS")));
    EXPECT_TRUE(keep->isChecked()); // the first-start value
    EXPECT_FALSE(keep->isVisible()); // GIF-256, the stored row

    // A camera's portrait photo, read through the decoder like any click.
    ASSERT_TRUE(box.write(QStringLiteral("pictures/camera.jpg"),
                          test::cameraJpeg(test::makeTestPicture(320, 240), test::exifBlock(),
                                           test::xmpPacket(6, QSize(320, 240)))));
    window->preview().previewImage(box.file("pictures/camera.jpg"));
    ASSERT_TRUE(waitFor([this] { return !window->originalSurface().metadata().isEmpty(); }, 10000));
    settle();
    EXPECT_EQ(window->originalSurface().clientSize(), QSize(240, 320)); // upright
    // What the decoder hands over is laid out afresh: no thumbnail.
    EXPECT_FALSE(window->originalSurface().metadata().exif.contains(test::thumbnailMark()));

    const std::pair<int, bool> rows[] = {{3, false}, {12, false}, {13, true}, {14, true},
                                         {17, true}, {21, false},  {24, false}, {25, true}};
    for (const auto &[row, shown] : rows) {
        choose(p().CboFiles, row);
        EXPECT_EQ(keep->isVisible(), shown) << row;
        EXPECT_TRUE(keep->isEnabled()) << row;
        EXPECT_EQ(previewFile().contains("Tevalen Optics"), shown) << row;
    }

    choose(p().CboFiles, 17); // JPEG - Normal Quality
    const QByteArray kept = previewFile();
    EXPECT_FALSE(kept.contains(test::thumbnailMark()));
    EXPECT_TRUE(kept.contains("tiff:Orientation=\"1\""));
    click(keep);
    EXPECT_FALSE(keep->isChecked());
    EXPECT_FALSE(asked().keepMetadata);
    EXPECT_EQ(window->options().settings.JpegQuality, 512); // still the row's preset
    const QByteArray stripped = previewFile();
    EXPECT_FALSE(stripped.contains("Tevalen Optics"));
    EXPECT_LT(stripped.size(), kept.size());
    EXPECT_EQ(size4(), kilobyteText(stripped.size(), true));
    choose(p().CboFiles, 14); // the choice stays with the next row
    EXPECT_FALSE(keep->isChecked());
    EXPECT_FALSE(previewFile().contains("eXIf"));
    click(keep);
    EXPECT_TRUE(previewFile().contains("eXIf"));
    click(keep);

    window->close();
    EXPECT_FALSE(extraSettings().KeepMetadata);
    EXPECT_FALSE(readExtraSettings(extraSettingsFilePath()).KeepMetadata);
    EXPECT_EQ(QFileInfo(extraSettingsFilePath()).absolutePath(), QFileInfo(settingsFilePath()).absolutePath());
    EXPECT_EQ(QFileInfo(settingsFilePath()).size(), SettingsRecordSize);

    // The next start reads it back with oStart.up.
    window.reset();
    extraSettings() = ExtraSettings();
    LoadSettings();
    window = std::make_unique<MainWindow>();
    window->formLoad();
    EXPECT_FALSE(p().chkKeepMetadata->isChecked());
    EXPECT_FALSE(window->options().encodingOptions().keepMetadata);
}

// The WebP and AVIF rows: their own quality field, the palette choices
// hidden, a transparent result on a checkerboard, Save As of the encode shown.
TEST_F(Step2Page, WebRowsTheirQualityTransparencyAndSaveAs)
{
    choose(p().CboFiles, WebpLossyRow);
    EXPECT_EQ(type4(), QStringLiteral("WEBP"));
    EXPECT_EQ(depth4(), QStringLiteral("24 bit"));
    EXPECT_EQ(window->panel(2)->text(), QStringLiteral("WebP - Lossy"));
    QByteArray file = previewFile();
    EXPECT_TRUE(file.startsWith("RIFF") && file.mid(8, 4) == "WEBP");
    EXPECT_EQ(size4(), kilobyteText(file.size(), false));
    EXPECT_TRUE(p().fgif->isVisible() && p().cboColorMode->isVisible() && p().chkFlipH->isVisible());
    EXPECT_FALSE(p().cboDither->isVisible());
    EXPECT_FALSE(p().cboMap->isVisible());
    EXPECT_FALSE(p().ChkInterlaced->isVisible());
    EXPECT_FALSE(p().Fjpg->isVisible());
    EXPECT_TRUE(p().chkKeepMetadata->isVisible());
    ASSERT_TRUE(p().frameWeb->isVisible());
    EXPECT_EQ(p().TxtWeb->text(), QStringLiteral("80"));
    EXPECT_TRUE(p().LblWebQuality->text().contains(QLatin1String("WebP")));

    // Typed digits are applied on Enter, not before; other keys are refused.
    QLineEdit *text = p().TxtWeb;
    text->setFocus();
    QFocusEvent focus(QEvent::FocusIn);
    QApplication::sendEvent(text, &focus);
    EXPECT_EQ(text->selectedText(), QStringLiteral("80"));
    for (const char *key : {"2", "q", "\xc2\xbd", "0"}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8(key));
        QApplication::sendEvent(text, &press);
    }
    EXPECT_EQ(text->text(), QStringLiteral("20"));
    EXPECT_FALSE(window->encoding());
    EXPECT_EQ(window->options().settings.WebQuality, 80);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(text, &enter);
    settle();
    EXPECT_EQ(window->options().settings.WebQuality, 20);
    const QByteArray low = previewFile();
    EXPECT_LT(low.size(), file.size());
    EXPECT_EQ(size4(), kilobyteText(low.size(), false));

    // Save As offers the one type and writes what the preview shows.
    dialogs.answers = {box.file(QStringLiteral("saved.webp"))};
    click(p().CmdSave);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].filter, QStringLiteral("WebP Image (*.webp)|*.webp"));
    EXPECT_EQ(box.read(QStringLiteral("saved.webp")), low);

    // AVIF keeps its own quality; up-down changes apply at once.
    choose(p().CboFiles, AvifRow);
    EXPECT_EQ(type4(), QStringLiteral("AVIF"));
    EXPECT_EQ(p().TxtWeb->text(), QStringLiteral("60"));
    EXPECT_TRUE(p().LblWebQuality->text().contains(QLatin1String("AVIF")));
    EXPECT_EQ(previewFile().mid(4, 8), QByteArray("ftypavif"));
    p().TxtWebD->setValue(30);
    settle();
    EXPECT_EQ(window->options().settings.WebQuality, 30);
    dialogs.answers = {box.file(QStringLiteral("saved.avif"))};
    click(p().CmdSave);
    EXPECT_EQ(dialogs.requests[1].filter, QStringLiteral("AVIF Image (*.avif)|*.avif"));
    EXPECT_EQ(box.read(QStringLiteral("saved.avif")), previewFile());

    choose(p().CboFiles, WebpLosslessRow);
    EXPECT_FALSE(p().frameWeb->isVisible());
    EXPECT_EQ(test::maxChannelDifference(window->optimizedSurface().image(), window->originalSurface().image()), 0);
    choose(p().CboFiles, 3); // a GIF row shows its lists again
    EXPECT_TRUE(p().cboDither->isVisible() && p().cboMap->isVisible());

    // A transparent picture: kept, said in the depth, shown on squares.
    QImage clear(120, 80, QImage::Format_ARGB32);
    clear.fill(qRgba(200, 30, 30, 255));
    for (int y = 0; y < 80; ++y)
        for (int x = 60; x < 120; ++x)
            clear.setPixel(x, y, qRgba(0, 0, 0, 0));
    ASSERT_TRUE(clear.save(box.file(QStringLiteral("pictures/clear.png"))));
    window->preview().previewImage(box.file(QStringLiteral("pictures/clear.png")));
    ASSERT_TRUE(waitFor([this] { return window->originalSurface().clientSize() == QSize(120, 80); }, 10000));
    choose(p().CboFiles, WebpLossyRow);
    EXPECT_EQ(depth4(), QStringLiteral("32 bit"));
    ASSERT_FALSE(window->optimizedSurface().transparent().isNull());
    EXPECT_EQ(qAlpha(window->optimizedSurface().transparent().pixel(100, 40)), 0);
    QWidget *image = p().COptimizedPP->viewport()->image();
    const QImage shown = image->grab().toImage();
    ASSERT_GE(shown.width(), 120);
    const QRgb light = shown.pixel(100 * shown.width() / 120, 4 * shown.height() / 80);
    const QRgb dark = shown.pixel(100 * shown.width() / 120 + 8 * shown.width() / 120, 4 * shown.height() / 80);
    EXPECT_NE(light, dark) << "a checkerboard where the picture is transparent";
    EXPECT_TRUE(qRed(light) == qGreen(light) && qGreen(light) == qBlue(light));
    // The original view keeps showing it on white, as every row does.
    choose(p().CboFiles, 14);
    EXPECT_EQ(depth4(), QStringLiteral("24 bit"));
    EXPECT_EQ(window->optimizedSurface().image().pixel(100, 40), qRgb(255, 255, 255));

    window->close();
    EXPECT_EQ(readExtraSettings(extraSettingsFilePath()).WebpQuality, 20);
    EXPECT_EQ(readExtraSettings(extraSettingsFilePath()).AvifQuality, 30);
    EXPECT_EQ(QFileInfo(settingsFilePath()).size(), SettingsRecordSize);
    EXPECT_TRUE(messages.calls.empty());
}

// "Resize": the list and the fields each mode needs, digits only; every
// change encodes again and the optimized view shows the written picture at
// its own size, with "W x H" in its information frame; Save As writes the
// same; the setting is kept in pictrove.conf, never in oStart.up.
TEST_F(Step2Page, ResizeShowsTheResizedPictureAndIsStoredBesideTheRecord)
{
    const auto resolution4 = [this] { return p().COptimizedPP->info()->resolutionValue()->text(); };
    const auto shown = [this] { return window->optimizedSurface().clientSize(); };
    const auto typeInto = [](QLineEdit *text, const char *keys) {
        text->setFocus();
        QFocusEvent focus(QEvent::FocusIn);
        QApplication::sendEvent(text, &focus);
        for (const char *k = keys; *k; ++k) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(*k)));
            QApplication::sendEvent(text, &press);
        }
    };
    settle();
    EXPECT_EQ(p().cboResize->currentText(), QStringLiteral("Original size"));
    EXPECT_FALSE(p().frameResize->isVisible());
    EXPECT_EQ(resolution4(), QStringLiteral("320 x 240"));
    EXPECT_EQ(p().CoriginalPP->info()->resolutionValue()->text(), QStringLiteral("320 x 240"));
    const QByteArray original = previewFile();

    choose(p().cboResize, 1); // Longest side: 1920 would enlarge, so nothing changes
    EXPECT_TRUE(p().TxtResizeW->isVisible());
    EXPECT_FALSE(p().TxtResizeH->isVisible());
    EXPECT_FALSE(p().TxtResizeP->isVisible());
    EXPECT_TRUE(p().chkNeverEnlarge->isChecked());
    EXPECT_EQ(p().TxtResizeW->text(), QStringLiteral("1920"));
    EXPECT_EQ(previewFile(), original);

    typeInto(p().TxtResizeW, "2x0\x7f" "0"); // a letter and DEL are refused
    settle();
    EXPECT_EQ(p().TxtResizeW->text(), QStringLiteral("200"));
    EXPECT_EQ(asked().resize.side, 200);
    EXPECT_EQ(shown(), QSize(200, 150));
    EXPECT_EQ(resolution4(), QStringLiteral("200 x 150"));

    click(p().chkNeverEnlarge);
    p().TxtResizeWD->setValue(640);
    settle();
    EXPECT_EQ(resolution4(), QStringLiteral("640 x 480"));

    choose(p().cboResize, 2); // a box: the width and the height
    EXPECT_EQ(p().TxtResizeW->text(), QStringLiteral("1920"));
    EXPECT_EQ(p().TxtResizeH->text(), QStringLiteral("1080"));
    EXPECT_TRUE(p().TxtResizeH->isVisible());
    EXPECT_EQ(resolution4(), QStringLiteral("1440 x 1080"));
    typeInto(p().TxtResizeH, "90");
    settle();
    EXPECT_EQ(resolution4(), QStringLiteral("120 x 90"));

    choose(p().CboFiles, 17); // a JPEG row resizes too
    EXPECT_EQ(resolution4(), QStringLiteral("120 x 90"));
    EXPECT_EQ(magicOf(previewFile()), QStringLiteral("JPG"));

    choose(p().cboResize, 3); // percent
    EXPECT_TRUE(p().TxtResizeP->isVisible());
    EXPECT_FALSE(p().TxtResizeW->isVisible());
    typeInto(p().TxtResizeP, "5");
    settle();
    EXPECT_EQ(resolution4(), QStringLiteral("16 x 12"));
    p().TxtResizePD->setValue(1001); // the field's own bound
    EXPECT_EQ(p().TxtResizeP->text(), QStringLiteral("1000"));
    p().TxtResizePD->setValue(5);
    settle();
    dialogs.answers = {box.file(QStringLiteral("small.jpg"))};
    click(p().CmdSave);
    EXPECT_EQ(box.read(QStringLiteral("small.jpg")), previewFile());
    EXPECT_EQ(QImage(box.file(QStringLiteral("small.jpg"))).size(), QSize(16, 12));

    window->close();
    const ExtraSettings stored = readExtraSettings(extraSettingsFilePath());
    EXPECT_EQ(stored.ResizeMode, 3);
    EXPECT_EQ(stored.ResizePercent, 5);
    EXPECT_EQ(stored.ResizeHeight, 90);
    EXPECT_EQ(stored.ResizeWidth, 1920);
    EXPECT_EQ(stored.ResizeSide, 640);
    EXPECT_FALSE(stored.ResizeNeverEnlarge);
    // The record is the same whatever the resize says.
    const QByteArray record = box.read(QFileInfo(settingsFilePath()).fileName());
    EXPECT_EQ(record.size(), SettingsRecordSize);
    extraSettings().ResizeMode = 1;
    extraSettings().ResizeSide = 77;
    SaveSettings();
    EXPECT_EQ(box.read(QFileInfo(settingsFilePath()).fileName()), record);
    extraSettings().ResizeMode = 3;
    extraSettings().ResizeSide = 640;
    SaveSettings();

    // The next start shows it again.
    window.reset();
    extraSettings() = ExtraSettings();
    LoadSettings();
    window = std::make_unique<MainWindow>();
    window->formLoad();
    EXPECT_EQ(p().cboResize->currentIndex(), 3);
    EXPECT_EQ(p().TxtResizeP->text(), QStringLiteral("5"));
    EXPECT_FALSE(p().chkNeverEnlarge->isChecked());
    EXPECT_EQ(window->options().encodingOptions().resize.percent, 5);
}

TEST_F(Step2Page, ClosingTheWindowDuringAnEncodeEndsItCleanly)
{
    chooseNow(p().CboFiles, 14);
    chooseNow(p().CboFiles, 12);
    window->close();
    window.reset(); // the worker is abandoned and joined
    EXPECT_EQ(startupSettings().LastFormatIndex, 12);
    const QString folder = QFileInfo(GetPreviewFilePath()).absolutePath();
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : left)
        EXPECT_FALSE(name.contains(QStringLiteral(".part-"))) << name.toStdString();
}

TEST_F(Step2Page, AFailedEncodeSaysSoInPanelFiveForTheNewestSettingsOnly)
{
    window->originalSurface().reset(); // no picture to encode
    choose(p().CboFiles, 12);
    EXPECT_EQ(window->panel(5)->text(),
              QStringLiteral("The current format cannot be applied to the image!"));
    // A GIF row has no such message: the failure of an earlier setting,
    // asked for just before, is not shown.
    window->panel(5)->setText(QString());
    chooseNow(p().CboFiles, 12);
    chooseNow(p().CboFiles, 7);
    settle();
    EXPECT_TRUE(window->panel(5)->text().isEmpty());
}

// The option column needs its panes, the options, the pictures and a place
// for status texts, and nothing of a main window: built from those alone,
// a change encodes and its result reaches the panes and the status panels.
TEST(Step2Wiring, WorksFromThePartsItIsGivenWithoutAWindow)
{
    test::Sandbox box;
    setProgramFolder(box.path());
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(QDir(box.path()).mkpath(QStringLiteral("runtime")));
    QFile::setPermissions(box.file(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(box.file(QStringLiteral("runtime"))));
    startupSettings() = defaultStartupSettings();
    startupSettings().LastFormatIndex = 12; // BMP-24 bit
    {
        QWidget host;
        QWidget page(&host);
        ViewPair views;
        Step2Panes panes(&page, views);
        StatusSink status(&host);
        OutputSettingsController options;
        ConversionContext conversion;
        Step2Wiring wiring(panes, options, conversion, status);
        options.fillOptionLists(75);
        wiring.sync();
        const QImage picture = test::makeTestPicture(64, 48);
        conversion.original.setPicture(picture);
        conversion.optimized.setPicture(picture);

        wiring.applyLastFormat();
        EXPECT_EQ(panes.CboFiles->currentIndex(), 12);
        ASSERT_TRUE(waitFor([&] { return !wiring.encoder().busy(); }, 30000));
        EXPECT_EQ(panes.COptimizedPP->info()->typeValue()->text(), QStringLiteral("BMP"));
        EXPECT_EQ(panes.COptimizedPP->info()->colorsValue()->text(), QStringLiteral("24 bit"));
        EXPECT_EQ(test::maxChannelDifference(conversion.optimized.image(), picture), 0);

        panes.CboFiles->setCurrentIndex(7);
        emit panes.CboFiles->activated(7);
        ASSERT_TRUE(waitFor([&] { return !wiring.encoder().busy(); }, 30000));
        EXPECT_EQ(panes.COptimizedPP->info()->typeValue()->text(), QStringLiteral("GIF"));
        EXPECT_EQ(status.panel(2)->text(), options.statusPanel2);
    }
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    setProgramFolder(QString());
}

} // namespace
} // namespace pictrove

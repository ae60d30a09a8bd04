// "Save All ..." in the real main window under the offscreen platform: the
// run goes on off the user-interface thread with the basket and options of
// the moment it started, stops after the file under way, and says what it
// did; the destination dialog's tree, buttons and frame close.
#include "app/BatchWiring.h"
#include "app/FrameCommands.h"
#include "app/MainWindow.h"
#include "decoding/DecoderSandbox.h"
#include "platform/ProgramFolder.h"
#include "selection/ImageSelection.h"
#include "settings/StartupSettings.h"
#include "workflow/options/OutputSettingsController.h"
#include "workflow/widgets/DestinationDialog.h"

#include "TestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

namespace pictrove {
namespace {

using test::waitFor;

class RecordingOpener final : public UrlOpener {
public:
    RecordingOpener() { installUrlOpener(this); }
    ~RecordingOpener() override { installUrlOpener(nullptr); }
    bool open(const QUrl &url) override
    {
        opened << url;
        return true;
    }
    QList<QUrl> opened;
};

class SaveAll : public ::testing::Test {
protected:
    void SetUp() override
    {
        setProgramFolder(box.path());
        QDir(box.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(box.file(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(box.file(QStringLiteral("runtime"))));
        QDir(box.path()).mkpath(QStringLiteral("pictures"));
        QDir(box.path()).mkpath(QStringLiteral("out"));
        startupSettings() = defaultStartupSettings();
        window = std::make_unique<MainWindow>();
        window->resize(900, 650);
        window->formLoad();
        window->show();
        // GIF-256 Colors, chosen as the folder listing does, so that the
        // option column (with "Save All ...") follows.
        startupSettings().LastFormatIndex = 7;
        window->applyLastFormat();
        ASSERT_TRUE(window->step2().cmdBatch->isEnabled());
        window->batch().chooseDestination = [this](DestinationChoice choice) {
            ++dialogs;
            prefill = choice;
            return answer;
        };
        answer = Destination{box.file(QStringLiteral("out")), QStringLiteral("pic"), false, false};
    }
    void TearDown() override
    {
        window.reset();
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        setProgramFolder(QString());
    }
    void basketOf(int pictures, bool broken = false)
    {
        QStringList paths;
        for (int i = 0; i < pictures; ++i) {
            const QString path = box.file(QStringLiteral("pictures/p%1.png").arg(i));
            test::makeTestPicture(60 + i, 40).save(path);
            paths << path;
        }
        if (broken) {
            box.write(QStringLiteral("pictures/broken.png"), "not a picture");
            paths.insert(1, box.file(QStringLiteral("pictures/broken.png")));
        }
        window->selection().dropFiles(paths);
    }
    bool runEnds()
    {
        return waitFor([this] { return !window->batch().runner().running(); }, 60000);
    }
    QStringList written() const
    {
        return QDir(box.file(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    test::Sandbox box;
    test::RecordingMessages messages;
    RecordingOpener opener;
    std::unique_ptr<MainWindow> window;
    QByteArray oldRuntime;
    int dialogs = 0;
    DestinationChoice prefill;
    std::optional<Destination> answer;
};

TEST_F(SaveAll, AnEmptyBasketSaysSoAndAskNothing)
{
    window->step2().cmdBatch->click();
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text,
              QStringLiteral("No File(s) in the Image Basket! Place some file(s) and continue"));
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("Pictrove"));
    EXPECT_EQ(dialogs, 0);
}

TEST_F(SaveAll, ACancelledDialogWritesNothing)
{
    basketOf(2);
    answer.reset();
    window->step2().cmdBatch->click();
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(window->batch().runner().running());
    EXPECT_FALSE(window->progressBar()->isVisible());
    EXPECT_TRUE(written().isEmpty());
}

TEST_F(SaveAll, ARunConvertsTheBasketAndReportsWhatItCouldNot)
{
    basketOf(3, true);
    answer->showDestination = true;
    startupSettings().LastGenericName = QStringLiteral("  stored ");
    window->step2().cmdBatch->click();
    EXPECT_EQ(prefill.genericName, QStringLiteral("stored"));
    EXPECT_TRUE(window->progressBar()->isVisible());
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(written(), (QStringList{"pic1.gif", "pic3.gif", "pic4.gif"}));
    EXPECT_FALSE(window->progressBar()->isVisible());
    EXPECT_EQ(window->progressBar()->maximum(), 4);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window->panel(5)->text(), QStringLiteral("Save All: 3 written, 0 skipped, 1 failed"));
    ASSERT_TRUE(window->batch().resultsList());
    EXPECT_TRUE(window->batch().resultsList()->isVisible());
    EXPECT_FALSE(window->batch().resultsList()->isModal());
    ASSERT_EQ(opener.opened.size(), 1);
    EXPECT_EQ(opener.opened[0].toLocalFile(), box.file(QStringLiteral("out")));
    EXPECT_TRUE(messages.calls.empty());

    // Again, overwrite off: every name is taken, nothing is touched.
    const QByteArray first = box.read(QStringLiteral("out/pic1.gif"));
    answer->showDestination = false;
    window->step2().cmdBatch->click();
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(window->panel(5)->text(), QStringLiteral("Save All: 0 written, 3 skipped, 1 failed"));
    EXPECT_EQ(box.read(QStringLiteral("out/pic1.gif")), first);
}

TEST_F(SaveAll, AFileWrittenWithAWarningIsListedWithIt)
{
    // A JPEG whose colour profile is garbage: written, its colours as stored.
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(test::makeTestPicture(50, 40).save(&buffer, "JPG"));
    QByteArray payload("ICC_PROFILE\0\1\1", 14);
    payload += QByteArray(400, '\x5A');
    QByteArray segment("\xFF\xE2", 2);
    segment += char((payload.size() + 2) >> 8);
    segment += char((payload.size() + 2) & 0xFF);
    const QString path = box.file(QStringLiteral("pictures/tagged.jpg"));
    ASSERT_TRUE(box.write(QStringLiteral("pictures/tagged.jpg"), jpeg.left(2) + segment + payload + jpeg.mid(2)));
    window->selection().dropFiles({path});
    window->step2().cmdBatch->click();
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(written(), QStringList{"pic1.gif"});
    EXPECT_EQ(window->panel(5)->text(), QStringLiteral("Save All: 1 written, 0 skipped, 0 failed"));
    QDialog *results = window->batch().resultsList();
    ASSERT_TRUE(results);
    EXPECT_EQ(results->windowTitle(), QStringLiteral("Pictrove - files written with a warning"));
    auto *list = results->findChild<QTreeWidget *>(QStringLiteral("BatchResultsList"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), path);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("written"));
    EXPECT_EQ(list->topLevelItem(0)->text(2),
              QStringLiteral("the colour profile is damaged; colours are shown as stored"));
}

TEST_F(SaveAll, TheRunKeepsTheOptionsAndBasketOfItsStart)
{
    basketOf(12);
    window->step2().cmdBatch->click();
    // Changed at once, while the run has hardly begun.
    startupSettings().LastFormatIndex = 12; // BMP-24 bit
    window->applyLastFormat();
    window->selection().removeAll();
    window->step2().cmdBatch->click(); // a second run is refused quietly
    EXPECT_EQ(dialogs, 1);
    ASSERT_TRUE(runEnds());
    const QStringList files = written();
    EXPECT_EQ(files.size(), 12);
    for (const QString &name : files)
        EXPECT_TRUE(name.endsWith(QStringLiteral(".gif"))) << name.toStdString();
    EXPECT_TRUE(messages.calls.empty()); // not even the empty-basket message
}

// A basket filled without a picture ever shown still converts with the
// quality of the chosen JPEG row.
TEST_F(SaveAll, AJpegRowGivesItsQualityWithoutAPreview)
{
    basketOf(2);
    startupSettings().LastFormatIndex = 15; // JPEG - Low Quality
    window->applyLastFormat();
    EXPECT_EQ(window->options().settings.JpegQuality, 2048);
    window->step2().cmdBatch->click();
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(written(), (QStringList{"pic1.jpg", "pic2.jpg"}));
    // FreeImage's "bad" quality is far smaller than its default.
    const QImage picture(box.file(QStringLiteral("pictures/p0.png")));
    ASSERT_TRUE(picture.save(box.file(QStringLiteral("default.jpg")), "JPEG", 75));
    EXPECT_LT(box.read(QStringLiteral("out/pic1.jpg")).size(),
              box.read(QStringLiteral("default.jpg")).size());
}

TEST_F(SaveAll, StopEndsTheRunAfterTheFileUnderWay)
{
    basketOf(40);
    answer->showDestination = true;
    window->step2().cmdBatch->click();
    window->step2().CmdCancel->click();
    ASSERT_TRUE(runEnds());
    EXPECT_LT(written().size(), 40);
    EXPECT_TRUE(window->panel(5)->text().contains(QStringLiteral("stopped")));
    EXPECT_FALSE(window->progressBar()->isVisible());
    EXPECT_EQ(opener.opened.size(), 1); // also after a stop
    for (const QString &name : written())
        EXPECT_FALSE(name.startsWith(u'.')) << name.toStdString(); // no work file left
}

// Stop while a picture is still being read ends the read: the run does not
// wait for the decoder's time limit, and that picture is not converted.
TEST_F(SaveAll, StopEndsAReadUnderWayAtOnce)
{
    SandboxOptions slow;
    slow.baseTimeLimit = std::chrono::seconds(20); // only Stop ends the looping decode soon
    DecoderSandbox::shared().setOptions(slow);
    box.write(QStringLiteral("pictures/loops.png"), test::loopingPngBytes());
    window->selection().dropFiles({box.file(QStringLiteral("pictures/loops.png"))});
    basketOf(2);
    window->step2().cmdBatch->click();
    QElapsedTimer clock;
    clock.start();
    waitFor([] { return false; }, 300); // well into the first picture's decode
    window->step2().CmdCancel->click();
    ASSERT_TRUE(waitFor([this] { return !window->batch().runner().running(); }, 10000));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(written().isEmpty());
    EXPECT_TRUE(window->panel(5)->text().contains(QStringLiteral("0 failed; stopped, 3 not converted")))
        << window->panel(5)->text().toStdString();
    DecoderSandbox::shared().setOptions(SandboxOptions{});
}

TEST_F(SaveAll, ClosingDuringARunClosesOnceTheFileUnderWayIsDone)
{
    basketOf(40);
    window->step2().cmdBatch->click();
    window->close();
    EXPECT_TRUE(window->isVisible()); // still converting the file under way
    ASSERT_TRUE(runEnds());
    EXPECT_TRUE(waitFor([this] { return !window->isVisible(); }));
    EXPECT_LT(written().size(), 40);
    for (const QString &name : written())
        EXPECT_FALSE(name.startsWith(u'.')) << name.toStdString();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(QFileInfo::exists(box.file(QStringLiteral("oStart.up")))); // closed normally
}

TEST(DestinationDialogWidget, DesktopOnTopSelectFollowsTheTreeAndTheFrameCloseCancels)
{
    test::Sandbox box;
    test::RecordingMessages messages;
    startupSettings() = defaultStartupSettings();
    QDir(box.path()).mkpath(QStringLiteral("out/inner"));
    DestinationChoice choice;
    choice.startFolder = box.file(QStringLiteral("out"));
    choice.folderSelected(choice.startFolder);
    choice.genericName = QStringLiteral("name");
    DestinationDialog dialog(choice);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select Folder"));
    EXPECT_EQ(dialog.tree()->topLevelItem(0)->text(0), QStringLiteral("Desktop"));
    EXPECT_EQ(dialog.tree()->currentItem()->text(0), QStringLiteral("out"));
    EXPECT_TRUE(dialog.selectButton()->isEnabled());
    EXPECT_EQ(dialog.fileName()->text(), box.file(QStringLiteral("out")));
    EXPECT_FALSE(dialog.fileName()->isVisible() &&
                 dialog.rect().contains(dialog.fileName()->geometry())); // below the client area
    EXPECT_EQ(dialog.genericName()->text(), QStringLiteral("name"));

    // A folder that has gone disables Select and keeps the path.
    QTreeWidgetItem *inner = dialog.tree()->currentItem();
    dialog.tree()->expandItem(inner);
    ASSERT_EQ(inner->childCount(), 1);
    QDir(box.file(QStringLiteral("out/inner"))).removeRecursively();
    dialog.tree()->setCurrentItem(inner->child(0));
    EXPECT_FALSE(dialog.selectButton()->isEnabled());
    EXPECT_EQ(dialog.fileName()->text(), box.file(QStringLiteral("out")));

    // The window frame's close is Cancel: nothing handed back or stored.
    dialog.close();
    EXPECT_FALSE(dialog.result());
    EXPECT_EQ(startupSettings(), defaultStartupSettings());
}

TEST(DestinationDialogWidget, OpensOnExactlyTheStoredFolderOrOnNone)
{
    test::Sandbox box;
    test::RecordingMessages messages;
    startupSettings() = defaultStartupSettings();
    QDir(box.path()).mkpath(QStringLiteral(".hidden/.deeper/out"));
    QDir(box.path()).mkpath(QStringLiteral("visible"));

    // Under hidden folders: the tree shows them along the path and selects
    // the stored folder itself, never its deepest visible parent.
    {
        DestinationChoice choice;
        choice.startFolder = box.file(QStringLiteral(".hidden/.deeper/out"));
        choice.folderSelected(choice.startFolder);
        DestinationDialog dialog(choice);
        dialog.show();
        ASSERT_TRUE(dialog.tree()->currentItem());
        EXPECT_EQ(dialog.tree()->currentItem()->text(0), QStringLiteral("out"));
        EXPECT_EQ(dialog.fileName()->text(), choice.startFolder);
        EXPECT_TRUE(dialog.selectButton()->isEnabled());
        // The hidden parent lists only what the path needs next to its
        // visible neighbours; the user's other hidden folders stay hidden.
        QTreeWidgetItem *hidden = dialog.tree()->currentItem()->parent()->parent();
        EXPECT_EQ(hidden->text(0), QStringLiteral(".hidden"));
        EXPECT_EQ(hidden->parent()->childCount(), 2); // "visible" and ".hidden"
    }

    // A folder the tree cannot reach: nothing selected, Select disabled,
    // also once the tree has the keyboard focus.
    {
        DestinationChoice choice;
        choice.startFolder = box.file(QStringLiteral("gone/away"));
        choice.folderSelected(box.path()); // what an earlier step had accepted
        DestinationDialog dialog(choice);
        dialog.show();
        dialog.tree()->setFocus();
        QCoreApplication::processEvents();
        EXPECT_EQ(dialog.tree()->currentItem(), nullptr);
        EXPECT_FALSE(dialog.selectButton()->isEnabled());
        EXPECT_TRUE(dialog.fileName()->text().isEmpty());
        dialog.selectButton()->click();
        EXPECT_FALSE(dialog.result());
    }
    EXPECT_EQ(startupSettings(), defaultStartupSettings());
}

} // namespace
} // namespace pictrove

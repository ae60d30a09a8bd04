// The Step 1 page of the real main window under the offscreen platform:
// keys, clicks, drags and drops on the two lists, and the preview.
#include "app/MainWindow.h"
#include "platform/ProgramFolder.h"
#include "selection/ImagePreview.h"
#include "selection/ImageSelection.h"
#include "selection/widgets/SelectionViews.h"
#include "settings/StartupSettings.h"

#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>

namespace pictrove {
namespace {

bool waitFor(const std::function<bool()> &condition, int milliseconds = 10000)
{
    return test::waitFor(condition, milliseconds);
}

void key(QWidget *target, int code)
{
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

void mouse(QWidget *target, QEvent::Type type, QPoint pos, Qt::MouseButtons held)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

class Step1Page : public ::testing::Test {
protected:
    void SetUp() override
    {
        setProgramFolder(box.path());
        const std::pair<const char *, QSize> pictures[] = {
            {"a.png", {640, 480}}, {"b.jpg", {200, 900}}, {"c.bmp", {50, 40}}};
        ASSERT_TRUE(QDir(box.path()).mkdir(QStringLiteral("pictures")));
        for (const auto &[name, size] : pictures)
            ASSERT_TRUE(test::makeTestPicture(size.width(), size.height())
                            .save(folder() + u'/' + QLatin1String(name)));
        ASSERT_TRUE(box.write(QStringLiteral("pictures/d.gif"), "not a picture at all"));
        startupSettings() = defaultStartupSettings();
        startupSettings().LastFolder = folder();
        window = std::make_unique<MainWindow>();
        window->resize(900, 650);
        window->formLoad();
        window->show();
        ASSERT_TRUE(waitFor([this] { return lists().folderList().rowCount() == 4; }));
        ASSERT_TRUE(waitFor([this] { return !window->preview().holder().isNull(); }));
        QObject::connect(&lists(), &ImageSelection::previewRequested,
                         [this](const QString &path) { previews << path; });
    }
    void TearDown() override
    {
        window.reset();
        setProgramFolder(QString());
    }

    QString folder() const { return box.file(QStringLiteral("pictures")); }
    ImageSelection &lists() { return window->selection(); }
    Step1Panes &panes() { return window->step1(); }
    void select(QItemSelectionModel &model, std::initializer_list<int> rows)
    {
        model.clearSelection();
        for (int row : rows)
            model.select(model.model()->index(row, 0),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QPoint rowCentre(ReportListView *list, int row)
    {
        return list->visualRect(list->model()->index(row, 0)).center();
    }

    test::Sandbox box;
    test::RecordingMessages messages;
    std::unique_ptr<MainWindow> window;
    QStringList previews;
};

TEST_F(Step1Page, TheFirstPictureIsPreviewedFittedAndDescribed)
{
    Step1Panes &p = panes();
    EXPECT_EQ(p.LFileName->text(), QStringLiteral("a.png"));
    EXPECT_EQ(p.LType->text(), QStringLiteral("PNG"));
    EXPECT_EQ(p.LResolution->text(), QStringLiteral("640 x 480"));
    EXPECT_EQ(p.LLocation->text(), folder() + QStringLiteral("/a.png"));
    EXPECT_TRUE(window->panel(4)->text().startsWith(QStringLiteral("a.png 640 x 480")));
    EXPECT_EQ(window->panel(5)->text(), QStringLiteral("Current Directory : ") + folder());
    EXPECT_EQ(window->panel(3)->text(), QStringLiteral("Basket: 0 file(s)"));
    const ViewInfoFrame *original = window->step2().CoriginalPP->info();
    EXPECT_EQ(original->typeValue()->text(), QStringLiteral("PNG"));
    EXPECT_EQ(original->colorsValue()->text(), QStringLiteral("24 bit"));
    EXPECT_EQ(window->originalSurface().clientSize(), QSize(640, 480));
    EXPECT_EQ(window->optimizedSurface().clientSize(), QSize(640, 480));
    // The format list takes the stored row.
    EXPECT_EQ(window->step2().CboFiles->currentIndex(), 7);

    // Fitted and centred in its pane, never larger than the picture.
    PreviewBox *box = p.PPreview;
    ASSERT_TRUE(box->isVisible());
    const QRect placed = box->geometry();
    EXPECT_EQ(placed, previewPlacement(p.Preview->size(), {640, 480}));
    EXPECT_LE(placed.width(), p.Preview->width() - 10);
    // A wider window re-fits it without reading the file again.
    const qint64 holder = window->preview().holder().cacheKey();
    window->resize(1200, 800);
    ASSERT_TRUE(waitFor([&] { return box->geometry() != placed; }));
    EXPECT_EQ(box->geometry(), previewPlacement(p.Preview->size(), {640, 480}));
    EXPECT_EQ(window->preview().holder().cacheKey(), holder);
}

TEST_F(Step1Page, AnUnreadableFileEmptiesThePreviewAndSaysWhy)
{
    select(lists().folderSelection(), {3});
    lists().folderEntryClicked(3); // d.gif
    ASSERT_TRUE(waitFor([this] { return panes().LFileName->text() == u"d.gif"_qs; }));
    EXPECT_TRUE(window->preview().holder().isNull());
    EXPECT_FALSE(panes().PPreview->isVisible());
    EXPECT_TRUE(window->originalSurface().isEmpty());
    EXPECT_TRUE(window->optimizedSurface().isEmpty());
    EXPECT_TRUE(panes().LResolution->text().isEmpty());
    EXPECT_EQ(panes().LType->text(), QStringLiteral("GIF"));
    EXPECT_TRUE(window->step2().CoriginalPP->info()->colorsValue()->text().isEmpty());
    EXPECT_TRUE(window->panel(5)->text().startsWith(QStringLiteral("d.gif cannot be shown")));

    // A readable picture again puts the folder back into panel 5.
    select(lists().folderSelection(), {2});
    lists().folderEntryClicked(2);
    ASSERT_TRUE(waitFor([this] { return panes().LResolution->text() == u"50 x 40"_qs; }));
    EXPECT_EQ(window->panel(5)->text(), QStringLiteral("Current Directory : ") + folder());
}

// A photo taken with the camera turned, whose colour profile is damaged:
// described by its upright size, with the profile's warning in panel 5.
TEST_F(Step1Page, ATurnedPhotoIsDescribedUprightAndAProfileWarningGoesToPanel5)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(test::makeTestPicture(60, 40).save(&buffer, "JPG"));
    // EXIF: a little-endian TIFF structure whose one entry is orientation 6.
    const QByteArray exif("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 32);
    QByteArray icc("ICC_PROFILE\0\1\1", 14);
    icc += QByteArray(200, '\x77');
    const auto segment = [](char marker, const QByteArray &payload) {
        return QByteArray("\xFF", 1) + marker + char((payload.size() + 2) >> 8) + char((payload.size() + 2) & 0xFF)
            + payload;
    };
    const QString path = box.file(QStringLiteral("turned.jpg"));
    ASSERT_TRUE(box.write(QStringLiteral("turned.jpg"),
                          jpeg.left(2) + segment('\xE1', exif) + segment('\xE2', icc) + jpeg.mid(2)));
    window->preview().previewImage(path);
    ASSERT_TRUE(waitFor([this] { return panes().LFileName->text() == u"turned.jpg"_qs; }));
    EXPECT_EQ(panes().LResolution->text(), QStringLiteral("40 x 60"));
    EXPECT_TRUE(window->panel(4)->text().startsWith(QStringLiteral("turned.jpg 40 x 60")));
    EXPECT_EQ(window->originalSurface().clientSize(), QSize(40, 60));
    EXPECT_EQ(window->panel(5)->text(),
              QStringLiteral("turned.jpg: the colour profile is damaged; colours are shown as stored"));
}

TEST_F(Step1Page, EnterAddsTheSelectedEntriesAndDeleteRemovesThem)
{
    select(lists().folderSelection(), {0, 2});
    key(panes().lvFolder, Qt::Key_Return);
    ASSERT_EQ(lists().basket().rowCount(), 2);
    EXPECT_EQ(lists().basket().basket().at(1).displayName, QStringLiteral("c.bmp"));
    EXPECT_EQ(window->panel(3)->text(), QStringLiteral("Basket: 2 file(s)"));
    key(panes().lvFolder, Qt::Key_Enter); // the keypad's Enter too
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_TRUE(messages.calls[0].text.contains(QStringLiteral("Image Basket")));

    select(lists().basketSelection(), {0});
    key(panes().lvSelected, Qt::Key_Delete);
    ASSERT_EQ(lists().basket().rowCount(), 1);
    EXPECT_EQ(lists().basket().basket().at(0).fullPath, folder() + QStringLiteral("/c.bmp"));
    EXPECT_EQ(window->panel(3)->text(), QStringLiteral("Basket: 1 file(s)"));
}

TEST_F(Step1Page, ToolbarButtonsRunTheirCommands)
{
    QList<QAction *> &folder = panes().folderButtons;
    QList<QAction *> &basket = panes().basketButtons;
    ASSERT_EQ(folder.size(), 3);
    ASSERT_EQ(basket.size(), 4);
    EXPECT_EQ(folder[2]->text(), QStringLiteral("Add Checked File(s) to Tray"));
    EXPECT_EQ(basket[2]->text(), QStringLiteral("Open Picture List from Disk"));
    for (QAction *action : folder + basket)
        EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
    folder[1]->trigger(); // Uncheck All
    EXPECT_FALSE(lists().folderList().isChecked(0));
    folder[0]->trigger(); // Check All
    folder[2]->trigger();
    EXPECT_EQ(lists().basket().rowCount(), 4);
    basket[1]->trigger(); // Remove All
    EXPECT_EQ(lists().basket().rowCount(), 0);
    EXPECT_EQ(window->panel(3)->text(), QStringLiteral("Basket: 0 file(s)"));
}

// Drops data on the basket as the drag machinery does: enter, then drop.
bool dropOnBasket(Step1Panes &panes, QMimeData *data)
{
    QWidget *target = panes.lvSelected->viewport();
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

TEST_F(Step1Page, ADragStartsOnlyOnASelectedEntryAndItsDropFillsTheBasket)
{
    FolderListView *list = panes().lvFolder;
    int drags = 0;
    bool dropped = false;
    // The drop lands while the drag runs, before the button comes up.
    list->runDrag = [&](QMimeData *data) {
        ++drags;
        EXPECT_TRUE(data->hasFormat(FolderListView::EntriesMimeType));
        dropped = dropOnBasket(panes(), data);
        delete data;
    };
    QWidget *viewport = list->viewport();
    const auto dragFrom = [&](int row) {
        const QPoint start = rowCentre(list, row);
        const QPoint far = start + QPoint(3 * QApplication::startDragDistance(), 0);
        mouse(viewport, QEvent::MouseButtonPress, start, Qt::LeftButton);
        mouse(viewport, QEvent::MouseMove, start + QPoint(2, 0), Qt::LeftButton);
        mouse(viewport, QEvent::MouseMove, far, Qt::LeftButton);
        mouse(viewport, QEvent::MouseButtonRelease, far, Qt::NoButton);
    };

    select(lists().folderSelection(), {0});
    dragFrom(1); // not selected: a press there selects, it does not drag
    EXPECT_EQ(drags, 0);
    EXPECT_EQ(lists().basket().rowCount(), 0);
    select(lists().folderSelection(), {1, 2});
    dragFrom(2);
    EXPECT_EQ(drags, 1);
    EXPECT_TRUE(dropped);
    ASSERT_EQ(lists().basket().rowCount(), 2);
    EXPECT_EQ(lists().basket().basket().at(0).displayName, QStringLiteral("b"));
    EXPECT_EQ(window->panel(3)->text(), QStringLiteral("Basket: 2 file(s)"));
}

TEST_F(Step1Page, FileManagerDropsAreTakenOtherDropsRefused)
{
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(folder() + QStringLiteral("/a.png")),
                   QUrl::fromLocalFile(folder() + QStringLiteral("/b.jpg")),
                   QUrl::fromLocalFile(box.file(QStringLiteral("oStart.up"))),
                   QUrl(QStringLiteral("https://example.org/x.png"))});
    EXPECT_TRUE(dropOnBasket(panes(), &files));
    ASSERT_EQ(lists().basket().rowCount(), 2);
    EXPECT_EQ(lists().basket().basket().at(0).displayName, QStringLiteral("a"));

    QMimeData text;
    text.setText(folder() + QStringLiteral("/c.bmp"));
    EXPECT_FALSE(dropOnBasket(panes(), &text));
    EXPECT_FALSE(BasketView::accepts(&text));
    EXPECT_EQ(lists().basket().rowCount(), 2);
}

TEST_F(Step1Page, AClickWhileTwoEntriesAreSelectedShowsNothing)
{
    FolderListView *list = panes().lvFolder;
    select(lists().folderSelection(), {0, 1});
    emit list->entryClicked(1);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(previews.isEmpty());
    // A real click on one entry selects it alone and previews it.
    const QPoint at = rowCentre(list, 2);
    mouse(list->viewport(), QEvent::MouseButtonPress, at, Qt::LeftButton);
    mouse(list->viewport(), QEvent::MouseButtonRelease, at, Qt::NoButton);
    ASSERT_TRUE(waitFor([this] { return !previews.isEmpty(); }));
    EXPECT_EQ(previews, QStringList{folder() + QStringLiteral("/c.bmp")});
    ASSERT_TRUE(waitFor([this] { return panes().LFileName->text() == u"c.bmp"_qs; }));
}

// Ctrl with an arrow moves the current entry without selecting it: the
// picture shown stays the selected one, which Enter would add.
TEST_F(Step1Page, CtrlWithAnArrowMovesTheCurrentEntryWithoutShowingIt)
{
    FolderListView *list = panes().lvFolder;
    select(lists().folderSelection(), {0});
    lists().folderSelection().setCurrentIndex(lists().folderList().index(0, 0),
                                              QItemSelectionModel::NoUpdate);
    previews.clear();
    QKeyEvent ctrlDown(QEvent::KeyPress, Qt::Key_Down, Qt::ControlModifier);
    QApplication::sendEvent(list, &ctrlDown);
    EXPECT_EQ(list->currentIndex().row(), 1);
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(previews.isEmpty());
    EXPECT_EQ(window->preview().currentPath(), folder() + QStringLiteral("/a.png"));

    key(list, Qt::Key_Down); // selects the entry it moves to
    ASSERT_TRUE(waitFor([this] { return !previews.isEmpty(); }));
    EXPECT_EQ(previews, QStringList{folder() + QStringLiteral("/c.bmp")});
}

// The preview box paints the copy the preview's thread shrank for it, and
// a pane grown past that copy gets a sharper one made there too.
TEST_F(Step1Page, ThePreviewBoxShowsTheCopyShrunkOffTheWindowsThread)
{
    select(lists().folderSelection(), {1});
    lists().folderEntryClicked(1); // b.jpg, 200 x 900: taller than the pane
    ASSERT_TRUE(waitFor([this] { return panes().LFileName->text() == u"b.jpg"_qs; }));
    const ImagePreview &preview = window->preview();
    EXPECT_EQ(preview.holder().size(), QSize(200, 900));
    EXPECT_LT(preview.shown().height(), 900);
    PreviewBox *box = panes().PPreview;
    ASSERT_TRUE(waitFor([&] { return box->shown().cacheKey() == preview.shown().cacheKey(); }));
    EXPECT_EQ(box->geometry(), previewPlacement(panes().Preview->size(), {200, 900}));

    const QSize before = preview.shown().size();
    window->resize(1400, 1000);
    ASSERT_TRUE(waitFor([&] {
        return preview.shown().height() > before.height()
            && box->shown().cacheKey() == preview.shown().cacheKey();
    }));
    EXPECT_EQ(box->geometry(), previewPlacement(panes().Preview->size(), {200, 900}));
    EXPECT_EQ(preview.holder().size(), QSize(200, 900));
}

} // namespace
} // namespace pictrove

// The real windows under the offscreen platform: start-up, the second copy,
// placement and storing on close, tabs, splitter drops, the Step 2 views.
#include "app/AppController.h"
#include "app/DesktopServices.h"
#include "selection/ImageSelection.h"
#include "selection/widgets/FolderTree.h"
#include "selection/widgets/SelectionViews.h"
#include "app/FrameCommands.h"
#include "app/MainWindow.h"
#include "app/StatusPanel.h"
#include "app/SplashWindow.h"
#include "app/TabStrip.h"
#include "platform/ProgramFolder.h"
#include "platform/Twips.h"
#include "settings/StartupSettings.h"

#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <QHelpEvent>
#include <QToolTip>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <functional>

namespace pictrove {
namespace {

using test::RecordingMessages;
using test::Sandbox;

bool waitFor(const std::function<bool()> &condition, int milliseconds = 3000)
{
    return test::waitFor(condition, milliseconds);
}

void mouse(QWidget *target, QEvent::Type type, QPoint pos,
           Qt::MouseButtons held = Qt::LeftButton)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Each test gets its own program folder (and so its own oStart.up) and its
// own lock folder, and starts the program through its splash.
class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        setProgramFolder(box.path());
        startupSettings() = defaultStartupSettings();
    }
    void TearDown() override
    {
        controller.reset();
        setProgramFolder(QString());
    }

    void writeSettings(const std::function<void(StartupSettings &)> &change)
    {
        StartupSettings s = defaultStartupSettings();
        change(s);
        startupSettings() = s;
        SaveSettings();
        startupSettings() = StartupSettings();
    }

    StartupSettings storedSettings() const
    {
        StartupSettings s;
        deserializeSettings(box.read(QStringLiteral("oStart.up")), s);
        return s;
    }

    AppController &start()
    {
        controller = std::make_unique<AppController>(box.file(QStringLiteral("pictrove")),
                                                     box.path());
        controller->quit = [this] { ++quitCalls; };
        controller->start();
        return *controller;
    }

    MainWindow *startAndWaitForWindow()
    {
        start();
        const bool shown = waitFor([this] {
            return controller->mainWindow() && controller->mainWindow()->isVisible();
        });
        EXPECT_TRUE(shown);
        if (MainWindow *w = controller->mainWindow())
            w->showAbout = [this](QWidget *) { ++aboutShown; };
        return controller->mainWindow();
    }

    Sandbox box;
    RecordingMessages messages;
    std::unique_ptr<AppController> controller;
    int quitCalls = 0;
    int aboutShown = 0;
};

TEST_F(Program, SplashFirstThenTheMainWindowPlacedFromTheSettings)
{
    writeSettings([](StartupSettings &s) {
        s.WindowWidth = 12000;
        s.WindowHeight = 9000;
        s.Bs11Position = 40;
        s.Bs21Position = 60;
        s.CustomJpegQuality = 85;
    });
    AppController &app = start();
    ASSERT_TRUE(app.splash());
    EXPECT_TRUE(app.splash()->isVisible());
    EXPECT_EQ(app.splash()->picture()->pixmap().size(), QSize(480, 240));
    EXPECT_EQ(app.splash()->timer().interval(), 500);
    EXPECT_FALSE(app.started());

    ASSERT_TRUE(waitFor([&] { return app.mainWindow() && app.mainWindow()->isVisible(); }));
    MainWindow *w = app.mainWindow();
    EXPECT_TRUE(waitFor([&] { return app.splash() == nullptr; })); // closed and released
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Pictrove"));
    EXPECT_EQ(w->size(), QSize(800, 600));
    EXPECT_EQ(w->step1().bs11->splitterPosition(), 40);
    EXPECT_EQ(w->step1().bs12->splitterPosition(), 75);
    EXPECT_EQ(w->step2().bs21->splitterPosition(), 60);
    EXPECT_EQ(w->step2().TxtJPG->text(), QStringLiteral("85"));
    EXPECT_EQ(w->step2().TxtJPGD->value(), 85);
    EXPECT_TRUE(w->page1()->isVisible());
    EXPECT_FALSE(w->page2()->isVisible());
    EXPECT_EQ(w->panel(1)->text(), QStringLiteral("Tevalen Pictrove"));
    EXPECT_TRUE(messages.calls.empty());
    // The option lists are filled; the format list takes its row from the
    // settings once the first folder has been listed.
    EXPECT_EQ(w->step2().CboFiles->count(), 29);
    EXPECT_GT(w->step2().cboJpg->count(), 0);
}

TEST_F(Program, FirstStartUsesTheDefaultsAndRaisesTheHeightTo500)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->size(), QSize(640, 500));
    EXPECT_EQ(w->step1().bs11->splitterPosition(), 30);
    EXPECT_EQ(w->step1().bs12->splitterPosition(), 75);
    EXPECT_EQ(w->step1().bs13->splitterPosition(), 50);
    EXPECT_EQ(w->step1().bs14->splitterPosition(), 30);
    EXPECT_EQ(w->step2().bs21->splitterPosition(), 50);
    EXPECT_TRUE(QFileInfo::exists(box.file(QStringLiteral("oStart.up"))));
    EXPECT_TRUE(messages.calls.empty());
}

TEST_F(Program, AQualityOutsideItsBoundsShowsTheSameValueInTextAndControl)
{
    const std::pair<int, int> cases[] = {{500, 100}, {0, 1}, {-7, 1}, {100, 100}};
    for (const auto &[stored, shown] : cases) {
        writeSettings([stored = stored](StartupSettings &s) { s.CustomJpegQuality = stored; });
        MainWindow *w = startAndWaitForWindow();
        ASSERT_TRUE(w);
        EXPECT_EQ(w->step2().TxtJPG->text(), QString::number(shown)) << stored;
        EXPECT_EQ(w->step2().TxtJPGD->value(), shown) << stored;
        w->close();
        EXPECT_EQ(storedSettings().CustomJpegQuality, shown) << stored;
        controller.reset();
    }
}

TEST_F(Program, MaximizedSettingOpensMaximized)
{
    writeSettings([](StartupSettings &s) { s.Maximized = -1; });
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->windowState() & Qt::WindowMaximized);
}

TEST_F(Program, ASecondCopyIsRefusedWithoutShowingItsWindow)
{
    writeSettings([](StartupSettings &s) {
        s.WindowWidth = 13500;
        s.WindowHeight = 10500;
        s.Maximized = -1;
    });
    SingleInstance running(box.file(QStringLiteral("pictrove")), box.path());
    ASSERT_FALSE(running.anotherCopyRunning()); // "the first copy" holds the lock

    AppController &app = start();
    ASSERT_TRUE(waitFor([&] { return quitCalls > 0; }));
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text, QStringLiteral("Pictrove is already running!"));
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("Pictrove"));
    EXPECT_EQ(messages.calls[0].icon, MessageIcon::Information);
    EXPECT_EQ(messages.calls[0].buttons, MessageButtons::Ok);
    EXPECT_FALSE(app.mainWindow()); // never made, never shown
    EXPECT_TRUE(waitFor([&] { return app.splash() == nullptr; }));
    // The running copy's settings file is left exactly as it was.
    EXPECT_EQ(box.read(QStringLiteral("oStart.up")).size(), SettingsRecordSize);
    EXPECT_EQ(storedSettings().WindowWidth, 13500);
    EXPECT_EQ(storedSettings().WindowHeight, 10500);
    EXPECT_EQ(storedSettings().Maximized, -1);
}

// "Open With Pictrove" with the program not yet running: the files go into
// the basket as a drop would put them, the folder opens in the tree.
TEST_F(Program, PathsGivenAtStartFillTheBasketAndOpenTheFolder)
{
    ASSERT_TRUE(QDir(box.path()).mkdir(QStringLiteral("album")));
    ASSERT_TRUE(box.write(QStringLiteral("album/a.png"), "x"));
    ASSERT_TRUE(box.write(QStringLiteral("b.gif"), "x"));
    ASSERT_TRUE(box.write(QStringLiteral("notes.txt"), "x"));
    controller = std::make_unique<AppController>(box.file(QStringLiteral("pictrove")), box.path());
    controller->quit = [this] { ++quitCalls; };
    controller->setGivenPaths({box.file(QStringLiteral("album/a.png")), box.file(QStringLiteral("b.gif")),
                               box.file(QStringLiteral("notes.txt")), box.file(QStringLiteral("album"))});
    controller->start();
    ASSERT_TRUE(waitFor([&] { return controller->mainWindow() && controller->mainWindow()->isVisible(); }));
    MainWindow *w = controller->mainWindow();
    EXPECT_EQ(w->selection().basket().basket().paths(),
              (QStringList{box.file(QStringLiteral("album/a.png")), box.file(QStringLiteral("b.gif"))}));
    EXPECT_EQ(w->panel(3)->text(), QStringLiteral("Basket: 2 file(s)"));
    EXPECT_EQ(w->step1().fT->currentFolder(), box.file(QStringLiteral("album")));
    EXPECT_TRUE(w->page1()->isVisible());
    EXPECT_TRUE(messages.calls.empty());
}

// The running copy takes what a second start hands over: Step 1 comes up
// with the files in the basket, by the drop's rule.
TEST_F(Program, HandedOverFilesArriveInTheBasketOnStep1)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    ASSERT_TRUE(box.write(QStringLiteral("a.png"), "x"));
    ASSERT_TRUE(box.write(QStringLiteral("b.tif"), "x"));
    w->tabStrip()->tabs()->setCurrentIndex(1);
    ASSERT_TRUE(w->page2()->isVisible());

    // The second start is another process; its blocking send runs here on
    // a thread of its own while this one serves the window.
    const QStringList paths{box.file(QStringLiteral("a.png")), box.file(QStringLiteral("b.tif")),
                            box.file(QStringLiteral("a.png"))};
    std::atomic<int> sent{-1};
    std::thread second([&] { sent = handover::send(controller->handOverSocketPath(), paths) ? 1 : 0; });
    EXPECT_TRUE(waitFor([&] { return w->selection().basket().rowCount() == 2; }));
    second.join();
    EXPECT_EQ(sent.load(), 1);
    EXPECT_TRUE(w->page1()->isVisible());
    EXPECT_EQ(w->tabStrip()->selectedTab(), 1);
    ASSERT_EQ(messages.calls.size(), 1u); // a.png twice: the drop's duplicate message
    EXPECT_TRUE(messages.calls[0].text.startsWith(QStringLiteral("1 File(s) already existed")));
}

// A second start with files gives them to the running copy and ends
// without a message; without a running copy to take them it says why.
TEST_F(Program, ASecondCopyWithFilesHandsThemOverSilently)
{
    SingleInstance running(box.file(QStringLiteral("pictrove")), box.path());
    ASSERT_FALSE(running.anotherCopyRunning());
    const QStringList paths{box.file(QStringLiteral("a.png"))};

    // The running copy, on a thread of its own as in its own process.
    QThread thread;
    thread.start();
    auto *server = new HandoverServer(running.socketPath());
    server->moveToThread(&thread);
    bool listening = false;
    QMetaObject::invokeMethod(server, [&] { listening = server->listen(); },
                              Qt::BlockingQueuedConnection);
    ASSERT_TRUE(listening);
    std::atomic<bool> received{false};
    QObject::connect(server, &HandoverServer::pathsReceived, server,
                     [&](const QStringList &got) { received = got == paths; },
                     Qt::DirectConnection);

    controller = std::make_unique<AppController>(box.file(QStringLiteral("pictrove")), box.path());
    controller->quit = [this] { ++quitCalls; };
    controller->setGivenPaths(paths);
    controller->start();
    ASSERT_TRUE(waitFor([&] { return quitCalls > 0; }, 15000));
    EXPECT_TRUE(received.load());
    EXPECT_TRUE(messages.calls.empty());
    EXPECT_FALSE(controller->mainWindow());

    QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();

    // Nobody listens now: the second start says a copy runs.
    quitCalls = 0;
    controller = std::make_unique<AppController>(box.file(QStringLiteral("pictrove")), box.path());
    controller->quit = [this] { ++quitCalls; };
    controller->setGivenPaths(paths);
    controller->start();
    ASSERT_TRUE(waitFor([&] { return quitCalls > 0; }, 15000));
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text, QStringLiteral("Pictrove is already running!"));
}

// The running copy's file may be empty or being written: the refused copy
// neither reports it as damaged nor deletes it.
TEST_F(Program, ASecondCopyLeavesTheRunningCopysEmptySettingsFileAlone)
{
    ASSERT_TRUE(box.write(QStringLiteral("oStart.up"), QByteArray()));
    SingleInstance running(box.file(QStringLiteral("pictrove")), box.path());
    ASSERT_FALSE(running.anotherCopyRunning());
    start();
    ASSERT_TRUE(waitFor([&] { return quitCalls > 0; }));
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text, QStringLiteral("Pictrove is already running!"));
    EXPECT_TRUE(QFileInfo::exists(box.file(QStringLiteral("oStart.up"))));
    EXPECT_EQ(box.read(QStringLiteral("oStart.up")).size(), 0);
}

TEST_F(Program, AnEmptySettingsFileIsReportedOnceAndTheProgramStillStarts)
{
    ASSERT_TRUE(box.write(QStringLiteral("oStart.up"), QByteArray()));
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(w->size(), QSize(640, 500));
}

// A message box whose wait is cut short by a request to close the program,
// as a logout or SIGTERM does while a start step's message is up.
class InterruptedMessages final : public MessageService {
public:
    explicit InterruptedMessages(MessageService &after) : m_after(after)
    {
        installMessageService(this);
    }
    ~InterruptedMessages() override { installMessageService(&m_after); }
    MessageAnswer show(const QString &, const QString &, MessageIcon, MessageButtons) override
    {
        ++shown;
        if (interrupt)
            interrupt();
        return MessageAnswer::Ok;
    }
    std::function<void()> interrupt;
    int shown = 0;

private:
    MessageService &m_after;
};

TEST_F(Program, ACloseAskedForDuringAStartMessageClosesTheWindowOnceItStands)
{
    ASSERT_TRUE(box.write(QStringLiteral("oStart.up"), QByteArray())); // reported at start
    {
        InterruptedMessages interrupted(messages);
        interrupted.interrupt = [this] { controller->closeNormally(); };
        AppController &app = start();
        ASSERT_TRUE(waitFor([&] { return app.started() && app.splash() == nullptr; }));
        EXPECT_EQ(interrupted.shown, 1);
        ASSERT_TRUE(app.mainWindow());
        // Closed the normal way: not left on screen, and its layout stored.
        EXPECT_FALSE(app.mainWindow()->isVisible());
        EXPECT_EQ(box.read(QStringLiteral("oStart.up")).size(), SettingsRecordSize);
    }
}

TEST_F(Program, ADamagedSettingsMessageOverTheSplashStaysUntilAnswered)
{
    ASSERT_TRUE(box.write(QStringLiteral("oStart.up"), QByteArray())); // reported at start
    QtMessageService real;
    installMessageService(&real);
    AppController &app = start();
    app.splash()->activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == app.splash(); }));
    int boxes = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            ++boxes;
            modal->close();
        }
    });
    answer.start(300);
    EXPECT_TRUE(waitFor([&] { return app.mainWindow() && app.mainWindow()->isVisible(); }, 5000));
    EXPECT_EQ(boxes, 1);
    installMessageService(&messages);
}

TEST_F(Program, ClosingTheSplashBeforeItsTickNeverStarts)
{
    AppController &app = start();
    mouse(app.splash(), QEvent::MouseButtonPress, QPoint(10, 10));
    EXPECT_TRUE(waitFor([&] { return app.splash() == nullptr; }));
    waitFor([] { return false; }, 800); // past the first tick
    EXPECT_FALSE(app.started());
    EXPECT_EQ(app.mainWindow(), nullptr);
}

TEST_F(Program, ClosingStoresLayoutSizeFolderAndQuality)
{
    writeSettings([](StartupSettings &s) {
        s.LastFormatIndex = 12;
        s.LastFolder = QStringLiteral("/does/not/exist");
    });
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->resize(900, 700);
    w->step1().bs13->setSplitterPosition(64);
    w->step2().bs21->setSplitterPosition(35);
    w->step2().TxtJPGD->setValue(42);
    w->close();

    const StartupSettings s = storedSettings();
    EXPECT_EQ(s.WindowWidth, 900 * 15);
    EXPECT_EQ(s.WindowHeight, 700 * 15);
    EXPECT_EQ(s.Maximized, 0);
    EXPECT_EQ(s.Bs13Position, 64);
    EXPECT_EQ(s.Bs21Position, 35);
    EXPECT_EQ(s.Bs11Position, 30);
    EXPECT_EQ(s.CustomJpegQuality, 42);
    // Nothing was selected in the format list or the tree: kept as stored.
    EXPECT_EQ(s.LastFormatIndex, 12);
    EXPECT_EQ(s.LastFolder.trimmed(), QStringLiteral("/does/not/exist"));
}

TEST_F(Program, ClosingTheRunningCopyNormallyViaTheController)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->resize(700, 560);
    controller->closeNormally(); // what SIGTERM does
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(storedSettings().WindowWidth, 700 * 15);
}

TEST_F(Program, TabsSwitchThePages)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->tabStrip()->tabs()->setCurrentIndex(1);
    EXPECT_TRUE(w->page2()->isVisible());
    EXPECT_FALSE(w->page1()->isVisible());
    w->tabStrip()->tabs()->setCurrentIndex(0);
    EXPECT_TRUE(w->page1()->isVisible());
    EXPECT_FALSE(w->page2()->isVisible());
}

TEST_F(Program, ShrinkingBelowTheMinimumSnapsEachDimension)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->resize(500, 700);
    EXPECT_TRUE(waitFor([&] { return w->size() == QSize(600, 700); }));
    w->resize(800, 300);
    EXPECT_TRUE(waitFor([&] { return w->size() == QSize(800, 500); }));
}

TEST_F(Program, TheFrameLaysOutItsPanesWithTheStatedArithmetic)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->resize(900, 700);
    const int sb = w->statusBar()->height();
    EXPECT_EQ(w->statusBar()->geometry().bottom(), 699);
    EXPECT_EQ(w->page1()->geometry(), QRect(5, 25, 887, 700 - sb - 33));
    EXPECT_EQ(w->page2()->geometry(), w->page1()->geometry());
    const Step1Panes &p1 = w->step1();
    EXPECT_EQ(p1.lvFolder->width(), p1.plvFolder->width());
    EXPECT_EQ(p1.lvSelected->width(), p1.plvSelected->width() - 17);
    EXPECT_EQ(p1.lvFolder->y(), p1.TBFolder->height());
    const Step2Panes &p2 = w->step2();
    EXPECT_EQ(p2.cSave->geometry().right(), w->page2()->width() - 1);
    EXPECT_EQ(p2.bs21->height(), 700);
    EXPECT_EQ(p2.CoriginalPP->viewport()->width(), p2.CoriginalPP->width());
    EXPECT_EQ(p2.COptimizedPP->viewport()->width(), p2.COptimizedPP->width() - 25);
    // The right pane of a splitter ends at its right edge.
    EXPECT_EQ(p2.COptimizedPP->geometry().right(), p2.bs21->width() - 1);
}

// At the smallest window, long texts in panels 4 and 5 are cut in the
// middle, so the name's start and the size or reason at the end stay in
// sight, and the whole text is the panel's tool tip; the last panel takes
// the width that is left.
TEST_F(Program, LongStatusTextsAreCutInTheMiddleAndShownWholeAsToolTips)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->resize(600, 500);
    ASSERT_TRUE(waitFor([&] { return w->size() == QSize(600, 500); }));
    // The start lists its folder into panel 4 first.
    ASSERT_TRUE(waitFor([&] { return w->panel(4)->text().startsWith(QStringLiteral("Selected")); }));
    const QString name = QStringLiteral("a_rather_long_scan_name_from_the_archive_tiflzw_near27.tif 16384 x 8191");
    const QString reason = QStringLiteral("holiday_photo_of_the_harbour.pdd cannot be shown: the picture decoder took too long");
    w->panel(4)->setText(name);
    w->panel(5)->setText(reason);
    QCoreApplication::processEvents();
    for (auto [panel, text] : {std::pair{4, name}, std::pair{5, reason}}) {
        auto *shown = qobject_cast<StatusPanel *>(w->panel(panel));
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->text(), text); // whole, for the accessibility interface
        const QString visible = shown->shownText();
        ASSERT_NE(visible, text) << panel;
        EXPECT_TRUE(visible.contains(QChar(0x2026))) << visible.toStdString();
        EXPECT_TRUE(text.startsWith(visible.section(QChar(0x2026), 0, 0)));
        EXPECT_TRUE(text.endsWith(visible.section(QChar(0x2026), 1)));
        EXPECT_TRUE(visible.endsWith(QStringLiteral("8191")) || visible.endsWith(QStringLiteral("too long")));

        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), shown->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(shown, &help);
        EXPECT_EQ(QToolTip::text(), text);
        QToolTip::hideText();
    }
    const QRect last = w->panel(5)->geometry();
    EXPECT_GE(last.right(), w->statusBar()->width() - 40); // up to the size grip
    EXPECT_GE(last.width(), 100);
    // A text that fits is shown as it is.
    w->panel(5)->setText(QStringLiteral("short"));
    EXPECT_EQ(qobject_cast<StatusPanel *>(w->panel(5))->shownText(), QStringLiteral("short"));
}

TEST_F(Program, TheOptionsColumnFitsTheSmallestWindow)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->resize(600, 500);
    w->tabStrip()->tabs()->setCurrentIndex(1);
    QWidget *cSave = w->step2().cSave;
    ASSERT_TRUE(waitFor([&] { return cSave->isVisible(); }));
    // The GIF rows' column (with "InterLaced"), the true-colour rows' (with
    // "Keep metadata" in its place) and the JPEG rows'.
    const Step2Panes &p = w->step2();
    // With the resize fields hidden ("Original size") and with the most
    // of them shown (a width, a height and "Never enlarge").
    for (const int resize : {0, 2})
    for (const int row : {7, 14, 17}) {
        SCOPED_TRACE(row);
        SCOPED_TRACE(resize);
        p.cboResize->setCurrentIndex(resize);
        emit p.cboResize->activated(resize);
        p.CboFiles->setCurrentIndex(row);
        emit p.CboFiles->activated(row);
        for (int nested = 0; nested < 4; ++nested) // each layout level posts to the next
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        EXPECT_LE(cSave->layout()->minimumSize().height(), cSave->height());
        // No caption is cut: every check box and button is given its full size.
        const QWidget *controls[] = {p.chkFlipH, p.chkFlipV, p.chkInvert, p.ChkInterlaced,
                                     p.chkKeepMetadata, p.cmdBatch, p.CmdSave, p.CmdCancel,
                                     p.cboResize, p.TxtResizeW, p.TxtResizeH, p.chkNeverEnlarge};
        for (const QWidget *control : controls) {
            if (!control->isVisibleTo(cSave))
                continue;
            EXPECT_GE(control->height(), control->minimumSizeHint().height())
                << control->objectName().toStdString();
            EXPECT_GE(control->width(), control->minimumSizeHint().width())
                << control->objectName().toStdString();
            // And it lies inside the column.
            const QRect inColumn(control->mapTo(cSave, QPoint(0, 0)), control->size());
            EXPECT_TRUE(cSave->rect().contains(inColumn)) << control->objectName().toStdString();
        }
    }
    EXPECT_TRUE(p.chkKeepMetadata->isVisible()); // the JPEG rows show it
}

TEST_F(Program, TheFolderTreeKeepsTheLastFolderInSight)
{
    // Enough folders around the last one that it lies far down the tree.
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(QDir(box.path()).mkpath(QStringLiteral("f%1/inner").arg(i, 2, 10, QChar('0'))));
    const QString last = box.file(QStringLiteral("f33/inner"));
    writeSettings([&](StartupSettings &s) { s.LastFolder = last; });
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    FolderTree *tree = w->step1().fT;
    ASSERT_EQ(tree->currentFolder(), last);
    // The folders load in the background; once they are in, it is in view.
    // Vertically, that is: a deep folder's name may reach past the right edge.
    const auto inSight = [tree] {
        const QRect row = tree->visualRect(tree->currentIndex());
        return row.height() > 0 && row.top() >= 0 && row.bottom() < tree->viewport()->height();
    };
    EXPECT_TRUE(waitFor(inSight, 5000))
        << tree->visualRect(tree->currentIndex()).y() << "+"
        << tree->visualRect(tree->currentIndex()).height() << " in a viewport "
        << tree->viewport()->height() << " high, " << tree->currentFolder().toStdString();
}

TEST_F(Program, DroppingASplitterBarRelaysOutItsPanes)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->resize(900, 700);
    Splitter *bs13 = w->step1().bs13;
    QStringList events;
    QObject::connect(bs13, &Splitter::splitBegin, [&] { events << "SplitBegin"; });
    QObject::connect(bs13, &Splitter::splitMove, [&] { events << "SplitMove"; });
    QObject::connect(bs13, &Splitter::splitComplete, [&] { events << "SplitComplete"; });

    QWidget *bar = bs13->bar();
    const int before = w->step1().lvSelected->width();
    mouse(bar, QEvent::MouseButtonPress, QPoint(1, 5));
    EXPECT_TRUE(bs13->ghost()->isVisible());
    mouse(bar, QEvent::MouseMove, QPoint(-60, 5));
    EXPECT_EQ(bar->x() + bar->width() > 0, true); // the bar waits for the drop
    mouse(bar, QEvent::MouseButtonRelease, QPoint(-60, 5));
    EXPECT_FALSE(bs13->ghost()->isVisible());
    EXPECT_EQ(events, QStringList({"SplitBegin", "SplitMove", "SplitComplete"}));
    EXPECT_LT(bs13->splitterPosition(), 50);
    // The basket list grew with its container and still leaves 17 pixels.
    EXPECT_GT(w->step1().lvSelected->width(), before);
    EXPECT_EQ(w->step1().lvSelected->width(), w->step1().plvSelected->width() - 17);
}

TEST_F(Program, HelpMissingAndAboutButtons)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->findChild<QToolButton *>(QStringLiteral("cmdHelp"))->click();
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("Help Files Missing!"));
    w->findChild<QToolButton *>(QStringLiteral("cmdAbout"))->click();
    EXPECT_EQ(aboutShown, 1);
    const auto *help = w->findChild<QToolButton *>(QStringLiteral("cmdHelp"));
    EXPECT_EQ(help->geometry(), QRect(296, 1, 49, 20));
    // The tabs end before the buttons start.
    EXPECT_LE(w->tabStrip()->tabs()->geometry().right(), 296);
}

TEST_F(Program, Step2ViewsShowTheSurfacesAndPanTogether)
{
    MainWindow *w = startAndWaitForWindow();
    ASSERT_TRUE(w);
    w->resize(1000, 700);
    w->tabStrip()->tabs()->setCurrentIndex(1);
    w->originalSurface().setPicture(test::makeTestPicture(2600, 120)); // far past 2184 pixels
    w->optimizedSurface().setPicture(test::makeTestPicture(2600, 120));
    w->step2().updateOriginalP();
    w->step2().updateOptimizedP();

    PictureViewport *original = w->step2().CoriginalPP->viewport();
    PictureViewport *optimized = w->step2().COptimizedPP->viewport();
    EXPECT_EQ(original->image()->size(), QSize(2600, 120));
    EXPECT_TRUE(original->horizontalBar()->isEnabled());
    EXPECT_FALSE(original->verticalBar()->isEnabled());
    const int visible = original->width() - original->verticalBar()->width();
    EXPECT_EQ(original->horizontalBar()->maximum(), (2600 - visible) * 15);
    // Vertically centred, at the left edge.
    EXPECT_EQ(original->image()->x(), 0);
    EXPECT_GT(original->image()->y(), 0);

    // Drag the original 20 pixels to the left: both move by 300 twips.
    QWidget *image = original->image();
    mouse(image, QEvent::MouseButtonPress, QPoint(100, 50));
    EXPECT_EQ(image->cursor().shape(), Qt::ClosedHandCursor);
    mouse(image, QEvent::MouseMove, QPoint(80, 50));
    mouse(image, QEvent::MouseButtonRelease, QPoint(100, 50));
    EXPECT_EQ(image->cursor().shape(), Qt::OpenHandCursor);
    EXPECT_EQ(original->horizontalBar()->value(), 300);
    EXPECT_EQ(optimized->horizontalBar()->value(), 300);
    EXPECT_EQ(image->x(), -20);
    EXPECT_EQ(optimized->image()->x(), -20);

    // The far edge is reachable, and a bar moves only its own view.
    optimized->horizontalBar()->setValue(optimized->horizontalBar()->maximum());
    EXPECT_EQ(optimized->image()->x() + optimized->image()->width(),
              optimized->width() - optimized->verticalBar()->width());
    EXPECT_EQ(image->x(), -20);

    // A new picture drawn into the optimized surface is what the view shows.
    w->optimizedSurface().setPicture(test::makeTestPicture(50, 40));
    EXPECT_EQ(optimized->image()->size(), QSize(50, 40));
    EXPECT_FALSE(optimized->horizontalBar()->isEnabled());
}

} // namespace
} // namespace pictrove

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    pictrove::setTwipsPerPixel(15, 15);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/BatchWiring.h"
#include "app/Artwork.h"
#include "app/FrameCommands.h"
#include "app/FrameLayout.h"
#include "app/Guarded.h"
#include "app/Step1Wiring.h"
#include "app/Step2Wiring.h"
#include "app/TabStrip.h"
#include "app/WindowRecord.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "selection/FileTypes.h"
#include "selection/GivenPaths.h"
#include "selection/widgets/FolderTree.h"
#include "selection/widgets/SelectionViews.h"
#include "settings/ExtraSettings.h"
#include "settings/StartupSettings.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace pictrove {

namespace {
QRect innerRect(const QWidget *w) { return QRect(QPoint(0, 0), w->size()); }
} // namespace

MainWindow::MainWindow(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fBatchConvert"));
    setWindowTitle(QStringLiteral("Pictrove"));
    setWindowIcon(productIcon());

    m_tab = new TabStrip(this);
    m_page1 = new QWidget(this);
    m_page1->setObjectName(QStringLiteral("Frame_step1"));
    m_page2 = new QWidget(this);
    m_page2->setObjectName(QStringLiteral("Frame_step2"));
    m_page2->hide();
    m_step1 = std::make_unique<Step1Panes>(m_page1);
    m_step2 = std::make_unique<Step2Panes>(m_page2, m_views);
    m_step2->CoriginalPP->viewport()->image()->setSurface(&m_conversion.original);
    m_step2->COptimizedPP->viewport()->image()->setSurface(&m_conversion.optimized);
    m_step2->COptimizedPP->viewport()->image()->setShowsTransparency(true);
    connect(m_tab, &TabStrip::clicked, this, &MainWindow::tabClicked);

    // The splitters' reactions to a drop: a splitter re-lays out its own
    // panes and nested splitters, but the lists, the preview and the Step 2
    // views are this window's to lay out.
    connect(m_step1->bs11, &Splitter::splitComplete, this, [this] {
        layOutLists();
        runFitPreview();
    });
    connect(m_step1->bs12, &Splitter::splitComplete, this, [this] {
        layOutLists();
        runFitPreview();
    });
    connect(m_step1->bs13, &Splitter::splitComplete, this, [this] {
        layOutLists();
        runFitPreview();
    });
    connect(m_step1->bs14, &Splitter::splitComplete, this, &MainWindow::runFitPreview);
    connect(m_step2->bs21, &Splitter::splitComplete, this, &MainWindow::formResize);

    m_status = std::make_unique<StatusSink>(this);
    buildButtons();
    // A listed extension the icon theme knows nothing of still shows an icon.
    FileTypes::shared().setFallbackIcon(genericPictureIcon());
    m_step1Wiring = new Step1Wiring(*m_step1, *m_step2, m_conversion, *m_status, this);
    m_step2Wiring = new Step2Wiring(*m_step2, m_options, m_conversion, *m_status, this);
    m_batchWiring = new BatchWiring(*m_step2, m_step1Wiring->selection().basket(), m_options,
                                    *m_status, this);
    connect(m_step1Wiring, &Step1Wiring::lastFormatWanted, m_step2Wiring,
            &Step2Wiring::applyLastFormat);
    connect(m_batchWiring, &BatchWiring::closeWanted, this, &QWidget::close);
    fitPreview = [this] { m_step1Wiring->fitPreview(); };
    showAbout = [](QWidget *owner) {
        AboutDialog about(owner);
        about.exec();
    };
    resize(640, 480);
}

MainWindow::~MainWindow()
{
    // The wirings go first: they watch widgets that are about to send their
    // last events, and they reach into the panes and options, which go
    // before the widgets do. A run under way finishes its file here.
    fitPreview = nullptr;
    delete m_batchWiring;
    m_batchWiring = nullptr;
    delete m_step2Wiring;
    m_step2Wiring = nullptr;
    delete m_step1Wiring;
    m_step1Wiring = nullptr;
}

void MainWindow::buildButtons()
{
    const auto button = [this](const char *name, const QString &text, const QString &tip,
                               int x) {
        auto *b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setGeometry(x, 1, 49, 20);
        QFont small = b->font();
        small.setPointSizeF(small.pointSizeF() * 0.9);
        b->setFont(small);
        return b;
    };
    m_help = button("cmdHelp", QStringLiteral("Help"),
                    QStringLiteral("Click this to Access the Help Files"), 296);
    m_online = button("cmdOnline", QStringLiteral("Web"),
                      QStringLiteral("Click this to go to Tevalen Pictrove website"), 352);
    m_about = button("cmdAbout", QStringLiteral("About"),
                     QStringLiteral("Click this to see the program info"), 408);
    connect(m_help, &QToolButton::clicked, this, [] { OpenHelp(); });
    connect(m_online, &QToolButton::clicked, this, [] { OpenProductWebPage(); });
    connect(m_about, &QToolButton::clicked, this, [this] {
        if (showAbout)
            showAbout(this);
    });
}

QString MainWindow::pictureListFolder() const
{
    return m_step1Wiring->selection().pictureListFolder();
}

void MainWindow::setPictureListFolder(const QString &folder)
{
    m_step1Wiring->selection().setPictureListFolder(folder);
}

ImageSelection &MainWindow::selection() { return m_step1Wiring->selection(); }

ImagePreview &MainWindow::preview() { return m_step1Wiring->preview(); }

void MainWindow::applyLastFormat() { m_step2Wiring->applyLastFormat(); }

bool MainWindow::encoding() const { return m_step2Wiring && m_step2Wiring->encoder().busy(); }

void MainWindow::formLoad()
{
    StartupSettings &s = startupSettings();
    guarded([&] { m_step2->CoriginalPP->viewport()->image()->raise(); });
    guarded([&] {
        // The option lists, none selected yet: the format list gets its row
        // when the folder tree reports its first folder. A stored quality
        // outside 1..100 (a damaged file) is brought into range.
        m_options.fillOptionLists(s.CustomJpegQuality);
        m_options.chkKeepMetadata.checked = extraSettings().KeepMetadata;
        m_options.setResize(storedResize(extraSettings()));
        m_step2Wiring->sync();
    });
    guarded([&] {
        const QString folder = s.LastFolder.trimmed();
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            m_step1->fT->openFolder(folder);
    });
    guarded([&] {
        m_step1->bs11->setSplitterPosition(s.Bs11Position);
        m_step1->bs12->setSplitterPosition(s.Bs12Position);
        m_step1->bs13->setSplitterPosition(s.Bs13Position);
        m_step1->bs14->setSplitterPosition(s.Bs14Position);
        m_step2->bs21->setSplitterPosition(s.Bs21Position);
    });
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    formResize();
}

void MainWindow::formResize()
{
    if (windowState() & Qt::WindowMinimized)
        return;
    // A maximized window belongs to the window manager: resizing it would
    // drop the maximized state (the classic runtime refused the resize).
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        guarded([&] {
            if (auto snapped = frame::snappedOuterSize(size(), size()))
                resize(*snapped);
        });
    }

    // The status bar keeps to the bottom edge by itself.
    QStatusBar *statusBar = m_status->bar();
    const int sbHeight = statusBar->sizeHint().height();
    statusBar->setGeometry(0, height() - sbHeight, width(), sbHeight);
    if (QLayout *bar = statusBar->layout())
        bar->activate();

    const QSize client = size();
    m_tab->setGeometry(frame::tabStrip(client, sbHeight));
    m_page1->setGeometry(frame::stepPage(client, sbHeight));
    m_page2->setGeometry(frame::stepPage(client, sbHeight));
    m_step1->bs11->setGeometry(innerRect(m_page1));
    m_step1->bs11->syncSize();
    layOutLists();

    QWidget *cSave = m_step2->cSave;
    cSave->setGeometry(frame::saveColumn(m_page2->width(), cSave->width(), m_page1->height()));
    m_step2->bs21->setGeometry(frame::step2Splitter(size(), cSave->width()));
    m_step2->bs21->syncSize();
    m_step2->layOutViewPanes();

    QLabel *panel2 = m_status->panel(2);
    QProgressBar *progress = m_status->progress();
    const QPoint panel2Left = panel2->mapTo(this, QPoint(0, 0));
    progress->setGeometry(frame::progressBar(panel2Left.x(), panel2->width(), height(),
                                             progress->height()));

    m_step2->updateOriginalP();
    m_step2->updateOptimizedP();
    runFitPreview();

    m_tab->lower();
    for (QWidget *w : {static_cast<QWidget *>(m_help), static_cast<QWidget *>(m_online),
                       static_cast<QWidget *>(m_about), static_cast<QWidget *>(progress)})
        w->raise();
}

void MainWindow::layOutLists()
{
    const auto place = [](QWidget *container, QToolBar *bar, QWidget *list, int narrower) {
        list->setGeometry(frame::listUnderToolbar(container->size(), bar->y(), bar->height(),
                                                  narrower));
        bar->resize(container->width(), bar->height());
    };
    place(m_step1->plvFolder, m_step1->TBFolder, m_step1->lvFolder, 0);
    place(m_step1->plvSelected, m_step1->TBSelected, m_step1->lvSelected, 17);
}

void MainWindow::runFitPreview()
{
    if (fitPreview)
        fitPreview();
}

void MainWindow::openGivenPaths(const QStringList &paths)
{
    const GivenPaths given = sortGivenPaths(paths);
    if (given.isEmpty())
        return;
    if (m_tab->selectedTab() != 1)
        m_tab->selectTab(1);
    if (!given.folder.isEmpty())
        guarded([&] { m_step1->fT->openFolder(given.folder); });
    selection().openGiven(given);
}

void MainWindow::bringToFront()
{
    if (windowState() & Qt::WindowMinimized)
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::tabClicked()
{
    const int tab = m_tab->selectedTab();
    if (tab == 1) {
        m_page1->show();
        m_page2->hide();
    } else if (tab == 2) {
        m_page2->show();
        m_page1->hide();
        m_step2->relayOutViewsForTexts(); // labels set while the page was hidden
    }
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_everShown = true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A run under way finishes the file it is converting first; the window
    // closes when it has ended, so no half-written work file is left behind.
    if (m_batchWiring && m_batchWiring->closeAfterRun()) {
        event->ignore();
        return;
    }
    formUnload();
    event->accept();
}

void MainWindow::formUnload()
{
    // A window closed twice (a signal arriving during the close) stores once.
    if (m_unloaded)
        return;
    m_unloaded = true;
    StartupSettings &s = startupSettings();
    guarded([&] {
        s.Bs13Position = m_step1->bs13->splitterPosition();
        s.Bs12Position = m_step1->bs12->splitterPosition();
        s.Bs11Position = m_step1->bs11->splitterPosition();
        s.Bs14Position = m_step1->bs14->splitterPosition();
        s.Bs21Position = m_step2->bs21->splitterPosition();
    });
    guarded([&] {
        // A window that was never placed and shown (a refused second copy)
        // has no size of the user's to keep; the running copy's stays.
        if (!m_everShown)
            return;
        const Qt::WindowStates state = windowState();
        const WindowShow show = state & Qt::WindowMinimized   ? WindowShow::Minimized
                                : state & Qt::WindowMaximized ? WindowShow::Maximized
                                                              : WindowShow::Normal;
        storeWindowPlacement(s, show, size());
    });
    guarded([&] {
        // A tree with nothing selected keeps the folder stored before.
        const QString folder = m_step1->fT->currentFolder();
        if (!folder.isEmpty())
            s.LastFolder = folder;
    });
    guarded([&] {
        // Likewise a format list with no row selected keeps the stored row.
        const int index = m_options.CboFiles.index;
        if (index >= 0 && index < m_options.CboFiles.items.size())
            s.LastFormatIndex = std::int16_t(index);
    });
    guarded([&] { s.CustomJpegQuality = std::int16_t(m_options.TxtJPGD.value()); });
    guarded([&] { extraSettings().KeepMetadata = m_options.chkKeepMetadata.checked; });
    guarded([&] { storeResize(m_options.resize, extraSettings()); });
    guarded([] { SaveSettings(); });
}

} // namespace pictrove

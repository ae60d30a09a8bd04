#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/BatchWiring.h"
#include "app/Artwork.h"
#include "app/FrameCommands.h"
#include "app/FrameLayout.h"
#include "app/Guarded.h"
#include "app/Step1Wiring.h"
#include "app/StatusPanel.h"
#include "app/Step2Wiring.h"
#include "app/TabStrip.h"
#include "app/WindowRecord.h"
#include "engine/catalogue/FormatCatalogue.h"
#include "selection/FileTypes.h"
#include "selection/widgets/FolderTree.h"
#include "selection/widgets/SelectionViews.h"
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
constexpr int kPanelWidths[5] = {160, 160, 100, 96, 318};

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

    buildStatusBar();
    buildButtons();
    // A listed extension the icon theme knows nothing of still shows an icon.
    FileTypes::shared().setFallbackIcon(genericPictureIcon());
    m_step1Wiring = new Step1Wiring(*this);
    m_step2Wiring = new Step2Wiring(*this);
    m_batchWiring = new BatchWiring(*this);
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

void MainWindow::buildStatusBar()
{
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("SB"));
    m_statusBar->setSizeGripEnabled(true);
    for (int i = 0; i < 5; ++i) {
        auto *label = new StatusPanel(m_statusBar);
        label->setObjectName(QStringLiteral("SBPanel%1").arg(i + 1));
        // Each panel wants its designed width and grows with a longer text
        // (a long file name, a large basket), the first four up to twice
        // that. When the bar is short of room the widest give way first,
        // down to their texts or designed widths, so the last one, which
        // takes what is left, keeps room for its messages. A text longer
        // than its panel is cut in the middle and shown whole as a tool tip.
        label->setDesignedWidth(kPanelWidths[i], i < 4 ? kPanelWidths[i] : kPanelWidths[i] / 2);
        if (i < 4)
            label->setMaximumWidth(kPanelWidths[i] * 2);
        m_statusBar->addWidget(label, i == 4 ? 1 : 0);
        m_panels[i] = label;
    }
    // Panel 4 shows the previewed file's type icon before its text.
    m_panel4Icon = new QLabel(m_panels[3]);
    m_panel4Icon->setObjectName(QStringLiteral("SBPanel4Icon"));
    m_panel4Icon->setGeometry(3, 2, 16, 16);
    m_panel4Icon->hide();
    m_panels[0]->setText(QStringLiteral("Tevalen Pictrove"));
    m_panels[0]->setToolTip(QStringLiteral("Tevalen Pictrove"));

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("pb"));
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(m_statusBar->sizeHint().height() - 4);
    // Shown by the batch run while it converts.
    m_progress->hide();
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

void MainWindow::setPanel4Icon(const QIcon &icon)
{
    QLabel *panel4 = m_panels[3];
    if (icon.isNull()) {
        m_panel4Icon->hide();
        panel4->setContentsMargins(3, 0, 3, 0);
        return;
    }
    m_panel4Icon->setPixmap(icon.pixmap(QSize(16, 16)));
    m_panel4Icon->move(3, (panel4->height() - 16) / 2);
    m_panel4Icon->show();
    panel4->setContentsMargins(22, 0, 3, 0);
}

void MainWindow::applyLastFormat()
{
    guarded([&] {
        QComboBox *list = m_step2->CboFiles;
        if (list->count() == 0)
            return;
        const int index = std::clamp<int>(startupSettings().LastFormatIndex, 0, list->count() - 1);
        m_step2Wiring->sync();
        m_options.selectFormat(index);
        m_step2Wiring->sync();
    });
}

bool MainWindow::encoding() const { return m_step2Wiring && m_step2Wiring->encoder().busy(); }

QLabel *MainWindow::panel(int number) const
{
    return number >= 1 && number <= 5 ? m_panels[number - 1] : nullptr;
}

void MainWindow::formLoad()
{
    StartupSettings &s = startupSettings();
    guarded([&] { m_step2->CoriginalPP->viewport()->image()->raise(); });
    guarded([&] {
        // The option lists, none selected yet: the format list gets its row
        // when the folder tree reports its first folder. A stored quality
        // outside 1..100 (a damaged file) is brought into range.
        m_options.fillOptionLists(s.CustomJpegQuality);
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
    const int sbHeight = m_statusBar->sizeHint().height();
    m_statusBar->setGeometry(0, height() - sbHeight, width(), sbHeight);
    if (QLayout *bar = m_statusBar->layout())
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
    layOutViewPanes();

    QLabel *panel2 = m_panels[1];
    const QPoint panel2Left = panel2->mapTo(this, QPoint(0, 0));
    m_progress->setGeometry(frame::progressBar(panel2Left.x(), panel2->width(), height(),
                                               m_progress->height()));

    updateOriginalP();
    updateOptimizedP();
    runFitPreview();

    m_tab->lower();
    for (QWidget *w : {static_cast<QWidget *>(m_help), static_cast<QWidget *>(m_online),
                       static_cast<QWidget *>(m_about), static_cast<QWidget *>(m_progress)})
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

void MainWindow::layOutViewPanes()
{
    layOutViewPane(m_step2->CoriginalPP, 0);
    layOutViewPane(m_step2->COptimizedPP, 25);
}

void MainWindow::relayOutViewsForTexts()
{
    layOutViewPanes();
    updateOriginalP();
    updateOptimizedP();
}

void MainWindow::layOutViewPane(PictureViewPane *pane, int narrower)
{
    ViewInfoFrame *info = pane->info();
    // The frame is as high as its texts need at the width it gets.
    const int width = frame::viewPane(pane->size(), info->height(), narrower).infoWidth;
    const int needed = info->fitWidth(width);
    if (needed > 0 && needed != info->height())
        info->resize(info->width(), needed);
    const frame::ViewPaneLayout layout = frame::viewPane(pane->size(), info->height(), narrower);
    pane->viewport()->setGeometry(layout.viewport);
    info->setGeometry(info->x(), layout.infoTop, layout.infoWidth, info->height());
}

void MainWindow::updateOriginalP() { m_step2->CoriginalPP->viewport()->updateLayout(); }

void MainWindow::updateOptimizedP() { m_step2->COptimizedPP->viewport()->updateLayout(); }

void MainWindow::runFitPreview()
{
    if (fitPreview)
        fitPreview();
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
        relayOutViewsForTexts(); // labels set while the page was hidden
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
    guarded([] { SaveSettings(); });
}

} // namespace pictrove

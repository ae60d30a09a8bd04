#include "app/Step1Wiring.h"

#include "app/MainWindow.h"
#include "selection/FileTypes.h"
#include "selection/widgets/FolderTree.h"
#include "selection/widgets/SelectionViews.h"

#include <QAction>
#include <QLabel>
#include <QTimer>

namespace pictrove {

Step1Wiring::Step1Wiring(MainWindow &window)
    : QObject(&window), m_window(window), m_selection(FileTypes::shared()),
      m_preview(*this)
{
    Step1Panes &p = window.step1();
    p.lvFolder->setModel(&m_selection.folderList());
    p.lvFolder->setSelectionModel(&m_selection.folderSelection());
    p.lvSelected->setModel(&m_selection.basket());
    p.lvSelected->setSelectionModel(&m_selection.basketSelection());
    m_preview.setPaneSize([this] { return m_window.step1().Preview->size(); });

    connect(&m_selection, &ImageSelection::panelText, this,
            [this](int panel, const QString &text) {
                if (QLabel *label = m_window.panel(panel))
                    label->setText(text);
                if (panel == 4)
                    m_window.setPanel4Icon(QIcon());
                if (panel == 5)
                    m_panel5ShowsUnreadable = false;
            });
    connect(&m_selection, &ImageSelection::previewRequested, &m_preview,
            &ImagePreview::previewImage);
    connect(&m_selection, &ImageSelection::reapplyFormatRequested, this,
            &Step1Wiring::applyLastFormat);
    connect(p.fT, &FolderTree::folderChanged, &m_selection, &ImageSelection::folderSelected);
    connectLists();
    connectToolbars();
    m_window.panel(3)->setText(ImageSelection::basketPanelText(0));
}

Step1Wiring::~Step1Wiring() = default;

void Step1Wiring::connectLists()
{
    Step1Panes &p = m_window.step1();
    // The folder list lets pending events run before it counts the
    // selection, so that the click has finished selecting.
    connect(p.lvFolder, &ReportListView::entryClicked, this, [this](int row) {
        QTimer::singleShot(0, &m_selection, [this, row] { m_selection.folderEntryClicked(row); });
    });
    connect(p.lvSelected, &ReportListView::entryClicked, &m_selection,
            &ImageSelection::basketEntryClicked);
    connect(p.lvFolder, &FolderListView::enterPressed, &m_selection,
            &ImageSelection::addSelected);
    connect(p.lvSelected, &BasketView::deletePressed, &m_selection,
            &ImageSelection::removeSelected);
    connect(p.lvSelected, &BasketView::folderEntriesDropped, &m_selection,
            &ImageSelection::dropFolderSelection);
    connect(p.lvSelected, &BasketView::filesDropped, &m_selection, &ImageSelection::dropFiles);
}

void Step1Wiring::connectToolbars()
{
    Step1Panes &p = m_window.step1();
    ImageSelection *s = &m_selection;
    const std::pair<QAction *, void (ImageSelection::*)()> commands[] = {
        {p.folderButtons[0], &ImageSelection::checkAll},
        {p.folderButtons[1], &ImageSelection::uncheckAll},
        {p.folderButtons[2], &ImageSelection::addChecked},
        {p.basketButtons[0], &ImageSelection::removeSelected},
        {p.basketButtons[1], &ImageSelection::removeAll},
        {p.basketButtons[2], &ImageSelection::openPictureList},
        {p.basketButtons[3], &ImageSelection::savePictureList},
    };
    for (const auto &[action, command] : commands)
        connect(action, &QAction::triggered, s, command);
}

void Step1Wiring::fitPreview()
{
    // A pane grown past the shrunk copy shows it enlarged until a sharper
    // one is made off this thread.
    if (!m_window.step1().PPreview->fit(m_preview.holder().size(), m_preview.shown()))
        m_preview.reshrink();
}

void Step1Wiring::showInViews(const QImage &picture)
{
    m_window.originalSurface().setPicture(picture);
    m_window.optimizedSurface().setPicture(picture);
}

void Step1Wiring::updateOptimizedP() { m_window.updateOptimizedP(); }

void Step1Wiring::updateOriginalP() { m_window.updateOriginalP(); }

void Step1Wiring::setPanel4(const QString &text, const QString &iconKey)
{
    m_window.panel(4)->setText(text);
    m_window.setPanel4Icon(FileTypes::shared().forExtension(iconKey).icon);
}

void Step1Wiring::setDescription(const PreviewDescription &d)
{
    Step1Panes &p = m_window.step1();
    p.LFileName->setText(d.fileName);
    p.LType->setText(d.type);
    p.LResolution->setText(d.resolution);
    p.LLocation->setText(d.location);
    ViewInfoFrame *original = m_window.step2().CoriginalPP->info();
    original->typeValue()->setText(d.type);
    original->sizeValue()->setText(d.size);
    original->colorsValue()->setText(d.colors);
    m_window.relayOutViewsForTexts();
}

void Step1Wiring::reportUnreadable(const QString &message)
{
    QLabel *panel5 = m_window.panel(5);
    if (!message.isEmpty()) {
        panel5->setText(message);
        m_panel5ShowsUnreadable = true;
    } else if (m_panel5ShowsUnreadable) {
        panel5->setText(QStringLiteral("Current Directory : ") + m_selection.currentFolder());
        m_panel5ShowsUnreadable = false;
    }
}

void Step1Wiring::applyLastFormat() { m_window.applyLastFormat(); }

} // namespace pictrove

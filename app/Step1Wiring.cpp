#include "app/Step1Wiring.h"

#include "app/Panes.h"
#include "app/StatusSink.h"
#include "engine/conversion/ConversionContext.h"
#include "selection/FileTypes.h"
#include "selection/widgets/FolderTree.h"
#include "selection/widgets/SelectionViews.h"

#include <QAction>
#include <QLabel>
#include <QTimer>

namespace pictrove {

Step1Wiring::Step1Wiring(Step1Panes &step1, Step2Panes &step2, ConversionContext &conversion,
                         StatusSink &status, QObject *parent)
    : QObject(parent), m_step1(step1), m_step2(step2), m_conversion(conversion),
      m_status(status), m_selection(FileTypes::shared()), m_preview(*this)
{
    Step1Panes &p = step1;
    p.lvFolder->setModel(&m_selection.folderList());
    p.lvFolder->setSelectionModel(&m_selection.folderSelection());
    p.lvSelected->setModel(&m_selection.basket());
    p.lvSelected->setSelectionModel(&m_selection.basketSelection());
    m_preview.setPaneSize([this] { return m_step1.Preview->size(); });

    connect(&m_selection, &ImageSelection::panelText, this,
            [this](int panel, const QString &text) {
                m_status.setText(panel, text);
                if (panel == 4)
                    m_status.setPanel4Icon(QIcon());
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
    m_status.setText(3, ImageSelection::basketPanelText(0));
}

Step1Wiring::~Step1Wiring() = default;

void Step1Wiring::connectLists()
{
    Step1Panes &p = m_step1;
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
    Step1Panes &p = m_step1;
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
    if (!m_step1.PPreview->fit(m_preview.holder().size(), m_preview.shown()))
        m_preview.reshrink();
}

void Step1Wiring::showInViews(const QImage &picture, const PictureMetadata &metadata)
{
    m_conversion.original.setPicture(picture, metadata);
    m_conversion.optimized.setPicture(picture);
}

void Step1Wiring::updateOptimizedP() { m_step2.updateOptimizedP(); }

void Step1Wiring::updateOriginalP() { m_step2.updateOriginalP(); }

void Step1Wiring::setPanel4(const QString &text, const QString &iconKey)
{
    m_status.setText(4, text);
    m_status.setPanel4Icon(FileTypes::shared().forExtension(iconKey).icon);
}

void Step1Wiring::setDescription(const PreviewDescription &d)
{
    Step1Panes &p = m_step1;
    p.LFileName->setText(d.fileName);
    p.LType->setText(d.type);
    p.LResolution->setText(d.resolution);
    p.LLocation->setText(d.location);
    ViewInfoFrame *original = m_step2.CoriginalPP->info();
    original->typeValue()->setText(d.type);
    original->sizeValue()->setText(d.size);
    original->colorsValue()->setText(d.colors);
    original->resolutionValue()->setText(d.resolution);
    m_step2.relayOutViewsForTexts();
}

void Step1Wiring::reportUnreadable(const QString &message)
{
    if (!message.isEmpty()) {
        m_status.setText(5, message);
        m_panel5ShowsUnreadable = true;
    } else if (m_panel5ShowsUnreadable) {
        m_status.setText(5, QStringLiteral("Current Directory : ") + m_selection.currentFolder());
        m_panel5ShowsUnreadable = false;
    }
}

void Step1Wiring::applyLastFormat() { emit lastFormatWanted(); }

} // namespace pictrove

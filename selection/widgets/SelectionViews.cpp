#include "selection/widgets/SelectionViews.h"

#include "selection/ImagePreview.h"
#include "platform/Rounding.h"
#include "platform/Twips.h"

#include <QApplication>

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

namespace pictrove {

ReportListView::ReportListView(QWidget *parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(16, 16));
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(true);
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex &index) { emit entryClicked(index.row()); });
    connect(header(), &QHeaderView::sectionResized, this, [this] {
        if (!m_fitting && header()->isVisible() && QApplication::mouseButtons() != Qt::NoButton)
            m_userSized = true;
    });
}

void ReportListView::setColumnWidthsTwips(const QList<int> &widths)
{
    m_designedWidths.clear();
    for (int twips : widths)
        m_designedWidths.append(int(roundHalfEven(twips / twipsPerPixelX())));
    fitColumns();
}

void ReportListView::setModel(QAbstractItemModel *model)
{
    QTreeView::setModel(model);
    fitColumns(); // a new model brings new header sections
}

void ReportListView::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    fitColumns();
}

void ReportListView::fitColumns()
{
    if (m_userSized || m_designedWidths.isEmpty())
        return;
    // A list narrower than the designed columns gives up the room of the
    // later columns first, each down to what its header and a typical
    // value need, and only then narrows the file names.
    QList<int> widths = m_designedWidths;
    int excess = -viewport()->width();
    for (int w : widths)
        excess += w;
    for (int i = int(widths.size()) - 1; i >= 0 && excess > 0; --i) {
        const int least = i == 0 ? 100 : std::max(72, header()->sectionSizeHint(i));
        const int cut = std::min(excess, std::max(0, widths[i] - least));
        widths[i] -= cut;
        excess -= cut;
    }
    m_fitting = true;
    for (int i = 0; i < widths.size(); ++i)
        setColumnWidth(i, widths[i]);
    m_fitting = false;
}

void ReportListView::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex before = currentIndex();
    const QItemSelection selectedBefore =
        selectionModel() ? selectionModel()->selection() : QItemSelection();
    QTreeView::keyPressEvent(event);
    // Walking the list with the arrow keys previews as clicking does; Ctrl
    // with an arrow moves the current entry without selecting it, and the
    // picture shown stays the selected one.
    if (currentIndex().isValid() && currentIndex().row() != before.row() && selectionModel()
        && selectionModel()->selection() != selectedBefore)
        emit entryClicked(currentIndex().row());
}

const QString FolderListView::EntriesMimeType =
    QStringLiteral("application/x-pictrove-folder-entries");

FolderListView::FolderListView(QWidget *parent) : ReportListView(parent)
{
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    runDrag = [this](QMimeData *data) {
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        drag->setPixmap(QIcon::fromTheme(QStringLiteral("image-x-generic"))
                            .pixmap(QSize(32, 32)));
        drag->exec(Qt::CopyAction);
    };
}

void FolderListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit enterPressed();
        return;
    }
    ReportListView::keyPressEvent(event);
}

void FolderListView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex under = indexAt(event->position().toPoint());
    m_pressOnSelected = event->button() == Qt::LeftButton && under.isValid() &&
                        selectionModel()->isRowSelected(under.row(), under.parent());
    ReportListView::mousePressEvent(event);
}

void FolderListView::startDrag(Qt::DropActions)
{
    // A press on an unselected entry selects it; moving on from there is a
    // selection gesture, not a drag.
    if (!m_pressOnSelected || !runDrag)
        return;
    m_pressOnSelected = false;
    auto *data = new QMimeData;
    data->setData(EntriesMimeType, QByteArray());
    runDrag(data);
}

BasketView::BasketView(QWidget *parent) : ReportListView(parent)
{
    setDragDropMode(QAbstractItemView::DropOnly);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
}

void BasketView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        emit deletePressed();
        return;
    }
    ReportListView::keyPressEvent(event);
}

bool BasketView::accepts(const QMimeData *data)
{
    if (!data)
        return false;
    if (data->hasFormat(FolderListView::EntriesMimeType))
        return true;
    if (!data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

bool BasketView::takeDrop(const QMimeData *data)
{
    if (!accepts(data))
        return false;
    if (data->hasFormat(FolderListView::EntriesMimeType)) {
        emit folderEntriesDropped();
        return true;
    }
    QStringList paths;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    emit filesDropped(paths);
    return true;
}

void BasketView::dragEnterEvent(QDragEnterEvent *event)
{
    if (accepts(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void BasketView::dragMoveEvent(QDragMoveEvent *event)
{
    if (accepts(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void BasketView::dropEvent(QDropEvent *event)
{
    if (takeDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

PreviewBox::PreviewBox(QWidget *pane) : QWidget(pane)
{
    setObjectName(QStringLiteral("PPreview"));
    hide();
}

bool PreviewBox::fit(QSize holder, const QImage &source)
{
    const QRect place = previewPlacement(parentWidget()->size(), holder);
    if (place.isEmpty() || source.isNull()) {
        hide();
        m_scaled = QImage();
        m_sourceKey = 0;
        return true;
    }
    if (m_scaled.size() != place.size() || m_sourceKey != source.cacheKey()) {
        m_scaled = place.size() == source.size()
                       ? source
                       : source.scaled(place.size(), Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation);
        m_sourceKey = source.cacheKey();
    }
    setGeometry(place);
    show();
    update();
    return source.width() >= place.width() && source.height() >= place.height();
}

void PreviewBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_scaled);
}

} // namespace pictrove

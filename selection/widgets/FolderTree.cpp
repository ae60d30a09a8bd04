#include "selection/widgets/FolderTree.h"

#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>

namespace pictrove {

FolderTree::FolderTree(QWidget *parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("fT"));
    setToolTip(QStringLiteral("Select a folder"));
    setAccessibleName(QStringLiteral("Folders"));
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QStringLiteral("/"));
    setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        hideColumn(column);
    header()->hide();
    // The folders load in the background, and each batch is sorted a moment
    // after it arrives, moving the rows below it. Until the user takes over
    // the tree, the opened folder is brought back into sight each time.
    connect(m_model, &QAbstractItemModel::layoutChanged, this,
            &FolderTree::keepOpenedFolderInSight);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &FolderTree::keepOpenedFolderInSight);
    connect(m_model, &QFileSystemModel::directoryLoaded, this,
            &FolderTree::keepOpenedFolderInSight);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { m_keepInSight = false; });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    emit folderChanged(m_model->filePath(current));
            });
}

void FolderTree::openFolder(const QString &path)
{
    const QModelIndex index = m_model->index(path);
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    m_keepInSight = true;
    keepOpenedFolderInSight();
}

void FolderTree::keepOpenedFolderInSight()
{
    if (m_keepInSight && currentIndex().isValid())
        scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
}

void FolderTree::mousePressEvent(QMouseEvent *event)
{
    m_keepInSight = false;
    QTreeView::mousePressEvent(event);
}

void FolderTree::keyPressEvent(QKeyEvent *event)
{
    m_keepInSight = false;
    QTreeView::keyPressEvent(event);
}

QString FolderTree::currentFolder() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? m_model->filePath(index) : QString();
}

} // namespace pictrove

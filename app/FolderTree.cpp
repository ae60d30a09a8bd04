#include "app/FolderTree.h"

#include <QFileSystemModel>
#include <QHeaderView>

namespace pictrove {

FolderTree::FolderTree(QWidget *parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("fT"));
    setToolTip(QStringLiteral("Select a folder"));
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QStringLiteral("/"));
    setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        hideColumn(column);
    header()->hide();
    // The folders load in the background; keep the selected one in sight
    // as its parents arrive.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString &loaded) {
        const QString current = currentFolder();
        if (!current.isEmpty() && current.startsWith(loaded))
            scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
    });
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
    scrollTo(index);
}

QString FolderTree::currentFolder() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? m_model->filePath(index) : QString();
}

} // namespace pictrove

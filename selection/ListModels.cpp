#include "selection/ListModels.h"

#include "platform/SizeText.h"
#include "selection/FileTypes.h"

#include <algorithm>

namespace pictrove {

namespace {
QVariant header(const char *const *names, int count, int section, Qt::Orientation orientation,
                int role)
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= count)
        return {};
    return QString::fromLatin1(names[section]);
}
} // namespace

FolderListModel::FolderListModel(FileTypes &types, QObject *parent)
    : QAbstractTableModel(parent), m_types(types)
{
}

void FolderListModel::setFiles(std::vector<FolderFile> files)
{
    beginResetModel();
    m_files = std::move(files);
    m_checked.assign(m_files.size(), 1);
    endResetModel();
}

void FolderListModel::setAllChecked(bool checked)
{
    std::fill(m_checked.begin(), m_checked.end(), checked ? 1 : 0);
    if (!m_files.empty())
        emit dataChanged(index(0, NameColumn), index(rowCount() - 1, NameColumn),
                         {Qt::CheckStateRole});
}

int FolderListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_files.size());
}

int FolderListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FolderListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const FolderFile &file = m_files[size_t(index.row())];
    if (role == TagRole)
        return file.fullPath;
    switch (index.column()) {
    case NameColumn:
        if (role == Qt::DisplayRole)
            return file.name;
        if (role == Qt::DecorationRole)
            return m_types.forExtension(file.extension).icon;
        if (role == Qt::CheckStateRole)
            return isChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::ToolTipRole)
            return file.fullPath;
        break;
    case SizeColumn:
        if (role == Qt::DisplayRole)
            return tenthKilobyteText(file.size);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case TypeColumn:
        if (role == Qt::DisplayRole)
            return m_types.forExtension(file.extension).description;
        break;
    default:
        break;
    }
    return {};
}

bool FolderListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != NameColumn || role != Qt::CheckStateRole)
        return false;
    m_checked[size_t(index.row())] = value.value<Qt::CheckState>() == Qt::Checked ? 1 : 0;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

QVariant FolderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const names[] = {"File Name", "Size", "Type"};
    return header(names, ColumnCount, section, orientation, role);
}

Qt::ItemFlags FolderListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == NameColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

BasketModel::BasketModel(FileTypes &types, QObject *parent)
    : QAbstractTableModel(parent), m_types(types)
{
}

void BasketModel::append(std::vector<BasketEntry> entries)
{
    if (entries.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(entries.size()) - 1);
    for (BasketEntry &entry : entries)
        m_basket.append(std::move(entry));
    endInsertRows();
}

void BasketModel::removeAt(std::vector<std::int64_t> positions)
{
    if (positions.empty())
        return;
    // One reset instead of a signal per removed row: removing thousands of
    // scattered rows one by one makes the view re-lay out each time.
    beginResetModel();
    m_basket.removeAt(std::move(positions));
    endResetModel();
}

void BasketModel::clear()
{
    if (m_basket.isEmpty())
        return;
    beginResetModel();
    m_basket.clear();
    endResetModel();
}

int BasketModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_basket.size());
}

int BasketModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BasketModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const BasketEntry &entry = m_basket.at(index.row());
    if (role == TagRole)
        return entry.fullPath;
    if (role == Qt::ToolTipRole)
        return entry.fullPath;
    switch (index.column()) {
    case NameColumn:
        if (role == Qt::DisplayRole)
            return entry.displayName;
        if (role == Qt::DecorationRole)
            return m_types.forExtension(entry.iconKey).icon;
        break;
    case TypeColumn:
        if (role == Qt::DisplayRole)
            return entry.type;
        break;
    case ParentColumn:
        if (role == Qt::DisplayRole)
            return entry.parentFolder;
        break;
    default:
        break;
    }
    return {};
}

QVariant BasketModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const names[] = {"File Name", "Type", "Parent Folder"};
    return header(names, ColumnCount, section, orientation, role);
}

Qt::ItemFlags BasketModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace pictrove

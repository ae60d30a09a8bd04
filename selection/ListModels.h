#pragma once

#include "selection/FolderListing.h"
#include "selection/ImageBasket.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

namespace pictrove {

class FileTypes;

// The entry's full path, as the lists' tag.
inline constexpr int TagRole = Qt::UserRole;

// lvFolder's rows: the listed files of the current folder, each with its
// check box. Texts are made when a row is shown, so listing a folder of
// fifty thousand files costs no more than reading it.
class FolderListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, SizeColumn, TypeColumn, ColumnCount };

    explicit FolderListModel(FileTypes &types, QObject *parent = nullptr);

    // Replaces the rows; every row starts checked.
    void setFiles(std::vector<FolderFile> files);
    const FolderFile &file(int row) const { return m_files[size_t(row)]; }
    bool isChecked(int row) const { return m_checked[size_t(row)] != 0; }
    void setAllChecked(bool checked);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    FileTypes &m_types;
    std::vector<FolderFile> m_files;
    std::vector<char> m_checked;
};

// lvSelected's rows: the Image Basket.
class BasketModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, TypeColumn, ParentColumn, ColumnCount };

    explicit BasketModel(FileTypes &types, QObject *parent = nullptr);

    const ImageBasket &basket() const { return m_basket; }
    bool contains(const QString &fullPath, PathMatch match) const
    {
        return m_basket.contains(fullPath, match);
    }
    void append(std::vector<BasketEntry> entries);
    void removeAt(std::vector<std::int64_t> positions);
    void clear();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    FileTypes &m_types;
    ImageBasket m_basket;
};

} // namespace pictrove

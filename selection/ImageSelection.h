#pragma once

#include "platform/FileDialogService.h"
#include "selection/FolderListing.h"
#include "selection/ListModels.h"

#include <QItemSelectionModel>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pictrove {

class FileTypes;
struct GivenPaths;

// The Step 1 page as logic: the current folder and its listing, the Image
// Basket, the selections of both lists, and every command of the two
// toolbars, the keys, clicks and drops. The lists' views show the models
// and selection models held here and forward their events; messages and
// file dialogs go through the replaceable services, so all of it runs and
// is tested without a window.
class ImageSelection : public QObject {
    Q_OBJECT
public:
    explicit ImageSelection(FileTypes &types, QObject *parent = nullptr);
    ~ImageSelection() override;

    FolderListModel &folderList() { return m_folder; }
    BasketModel &basket() { return m_basket; }
    const BasketModel &basket() const { return m_basket; }
    QItemSelectionModel &folderSelection() { return m_folderSelection; }
    QItemSelectionModel &basketSelection() { return m_basketSelection; }
    QString currentFolder() const { return m_currentFolder; }

    // The initial folder of the picture-list dialogs.
    QString pictureListFolder() const { return m_pictureListFolder; }
    void setPictureListFolder(const QString &folder) { m_pictureListFolder = folder; }

    // The folder tree reported a newly selected folder. The folder is read
    // on a thread of the listing's own (never one that a decode or the
    // window's painting may hold); folderListed() follows on this one. A
    // folder chosen while another is being read replaces it, and folders
    // passed over while waiting are not read at all.
    void folderSelected(const QString &path);

    // TBFolder: "Check All", "Uncheck All", "Add Checked File(s) to Tray".
    void checkAll();
    void uncheckAll();
    void addChecked();
    // Enter in lvFolder: the selected entries.
    void addSelected();
    // lvFolder's selected entries dropped onto the basket.
    void dropFolderSelection();
    // Files dropped from the desktop's file manager; only image files of
    // the recognised extensions are taken.
    void dropFiles(const QStringList &paths);

    // TBSelected: "Remove Selected File" (also the Delete key),
    // "Remove All", "Open Picture List from Disk", "Save as Picture List".
    void removeSelected();
    void removeAll();
    void openPictureList();
    void savePictureList();
    // "Open Picture List from Disk" without its file dialog: the list named
    // at start, or handed over by a second start.
    void openPictureListFile(const QString &path);
    // Paths given at start or handed over: the picture list as opened from
    // disk, the files as dropped from the file manager (same filter,
    // duplicate rule and messages). The folder is the folder tree's.
    void openGiven(const GivenPaths &given);

    // A click on an entry: previewed when it is the only selected entry.
    void folderEntryClicked(int row);
    void basketEntryClicked(int row);

    static QString basketPanelText(std::int64_t count);

signals:
    // Status panels 3, 4 and 5 as the handlers set them.
    void panelText(int panel, const QString &text);
    void folderListed(qint64 listed);
    // An image to make the current image.
    void previewRequested(const QString &path);
    // The folder held no image: the format is re-applied to the image shown.
    void reapplyFormatRequested();

private:
    struct Scan;
    void applyListing(std::vector<FolderFile> files);
    std::vector<int> selectedRows(const QItemSelectionModel &selection) const;
    std::vector<BasketEntry> qualifying(const std::vector<int> &rows, PathMatch match,
                                        bool keepListText, std::int64_t &duplicates) const;
    void showDuplicates(std::int64_t count, const QString &text);
    void refreshBasketPanel();
    std::optional<QString> choosePictureList(FileDialogRequest::Mode mode);
    void saveList();
    void openList();
    void readPictureList(const QString &path);
    void previewIfOnlySelected(QItemSelectionModel &selection, int row, const QString &path);

    FolderListModel m_folder;
    BasketModel m_basket;
    QItemSelectionModel m_folderSelection;
    QItemSelectionModel m_basketSelection;
    QString m_currentFolder;
    QString m_pictureListFolder;
    std::uint64_t m_scanGeneration = 0;
    std::shared_ptr<std::atomic<std::uint64_t>> m_newestScan =
        std::make_shared<std::atomic<std::uint64_t>>(0);
    // Two threads: a folder on a slow or vanished disk does not hold up the
    // next one chosen.
    QThreadPool m_listing;
};

} // namespace pictrove

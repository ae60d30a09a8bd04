#include "selection/ImageSelection.h"

#include "platform/FileDialogService.h"
#include "platform/MessageService.h"
#include "decoding/ImageExtensions.h"
#include "selection/GivenPaths.h"
#include "selection/PictureListFile.h"
#include "settings/StartupSettings.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QSet>
#include <QThreadPool>

#include <memory>

namespace pictrove {

namespace {
const QString PictureListFilter = QStringLiteral("Picture List(*.ripl)|*.ripl");
const QString BasketDuplicates =
    QStringLiteral(" File(s) already existed in the Basket. There were not added!");
const QString ImageBasketDuplicates =
    QStringLiteral(" File(s) already existed in the Image Basket. There were not added!");

// The lists' rows of a selection, ascending, each once.
std::vector<int> rowsOf(const QItemSelection &selection)
{
    std::vector<int> rows;
    for (const QItemSelectionRange &range : selection)
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}
} // namespace

ImageSelection::ImageSelection(FileTypes &types, QObject *parent)
    : QObject(parent), m_folder(types), m_basket(types), m_folderSelection(&m_folder),
      m_basketSelection(&m_basket)
{
    m_listing.setMaxThreadCount(2);
    m_listing.setObjectName(QStringLiteral("folder listing"));
}

ImageSelection::~ImageSelection()
{
    ++*m_newestScan;
    m_listing.clear();
    m_listing.waitForDone();
}

QString ImageSelection::basketPanelText(std::int64_t count)
{
    return QStringLiteral("Basket: ") + QString::number(count) + QStringLiteral(" file(s)");
}

void ImageSelection::folderSelected(const QString &path)
{
    m_currentFolder = path;
    startupSettings().LastFolder = path;
    emit panelText(5, QStringLiteral("Current Directory : ") + path);

    // A camera folder of tens of thousands of files takes a while to read;
    // the window stays live meanwhile and only the newest folder is shown.
    const std::uint64_t generation = ++m_scanGeneration;
    m_newestScan->store(generation);
    auto promise = std::make_shared<QPromise<std::vector<FolderFile>>>();
    auto *watcher = new QFutureWatcher<std::vector<FolderFile>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != m_scanGeneration || watcher->future().resultCount() == 0)
            return;
        applyListing(watcher->future().takeResult());
    });
    watcher->setFuture(promise->future());
    m_listing.start([promise, path, generation, newest = m_newestScan] {
        promise->start();
        if (newest->load() == generation)
            promise->addResult(listImageFiles(path));
        promise->finish();
    });
}

void ImageSelection::applyListing(std::vector<FolderFile> files)
{
    const qint64 listed = qint64(files.size());
    m_folderSelection.clear();
    m_folder.setFiles(std::move(files));
    emit panelText(4, QStringLiteral("Selected File(s):") + QString::number(listed));
    emit folderListed(listed);
    if (listed == 0) {
        emit reapplyFormatRequested();
        return;
    }
    const QModelIndex first = m_folder.index(0, 0);
    m_folderSelection.setCurrentIndex(first, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    folderEntryClicked(0);
}

void ImageSelection::checkAll() { m_folder.setAllChecked(true); }

void ImageSelection::uncheckAll() { m_folder.setAllChecked(false); }

std::vector<int> ImageSelection::selectedRows(const QItemSelectionModel &selection) const
{
    return rowsOf(selection.selection());
}

std::vector<BasketEntry> ImageSelection::qualifying(const std::vector<int> &rows,
                                                    PathMatch match, bool keepListText,
                                                    std::int64_t &duplicates) const
{
    std::vector<BasketEntry> entries;
    entries.reserve(rows.size());
    QSet<QString> taken; // within this one walk
    for (int row : rows) {
        const FolderFile &file = m_folder.file(row);
        const QString key =
            match == PathMatch::Exact ? file.fullPath : file.fullPath.toCaseFolded();
        if (m_basket.contains(file.fullPath, match) || taken.contains(key)) {
            ++duplicates;
            continue;
        }
        taken.insert(key);
        BasketEntry entry = basketEntryFor(file.fullPath);
        if (keepListText)
            entry.displayName = file.name;
        entries.push_back(std::move(entry));
    }
    return entries;
}

void ImageSelection::showDuplicates(std::int64_t count, const QString &text)
{
    if (count > 0)
        messages().show(QString::number(count) + text, QStringLiteral("Pictrove"),
                        MessageIcon::Information, MessageButtons::Ok);
}

void ImageSelection::refreshBasketPanel() { emit panelText(3, basketPanelText(m_basket.rowCount())); }

void ImageSelection::addChecked()
{
    if (m_folder.rowCount() == 0)
        return;
    std::vector<int> rows;
    for (int row = 0; row < m_folder.rowCount(); ++row)
        if (m_folder.isChecked(row))
            rows.push_back(row);
    std::int64_t duplicates = 0;
    m_basket.append(qualifying(rows, PathMatch::Exact, false, duplicates));
    showDuplicates(duplicates, BasketDuplicates);
    refreshBasketPanel();
}

void ImageSelection::addSelected()
{
    if (m_folder.rowCount() > 0) {
        std::int64_t duplicates = 0;
        m_basket.append(
            qualifying(selectedRows(m_folderSelection), PathMatch::Exact, true, duplicates));
        showDuplicates(duplicates, ImageBasketDuplicates);
    }
    refreshBasketPanel();
}

void ImageSelection::dropFolderSelection()
{
    std::int64_t duplicates = 0;
    m_basket.append(
        qualifying(selectedRows(m_folderSelection), PathMatch::IgnoreCase, false, duplicates));
    refreshBasketPanel();
    showDuplicates(duplicates, BasketDuplicates);
}

void ImageSelection::dropFiles(const QStringList &paths)
{
    std::vector<BasketEntry> entries;
    QSet<QString> taken;
    std::int64_t duplicates = 0;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.isFile() || !isRecognisedExtension(info.suffix()))
            continue;
        const QString full = info.absoluteFilePath();
        const QString key = full.toCaseFolded();
        if (m_basket.contains(full, PathMatch::IgnoreCase) || taken.contains(key)) {
            ++duplicates;
            continue;
        }
        taken.insert(key);
        entries.push_back(basketEntryFor(full));
    }
    m_basket.append(std::move(entries));
    refreshBasketPanel();
    showDuplicates(duplicates, BasketDuplicates);
}

void ImageSelection::removeSelected()
{
    if (m_basket.rowCount() > 0) {
        const std::vector<int> rows = selectedRows(m_basketSelection);
        m_basket.removeAt(std::vector<std::int64_t>(rows.begin(), rows.end()));
    }
    refreshBasketPanel();
}

void ImageSelection::removeAll()
{
    m_basket.clear();
    refreshBasketPanel();
}

void ImageSelection::savePictureList()
{
    saveList();
    refreshBasketPanel();
}

void ImageSelection::openPictureList()
{
    openList();
    refreshBasketPanel();
}

std::optional<QString> ImageSelection::choosePictureList(FileDialogRequest::Mode mode)
{
    // No title, default extension or overwrite question: the name is used
    // as typed.
    FileDialogRequest request;
    request.mode = mode;
    request.filter = PictureListFilter;
    request.initialFolder = m_pictureListFolder;
    return fileDialogs().choose(request);
}

void ImageSelection::saveList()
{
    if (m_basket.rowCount() == 0)
        return;
    const std::optional<QString> name = choosePictureList(FileDialogRequest::Mode::Save);
    if (!name)
        return;
    const picturelist::Encoded encoded = picturelist::encode(m_basket.basket().paths());
    QString error;
    if (!picturelist::write(*name, encoded.bytes, &error)) {
        // A list the user believes saved but that is not on disk would be
        // lost work; say so.
        messages().show(QStringLiteral("The picture list could not be saved:\n") + error,
                        QStringLiteral("Pictrove"), MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    m_pictureListFolder = parentFolderOf(*name);
    startupSettings().LastPictureListFolder = m_pictureListFolder;
    if (encoded.cut > 0)
        messages().show(
            QString::number(encoded.cut) +
                QStringLiteral(" file(s) of the basket have a path longer than a picture list "
                               "can hold (150 bytes). They were saved cut and will not be "
                               "listed when the list is opened again."),
            QStringLiteral("Pictrove"), MessageIcon::Exclamation, MessageButtons::Ok);
}

void ImageSelection::openList()
{
    const std::optional<QString> name = choosePictureList(FileDialogRequest::Mode::Open);
    if (name)
        readPictureList(*name);
}

void ImageSelection::openPictureListFile(const QString &path)
{
    readPictureList(path);
    refreshBasketPanel();
}

void ImageSelection::openGiven(const GivenPaths &given)
{
    if (!given.pictureList.isEmpty())
        openPictureListFile(given.pictureList);
    if (!given.files.isEmpty())
        dropFiles(given.files);
}

void ImageSelection::readPictureList(const QString &listPath)
{
    if (lowerExtensionOf(listPath) != QLatin1String("ripl")) {
        messages().show(QStringLiteral("This is  not a valid picture List!"),
                        QStringLiteral("INVALID PICTURE LIST"), MessageIcon::Critical,
                        MessageButtons::Ok);
        return;
    }
    const QStringList paths = picturelist::read(listPath).value_or(QStringList());
    m_basketSelection.clear();
    m_basket.clear();
    std::vector<BasketEntry> entries;
    entries.reserve(size_t(paths.size()));
    std::int64_t invalid = 0;
    for (const QString &path : paths) {
        // A record naming a folder names no picture either.
        if (!QFileInfo(path).isFile()) {
            ++invalid;
            continue;
        }
        entries.push_back(basketEntryFor(path));
    }
    m_basket.append(std::move(entries));
    m_pictureListFolder = parentFolderOf(listPath);
    startupSettings().LastPictureListFolder = m_pictureListFolder;
    if (invalid > 0)
        messages().show(QString::number(invalid) +
                            QStringLiteral(" files in this picture List are no longer valid! "
                                           "They will be not listed."),
                        QStringLiteral("INVALID FILE ASSOCIATIONS!"), MessageIcon::Critical,
                        MessageButtons::Ok);
}

void ImageSelection::previewIfOnlySelected(QItemSelectionModel &selection, int row,
                                           const QString &path)
{
    // The entry shown is always the one selected: Enter and the basket's
    // commands act on the selection, whatever entry is current.
    if (selectedRows(selection) == std::vector<int>{row})
        emit previewRequested(path);
}

void ImageSelection::folderEntryClicked(int row)
{
    if (row >= 0 && row < m_folder.rowCount())
        previewIfOnlySelected(m_folderSelection, row, m_folder.file(row).fullPath);
}

void ImageSelection::basketEntryClicked(int row)
{
    if (row >= 0 && row < m_basket.rowCount())
        previewIfOnlySelected(m_basketSelection, row, m_basket.basket().at(row).fullPath);
}

} // namespace pictrove

// Step 1 as logic: the folder listing, the basket's three ways of adding and
// its removals, picture-list files, and the preview's order of work.
#include "decoding/DecoderSandbox.h"
#include "platform/FileDialogService.h"
#include "platform/SizeText.h"
#include "platform/Twips.h"
#include "selection/FileTypes.h"
#include "selection/FolderListing.h"
#include "selection/ImagePreview.h"
#include "selection/ImageSelection.h"
#include "selection/PictureListFile.h"
#include "settings/StartupSettings.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <functional>

namespace pictrove {
namespace {

using test::Sandbox;

bool waitFor(const std::function<bool()> &condition, int milliseconds = 5000)
{
    return test::waitFor(condition, milliseconds);
}

TEST(SizeText, TenthsOfKilobytesHalvesToEvenShortestForm)
{
    const std::pair<qint64, const char *> cases[] = {
        {0, "0 KB"},      {51, "0 KB"},     {102, "0.1 KB"},   {1280, "1.2 KB"},
        {1536, "1.5 KB"}, {1792, "1.8 KB"}, {2048, "2 KB"},    {2560, "2.5 KB"},
        {1023, "1 KB"},   {10 * 1024 * 1024 + 52, "10240.1 KB"},
    };
    const QLocale c(QLocale::C);
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(tenthKilobyteText(bytes, c), QLatin1String(text)) << bytes;
    EXPECT_EQ(tenthKilobyteText(1536, QLocale(QLocale::German)), QStringLiteral("1,5 KB"));
    // The original frame's whole kilobytes, no 16-bit ceiling.
    EXPECT_EQ(kilobyteText(1536, false), QStringLiteral("2 KB"));
    EXPECT_EQ(kilobyteText(2560, false), QStringLiteral("2 KB"));
    EXPECT_EQ(kilobyteText(std::int64_t(40000) * 1024, false), QStringLiteral("40000 KB"));
}

TEST(FolderListing, ImageFilesOnlyCaseInsensitiveOrderTagsJoinedOnce)
{
    Sandbox box;
    for (const char *name : {"b.png", "PHOTO.JPG", "a.Gif", "image.jpeg", "archive.tar.gz",
                             "README", ".hidden.png", "notes.txt", "C.bmp"})
        ASSERT_TRUE(box.write(name, QByteArray(100, 'x')));
    QDir(box.path()).mkdir(QStringLiteral("folder.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(box.file("pipe.png")).constData(), 0600), 0);
    QFile::link(box.file("b.png"), box.file("link.png"));
    QFile::link(box.file("missing"), box.file("dangling.png"));

    const std::vector<FolderFile> files = listImageFiles(box.path());
    QStringList names;
    for (const FolderFile &f : files)
        names << f.name;
    EXPECT_EQ(names, (QStringList{"a.Gif", "b.png", "C.bmp", "image.jpeg", "link.png",
                                  "PHOTO.JPG"}));
    EXPECT_EQ(files.back().fullPath, box.path() + QStringLiteral("/PHOTO.JPG"));
    EXPECT_EQ(files.back().extension, QStringLiteral("jpg"));
    EXPECT_EQ(files.back().size, 100);
    EXPECT_TRUE(listImageFiles(box.file("vanished")).empty());

    EXPECT_EQ(joinFolderPath(QStringLiteral("/"), QStringLiteral("a.png")), u"/a.png"_qs);
    EXPECT_EQ(joinFolderPath(QStringLiteral("/pics"), QStringLiteral("a.png")),
              u"/pics/a.png"_qs);
    EXPECT_EQ(parentFolderOf(QStringLiteral("/a.png")), u"/"_qs);
    EXPECT_EQ(parentFolderOf(QStringLiteral("/pics/a.png")), u"/pics"_qs);
}

// An ImageSelection with its status panels and message boxes recorded in
// one log, so that their order can be checked.
class Step1 : public ::testing::Test {
protected:
    void SetUp() override
    {
        startupSettings() = defaultStartupSettings();
        QObject::connect(&selection, &ImageSelection::panelText,
                         [this](int panel, const QString &text) {
                             log << QStringLiteral("panel%1:%2").arg(panel).arg(text);
                         });
        QObject::connect(&selection, &ImageSelection::previewRequested,
                         [this](const QString &path) { previews << path; });
    }

    // Writes the files into the sandbox and lists it.
    void listFolder(const QStringList &names)
    {
        for (const QString &name : names)
            ASSERT_TRUE(box.write(name, QByteArray(10, 'x')));
        listed = false;
        QObject::connect(&selection, &ImageSelection::folderListed, [this] { listed = true; });
        selection.folderSelected(box.path());
        ASSERT_TRUE(waitFor([this] { return listed; }));
    }

    void select(QItemSelectionModel &model, std::initializer_list<int> rows)
    {
        model.clearSelection();
        for (int row : rows)
            model.select(model.model()->index(row, 0),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QStringList messageLog() const
    {
        QStringList texts;
        for (const auto &call : messages.calls)
            texts << call.text;
        return texts;
    }

    QString basketName(int row) const { return selection.basket().basket().at(row).displayName; }

    Sandbox box;
    test::RecordingMessages messages;
    test::RecordingFileDialogs dialogs;
    FileTypes types;
    ImageSelection selection{types};
    QStringList log;
    QStringList previews;
    bool listed = false;
};

TEST_F(Step1, ListingSetsThePanelsChecksEveryEntryAndPreviewsTheFirst)
{
    listFolder({"b.png", "A.JPG", "c.txt"});
    EXPECT_EQ(log, (QStringList{"panel5:Current Directory : " + box.path(),
                                "panel4:Selected File(s):2"}));
    EXPECT_EQ(startupSettings().LastFolder.trimmed(), box.path());
    FolderListModel &list = selection.folderList();
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_TRUE(list.isChecked(0) && list.isChecked(1));
    EXPECT_EQ(list.data(list.index(0, 0), TagRole).toString(), box.file("A.JPG"));
    EXPECT_EQ(list.data(list.index(0, FolderListModel::SizeColumn), Qt::DisplayRole).toString(),
              QStringLiteral("0 KB"));
    EXPECT_FALSE(list.data(list.index(1, FolderListModel::TypeColumn), Qt::DisplayRole)
                     .toString()
                     .isEmpty());
    EXPECT_EQ(previews, QStringList{box.file("A.JPG")});

    // A folder without images re-applies the format to the image shown.
    int reapplied = 0;
    QObject::connect(&selection, &ImageSelection::reapplyFormatRequested, [&] { ++reapplied; });
    Sandbox empty;
    listed = false;
    selection.folderSelected(empty.path());
    ASSERT_TRUE(waitFor([this] { return listed; }));
    EXPECT_EQ(selection.folderList().rowCount(), 0);
    EXPECT_EQ(log.last(), QStringLiteral("panel4:Selected File(s):0"));
    EXPECT_EQ(reapplied, 1);
    EXPECT_EQ(previews.size(), 1);
}

TEST_F(Step1, ANewerFolderWinsOverOneStillBeingRead)
{
    Sandbox other;
    ASSERT_TRUE(other.write("only.png", "x"));
    ASSERT_TRUE(box.write("first.png", "x"));
    int listings = 0;
    QObject::connect(&selection, &ImageSelection::folderListed, [&] { ++listings; });
    selection.folderSelected(box.path());
    selection.folderSelected(other.path());
    ASSERT_TRUE(waitFor([&] { return listings > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(listings, 1);
    EXPECT_EQ(selection.folderList().file(0).name, QStringLiteral("only.png"));
    EXPECT_EQ(selection.currentFolder(), other.path());
}

TEST_F(Step1, ToolbarAddsCheckedEntriesAndReportsDuplicatesBeforeThePanel)
{
    listFolder({"a.png", "photo.JPG", "c.gif"});
    selection.folderList().setData(selection.folderList().index(1, 0), Qt::Unchecked,
                                   Qt::CheckStateRole);
    log.clear();
    selection.addChecked();
    ASSERT_EQ(selection.basket().rowCount(), 2);
    EXPECT_EQ(basketName(1), QStringLiteral("photo"));
    const BasketEntry &photo = selection.basket().basket().at(1);
    EXPECT_EQ(photo.type, QStringLiteral("JPG"));
    EXPECT_EQ(photo.parentFolder, box.path());
    EXPECT_EQ(photo.iconKey, QStringLiteral("jpg"));
    EXPECT_TRUE(messages.calls.empty());
    EXPECT_EQ(log, QStringList{"panel3:Basket: 2 file(s)"});

    selection.checkAll();
    messages.calls.clear();
    log.clear();
    selection.addChecked();
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text,
              QStringLiteral("2 File(s) already existed in the Basket. There were not added!"));
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("Pictrove"));
    EXPECT_EQ(messages.calls[0].icon, MessageIcon::Information);
    EXPECT_EQ(selection.basket().rowCount(), 3);
    EXPECT_EQ(log, QStringList{"panel3:Basket: 3 file(s)"});

    selection.uncheckAll();
    EXPECT_FALSE(selection.folderList().isChecked(0));
}

// The order of a message and panel 3 differs between the ways of adding.
TEST_F(Step1, EnterKeepsTheListTextDropIgnoresLetterCaseAndShowsThePanelFirst)
{
    listFolder({"a.png", "photo.JPG"});
    QStringList order;
    QObject::connect(&selection, &ImageSelection::panelText,
                     [&](int panel, const QString &) { order << QStringLiteral("panel%1").arg(panel); });
    struct OrderedMessages final : MessageService {
        QStringList *order;
        QStringList texts;
        MessageAnswer show(const QString &text, const QString &, MessageIcon,
                           MessageButtons) override
        {
            *order << QStringLiteral("message");
            texts << text;
            return MessageAnswer::Ok;
        }
    } ordered;
    ordered.order = &order;
    installMessageService(&ordered);

    select(selection.folderSelection(), {1});
    selection.addSelected();
    ASSERT_EQ(selection.basket().rowCount(), 1);
    EXPECT_EQ(basketName(0), QStringLiteral("photo.JPG"));
    EXPECT_EQ(selection.basket().basket().at(0).type, QStringLiteral("JPG"));

    order.clear();
    selection.addSelected();
    EXPECT_EQ(ordered.texts.last(),
              QStringLiteral(
                  "1 File(s) already existed in the Image Basket. There were not added!"));
    EXPECT_EQ(order, (QStringList{"message", "panel3"}));

    // A basket path that differs only in case: a duplicate for a drop, not
    // for the toolbar.
    selection.removeAll();
    selection.dropFiles({box.file("photo.JPG")});
    ASSERT_TRUE(QFile::rename(box.file("photo.JPG"), box.file("PHOTO.jpg")));
    ASSERT_TRUE(box.write("photo.JPG", "x"));
    QFile::remove(box.file("PHOTO.jpg"));
    selection.removeAll();
    selection.basket().append({basketEntryFor(box.file("PHOTO.JPG"))});
    order.clear();
    select(selection.folderSelection(), {0, 1});
    selection.dropFolderSelection();
    EXPECT_EQ(order, (QStringList{"panel3", "message"}));
    EXPECT_EQ(ordered.texts.last(),
              QStringLiteral("1 File(s) already existed in the Basket. There were not added!"));
    EXPECT_EQ(selection.basket().rowCount(), 2);
    EXPECT_EQ(basketName(1), QStringLiteral("a"));
    const int before = int(ordered.texts.size());
    selection.addChecked(); // a.png is there; photo.JPG is not, letter for letter
    EXPECT_EQ(selection.basket().rowCount(), 3);
    EXPECT_EQ(ordered.texts.size(), before + 1);
    installMessageService(&messages);
}

TEST_F(Step1, EnterOnAnEmptyListOnlyRefreshesThePanel)
{
    listFolder({});
    log.clear();
    selection.addChecked();
    EXPECT_TRUE(log.isEmpty());
    selection.addSelected();
    EXPECT_EQ(log, QStringList{"panel3:Basket: 0 file(s)"});
    EXPECT_TRUE(messages.calls.empty());
}

TEST_F(Step1, FileManagerDropsTakeOnlyImageFilesOnce)
{
    ASSERT_TRUE(box.write("x.png", "x"));
    ASSERT_TRUE(box.write("y.TGA", "x"));
    ASSERT_TRUE(box.write("notes.txt", "x"));
    selection.dropFiles({box.file("x.png"), box.file("notes.txt"), box.file("gone.png"),
                         box.path(), box.file("y.TGA"), box.file("X.PNG")});
    ASSERT_EQ(selection.basket().rowCount(), 2);
    EXPECT_EQ(selection.basket().basket().at(1).type, QStringLiteral("TGA"));
    EXPECT_EQ(selection.basket().basket().at(1).parentFolder, box.path());
    EXPECT_TRUE(messages.calls.empty()); // X.PNG names no file here
    selection.dropFiles({box.file("x.png")});
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_TRUE(messages.calls[0].text.startsWith(QStringLiteral("1 File(s) already existed")));
}

TEST_F(Step1, RemovingSelectedEntriesKeepsTheOthersInOrder)
{
    for (int i = 1; i <= 12; ++i)
        selection.basket().append({basketEntryFor(QStringLiteral("/p/%1.png").arg(i))});
    select(selection.basketSelection(), {1, 4, 10}); // entries 2, 5 and 11
    selection.removeSelected();
    QStringList left;
    for (const BasketEntry &e : selection.basket().basket().entries())
        left << e.displayName;
    EXPECT_EQ(left, (QStringList{"1", "3", "4", "6", "7", "8", "9", "10", "12"}));
    EXPECT_EQ(log.last(), QStringLiteral("panel3:Basket: 9 file(s)"));
    // The index follows: a removed path may be added again.
    EXPECT_FALSE(selection.basket().contains(u"/p/5.png"_qs, PathMatch::Exact));
    EXPECT_TRUE(selection.basket().contains(u"/P/6.PNG"_qs, PathMatch::IgnoreCase));

    selection.removeAll();
    selection.removeAll();
    EXPECT_EQ(log.last(), QStringLiteral("panel3:Basket: 0 file(s)"));
    selection.removeSelected();
    EXPECT_EQ(log.last(), QStringLiteral("panel3:Basket: 0 file(s)"));
}

TEST_F(Step1, APreviewOnlyWhenExactlyOneEntryIsSelected)
{
    listFolder({"a.png", "b.png"});
    previews.clear();
    select(selection.folderSelection(), {0, 1});
    selection.folderEntryClicked(1);
    EXPECT_TRUE(previews.isEmpty());
    select(selection.folderSelection(), {1});
    selection.folderEntryClicked(1);
    EXPECT_EQ(previews, QStringList{box.file("b.png")});
    selection.basket().append({basketEntryFor(box.file("a.png"))});
    selection.basketEntryClicked(0); // nothing selected in the basket
    EXPECT_EQ(previews.size(), 1);
    select(selection.basketSelection(), {0});
    selection.basketEntryClicked(0);
    EXPECT_EQ(previews.last(), box.file("a.png"));

    // The one selected entry is shown, never another one clicked or moved to
    // (Ctrl-click took it out of the selection, Ctrl-arrow did not select it).
    previews.clear();
    select(selection.folderSelection(), {0});
    selection.folderEntryClicked(1);
    EXPECT_TRUE(previews.isEmpty());
    selection.basket().append({basketEntryFor(box.file("b.png"))});
    select(selection.basketSelection(), {1});
    selection.basketEntryClicked(0);
    EXPECT_TRUE(previews.isEmpty());
}

// Holds every thread of Qt's global pool until released, as stuck decodes
// once did: what the window's painting waits for.
class GlobalPoolHeld {
public:
    GlobalPoolHeld()
    {
        QThreadPool *pool = QThreadPool::globalInstance();
        for (int i = 0; i < pool->maxThreadCount(); ++i)
            pool->start([this] {
                ++m_holding;
                m_release.acquire();
            });
        EXPECT_TRUE(waitFor([this] { return m_holding == QThreadPool::globalInstance()->maxThreadCount(); }));
    }
    ~GlobalPoolHeld()
    {
        m_release.release(QThreadPool::globalInstance()->maxThreadCount());
        QThreadPool::globalInstance()->waitForDone();
    }

private:
    std::atomic<int> m_holding{0};
    QSemaphore m_release;
};

TEST_F(Step1, AFolderIsListedWhileEveryThreadOfQtsPoolIsHeld)
{
    const GlobalPoolHeld held;
    listFolder({"a.png", "b.png"});
    EXPECT_EQ(selection.folderList().rowCount(), 2);
}

class PictureLists : public Step1 {
protected:
    void fillBasket(const QStringList &names)
    {
        for (const QString &name : names) {
            ASSERT_TRUE(box.write(name, "x"));
            selection.basket().append({basketEntryFor(box.file(name))});
        }
    }
};

TEST_F(PictureLists, SaveWritesOneBlankPaddedRecordPerEntryAndReopensThem)
{
    selection.savePictureList(); // an empty basket shows no dialog
    EXPECT_TRUE(dialogs.requests.empty());

    fillBasket({"one.png", "two words.gif", "three"});
    selection.setPictureListFolder(box.path());
    dialogs.answers = {box.file("list.ripl")};
    selection.savePictureList();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].mode, FileDialogRequest::Mode::Save);
    EXPECT_EQ(dialogs.requests[0].filter, QStringLiteral("Picture List(*.ripl)|*.ripl"));
    EXPECT_EQ(dialogs.requests[0].initialFolder, box.path());
    EXPECT_FALSE(dialogs.requests[0].confirmOverwrite);
    const QByteArray bytes = box.read("list.ripl");
    ASSERT_EQ(bytes.size(), 450);
    EXPECT_EQ(bytes.left(150), box.file("one.png").toUtf8().leftJustified(150, ' '));
    EXPECT_EQ(startupSettings().LastPictureListFolder.trimmedRight(), box.path());

    selection.removeAll();
    selection.basket().append({basketEntryFor(u"/elsewhere/kept.png"_qs)});
    dialogs.answers = {box.file("list.ripl")};
    selection.openPictureList();
    ASSERT_EQ(selection.basket().rowCount(), 3);
    EXPECT_EQ(selection.basket().basket().paths(),
              (QStringList{box.file("one.png"), box.file("two words.gif"), box.file("three")}));
    const BasketEntry &three = selection.basket().basket().at(2);
    EXPECT_EQ(three.displayName, QStringLiteral("three"));
    EXPECT_EQ(three.type, QString());
    EXPECT_EQ(log.last(), QStringLiteral("panel3:Basket: 3 file(s)"));
    EXPECT_TRUE(messages.calls.empty());

    // Two entries over a list of five leave two records.
    fillBasket({"4.png", "5.png"});
    dialogs.answers = {box.file("list.ripl")};
    selection.savePictureList();
    ASSERT_EQ(box.read("list.ripl").size(), 750);
    selection.removeAll();
    fillBasket({"6.png", "7.png"});
    dialogs.answers = {box.file("list.ripl")};
    selection.savePictureList();
    EXPECT_EQ(box.read("list.ripl").size(), 300);

    // A cancelled dialog writes nothing and keeps the basket.
    selection.savePictureList();
    selection.openPictureList();
    EXPECT_EQ(selection.basket().rowCount(), 2);
}

TEST_F(PictureLists, LongPathsAreCutAtACharacterAndReportedWhenSaved)
{
    const QString folder = box.path() + u'/';
    const qsizetype room = 150 - folder.toUtf8().size();
    ASSERT_GT(room, 10);
    const QString exact = QString(room - 4, u'e') + QStringLiteral(".png");  // exactly 150 bytes
    // "ä" takes the 150th and 151st bytes: the record ends before it.
    const QString longer = QString(room - 1, u'l') + QStringLiteral("ä.png");
    fillBasket({exact, longer});
    dialogs.answers = {box.file("long.ripl")};
    selection.savePictureList();
    const QByteArray bytes = box.read("long.ripl");
    ASSERT_EQ(bytes.size(), 300);
    EXPECT_EQ(bytes.left(150), (folder + exact).toUtf8());
    EXPECT_EQ(bytes.mid(150).indexOf(QByteArray("\xc3\xa4")), -1); // no half character
    EXPECT_EQ(bytes.at(299), ' ');
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_TRUE(messages.calls[0].text.startsWith(QStringLiteral("1 file(s)")));

    messages.calls.clear();
    dialogs.answers = {box.file("long.ripl")};
    selection.openPictureList();
    EXPECT_EQ(selection.basket().rowCount(), 1);
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text,
              QStringLiteral("1 files in this picture List are no longer valid! They will be "
                             "not listed."));
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("INVALID FILE ASSOCIATIONS!"));
    EXPECT_EQ(messages.calls[0].icon, MessageIcon::Critical);
}

TEST_F(PictureLists, OpenRefusesOtherExtensionsAndLeavesOutDeletedFiles)
{
    fillBasket({"a.png", "b.png", "c.png", "d.png"});
    dialogs.answers = {box.file("noext")};
    selection.savePictureList(); // written as typed, no extension added
    ASSERT_TRUE(QFileInfo::exists(box.file("noext")));
    dialogs.answers = {box.file("noext")};
    selection.openPictureList();
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text, QStringLiteral("This is  not a valid picture List!"));
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("INVALID PICTURE LIST"));
    EXPECT_EQ(selection.basket().rowCount(), 4);

    ASSERT_TRUE(QFile::rename(box.file("noext"), box.file("LIST.RIPL")));
    ASSERT_TRUE(QFile::remove(box.file("c.png")));
    // A record that names a folder is as invalid as one naming nothing.
    ASSERT_TRUE(QFile::remove(box.file("d.png")));
    ASSERT_TRUE(QDir(box.path()).mkdir("d.png"));
    messages.calls.clear();
    dialogs.answers = {box.file("LIST.RIPL")};
    selection.openPictureList();
    EXPECT_EQ(selection.basket().rowCount(), 2);
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_TRUE(messages.calls[0].text.startsWith(QStringLiteral("2 files in this")));
    EXPECT_EQ(log.last(), QStringLiteral("panel3:Basket: 2 file(s)"));
    EXPECT_EQ(startupSettings().LastPictureListFolder.trimmedRight(), box.path());
}

TEST_F(PictureLists, AListThatCannotBeWrittenIsReportedAndTheOldOneKept)
{
    fillBasket({"a.png"});
    ASSERT_TRUE(box.write("kept.ripl", QByteArray(150, 'k')));
    ASSERT_TRUE(QDir(box.path()).mkdir("locked"));
    ASSERT_TRUE(QFile::setPermissions(box.file("locked"), QFile::ReadOwner | QFile::ExeOwner));
    if (::geteuid() != 0) {
        dialogs.answers = {box.file("locked/list.ripl")};
        selection.savePictureList();
        ASSERT_EQ(messages.calls.size(), 1u);
        EXPECT_EQ(messages.calls[0].icon, MessageIcon::Critical);
        messages.calls.clear();
    }
    {
        test::FileSizeLimit full(100); // fails part-way through the record
        ASSERT_TRUE(full.active());
        dialogs.answers = {box.file("kept.ripl")};
        selection.savePictureList();
    }
    EXPECT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(box.read("kept.ripl"), QByteArray(150, 'k'));
}

TEST(PictureListFormat, TrailingPartsRoundHalvesToEven)
{
    const auto record = [](const QByteArray &path) { return path.leftJustified(150, ' '); };
    EXPECT_EQ(picturelist::decode(record("/a") + record("/b") + QByteArray(75, 'x')).size(), 2);
    EXPECT_EQ(picturelist::decode(record("/a") + QByteArray(75, 'x')).size(), 2); // 1.5 -> 2
    EXPECT_EQ(picturelist::decode(QByteArray(74, 'x')).size(), 0);
    EXPECT_EQ(picturelist::encode({"/x"}).bytes, record("/x"));
    EXPECT_EQ(picturelist::encode({QString(150, u'p')}).cut, 0);
}

TEST(FileDialogFilters, PairsBecomeQtNameFilters)
{
    EXPECT_EQ(nameFilters(QStringLiteral("Picture List(*.ripl)|*.ripl")),
              QStringList{"Picture List(*.ripl)"});
    EXPECT_EQ(nameFilters(QStringLiteral("GIF Image|*.gif|All|*.gif;*.png")),
              (QStringList{"GIF Image (*.gif)", "All (*.gif *.png)"}));
}

// A host that logs every call, to check the order of a preview's work.
class LoggingHost final : public PreviewHost {
public:
    void showInViews(const QImage &picture, const PictureMetadata &m) override
    {
        log << QStringLiteral("views:%1").arg(picture.isNull() ? "empty" : "picture");
        metadata = m;
    }
    void updateOptimizedP() override { log << "optimized"; }
    void updateOriginalP() override { log << "original"; }
    void setPanel4(const QString &text, const QString &) override { log << "panel4:" + text; }
    void fitPreview() override { log << "fit"; }
    void setDescription(const PreviewDescription &d) override
    {
        description = d;
        log << "description";
    }
    void reportUnreadable(const QString &message) override
    {
        log << (message.isEmpty() ? QStringLiteral("readable") : QStringLiteral("unreadable"));
        panel5 = message;
    }
    void applyLastFormat() override { log << "format"; }

    QStringList log;
    PreviewDescription description;
    PictureMetadata metadata;
    QString panel5;
};

TEST(Preview, ShowsTheNewestPictureInTheStatedOrderAndEmptiesOnFailure)
{
    Sandbox box;
    ASSERT_TRUE(box.write("photo.png", QByteArray(1536, 'x')));
    ASSERT_TRUE(box.write("broken.jpg", QByteArray(2560, 'x')));
    LoggingHost host;
    ImagePreview preview(host);
    preview.setLoader([](const QString &path, const QString &, const CancelToken &) {
        LoadResult r;
        if (path.endsWith(u"photo.png")) {
            r.ok = true;
            r.image = QImage(640, 480, QImage::Format_RGB32);
            r.depth = 24;
            r.exif = "II*exif";
            r.xmp = "<x:xmpmeta/>";
        } else {
            QThread::msleep(50);
            r.error = QStringLiteral("not a picture");
        }
        return r;
    });
    int shown = 0;
    QObject::connect(&preview, &ImagePreview::previewShown, [&] { ++shown; });
    preview.previewImage(box.file("photo.png"));
    ASSERT_TRUE(waitFor([&] { return shown == 1; }));
    EXPECT_EQ(host.log, (QStringList{"views:picture", "optimized", "original",
                                     "panel4:photo.png 640 x 480", "fit", "description",
                                     "readable", "format"}));
    EXPECT_EQ(host.description.type, QStringLiteral("PNG"));
    EXPECT_EQ(host.description.resolution, QStringLiteral("640 x 480"));
    EXPECT_EQ(host.description.size, QStringLiteral("2 KB"));
    EXPECT_EQ(host.description.colors, QStringLiteral("24 bit"));
    EXPECT_EQ(host.description.location, box.file("photo.png"));
    // The file's metadata goes with its picture, for the writers.
    EXPECT_EQ(host.metadata, (PictureMetadata{"II*exif", "<x:xmpmeta/>"}));
    EXPECT_EQ(preview.metadata(), host.metadata);

    host.log.clear();
    preview.previewImage(box.file("broken.jpg"));
    ASSERT_TRUE(waitFor([&] { return shown == 2; }));
    EXPECT_TRUE(preview.holder().isNull());
    EXPECT_EQ(host.log.first(), QStringLiteral("views:empty"));
    // Never the previous picture's details under the next file's name.
    EXPECT_TRUE(host.metadata.isEmpty());
    EXPECT_TRUE(preview.metadata().isEmpty());
    EXPECT_TRUE(host.log.contains(QStringLiteral("unreadable")));
    EXPECT_EQ(host.log.last(), QStringLiteral("format"));
    EXPECT_EQ(host.description.fileName, QStringLiteral("broken.jpg"));
    EXPECT_EQ(host.description.size, QStringLiteral("2 KB"));
    EXPECT_TRUE(host.description.resolution.isEmpty());
    EXPECT_TRUE(host.description.colors.isEmpty());
    EXPECT_EQ(preview.description().width, 640); // the last readable picture's

    // A slow file clicked before a fast one never shows over it.
    preview.previewImage(box.file("broken.jpg"));
    preview.previewImage(box.file("photo.png"));
    ASSERT_TRUE(waitFor([&] { return !preview.loading(); }));
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(preview.currentPath(), box.file("photo.png"));
}

// A picture read with a warning is shown, and the warning goes to panel 5
// until a picture is read without one.
TEST(Preview, AWarningOfAReadablePictureIsReportedUntilTheNextPicture)
{
    Sandbox box;
    ASSERT_TRUE(box.write("tagged.jpg", QByteArray(10, 'x')));
    ASSERT_TRUE(box.write("plain.jpg", QByteArray(10, 'x')));
    LoggingHost host;
    ImagePreview preview(host);
    preview.setLoader([](const QString &path, const QString &, const CancelToken &) {
        LoadResult r;
        r.ok = true;
        r.image = QImage(30, 20, QImage::Format_RGB32);
        r.depth = 24;
        if (path.endsWith(u"tagged.jpg"))
            r.warning = QStringLiteral("the colour profile is damaged; colours are shown as stored");
        return r;
    });
    int shown = 0;
    QObject::connect(&preview, &ImagePreview::previewShown, [&](const QString &, bool readable) {
        EXPECT_TRUE(readable);
        ++shown;
    });
    preview.previewImage(box.file("tagged.jpg"));
    ASSERT_TRUE(waitFor([&] { return shown == 1; }));
    EXPECT_FALSE(preview.holder().isNull());
    EXPECT_EQ(host.panel5, QStringLiteral("tagged.jpg: the colour profile is damaged; colours are shown as stored"));
    preview.previewImage(box.file("plain.jpg"));
    ASSERT_TRUE(waitFor([&] { return shown == 2; }));
    EXPECT_EQ(host.panel5, QString());
}

// Walking a folder faster than its pictures decode: each new picture ends
// the decode under way, the pictures passed over meanwhile are never
// decoded, and none of it runs on Qt's global pool.
TEST(Preview, ANewerPictureEndsTheDecodeUnderWayAndSkipsThoseWaiting)
{
    Sandbox box;
    for (const char *name : {"slow.png", "skipped1.png", "skipped2.png", "last.png"})
        ASSERT_TRUE(box.write(name, QByteArray(10, 'x')));
    LoggingHost host;
    ImagePreview preview(host);
    QMutex mutex;
    QStringList loads;
    std::atomic<bool> slowStarted{false}, slowCancelled{false}, onGlobalPool{false};
    preview.setLoader([&](const QString &path, const QString &, const CancelToken &cancel) {
        {
            QMutexLocker lock(&mutex);
            loads << QFileInfo(path).fileName();
        }
        if (QThreadPool::globalInstance()->contains(QThread::currentThread()))
            onGlobalPool = true;
        LoadResult r;
        if (path.endsWith(u"slow.png")) {
            slowStarted = true;
            // A decode that would take a minute unless it is ended.
            QElapsedTimer clock;
            clock.start();
            while (!cancel.cancelled() && clock.elapsed() < 60000)
                QThread::msleep(5);
            slowCancelled = cancel.cancelled();
            return cancelledLoad();
        }
        r.ok = true;
        r.image = QImage(64, 48, QImage::Format_RGB32);
        r.image.fill(Qt::red);
        return r;
    });
    QStringList shown;
    QObject::connect(&preview, &ImagePreview::previewShown,
                     [&](const QString &path) { shown << QFileInfo(path).fileName(); });
    const GlobalPoolHeld held;
    preview.previewImage(box.file("slow.png"));
    ASSERT_TRUE(waitFor([&] { return slowStarted.load(); }));
    preview.previewImage(box.file("skipped1.png"));
    preview.previewImage(box.file("skipped2.png"));
    preview.previewImage(box.file("last.png"));
    ASSERT_TRUE(waitFor([&] { return !preview.loading(); }));
    EXPECT_TRUE(slowCancelled);
    EXPECT_FALSE(onGlobalPool);
    EXPECT_EQ(loads, (QStringList{"slow.png", "last.png"}));
    EXPECT_EQ(shown, QStringList{"last.png"});
    EXPECT_EQ(preview.currentPath(), box.file("last.png"));
}

// The window gets the picture at full size for Step 2 and Save As, and a
// copy already shrunk for the preview box: scaling a huge picture on the
// window's thread froze it for seconds.
TEST(Preview, APictureComesWithACopyShrunkForThePane)
{
    setTwipsPerPixel(15, 15);
    Sandbox box;
    ASSERT_TRUE(box.write("wide.png", QByteArray(10, 'x')));
    ASSERT_TRUE(box.write("small.png", QByteArray(10, 'x')));
    LoggingHost host;
    ImagePreview preview(host);
    preview.setPaneSize([] { return QSize(410, 310); });
    preview.setLoader([](const QString &path, const QString &, const CancelToken &) {
        LoadResult r;
        r.ok = true;
        r.image = path.endsWith(u"wide.png") ? QImage(4000, 1000, QImage::Format_RGB32)
                                              : QImage(100, 80, QImage::Format_RGB32);
        r.image.fill(Qt::blue);
        return r;
    });
    int shown = 0;
    QObject::connect(&preview, &ImagePreview::previewShown, [&] { ++shown; });
    preview.previewImage(box.file("wide.png"));
    ASSERT_TRUE(waitFor([&] { return shown == 1; }));
    EXPECT_EQ(preview.holder().size(), QSize(4000, 1000));
    EXPECT_EQ(preview.shown().size(), previewPlacement({410, 310}, {4000, 1000}).size());
    EXPECT_EQ(preview.shown().pixel(10, 10), qRgb(0, 0, 255));

    // A picture that fits is not copied.
    preview.previewImage(box.file("small.png"));
    ASSERT_TRUE(waitFor([&] { return shown == 2; }));
    EXPECT_EQ(preview.shown().cacheKey(), preview.holder().cacheKey());
    setTwipsPerPixel(0, 0);
}

TEST(Preview, PlacementFitsThePaneLessTenPixelsAndCentres)
{
    setTwipsPerPixel(15, 15);
    EXPECT_EQ(previewPlacement({410, 310}, {100, 80}), QRect(155, 115, 100, 80));
    EXPECT_EQ(previewPlacement({410, 210}, {1600, 1200}), QRect(71, 5, 267, 200));
    EXPECT_EQ(previewPlacement({410, 310}, {300, 900}), QRect(155, 5, 100, 300));
    EXPECT_TRUE(previewPlacement({8, 300}, {100, 80}).isEmpty());
    EXPECT_TRUE(previewPlacement({400, 300}, {}).isEmpty());
    setTwipsPerPixel(0, 0);
}

} // namespace
} // namespace pictrove

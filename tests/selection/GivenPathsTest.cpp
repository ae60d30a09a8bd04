// Paths given at start, or handed over by a second start, take the paths of
// a drop from the file manager and of "Open Picture List from Disk".
#include "selection/FileTypes.h"
#include "selection/GivenPaths.h"
#include "selection/ImageSelection.h"
#include "selection/PictureListFile.h"
#include "settings/StartupSettings.h"

#include "TestSupport.h"

#include <QDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace pictrove;
using test::Sandbox;

TEST(GivenPaths, ArgumentsBecomeAbsoluteLocalPaths)
{
    const QString cwd = QStringLiteral("/home/user/pics");
    const QStringList paths = localPathsFromArguments(
        {QStringLiteral("a.png"), QStringLiteral("/abs/b.jpg"), QStringLiteral("sub/../c.gif"),
         QStringLiteral("file:///tmp/two%20words.png"), QStringLiteral("file://localhost/tmp/d.png"),
         QStringLiteral("file://server/share/e.png"), QStringLiteral("https://example.com/f.png"),
         QStringLiteral("smb://server/g.png"), QStringLiteral("--verbose"), QString(),
         QStringLiteral("-"), QStringLiteral("--"), QStringLiteral("-dash.png"),
         QStringLiteral("--")},
        cwd);
    EXPECT_EQ(paths, (QStringList{"/home/user/pics/a.png", "/abs/b.jpg", "/home/user/pics/c.gif",
                                  "/tmp/two words.png", "/tmp/d.png", "/home/user/pics/-dash.png",
                                  "/home/user/pics/--"}));
}

TEST(GivenPaths, APictureListAloneOpensAndOnlyTheFirstFolderCounts)
{
    Sandbox box;
    ASSERT_TRUE(box.write("list.ripl", QByteArray(150, ' ')));
    ASSERT_TRUE(box.write("a.png", "x"));
    ASSERT_TRUE(QDir(box.path()).mkdir("one"));
    ASSERT_TRUE(QDir(box.path()).mkdir("two"));

    GivenPaths given = sortGivenPaths({box.file("list.ripl")});
    EXPECT_EQ(given.pictureList, box.file("list.ripl"));
    EXPECT_TRUE(given.files.isEmpty());

    // Beside other paths a list is no picture: the drop rule leaves it out.
    given = sortGivenPaths({box.file("two"), box.file("list.ripl"), box.file("a.png"),
                            box.file("one")});
    EXPECT_TRUE(given.pictureList.isEmpty());
    EXPECT_EQ(given.folder, box.file("two"));
    EXPECT_EQ(given.files, (QStringList{box.file("list.ripl"), box.file("a.png")}));

    // A list that is not there opens nothing (and empties no basket).
    given = sortGivenPaths({box.file("gone.ripl")});
    EXPECT_TRUE(given.pictureList.isEmpty());
    EXPECT_TRUE(sortGivenPaths({}).isEmpty());
}

class StartFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        startupSettings() = defaultStartupSettings();
        QObject::connect(&selection, &ImageSelection::panelText,
                         [this](int panel, const QString &text) {
                             if (panel == 3)
                                 basketPanel = text;
                         });
    }

    void open(const QStringList &arguments)
    {
        selection.openGiven(sortGivenPaths(localPathsFromArguments(arguments, box.path())));
    }

    Sandbox box;
    test::RecordingMessages messages;
    test::RecordingFileDialogs dialogs;
    FileTypes types;
    ImageSelection selection{types};
    QString basketPanel;
};

TEST_F(StartFiles, FilesAndUrlsGoInAsAFileManagerDropWould)
{
    for (const char *name : {"a.png", "b c.JPG", "notes.txt", "d.webp"})
        ASSERT_TRUE(box.write(name, "x"));
    open({QStringLiteral("a.png"), QUrl::fromLocalFile(box.file("b c.JPG")).toString(),
          box.file("notes.txt"), box.file("gone.png"), QStringLiteral("d.webp"),
          QStringLiteral("A.PNG")});
    EXPECT_EQ(selection.basket().basket().paths(),
              (QStringList{box.file("a.png"), box.file("b c.JPG"), box.file("d.webp")}));
    EXPECT_EQ(basketPanel, QStringLiteral("Basket: 3 file(s)"));
    EXPECT_TRUE(messages.calls.empty());
    EXPECT_TRUE(dialogs.requests.empty());

    // Given again (a second start with the same selection): the drop's
    // duplicate rule and message.
    ASSERT_TRUE(box.write("e.png", "x"));
    open({box.file("a.png"), box.file("e.png"), box.file("e.png")});
    EXPECT_EQ(selection.basket().rowCount(), 4);
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].text,
              QStringLiteral("2 File(s) already existed in the Basket. There were not added!"));
}

TEST_F(StartFiles, APictureListGivenAloneReplacesTheBasketAsOpeningItWould)
{
    for (const char *name : {"one.png", "two.gif", "kept.png"})
        ASSERT_TRUE(box.write(name, "x"));
    const picturelist::Encoded list = picturelist::encode(
        {box.file("one.png"), box.file("vanished.png"), box.file("two.gif")});
    ASSERT_TRUE(box.write("holiday.ripl", list.bytes));
    selection.dropFiles({box.file("kept.png")});

    open({QStringLiteral("holiday.ripl")});
    EXPECT_EQ(selection.basket().basket().paths(),
              (QStringList{box.file("one.png"), box.file("two.gif")}));
    EXPECT_EQ(basketPanel, QStringLiteral("Basket: 2 file(s)"));
    EXPECT_EQ(startupSettings().LastPictureListFolder.trimmedRight(), box.path());
    EXPECT_TRUE(dialogs.requests.empty());
    ASSERT_EQ(messages.calls.size(), 1u);
    EXPECT_EQ(messages.calls[0].title, QStringLiteral("INVALID FILE ASSOCIATIONS!"));

    // With pictures beside it the list is skipped like any other non-picture.
    messages.calls.clear();
    ASSERT_TRUE(box.write("new.png", "x"));
    open({box.file("holiday.ripl"), box.file("new.png")});
    EXPECT_EQ(selection.basket().rowCount(), 3);
    EXPECT_TRUE(messages.calls.empty());
}

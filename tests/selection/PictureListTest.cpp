#include "selection/PictureListFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace pictrove {
namespace {

TEST(PictureListRead, RecordsInOrderBlankStrippedPartialRoundedHalfEven)
{
    test::Sandbox box;
    auto record = [](const QByteArray &path) { return path.leftJustified(150, ' ', true); };
    const QByteArray exact150(150, 'p');
    QByteArray bytes = record("/a/one.png") + record("  /b/two words.gif") + exact150;
    ASSERT_TRUE(box.write("list.RIPL", bytes));
    EXPECT_TRUE(picturelist::isPictureList(box.file("list.RIPL")));
    EXPECT_FALSE(picturelist::isPictureList(box.file("list.ripl.png")));

    QString error;
    auto paths = picturelist::read(box.file("list.RIPL"), &error);
    ASSERT_TRUE(paths.has_value());
    EXPECT_EQ(*paths, (QStringList{"/a/one.png", "/b/two words.gif", QString(exact150)}));

    // 2.5 records round to 2: a half-record tail is dropped; 2.6 reads it.
    ASSERT_TRUE(box.write("half.ripl", record("/a") + record("/b") + QByteArray(75, 'x')));
    EXPECT_EQ(picturelist::read(box.file("half.ripl"), &error)->size(), 2);
    ASSERT_TRUE(box.write("more.ripl", record("/a") + record("/b") + QByteArray("/c") + QByteArray(88, ' ')));
    EXPECT_EQ(picturelist::read(box.file("more.ripl"), &error)->last(), QStringLiteral("/c"));

    ASSERT_TRUE(box.write("empty.ripl", {}));
    EXPECT_TRUE(picturelist::read(box.file("empty.ripl"), &error)->isEmpty());
    EXPECT_FALSE(picturelist::read(box.file("none.ripl"), &error).has_value());
}

} // namespace
} // namespace pictrove

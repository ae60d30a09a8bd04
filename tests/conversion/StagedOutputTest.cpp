#include "engine/conversion/BatchOutputName.h"
#include "platform/SizeText.h"
#include "engine/conversion/StagedOutput.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace pictrove;

namespace {

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(StagedOutput, WorkFileSitsBesideTargetAndMovesOnCommit)
{
    test::Sandbox box;
    StagedOutput out(box.file("a.gif"));
    QString error;
    ASSERT_TRUE(out.create(&error)) << error.toStdString();
    EXPECT_EQ(QFileInfo(out.workPath()).absolutePath(), QFileInfo(box.path()).absoluteFilePath());
    EXPECT_NE(out.workPath(), out.finalPath());
    writeFile(out.workPath(), "new");
    EXPECT_EQ(out.commit(false, &error), StagedOutput::Commit::Done);
    EXPECT_EQ(box.read("a.gif"), QByteArray("new"));
    EXPECT_EQ(folderEntries(box.path()), QStringList{QStringLiteral("a.gif")});
}

TEST(StagedOutput, ReplaceSwapsExistingFileOnlyOnCommit)
{
    test::Sandbox box;
    writeFile(box.file("a.bmp"), "old");
    {
        StagedOutput out(box.file("a.bmp"));
        ASSERT_TRUE(out.create(nullptr));
        writeFile(out.workPath(), "half");
        EXPECT_EQ(box.read("a.bmp"), QByteArray("old")); // untouched while the work runs
        EXPECT_EQ(out.commit(true, nullptr), StagedOutput::Commit::Done);
    }
    EXPECT_EQ(box.read("a.bmp"), QByteArray("half"));
    EXPECT_EQ(folderEntries(box.path()).size(), 1);
}

TEST(StagedOutput, WithoutReplaceAnExistingFileWins)
{
    test::Sandbox box;
    StagedOutput out(box.file("a.png"));
    ASSERT_TRUE(out.create(nullptr));
    writeFile(out.workPath(), "mine");
    writeFile(box.file("a.png"), "appeared meanwhile");
    EXPECT_EQ(out.commit(false, nullptr), StagedOutput::Commit::TargetExists);
    EXPECT_EQ(box.read("a.png"), QByteArray("appeared meanwhile"));
}

TEST(StagedOutput, AbandonedWorkFileIsRemoved)
{
    test::Sandbox box;
    writeFile(box.file("keep.tif"), "old");
    {
        StagedOutput out(box.file("keep.tif"));
        ASSERT_TRUE(out.create(nullptr));
        writeFile(out.workPath(), "partial");
    }
    EXPECT_EQ(folderEntries(box.path()), QStringList{QStringLiteral("keep.tif")});
    EXPECT_EQ(box.read("keep.tif"), QByteArray("old"));
}

TEST(StagedOutput, MissingFolderIsReported)
{
    test::Sandbox box;
    StagedOutput out(box.file("gone/a.gif"));
    QString error;
    EXPECT_FALSE(out.create(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(out.commit(true, &error), StagedOutput::Commit::Failed);
}

TEST(SizeText, KilobytesRoundHalvesToEven)
{
    const struct {
        std::int64_t bytes;
        std::int64_t kb;
    } rows[] = {{0, 0}, {511, 0}, {512, 0}, {513, 1}, {1536, 2}, {2560, 2}, {3584, 4},
                {std::int64_t(40) << 30, std::int64_t(40) << 20}};
    for (const auto &row : rows)
        EXPECT_EQ(kilobytes(row.bytes), row.kb) << row.bytes;
    EXPECT_EQ(kilobyteText(1536, false), QStringLiteral("2 KB"));
    EXPECT_EQ(kilobyteText(61440, true), QStringLiteral("60 Kb"));
    // Far past what a 16-bit count could hold.
    EXPECT_EQ(kilobyteText(std::int64_t(50) << 20, false), QStringLiteral("51200 KB"));
}

TEST(BatchOutputName, DestinationGenericNamePositionExtension)
{
    EXPECT_EQ(batchOutputPath("/out", "holiday", 3, "jpg"), QStringLiteral("/out/holiday3.jpg"));
    EXPECT_EQ(batchOutputPath("/", "holiday", 3, "jpg"), QStringLiteral("/holiday3.jpg"));
    EXPECT_EQ(batchOutputPath("/out", "", 12, "gif"), QStringLiteral("/out/12.gif"));
    EXPECT_EQ(batchOutputPath("/out", " sp ", 40000, "pcx"), QStringLiteral("/out/ sp 40000.pcx"));
}

#include "engine/conversion/BatchOutputName.h"
#include "platform/SizeText.h"
#include "engine/conversion/StagedOutput.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

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

// What a killed run leaves behind goes at the next run; work files of a run
// under way and everything else stay.
TEST(StagedOutput, WorkFilesOfEndedRunsAreRemovedAndNothingElse)
{
    test::Sandbox box;
    // The id of a process that has ended, as a killed run's would be.
    QProcess ended;
    ended.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    ASSERT_TRUE(ended.waitForFinished());
    const QString deadPid = QString::fromLatin1(ended.readAllStandardOutput()).trimmed();
    ASSERT_FALSE(deadPid.isEmpty());
    const QString alivePid = QString::number(QCoreApplication::applicationPid());
    const QStringList stale = {".Sample3.png.part-" + deadPid + "-19c84c",
                               ".Sample3.png.part-" + deadPid + "-19c84c.AbC123",
                               ".pictrove.part-" + deadPid + "-a"};
    const QStringList kept = {".Sample4.png.part-" + alivePid + "-19c84c", // under way
                              ".Sample5.png.part-19c84c", // not of this pattern
                              "Sample6.png.part-" + deadPid + "-1",   // not hidden
                              ".notes.part-" + deadPid + "-xyz",      // not hex
                              "Sample1.png"};
    for (const QString &name : stale + kept)
        ASSERT_TRUE(box.write(name, "x"));
    QDir(box.path()).mkdir(".dir.part-" + deadPid + "-1");
    EXPECT_EQ(removeStaleWorkFiles(box.path()), 3);
    for (const QString &name : stale)
        EXPECT_FALSE(QFileInfo::exists(box.file(name))) << name.toStdString();
    for (const QString &name : kept)
        EXPECT_TRUE(QFileInfo::exists(box.file(name))) << name.toStdString();
    EXPECT_TRUE(QFileInfo(box.file(".dir.part-" + deadPid + "-1")).isDir());

    // A new work file carries this process's id.
    StagedOutput staged(box.file("new.png"));
    QString error;
    ASSERT_TRUE(staged.create(&error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(staged.workPath()).fileName().startsWith(".new.png.part-" + alivePid + "-"));
    EXPECT_EQ(removeStaleWorkFiles(box.path()), 0);
    EXPECT_TRUE(QFileInfo::exists(staged.workPath()));
}

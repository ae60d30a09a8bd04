// The one batch run behind the window's "Save All ...", pictrove-convert and
// the benchmark: names, numbers, the overwrite rule, the protection of the
// batch's own pictures, stopping, and several workers in entry order.
#include "decoding/CancelToken.h"
#include "decoding/DecoderSandbox.h"
#include "engine/conversion/BatchRun.h"
#include "tools/convert/ConvertRun.h"
#include "workflow/options/OutputSettingsController.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <mutex>
#include <ostream>
#include <thread>

using namespace pictrove;

namespace {

// A job over sandbox pictures, converted with a catalogue row.
struct Batch {
    test::Sandbox box;
    BatchJob job;
    std::vector<std::pair<std::size_t, FileResult>> results;

    explicit Batch(int row = 12)
    {
        OutputSettingsController options;
        options.reencodeJpeg = [&options](int q) { options.settings.JpegQuality = q; };
        options.fillOptionLists(60);
        options.selectFormat(row);
        job.options = options.encodingOptions();
        job.jpeg = row >= 15 && row <= 20;
        QDir(box.path()).mkdir(QStringLiteral("out"));
        job.destination = box.file(QStringLiteral("out"));
        job.genericName = QStringLiteral("pic");
    }
    void addPicture(const QString &name, QSize size = {24, 16})
    {
        test::makeTestPicture(size.width(), size.height()).save(box.file(name));
        job.entries.push_back({box.file(name), {}});
    }
    BatchSummary run(BatchCallbacks callbacks = {})
    {
        std::mutex m;
        callbacks.finished = [&, also = callbacks.finished](std::size_t i, const FileResult &r) {
            {
                const std::lock_guard lock(m);
                results.emplace_back(i, r);
            }
            if (also)
                also(i, r);
        };
        return runBatch(job, callbacks);
    }
    QStringList written() const
    {
        return QDir(job.destination).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
};

TEST(BatchRun, NamesJoinOnceAndEntriesThatFailedTakeNoNumber)
{
    BatchJob job;
    job.entries = {{"/a.png", {}}, {"/list.ripl", "cannot read"}, {"/b.png", {}}};
    job.destination = QStringLiteral("/");
    EXPECT_EQ(batchTargets(job, QStringLiteral("gif")),
              (std::vector<QString>{"/1.gif", QString(), "/2.gif"}));
    job.destination = QStringLiteral("/out");
    job.genericName = QStringLiteral(" holiday ");
    EXPECT_EQ(batchTargets(job, QStringLiteral("jpg")).back(), QStringLiteral("/out/ holiday 2.jpg"));
}

TEST(BatchRun, AFailingSourceKeepsTheLaterNumbers)
{
    Batch b;
    b.addPicture("a.png");
    ASSERT_TRUE(b.box.write("broken.png", "not a picture"));
    b.job.entries.push_back({b.box.file("broken.png"), {}});
    b.addPicture("c.png");
    b.addPicture("d.png");
    const BatchSummary s = b.run();
    EXPECT_EQ(s.written, 3);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(b.written(), (QStringList{"pic1.bmp", "pic3.bmp", "pic4.bmp"}));
    ASSERT_EQ(b.results.size(), 4u);
    EXPECT_EQ(b.results[1].second.status, FileStatus::Failed);
    EXPECT_EQ(b.results[1].second.path, b.box.file("broken.png"));
}

TEST(BatchRun, OverwriteOffKeepsExistingFilesOnReplacesThemWhole)
{
    Batch b;
    b.addPicture("a.png");
    b.addPicture("b.png");
    ASSERT_TRUE(b.box.write("out/pic1.bmp", "the user's own file"));
    BatchSummary s = b.run();
    EXPECT_EQ(s.written, 1);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(b.box.read("out/pic1.bmp"), QByteArray("the user's own file"));
    b.job.overwrite = true;
    s = b.run();
    EXPECT_EQ(s.written, 2);
    EXPECT_TRUE(b.box.read("out/pic1.bmp").startsWith("BM"));
    EXPECT_EQ(b.written(), (QStringList{"pic1.bmp", "pic2.bmp"})); // no work file left
}

TEST(BatchRun, APictureOfTheBatchIsNeverWrittenOver)
{
    // The destination is the pictures' own folder and the generic name
    // makes the second output the third picture's name.
    Batch b;
    b.job.destination = b.box.path();
    b.job.genericName = QStringLiteral("p");
    b.job.overwrite = true;
    for (const char *name : {"x.png", "y.png", "p2.bmp"})
        b.addPicture(name);
    const QByteArray third = b.box.read("p2.bmp");
    const BatchSummary s = b.run();
    EXPECT_EQ(s.written, 2);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(b.box.read("p2.bmp"), third);
    EXPECT_EQ(b.results[1].second.status, FileStatus::Skipped);
    EXPECT_TRUE(b.results[1].second.reason.contains(QStringLiteral("being converted")));
    EXPECT_TRUE(QFile::exists(b.box.file("p3.bmp")));
}

TEST(BatchRun, AStopDuringTheThirdOfFiveFinishesItAndStartsNoMore)
{
    for (int workers : {1, 2}) {
        SCOPED_TRACE(workers);
        Batch b;
        b.job.workers = workers;
        for (int i = 0; i < 5; ++i)
            b.addPicture(QStringLiteral("%1.png").arg(i));
        std::atomic<bool> stop{false};
        BatchCallbacks c;
        c.stopRequested = [&] { return stop.load(); };
        c.starting = [&](std::size_t index) {
            if (index == 2)
                stop = true; // clicked while the third is converted
        };
        const BatchSummary s = b.run(c);
        EXPECT_EQ(s.written + s.notStarted, 5);
        EXPECT_EQ(s.written, 3);
        EXPECT_EQ(s.notStarted, 2);
        EXPECT_EQ(b.written(), (QStringList{"pic1.bmp", "pic2.bmp", "pic3.bmp"}));
    }
}

// A stop that comes while a picture is still being read ends that read at
// once: the picture is not converted, and the run does not wait for the
// decoder's time limit.
TEST(BatchRun, ACancelEndsTheDecodeUnderWayAndCountsItsEntryAsNotConverted)
{
    SandboxOptions slow;
    slow.baseTimeLimit = std::chrono::seconds(20); // only the cancel ends the looping decode soon
    DecoderSandbox::shared().setOptions(slow);
    for (bool readAhead : {true, false}) {
        SCOPED_TRACE(readAhead);
        Batch b;
        b.job.readAhead = readAhead;
        b.addPicture("a.png");
        ASSERT_TRUE(b.box.write("loops.png", test::loopingPngBytes()));
        b.job.entries.push_back({b.box.file("loops.png"), {}});
        b.addPicture("c.png");
        CancelToken token;
        std::atomic<bool> stop{false};
        std::thread clicker;
        BatchCallbacks c;
        c.cancel = &token;
        c.stopRequested = [&] { return stop.load(); };
        c.starting = [&](std::size_t index) {
            if (index == 1)
                clicker = std::thread([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    stop = true;
                    token.cancel();
                });
        };
        QElapsedTimer clock;
        clock.start();
        const BatchSummary s = b.run(c);
        if (clicker.joinable())
            clicker.join();
        EXPECT_LT(clock.elapsed(), 10000); // the looping decode had 20 s
        EXPECT_EQ(s.written, 1);
        EXPECT_EQ(s.failed, 0);
        EXPECT_EQ(s.notStarted, 2);
        EXPECT_EQ(b.written(), QStringList{"pic1.bmp"});
        ASSERT_EQ(b.results.size(), 1u);
    }
    DecoderSandbox::shared().setOptions(SandboxOptions{});
}

TEST(BatchRun, SeveralWorkersWriteTheSameFilesAndReportInEntryOrder)
{
    for (int row : {7, 13, 17, 21}) {
        SCOPED_TRACE(row);
        Batch one(row), two(row);
        for (Batch *b : {&one, &two})
            for (int i = 0; i < 7; ++i)
                b->addPicture(QStringLiteral("%1.png").arg(i), QSize(40 + i * 9, 30));
        two.job.workers = 2;
        EXPECT_EQ(one.run().written, 7);
        EXPECT_EQ(two.run().written, 7);
        ASSERT_EQ(one.written(), two.written());
        for (const QString &name : one.written())
            EXPECT_EQ(one.box.read("out/" + name), two.box.read("out/" + name)) << name.toStdString();
        for (std::size_t i = 0; i < two.results.size(); ++i)
            EXPECT_EQ(two.results[i].first, i);
    }
}

// Every scenario gives the same counts and the same results in the same
// order, whether one worker converts (reading ahead or not) or three do.
struct Workers {
    int workers;
    bool readAhead;
};

void PrintTo(const Workers &w, std::ostream *os)
{
    *os << w.workers << (w.readAhead ? " reading ahead" : "");
}

// Each result as "index status file-name", in the order reported.
std::vector<std::string> outline(const Batch &b)
{
    std::vector<std::string> lines;
    for (const auto &[index, result] : b.results) {
        const char *status = result.status == FileStatus::Written ? "written"
            : result.status == FileStatus::Skipped                 ? "skipped"
                                                                    : "failed";
        lines.push_back(std::to_string(index) + ' ' + status + ' '
                        + QFileInfo(result.path).fileName().toStdString());
    }
    return lines;
}

void expectSummary(const BatchSummary &s, std::int64_t written, std::int64_t skipped,
                   std::int64_t failed, std::int64_t notStarted)
{
    EXPECT_EQ(s.written, written);
    EXPECT_EQ(s.skipped, skipped);
    EXPECT_EQ(s.failed, failed);
    EXPECT_EQ(s.notStarted, notStarted);
}

class BatchRunWorkers : public ::testing::TestWithParam<Workers> {
protected:
    void SetUp() override { configure(b); }
    static void configure(Batch &batch)
    {
        batch.job.workers = GetParam().workers;
        batch.job.readAhead = GetParam().readAhead;
    }
    Batch b;
};

// The id of a process that has ended, as a killed run's would be.
QString endedProcessId()
{
    QProcess ended;
    ended.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    ended.waitForFinished();
    return QString::fromLatin1(ended.readAllStandardOutput()).trimmed();
}

TEST_P(BatchRunWorkers, EveryKindOfEntryEndsTheSameAndInEntryOrder)
{
    for (LoaderMode mode : {LoaderMode::Sandboxed, LoaderMode::InProcess}) {
        SCOPED_TRACE(mode == LoaderMode::Sandboxed ? "decoder process" : "in process");
        setLoaderMode(mode);
        // The pictures' own folder is the destination: the fourth output
        // name is the fourth picture's own.
        Batch mixed;
        configure(mixed);
        mixed.job.destination = mixed.box.path();
        mixed.job.genericName = QStringLiteral("p");
        mixed.addPicture("a.png", {20, 11});
        mixed.job.entries.push_back({mixed.box.file("list.ripl"), QStringLiteral("cannot read")});
        ASSERT_TRUE(mixed.box.write("broken.png", "not a picture"));
        mixed.job.entries.push_back({mixed.box.file("broken.png"), {}});
        mixed.addPicture("b.png");
        mixed.addPicture("p4.bmp");
        for (int i = 0; i < 3; ++i)
            mixed.addPicture(QStringLiteral("%1.png").arg(i), QSize(21 + i, 12 + i));
        ASSERT_TRUE(mixed.box.write("p3.bmp", "the user's own file"));
        const QByteArray ownPicture = mixed.box.read("p4.bmp");
        const QString deadPid = endedProcessId();
        ASSERT_FALSE(deadPid.isEmpty());
        const QString stale = ".p9.bmp.part-" + deadPid + "-1a";
        ASSERT_TRUE(mixed.box.write(stale, "left by a killed run"));
        std::mutex m;
        std::vector<std::size_t> started;
        BatchCallbacks c;
        c.starting = [&](std::size_t index) {
            const std::lock_guard lock(m);
            started.push_back(index);
        };
        c.finished = [&](std::size_t index, const FileResult &) {
            const std::lock_guard lock(m);
            EXPECT_NE(std::find(started.begin(), started.end(), index), started.end())
                << "finished before starting: " << index;
        };

        expectSummary(mixed.run(c), 4, 2, 2, 0);
        EXPECT_EQ(outline(mixed), (std::vector<std::string>{
                                 "0 written p1.bmp", "1 failed list.ripl", "2 failed broken.png",
                                 "3 skipped p3.bmp", "4 skipped p4.bmp", "5 written p5.bmp",
                                 "6 written p6.bmp", "7 written p7.bmp"}));
        std::sort(started.begin(), started.end());
        EXPECT_EQ(started, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7}));
        EXPECT_EQ(mixed.box.read("p3.bmp"), QByteArray("the user's own file"));
        EXPECT_EQ(mixed.box.read("p4.bmp"), ownPicture);
        EXPECT_FALSE(QFileInfo::exists(mixed.box.file(stale)));
        // Each picture under its own name, whichever worker wrote it.
        EXPECT_EQ(QImage(mixed.box.file("p1.bmp")).size(), QSize(20, 11));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(QImage(mixed.box.file(QStringLiteral("p%1.bmp").arg(5 + i))).size(),
                      QSize(21 + i, 12 + i));
    }
    setLoaderMode(LoaderMode::Sandboxed);
}

TEST_P(BatchRunWorkers, AStopEndsTheRunAfterTheFilesTakenAndCountsTheRest)
{
    for (int i = 0; i < 6; ++i)
        b.addPicture(QStringLiteral("%1.png").arg(i));
    std::atomic<bool> stop{false};
    BatchCallbacks c;
    c.stopRequested = [&] { return stop.load(); };
    c.starting = [&](std::size_t index) {
        if (index == 2)
            stop = true; // clicked while the third is converted
    };
    expectSummary(b.run(c), 3, 0, 0, 3);
    EXPECT_EQ(outline(b),
              (std::vector<std::string>{"0 written pic1.bmp", "1 written pic2.bmp", "2 written pic3.bmp"}));
    EXPECT_EQ(b.written(), (QStringList{"pic1.bmp", "pic2.bmp", "pic3.bmp"}));

    // Asked before the first file: nothing is started at all.
    b.results.clear();
    bool anyStarted = false;
    c.starting = [&](std::size_t) { anyStarted = true; };
    b.job.overwrite = true;
    expectSummary(b.run(c), 0, 0, 0, 6);
    EXPECT_FALSE(anyStarted);
    EXPECT_TRUE(b.results.empty());
}

// The picture still being read when the run is cancelled is not converted
// and counts as not started; those read before it are written whole.
TEST_P(BatchRunWorkers, ACancelDuringASlowDecodeLeavesOnlyThatEntry)
{
    SandboxOptions slow;
    slow.baseTimeLimit = std::chrono::seconds(20); // only the cancel ends the looping decode soon
    DecoderSandbox::shared().setOptions(slow);
    b.addPicture("a.png");
    b.addPicture("b.png");
    ASSERT_TRUE(b.box.write("loops.png", test::loopingPngBytes()));
    b.job.entries.push_back({b.box.file("loops.png"), {}});
    CancelToken token;
    std::atomic<bool> stop{false};
    // Clicked once the first two are reported and the third is being read,
    // however the workers shared them out.
    std::atomic<int> ready{0};
    std::thread clicker;
    const auto clickWhenReady = [&] {
        if (++ready == 2)
            clicker = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                stop = true;
                token.cancel();
            });
    };
    BatchCallbacks c;
    c.cancel = &token;
    c.stopRequested = [&] { return stop.load(); };
    c.starting = [&](std::size_t index) {
        if (index == 2)
            clickWhenReady();
    };
    c.finished = [&](std::size_t index, const FileResult &) {
        if (index == 1)
            clickWhenReady();
    };
    const BatchSummary s = b.run(c);
    if (clicker.joinable())
        clicker.join();
    DecoderSandbox::shared().setOptions(SandboxOptions{});
    // Ended by its time limit, the looping file would have counted as failed.
    expectSummary(s, 2, 0, 0, 1);
    EXPECT_EQ(outline(b), (std::vector<std::string>{"0 written pic1.bmp", "1 written pic2.bmp"}));
    EXPECT_EQ(b.written(), (QStringList{"pic1.bmp", "pic2.bmp"}));
}

INSTANTIATE_TEST_SUITE_P(OneAndThree, BatchRunWorkers,
                         ::testing::Values(Workers{1, true}, Workers{1, false}, Workers{3, true},
                                           Workers{3, false}),
                         [](const ::testing::TestParamInfo<Workers> &info) {
                             return std::to_string(info.param.workers) + "Workers"
                                 + (info.param.readAhead ? "ReadingAhead" : "");
                         });

// A lone worker reads the next picture while it converts one; when that next
// entry turns out to be kept (its output appeared meanwhile), the picture
// read ahead is never written under another entry's name.
TEST(BatchRun, AnEntryDecidedAfterItWasReadAheadGivesWayToTheNext)
{
    for (bool readAhead : {true, false}) {
        SCOPED_TRACE(readAhead);
        Batch b;
        b.job.readAhead = readAhead;
        for (int i = 0; i < 4; ++i)
            b.addPicture(QStringLiteral("%1.png").arg(i), QSize(30 + i, 20 + i));
        BatchCallbacks c;
        c.finished = [&](std::size_t index, const FileResult &) {
            if (index == 0) {
                EXPECT_TRUE(b.box.write("out/pic2.bmp", "written meanwhile"));
            }
        };
        const BatchSummary s = b.run(c);
        EXPECT_EQ(s.written, 3);
        EXPECT_EQ(s.skipped, 1);
        EXPECT_EQ(b.box.read("out/pic2.bmp"), QByteArray("written meanwhile"));
        EXPECT_EQ(QImage(b.box.file("out/pic1.bmp")).size(), QSize(30, 20));
        EXPECT_EQ(QImage(b.box.file("out/pic3.bmp")).size(), QSize(32, 22));
        EXPECT_EQ(QImage(b.box.file("out/pic4.bmp")).size(), QSize(33, 23));
    }
}

} // namespace

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
#include <QImage>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
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
        callbacks.finished = [&](std::size_t i, const FileResult &r) {
            const std::lock_guard lock(m);
            results.emplace_back(i, r);
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

} // namespace

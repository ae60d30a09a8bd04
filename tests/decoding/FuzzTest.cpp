// Mutants of every fixture through the real loading path: each must end as a
// picture or a clean failure within its time limit, and this process lives on.
#include "LoaderFixtures.h"
#include "Mutants.h"

#include "decoding/DecoderSandbox.h"
#include "decoding/PictureLoader.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace pictrove {
namespace {

using namespace std::chrono_literals;

constexpr int mutantsPerFixture = 200;
// How often a mutant that crashed a decoder is loaded in all.
constexpr int crasherRuns = 5;
constexpr int hangsRerunPerFixture = 2;

// What a load came to, to compare one run of a file with the next.
struct Outcome {
    bool ok = false;
    QString error;
    QImage image;
};

Outcome outcomeOf(const LoadResult &r)
{
    return {r.ok, r.error, r.image};
}

// A mutant that crashed or hung a decoder, kept to be run again.
struct Troublemaker {
    QString name;
    QByteArray bytes;
    LoaderTable table;
    bool hung;
    Outcome first;
};

TEST(Fuzz, EveryMutantEndsAsALoadOrACleanFailureInTimeAndAlwaysTheSame)
{
    setLoaderMode(LoaderMode::Sandboxed);
    DecoderSandbox &sandbox = DecoderSandbox::shared();
    SandboxOptions options;
    // Hangs cost the full limit, so keep it short; the fixtures decode in
    // milliseconds. Headers made huge are refused well below the real limit.
    options.baseTimeLimit = 500ms;
    options.timePerMegapixel = 50ms;
    options.maxPixels = std::int64_t(1) << 22;
    sandbox.setOptions(options);
    const auto startStats = sandbox.stats();

    auto fixtures = test::loaderFixtures();
    for (const auto &f : test::crashingShapes())
        fixtures.push_back(f);

    test::Sandbox box;
    std::vector<Troublemaker> troublemakers;
    std::printf("%-34s %7s %7s %7s %7s %7s\n", "fixture", "loaded", "failed", "crashes", "hangs", "ms");
    for (const test::LoaderFixture &fixture : fixtures) {
        std::mt19937 random(20261208u ^ quint32(qHash(fixture.name)));
        const auto before = sandbox.stats();
        int loaded = 0, failed = 0, hangsKept = 0;
        QElapsedTimer fixtureClock;
        fixtureClock.start();
        const QString path = box.file(fixture.name);
        for (int i = 0; i < mutantsPerFixture; ++i) {
            const QByteArray mutant = test::mutate(fixture.bytes, random);
            ASSERT_TRUE(box.write(fixture.name, mutant));
            const LoaderTable table = i % 2 ? LoaderTable::Batch : LoaderTable::Preview;
            const auto statsBefore = sandbox.stats();
            QElapsedTimer clock;
            clock.start();
            const LoadResult r = loadPicture(path, table);
            // The time limit covers every route; starting a fresh decoder
            // after an earlier hang may add to it.
            const auto limit = test::timeLimitOf(sandbox, path) + 1000ms;
            EXPECT_LT(clock.elapsed(), limit.count()) << fixture.name.toStdString() << " mutant " << i;
            if (r.ok) {
                ++loaded;
                EXPECT_FALSE(r.image.isNull());
            } else {
                ++failed;
                EXPECT_TRUE(r.image.isNull());
                EXPECT_FALSE(r.error.isEmpty());
            }
            const auto statsAfter = sandbox.stats();
            const bool hung = statsAfter.timedOut != statsBefore.timedOut;
            if ((hung && ++hangsKept <= hangsRerunPerFixture) || statsAfter.crashed != statsBefore.crashed)
                troublemakers.push_back({fixture.name, mutant, table, hung, outcomeOf(r)});
        }
        const auto after = sandbox.stats();
        std::printf("%-34s %7d %7d %7d %7d %7lld\n", qPrintable(fixture.name), loaded, failed,
                    after.crashed - before.crashed, after.timedOut - before.timedOut,
                    fixtureClock.elapsed());
    }

    // A crash once depended on what earlier files had left in the decoder's
    // memory: the same file was written in one run and failed in the next.
    // Crashers run again, out of their first order and each round in a new
    // decoder process; a hang costs its whole limit, so a few hangs of each
    // fixture run once more.
    int reruns = 0;
    for (int round = 0; round < crasherRuns - 1; ++round) {
        sandbox.setOptions(options);
        for (std::size_t k = 0; k < troublemakers.size(); ++k) {
            const Troublemaker &t = troublemakers[(k * 7 + std::size_t(round)) % troublemakers.size()];
            if (t.hung && round > 0)
                continue;
            ASSERT_TRUE(box.write(t.name, t.bytes));
            const Outcome again = outcomeOf(loadPicture(box.file(t.name), t.table));
            ++reruns;
            // A slow decode that ran out of time on a busy machine may end in
            // time on a quieter one; then it ends as any load does.
            if (t.hung && (again.ok || again.error != t.first.error)) {
                EXPECT_EQ(again.ok, !again.image.isNull()) << t.name.toStdString();
                EXPECT_EQ(again.ok, again.error.isEmpty()) << t.name.toStdString();
                continue;
            }
            EXPECT_EQ(again.ok, t.first.ok) << t.name.toStdString() << " run " << round + 2;
            EXPECT_EQ(again.error.toStdString(), t.first.error.toStdString()) << t.name.toStdString();
            EXPECT_TRUE(again.image == t.first.image) << t.name.toStdString();
        }
    }
    const auto end = sandbox.stats();
    std::printf("decoders started %d, crashes %d, hangs %d; %zu troublemakers run %d more times\n",
                end.started - startStats.started, end.crashed - startStats.crashed,
                end.timedOut - startStats.timedOut, troublemakers.size(), reruns);
    sandbox.setOptions({});
}

} // namespace
} // namespace pictrove

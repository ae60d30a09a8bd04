#include "ProcessRun.h"

#include <gtest/gtest.h>

using namespace pictrove::bench;

namespace {

TEST(ProcessRun, CountsTheCpuOfEveryDescendantItWaitedFor)
{
    // The busy work happens two processes down, in date's many runs.
    const ProcessRun busy = runProcess(
        {QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("sh -c 'end=$(($(date +%s%N) + 300000000)); "
                        "while [ $(date +%s%N) -lt $end ]; do :; done'; true")});
    ASSERT_TRUE(busy.ok);
    EXPECT_GE(busy.wallSeconds, 0.3);
    EXPECT_GT(busy.cpuSeconds, 0.05);

    const ProcessRun idle = runProcess({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("sleep 0.3; true")});
    ASSERT_TRUE(idle.ok);
    EXPECT_GE(idle.wallSeconds, 0.3);
    EXPECT_LT(idle.cpuSeconds, idle.wallSeconds / 2);
}

TEST(ProcessRun, TellsAFailureFromAProgramThatIsMissing)
{
    const ProcessRun failed = runProcess({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("exit 3")});
    EXPECT_TRUE(failed.started);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.exitCode, 3);

    const ProcessRun missing = runProcess({QStringLiteral("/nonexistent/pictrove-no-such-tool")});
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(runProcess({}).started);
}

TEST(ProcessRun, WatchedRunSeesTheMemoryOfADescendantApartFromItsOwn)
{
    const long size = 96 * 1024; // KiB
    const WatchedRun w = runWatchingMemory(
        {QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("perl -e '$x = \"a\" x (96 << 20); select(undef, undef, undef, 0.3)'; true")});
    ASSERT_TRUE(w.run.ok);
    EXPECT_GE(w.descendants, 1);
    EXPECT_GE(w.descendantsPeakKiB, size);
    EXPECT_LT(w.ownPeakKiB, size / 4);
    EXPECT_EQ(w.totalPeakKiB(), w.ownPeakKiB + w.descendantsPeakKiB);
}

// Shared memory a descendant holds is told apart, so that a picture the
// converter maps as well can be counted once.
TEST(ProcessRun, WatchedRunTellsADescendantsSharedMemoryApart)
{
    const long size = 96 * 1024; // KiB
    const WatchedRun w = runWatchingMemory(
        {QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("python3 -c 'import mmap, time; m = mmap.mmap(-1, 96 << 20); "
                        "m.write(b\"a\" * (96 << 20)); time.sleep(0.3)'; true")});
    ASSERT_TRUE(w.run.ok);
    EXPECT_GE(w.descendantsSharedKiB, size);
    EXPECT_LE(w.descendantsSharedKiB, w.descendantsPeakKiB);
    EXPECT_EQ(w.sharedOncePeakKiB(), w.totalPeakKiB() - w.descendantsSharedKiB);
    // The private bytes python3 wrote from are not shared.
    EXPECT_GT(w.sharedOncePeakKiB(), w.ownPeakKiB);
}

TEST(ProcessRun, WatchedRunKeepsAPeakReachedJustBeforeTheExit)
{
    // Too short-lived for the polling: the figure wait4 gives must stand.
    const WatchedRun w = runWatchingMemory({QStringLiteral("perl"), QStringLiteral("-e"),
                                            QStringLiteral("$x = 'a' x (96 << 20); exit 0")},
                                           500000);
    ASSERT_TRUE(w.run.ok);
    EXPECT_GE(w.ownPeakKiB, 96 * 1024);
    EXPECT_EQ(w.descendants, 0);
}

TEST(ProcessRun, MedianOfRounds)
{
    EXPECT_EQ(median({}), 0);
    EXPECT_EQ(median({4.0}), 4.0);
    EXPECT_EQ(median({9.0, 1.0, 5.0}), 5.0);
    EXPECT_EQ(median({9.0, 1.0, 5.0, 3.0}), 4.0);
}

} // namespace

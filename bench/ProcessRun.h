#pragma once

// Other programs run to their end, measured as a user's shell would see
// them: wall time, and the CPU time and memory of the whole process tree
// (decoder processes, pipelines and GNU parallel's jobs included).
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <vector>

namespace pictrove::bench {

struct ProcessRun {
    bool started = false;
    bool ok = false;     // exited with status 0
    int exitCode = -1;   // -1 when killed by a signal or never started
    double wallSeconds = 0;
    double cpuSeconds = 0; // user + system of the process and every descendant it waited for
    long maxRssKiB = 0;    // wait4's: the largest of the process and its waited-for descendants,
                           // and never below this process's own high-water mark at the spawn
};

// Runs argv (argv[0] looked up in PATH) with standard input, output and
// error on /dev/null, and waits for it.
ProcessRun runProcess(const QStringList &argv);

// A run watched every few milliseconds for its memory: the process's own
// high-water mark and those of every descendant seen meanwhile.
struct WatchedRun {
    ProcessRun run;
    long ownPeakKiB = 0;
    long descendantsPeakKiB = 0; // summed over the descendants, which may live at once
    // Of those peaks, the most shared memory each descendant held (a
    // decoder's picture, which the converter maps too and counts already).
    long descendantsSharedKiB = 0;
    int descendants = 0;
    long totalPeakKiB() const { return ownPeakKiB + descendantsPeakKiB; }
    // The same with the descendants' shared memory counted once, in the
    // process that maps it too: what the machine held.
    long sharedOncePeakKiB() const { return totalPeakKiB() - descendantsSharedKiB; }
};

WatchedRun runWatchingMemory(const QStringList &argv, int pollMicroseconds = 2000);

// The process ids a process has started and not yet waited for, from every
// one of its threads.
std::vector<pid_t> childrenOf(pid_t pid);

// A process's resident high-water mark (VmHWM), or 0 when it is gone.
long highWaterKiB(pid_t pid);

// Its high-water mark and the shared memory it holds now (RssShmem).
struct Resident {
    long highWaterKiB = 0;
    long sharedKiB = 0;
};
Resident residentOf(pid_t pid);

// The middle value (the mean of the two middle ones for an even count); 0
// for none.
double median(std::vector<double> values);

} // namespace pictrove::bench

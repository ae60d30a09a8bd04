#include "ProcessRun.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

extern char **environ;

namespace pictrove::bench {

namespace {

double seconds(const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

// posix_spawn's attributes and file actions, released whatever happens.
struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions &) = delete;
    SpawnActions &operator=(const SpawnActions &) = delete;
};

pid_t spawn(const QStringList &argv)
{
    if (argv.isEmpty())
        return -1;
    std::vector<QByteArray> storage;
    for (const QString &a : argv)
        storage.push_back(QFile::encodeName(a));
    std::vector<char *> pointers;
    for (QByteArray &a : storage)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    SpawnActions spawnActions;
    posix_spawn_file_actions_addopen(&spawnActions.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&spawnActions.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&spawnActions.actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    if (posix_spawnp(&child, pointers.front(), &spawnActions.actions, nullptr, pointers.data(), environ) != 0)
        return -1;
    return child;
}

void finish(ProcessRun &run, int status, const rusage &usage, const QElapsedTimer &timer)
{
    run.wallSeconds = double(timer.nsecsElapsed()) / 1e9;
    // wait4 reports the child together with the descendants it waited for.
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.maxRssKiB = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.ok = run.exitCode == 0;
}

} // namespace

ProcessRun runProcess(const QStringList &argv)
{
    ProcessRun run;
    QElapsedTimer timer;
    timer.start();
    const pid_t child = spawn(argv);
    if (child < 0)
        return run;
    run.started = true;
    int status = 0;
    rusage usage{};
    pid_t ended;
    do
        ended = ::wait4(child, &status, 0, &usage);
    while (ended < 0 && errno == EINTR);
    if (ended == child)
        finish(run, status, usage, timer);
    return run;
}

std::vector<pid_t> childrenOf(pid_t pid)
{
    std::vector<pid_t> children;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks + u'/' + task + QStringLiteral("/children"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &word : file.readAll().simplified().split(' ')) {
            bool ok = false;
            const pid_t id = word.toInt(&ok);
            if (ok && std::find(children.begin(), children.end(), id) == children.end())
                children.push_back(id);
        }
    }
    return children;
}

Resident residentOf(pid_t pid)
{
    Resident r;
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return r;
    const auto kib = [](const QByteArray &line, qsizetype name) {
        return line.mid(name).trimmed().split(' ').first().toLong();
    };
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            r.highWaterKiB = kib(line, 6);
        else if (line.startsWith("RssShmem:"))
            r.sharedKiB = kib(line, 9);
    }
    return r;
}

long highWaterKiB(pid_t pid)
{
    return residentOf(pid).highWaterKiB;
}

WatchedRun runWatchingMemory(const QStringList &argv, int pollMicroseconds)
{
    WatchedRun watched;
    // A spawned child's maximum resident size starts at this process's
    // high-water mark: wait4's figure is only the child's when it is larger.
    const long inherited = highWaterKiB(::getpid());
    QElapsedTimer timer;
    timer.start();
    const pid_t child = spawn(argv);
    if (child < 0)
        return watched;
    watched.run.started = true;
    std::map<pid_t, Resident> descendants; // each one's peaks: resident, and shared
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t ended = ::wait4(child, &status, WNOHANG, &usage);
        if (ended == child)
            break;
        if (ended < 0 && errno != EINTR)
            return watched;
        watched.ownPeakKiB = std::max(watched.ownPeakKiB, highWaterKiB(child));
        std::vector<pid_t> pending = childrenOf(child);
        while (!pending.empty()) {
            const pid_t pid = pending.back();
            pending.pop_back();
            Resident &seen = descendants[pid];
            const Resident now = residentOf(pid);
            seen.highWaterKiB = std::max(seen.highWaterKiB, now.highWaterKiB);
            seen.sharedKiB = std::max(seen.sharedKiB, now.sharedKiB);
            const std::vector<pid_t> more = childrenOf(pid);
            pending.insert(pending.end(), more.begin(), more.end());
        }
        ::usleep(useconds_t(pollMicroseconds));
    }
    finish(watched.run, status, usage, timer);
    for (const auto &[pid, seen] : descendants) {
        watched.descendantsPeakKiB += seen.highWaterKiB;
        watched.descendantsSharedKiB += std::min(seen.highWaterKiB, seen.sharedKiB);
    }
    watched.descendants = int(descendants.size());
    // The last moments before the exit escape the polling. wait4's figure
    // is the process's own when it had no descendants and this process did
    // not come as high; with descendants it could be any one's.
    if (descendants.empty() && watched.run.maxRssKiB > inherited)
        watched.ownPeakKiB = std::max(watched.ownPeakKiB, watched.run.maxRssKiB);
    return watched;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace pictrove::bench

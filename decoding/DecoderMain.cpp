// pictrove-decoder: reads picture files for the program in a process of its
// own, so that a decoder library that crashes, loops or exhausts memory on a
// hostile file takes down only this helper. Serves requests on fd 3 until the
// program closes its end.
//
// The libraries crash on hostile files by reading memory they never wrote
// or following pointers they made up, so whether a file crashed depended on
// what earlier files had left in the heap and on where the system happened
// to place the heap and libraries: the same file was written in one run and
// failed in the next. So each file is decoded in a child forked from the
// idle server, which starts from the same untouched heap every time, with
// freshly allocated memory filled with one fixed byte; and the decoder runs
// with the address layout fixed, so every decoder process has the same one.
// The fixed layout is a trade: it gives up address randomisation, which
// makes an exploit of a library fault harder to write, for outcomes a user
// can rely on. Each decode child is therefore confined to reading: it cannot
// start programs, write or change files, or open sockets.
#include "platform/QuietStart.h"
#include "decoding/DecodeConfinement.h"
#include "decoding/DecoderProtocol.h"
#include "decoding/DeclaredSize.h"
#include "decoding/Decoders.h"
#include "decoding/PixelHandOver.h"
#include "metadata/ExifDirectories.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/personality.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <vector>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <thread>

extern char **environ;

namespace proto = pictrove::decoderprotocol;
using namespace pictrove;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool capAddressSpace = false; // the sanitizer reserves terabytes of shadow memory
#else
constexpr bool capAddressSpace = true;
#endif

// A few GiB hold several copies of the largest picture we accept; a decoder
// that wants more fails its allocation instead of swamping the machine. A
// crash leaves no core file behind: crashes on hostile files are expected.
void limitResources()
{
    const rlim_t cap = rlim_t(4) << 30;
    rlimit limit{};
    if (capAddressSpace && ::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur > cap) {
        limit.rlim_cur = cap;
        ::setrlimit(RLIMIT_AS, &limit);
    }
    limit = {0, 0};
    ::setrlimit(RLIMIT_CORE, &limit);
}

// The program kills a decode that overruns its time limit, but a program
// that is itself killed or crashes cannot: a library looping on a hostile
// file would then keep a processor busy for good. The program's end of the
// socket closing is the sign to stop, whatever the decode is doing. (A
// parent-death signal would not do: it follows the spawning thread, and the
// program starts decoders from short-lived threads.)
void endWithTheProgram(int fd)
{
    std::thread([fd] {
        pollfd watch{fd, POLLRDHUP, 0};
        for (;;) {
            const int ready = ::poll(&watch, 1, -1);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0)
                return;
            if (watch.revents != 0)
                ::_exit(0);
        }
    }).detach();
}

std::uint32_t peakKiB()
{
    rusage usage{};
    return ::getrusage(RUSAGE_SELF, &usage) == 0 ? std::uint32_t(usage.ru_maxrss) : 0;
}

ResizeSetting resizeOf(const proto::RequestHeader &request)
{
    ResizeSetting s;
    s.mode = ResizeMode(request.resizeMode);
    s.side = request.resizeSide;
    s.width = request.resizeWidth;
    s.height = request.resizeHeight;
    s.percent = request.resizePercent;
    s.neverEnlarge = request.resizeNeverEnlarge != 0;
    return boundedResize(s);
}

std::int64_t nanosecondsOf(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Where the child's time went, for the reply.
struct ChildClock {
    std::int64_t decodeWall = 0;
    std::int64_t decodeCpu = 0;
};

bool reply(const LoadResult &result, const ChildClock &clock = {})
{
    const std::int64_t handOverStart = nanosecondsOf(CLOCK_MONOTONIC);
    proto::ReplyHeader header;
    QString error = result.error;
    QByteArray warning, exif, xmp;
    handover::SharedPixels pixels;
    if (result.ok) {
        warning = result.warning.left(1000).toUtf8();
        // Blocks past the limits are not the picture's but a hostile file's.
        if (result.exif.size() <= qsizetype(proto::maxExifBytes))
            exif = result.exif;
        if (result.xmp.size() <= qsizetype(proto::maxXmpBytes))
            xmp = result.xmp;
        const bool alpha = result.image.hasAlphaChannel();
        const QImage image =
            result.image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        // Decoded straight into a memory file, the picture is handed over
        // as it lies; otherwise its rows are copied into one.
        pixels = handover::takeSharedPixelsOf(image);
        if (pixels.isNull()) {
            pixels = handover::sealedCopy(image);
            header.pixelsCopied = 1;
        }
        header.ok = pixels.isNull() ? 0 : 1;
        if (!header.ok)
            error = image.isNull() ? QStringLiteral("not enough memory for the picture")
                                   : QStringLiteral("not enough memory to hand the picture over");
        header.width = image.width();
        header.height = image.height();
        header.depth = result.depth;
        header.format = alpha ? proto::PixelFormat::Argb32 : proto::PixelFormat::Rgb32;
        if (result.fullSize.isValid()) {
            header.fullWidth = result.fullSize.width();
            header.fullHeight = result.fullSize.height();
        }
    }
    const QByteArray errorText = header.ok ? QByteArray() : error.left(1000).toUtf8();
    header.errorBytes = std::uint32_t(errorText.size());
    if (header.ok) {
        header.warningBytes = std::uint32_t(warning.size());
        header.exifBytes = std::uint32_t(exif.size());
        header.xmpBytes = std::uint32_t(xmp.size());
    }
    header.peakKiB = peakKiB();
    header.decodeWallNs = clock.decodeWall;
    header.decodeCpuNs = clock.decodeCpu;
    header.handOverNs = nanosecondsOf(CLOCK_MONOTONIC) - handOverStart;
    const int fd = proto::channelFd;
    const auto send = [fd](const QByteArray &bytes) {
        return proto::writeFully(fd, bytes.constData(), std::size_t(bytes.size()));
    };
    return proto::writeFully(fd, &header, sizeof header) && send(errorText)
        && (!header.ok
            || (send(warning) && send(exif) && send(xmp)
                && handover::sendDescriptor(fd, pixels.fd())));
}

// Fixed contents for every allocation a decode makes; see the top of the file.
constexpr int heapFill = 0xA5;

// The size the file's header declares, for the program's time limit. The
// header is read here, in the confined child, like every other byte of the
// file: a peek that crashes costs this child, not the program.
std::int64_t declaredPixelsOf(const QString &file, const QString &extension)
{
    if (!declaresSizeInHeader(extension))
        return proto::sizeNotInHeader;
    const auto declared = declaredSizeOf(file, extension);
    return declared ? declared->pixels() : proto::sizeUnreadable;
}

// Processor time the child has used so far, or -1 when the system will not say.
std::int64_t cpuNanoseconds(pid_t child)
{
    clockid_t clock{};
    timespec used{};
    if (::clock_getcpuclockid(child, &clock) == 0 && ::clock_gettime(clock, &used) == 0)
        return std::int64_t(used.tv_sec) * 1'000'000'000 + used.tv_nsec;
    return -1;
}

// Time the child's main thread has waited for a processor: a child that
// the machine is too busy to run is not stuck. 0 when the system will not
// say. Read without the C library's buffered files: what the server
// allocates stays in the heap that every later decode child starts from.
std::int64_t runQueueNanoseconds(pid_t child)
{
    char name[64];
    std::snprintf(name, sizeof name, "/proc/%d/schedstat", int(child));
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[128] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    unsigned long long running = 0, waiting = 0;
    return n > 0 && std::sscanf(text, "%llu %llu", &running, &waiting) == 2
        ? std::int64_t(waiting)
        : 0;
}

int openPidFd(pid_t child)
{
#if defined(SYS_pidfd_open)
    return int(::syscall(SYS_pidfd_open, child, 0));
#else
    (void)child;
    return -1;
#endif
}

// A decode child that spends a whole second without processor time, and
// without waiting for one, is not working: a library waiting on a lock it
// will never get, or on a pipe nobody writes to. It ends as a time-out
// then, instead of costing the seconds that the size it declares would allow.
constexpr std::chrono::milliseconds idleLimit{1000};
// Processor time below this over idleLimit counts as none: the clock ticks
// for the page faults of a process that is otherwise asleep.
constexpr std::int64_t idleCpuNanoseconds = 5'000'000;

enum class Waited { Exited, Stuck, Cancelled, ProgramGone };

// Waits for the child to end, while watching its processor time and the
// program's end of the socket, which may ask for the decode to end.
Waited waitForChild(pid_t child, int &status, const std::atomic<int> &replying)
{
    const int pidFd = openPidFd(child);
    using Clock = std::chrono::steady_clock;
    auto lastProgress = Clock::now();
    // Processor time used or waited for, since the child started.
    const auto activity = [child] {
        const std::int64_t cpu = cpuNanoseconds(child);
        return cpu < 0 ? cpu : cpu + runQueueNanoseconds(child);
    };
    std::int64_t lastCpu = activity();
    // The program sends nothing while a decode is under way but a cancel; a
    // request means it has the whole reply and the child is ending.
    bool watchProgram = true;
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child)
            break;
        if (ended < 0 && errno != EINTR) {
            status = 0;
            break;
        }
        pollfd watch[2] = {{watchProgram ? proto::channelFd : -1, POLLIN, 0}, {pidFd, POLLIN, 0}};
        // Without a process descriptor the end of the child is looked for
        // often; with one, the poll wakes for it.
        const int tick = pidFd >= 0 ? 100 : 5;
        const int ready = ::poll(watch, pidFd >= 0 ? 2 : 1, tick);
        if (ready > 0 && (watch[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            std::uint32_t word = 0;
            const ssize_t peeked = ::recv(proto::channelFd, &word, sizeof word, MSG_PEEK | MSG_WAITALL);
            if (peeked == ssize_t(sizeof word) && word != proto::cancelMagic) {
                watchProgram = false;
                continue;
            }
            const bool cancelled = peeked == ssize_t(sizeof word)
                && proto::readFully(proto::channelFd, &word, sizeof word);
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            if (pidFd >= 0)
                ::close(pidFd);
            // A child that had sent its whole reply before the kill: the
            // program reads that reply, and the cancel is spent.
            if (cancelled && WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return Waited::Exited;
            return cancelled ? Waited::Cancelled : Waited::ProgramGone;
        }
        if (replying.load() != 0) {
            // Writing its reply, the child waits for the program to read.
            lastProgress = Clock::now();
            continue;
        }
        const std::int64_t cpu = activity();
        if (cpu < 0 || lastCpu < 0 || cpu - lastCpu >= idleCpuNanoseconds) {
            lastCpu = cpu;
            lastProgress = Clock::now();
        } else if (Clock::now() - lastProgress >= idleLimit) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            if (pidFd >= 0)
                ::close(pidFd);
            return Waited::Stuck;
        }
    }
    if (pidFd >= 0)
        ::close(pidFd);
    return Waited::Exited;
}

// Decodes one file in a fresh child and lets the child reply. False when the
// reply stream can no longer be trusted: the child died part-way through its
// reply, or could not send it, or the program is gone or out of step.
template <typename Decode>
bool serveInChild(const QString &file, const QString &extension, std::int64_t copyPixelsUpTo,
                  const Decode &decode, std::atomic<int> &replying)
{
    replying.store(0);
    const pid_t server = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        // A server killed for overrunning takes its decode along.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != server)
            ::_exit(0);
        // With the layout fixed, an exploit of a library fault is easier to
        // write; what it could do from here is kept small.
        confineToDecoding();
        mallopt(M_PERTURB, heapFill);
        // As the heap would start them (M_PERTURB fills with the byte's complement).
        handover::decodeIntoSharedMemory(uchar(heapFill ^ 0xFF), copyPixelsUpTo);
        proto::SizeNotice notice;
        notice.declaredPixels = declaredPixelsOf(file, extension);
        replying.store(1);
        if (!proto::writeFully(proto::channelFd, &notice, sizeof notice))
            ::_exit(3);
        replying.store(0);
        ChildClock clock;
        const std::int64_t wall = nanosecondsOf(CLOCK_MONOTONIC);
        const std::int64_t cpu = nanosecondsOf(CLOCK_PROCESS_CPUTIME_ID);
        LoadResult result = decode();
        // The EXIF block as the file laid it out is read here and nowhere
        // else: the program gets the details laid out afresh.
        result.exif = exif::canonical(result.exif);
        clock.decodeWall = nanosecondsOf(CLOCK_MONOTONIC) - wall;
        clock.decodeCpu = nanosecondsOf(CLOCK_PROCESS_CPUTIME_ID) - cpu;
        replying.store(1);
        ::_exit(reply(result, clock) ? 0 : 3);
    }
    if (child < 0)
        return reply(loadFailure(QStringLiteral("the picture decoder could not start a decode")));
    int status = 0;
    const Waited waited = waitForChild(child, status, replying);
    if (waited == Waited::ProgramGone)
        return false;
    if (waited == Waited::Exited && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (replying.load() != 0)
        return false;
    proto::ReplyHeader header;
    if (waited == Waited::Exited)
        header.crashed = 1;
    else
        header.ending = waited == Waited::Stuck ? proto::Ending::Stuck : proto::Ending::Cancelled;
    return proto::writeFully(proto::channelFd, &header, sizeof header);
}

// For people: "pictrove-decoder --probe FILE [batch]" decodes one file in
// this process and prints what came out.
int probe(const QString &path, LoaderTable table)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    const LoadResult r = decodeInProcess(path, dot < 0 ? QString() : path.mid(dot + 1).toLower(), table);
    if (!r.ok) {
        std::printf("failed: %s\n", qPrintable(r.error));
        return 1;
    }
    std::printf("%d x %d, depth %d, %s\n", r.image.width(), r.image.height(), r.depth,
                r.image.hasAlphaChannel() ? "alpha" : "opaque");
    for (int y = 0; y < r.image.height(); y += std::max(1, r.image.height() / 4)) {
        for (int x = 0; x < r.image.width(); x += std::max(1, r.image.width() / 4))
            std::printf(" %08x", r.image.pixel(x, y));
        std::printf("\n");
    }
    return 0;
}

// Starts this program again with the address layout fixed, in the
// decoder's own environment (see DecoderEnvironment); on any refusal (a
// container may forbid it) goes on as it is. The environment sits at the
// top of the stack, so its size moves every stack address. The program
// starts its decoders that way already, so only a decoder started by other
// means takes the second start.
void fixAddressLayout(char **argv)
{
    const int persona = ::personality(0xffffffff);
    if (persona == -1 || (persona & ADDR_NO_RANDOMIZE) != 0)
        return;
    if (::personality(unsigned(persona) | ADDR_NO_RANDOMIZE) == -1)
        return;
    proto::DecoderEnvironment environment(environ);
    ::execve("/proc/self/exe", argv, environment.data());
}

} // namespace

int main(int argc, char **argv)
{
    fixAddressLayout(argv);
    limitResources();
    // Picture buffers come from the heap, not from mappings of their own:
    // within a decode, the pages of a freed conversion buffer serve the next
    // one instead of being faulted in afresh.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // Metafiles are drawn, never shown: no display is needed, whatever
    // platform the program was started with.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's start-up notes would only clutter the program's terminal.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    pictrove::dropRuntimeFolderWarning();
    QGuiApplication app(argc, argv);

    if (argc >= 3 && qstrcmp(argv[1], "--probe") == 0)
        return probe(QString::fromLocal8Bit(argv[2]),
                     argc >= 4 && qstrcmp(argv[3], "batch") == 0 ? LoaderTable::Batch
                                                                 : LoaderTable::Preview);
    const int fd = proto::channelFd;
    endWithTheProgram(fd);
    // Set by a child once it starts its reply: after that the stream is its.
    void *shared = ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED)
        return 2;
    auto *replying = new (shared) std::atomic<int>(0);
    if (!proto::writeFully(fd, &proto::readyMagic, sizeof proto::readyMagic))
        return 0;
    // Ctrl-C on a terminal reaches the whole process group: the program
    // decides what stops, and this decoder ends with it.
    std::signal(SIGINT, SIG_IGN);
    for (;;) {
        proto::RequestHeader request;
        // A cancel that crossed its decode's reply on the way is of no use now.
        do {
            if (!proto::readFully(fd, &request.magic, sizeof request.magic))
                return 0; // the program closed its end
        } while (request.magic == proto::cancelMagic);
        if (!proto::readFully(fd, reinterpret_cast<char *>(&request) + sizeof request.magic,
                              sizeof request - sizeof request.magic))
            return 0;
        if (request.magic != proto::requestMagic || request.pathBytes > proto::maxPathBytes
            || request.extensionBytes > 64 || request.table > 1)
            return 2;
        QByteArray path(qsizetype(request.pathBytes), Qt::Uninitialized);
        QByteArray ext(qsizetype(request.extensionBytes), Qt::Uninitialized);
        if (!proto::readFully(fd, path.data(), std::size_t(path.size()))
            || !proto::readFully(fd, ext.data(), std::size_t(ext.size())))
            return 2;
        DecodeLimits limits;
        limits.maxPixels = std::clamp<std::int64_t>(request.maxPixels, 1, limits.maxPixels);
        limits.resize = resizeOf(request);
        const QString file = QFile::decodeName(path);
        const QString extension = QString::fromUtf8(ext);
        const auto table = LoaderTable(request.table);
        const auto decode = [&] {
            return request.fallbackOnly
                ? decodeFallbackInProcess(file, extension, table, limits)
                : decodeInProcess(file, extension, table, limits);
        };
        if (!serveInChild(file, extension, request.copyPixelsUpTo, decode, *replying))
            return 2;
    }
}

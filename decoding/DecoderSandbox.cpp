#include "decoding/DecoderSandbox.h"

#include "decoding/CancelToken.h"
#include "decoding/DeclaredSize.h"
#include "decoding/DecoderProtocol.h"
#include "decoding/Decoders.h"
#include "decoding/PixelHandOver.h"
#include "platform/WriteFailure.h"

#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <vector>

extern char **environ;

namespace pictrove {

namespace proto = decoderprotocol;
using Clock = std::chrono::steady_clock;

// One running decoder: its process id and our end of the socket. Destroying
// it kills and reaps the process.
class DecoderSandbox::Process {
public:
    // Starts the decoder and waits until it takes requests.
    static std::unique_ptr<Process> start(const QString &program, std::chrono::milliseconds limit)
    {
        std::unique_ptr<Process> process = spawn(program);
        std::uint32_t ready = 0;
        if (!process || process->receive(&ready, sizeof ready, Clock::now() + limit) != Read::Done
            || ready != proto::readyMagic)
            return {};
        return process;
    }

    static std::unique_ptr<Process> spawn(const QString &program)
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return {};
        int ours = fds[0], theirs = fds[1];
        // dup2 onto the same number would keep close-on-exec; move it first.
        if (theirs == proto::channelFd) {
            theirs = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
            ::close(fds[1]);
            if (theirs < 0) {
                ::close(ours);
                return {};
            }
        }
        const int bufferBytes = 4 * 1024 * 1024;
        ::setsockopt(ours, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
        ::setsockopt(theirs, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        // The C library's reports on heap corruption by hostile files would
        // only clutter the program's terminal.
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, theirs, proto::channelFd);
        const QByteArray exe = QFile::encodeName(program);
        char *argv[] = {const_cast<char *>(exe.constData()), nullptr};
        // Started as it would start itself again: one start instead of two,
        // each loading every library the decoder has.
        proto::DecoderEnvironment environment(environ);
        pid_t pid = -1;
        int spawned = -1;
        {
            const proto::FixedLayoutForChildren layout;
            spawned =
                ::posix_spawn(&pid, exe.constData(), &actions, nullptr, argv, environment.data());
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(theirs);
        if (spawned != 0) {
            ::close(ours);
            return {};
        }
        return std::unique_ptr<Process>(new Process(pid, ours));
    }

    ~Process()
    {
        ::close(m_fd);
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }

    bool send(const void *data, std::size_t size) { return proto::writeFully(m_fd, data, size); }

    // Reads exactly size bytes unless the deadline passes, the peer ends or
    // the token is cancelled.
    enum class Read { Done, Ended, TimedOut, Cancelled, Refused };
    Read receive(void *buffer, std::size_t size, Clock::time_point deadline,
                 const CancelToken *cancel = nullptr)
    {
        auto *p = static_cast<char *>(buffer);
        while (size > 0) {
            if (const Read waited = waitReadable(deadline, cancel); waited != Read::Done)
                return waited;
            const ssize_t n = ::recv(m_fd, p, size, 0);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                return Read::Ended;
            p += n;
            size -= std::size_t(n);
        }
        return Read::Done;
    }

    // Reads the byte that carries the pixels' memory file. Refused: it came
    // without exactly one descriptor.
    Read receiveDescriptor(handover::Descriptor &out, Clock::time_point deadline,
                           const CancelToken *cancel)
    {
        if (const Read waited = waitReadable(deadline, cancel); waited != Read::Done)
            return waited;
        switch (handover::takeDescriptor(m_fd, out)) {
        case handover::Taken::Done: return Read::Done;
        case handover::Taken::Refused: return Read::Refused;
        case handover::Taken::Ended: break;
        }
        return Read::Ended;
    }

    // Reads and drops size bytes, in pieces.
    bool discard(std::size_t size, Clock::time_point deadline)
    {
        std::vector<char> scrap(std::min<std::size_t>(size, std::size_t(1) << 20));
        while (size > 0) {
            const std::size_t piece = std::min(size, scrap.size());
            if (receive(scrap.data(), piece, deadline) != Read::Done)
                return false;
            size -= piece;
        }
        return true;
    }

private:
    Process(pid_t pid, int fd) : m_pid(pid), m_fd(fd) {}

    // Done once the socket has something to read (or has ended).
    Read waitReadable(Clock::time_point deadline, const CancelToken *cancel)
    {
        const int cancelFd = cancel ? cancel->waitFd() : -1;
        for (;;) {
            if (cancel && cancel->cancelled())
                return Read::Cancelled;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - Clock::now());
            if (left.count() <= 0)
                return Read::TimedOut;
            pollfd pfd[2] = {{m_fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
            // Without a descriptor to wake us, a token is looked at often.
            const long long wait = cancel && cancelFd < 0 ? std::min<long long>(left.count(), 20)
                                                          : left.count();
            const int ready = ::poll(pfd, cancelFd >= 0 ? 2 : 1, int(std::min<long long>(wait, 1 << 30)));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0)
                continue; // the deadline or the token, looked at above
            if (ready < 0)
                return Read::Ended;
            if (pfd[0].revents != 0)
                return Read::Done;
        }
    }

    pid_t m_pid;
    int m_fd;
};

namespace {

// The blocks that come with a picture, held to the decoder's own limits.
bool extrasWithinLimits(const proto::ReplyHeader &reply)
{
    return reply.warningBytes <= proto::maxErrorBytes && reply.exifBytes <= proto::maxExifBytes
        && reply.xmpBytes <= proto::maxXmpBytes;
}

QString crashText()
{
    return QStringLiteral("the picture decoder crashed on this file");
}

QString timeOutText()
{
    return QStringLiteral("the picture decoder took too long");
}

// A damaged header declares nothing a decoder could honestly need; the time
// of a megapixel leaves room for a layout the peek does not know.
constexpr std::int64_t unreadableHeaderPixels = 1'000'000;

} // namespace

LoadResult cancelledLoad()
{
    LoadResult result = loadFailure(QStringLiteral("the load was cancelled"));
    result.cancelled = true;
    return result;
}

// The time one file gets, over every route tried for it. Until the decoder
// has said what the header declares, the file has the least time any file
// of its size gets; the decoder's word may raise that, never past what the
// largest picture we accept would get.
struct DecoderSandbox::FileClock {
    Clock::time_point start;
    std::int64_t fileBytes = 0;
    Clock::time_point deadline;
    Clock::time_point ceiling;
};

std::optional<QString> unreadableFileReason(const QByteArray &localPath)
{
    // Non-blocking, so that a named pipe given as a picture cannot hang us.
    const int fd = ::open(localPath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return QStringLiteral("the file does not exist");
        return systemErrorText(errno);
    }
    struct stat st{};
    const bool statted = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (statted && S_ISDIR(st.st_mode))
        return QStringLiteral("the file is a folder");
    if (!statted || !S_ISREG(st.st_mode))
        return QStringLiteral("the file is not a regular file");
    return std::nullopt;
}

DecoderSandbox::DecoderSandbox(SandboxOptions options) : m_options(std::move(options)) {}

DecoderSandbox::~DecoderSandbox() = default;

DecoderSandbox &DecoderSandbox::shared()
{
    static DecoderSandbox instance;
    return instance;
}

void DecoderSandbox::setOptions(const SandboxOptions &options)
{
    std::lock_guard lock(m_mutex);
    const std::lock_guard optionsLock(m_optionsMutex);
    m_options = options;
    m_process.reset();
}

SandboxOptions DecoderSandbox::options() const
{
    // Not m_mutex: that one is held for a whole decode.
    const std::lock_guard lock(m_optionsMutex);
    return m_options;
}

DecoderSandbox::Stats DecoderSandbox::stats() const
{
    std::lock_guard lock(m_mutex);
    return m_stats;
}

QString DecoderSandbox::programPath() const
{
    if (!m_options.program.isEmpty())
        return m_options.program;
    const QString folder = QCoreApplication::instance()
        ? QCoreApplication::applicationDirPath()
        : QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().section(u'/', 0, -2);
    // Beside the program in a build tree; an installation keeps helpers in
    // <prefix>/libexec/pictrove beside <prefix>/bin.
    const QString beside = folder + QStringLiteral("/pictrove-decoder");
    const QString installed =
        QDir::cleanPath(folder + QStringLiteral("/../libexec/pictrove/pictrove-decoder"));
    return !QFileInfo(beside).isExecutable() && QFileInfo(installed).isExecutable() ? installed
                                                                                     : beside;
}

std::chrono::milliseconds DecoderSandbox::timeLimitFor(std::int64_t fileBytes,
                                                       std::int64_t declaredPixels) const
{
    using std::chrono::milliseconds;
    const double mib = double(std::max<std::int64_t>(fileBytes, 0)) / double(1 << 20);
    // A header above the pixel limit is refused before any decoding.
    const double megapixels = double(std::min(declaredPixels, m_options.maxPixels)) / 1e6;
    const double limit = declaredPixels < 0
        ? double(m_options.unknownSizeBase.count()) + double(m_options.timePerMiB.count()) * mib
        : double(m_options.baseTimeLimit.count())
            + double(m_options.timePerMegapixel.count()) * megapixels
            + double(m_options.timePerMiB.count()) * mib;
    return std::min(milliseconds(std::int64_t(std::min(limit, 1e12))), m_options.maxTimeLimit);
}

std::int64_t DecoderSandbox::pixelsToTime(std::int64_t declared, QStringView extension)
{
    if (declared >= 0)
        return declared;
    if (declared == proto::sizeNotInHeader && !declaresSizeInHeader(extension))
        return -1;
    return unreadableHeaderPixels;
}

LoadResult DecoderSandbox::load(const QString &path, const QString &extension, LoaderTable table,
                                const CancelToken *cancel, const ResizeSetting &resize)
{
    const QByteArray localPath = QFile::encodeName(path);
    const QByteArray ext = extension.toUtf8();
    if (localPath.size() > qsizetype(proto::maxPathBytes) || ext.size() > 64)
        return loadFailure(QStringLiteral("the file name is too long"));
    if (auto refused = unreadableFileReason(localPath))
        return loadFailure(*refused);

    // Another thread's file may hold the decoder; a cancelled load stops
    // waiting for it.
    std::unique_lock lock(m_mutex, std::defer_lock);
    while (!lock.try_lock_for(std::chrono::milliseconds(20)))
        if (cancel && cancel->cancelled())
            return cancelledLoad();
    if (cancel && cancel->cancelled())
        return cancelledLoad();
    if (!m_process) {
        m_process = Process::start(programPath(), m_options.startLimit);
        if (!m_process)
            return loadFailure(QStringLiteral("the picture decoder could not be started"));
        ++m_stats.started;
    }
    // One time for the file, whichever routes it takes.
    FileClock clock;
    clock.start = Clock::now();
    clock.fileBytes = QFileInfo(path).size();
    clock.deadline = clock.start + timeLimitFor(clock.fileBytes, 0);
    clock.ceiling = clock.start
        + std::max(timeLimitFor(clock.fileBytes, m_options.maxPixels),
                   timeLimitFor(clock.fileBytes, -1));
    Outcome outcome = Outcome::Answered;
    LoadResult result = loadLocked(localPath, ext, table, false, clock, cancel, resize, outcome);
    // A decode that crashed may have met a fault of its own library; a
    // decoder that was lost (out of time, or out of step) has spent what
    // the file may cost.
    if (outcome == Outcome::Crashed && fallbackRouteFor(table, extension).kind != DecoderKind::None) {
        LoadResult second = loadLocked(localPath, ext, table, true, clock, cancel, resize, outcome);
        if (second.ok || second.cancelled)
            return second;
    }
    return result;
}

LoadResult DecoderSandbox::endCancelled(bool replying, Outcome &outcome)
{
    outcome = Outcome::Cancelled;
    // Pixels under way would take longer to drain than a new decoder takes
    // to start.
    if (replying || !m_process->send(&proto::cancelMagic, sizeof proto::cancelMagic)) {
        m_process.reset();
        return cancelledLoad();
    }
    // The decoder answers at once: the decode ended, or its reply had gone
    // before the cancel came and is read to its end.
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    std::uint32_t magic = 0;
    bool fine = m_process->receive(&magic, sizeof magic, deadline) == Process::Read::Done;
    if (fine && magic == proto::sizeMagic) {
        proto::SizeNotice notice;
        fine = m_process->receive(reinterpret_cast<char *>(&notice) + sizeof magic,
                                  sizeof notice - sizeof magic, deadline)
                == Process::Read::Done
            && m_process->receive(&magic, sizeof magic, deadline) == Process::Read::Done;
    }
    proto::ReplyHeader reply;
    fine = fine && magic == proto::replyMagic
        && m_process->receive(reinterpret_cast<char *>(&reply) + sizeof magic,
                              sizeof reply - sizeof magic, deadline)
            == Process::Read::Done
        && reply.errorBytes <= proto::maxErrorBytes
        && m_process->discard(reply.errorBytes, deadline);
    if (fine && reply.ok && !reply.crashed) {
        const std::int64_t pixels = std::int64_t(reply.width) * reply.height;
        fine = reply.width > 0 && reply.height > 0 && pixels <= m_options.maxPixels
            && extrasWithinLimits(reply)
            // The byte that carries the pixels; its memory file is closed
            // unread with it.
            && m_process->discard(std::size_t(reply.warningBytes) + reply.exifBytes
                                      + reply.xmpBytes + 1,
                                  deadline);
    }
    if (!fine)
        m_process.reset();
    return cancelledLoad();
}

LoadResult DecoderSandbox::loadLocked(const QByteArray &localPath, const QByteArray &ext,
                                      LoaderTable table, bool fallbackOnly, FileClock &clock,
                                      const CancelToken *cancel, const ResizeSetting &resize,
                                      Outcome &outcome)
{
    outcome = Outcome::Answered;
    // Whatever goes wrong from here on leaves the decoder in an unknown state:
    // it is killed, and the next file starts a new one.
    auto abandon = [&](const QString &reason, int Stats::*counter) {
        m_process.reset();
        outcome = Outcome::Lost;
        if (counter)
            ++(m_stats.*counter);
        return loadFailure(reason);
    };
    auto ended = [&](Process::Read read, bool replying) {
        if (read == Process::Read::Cancelled)
            return endCancelled(replying, outcome);
        return read == Process::Read::TimedOut ? abandon(timeOutText(), &Stats::timedOut)
                                               : abandon(crashText(), &Stats::crashed);
    };

    proto::RequestHeader request;
    request.table = std::uint32_t(table);
    request.fallbackOnly = fallbackOnly ? 1 : 0;
    request.pathBytes = std::uint32_t(localPath.size());
    request.extensionBytes = std::uint32_t(ext.size());
    request.maxPixels = m_options.maxPixels;
    request.copyPixelsUpTo = m_options.copyPixelsUpTo;
    request.resizeMode = std::uint32_t(resize.mode);
    request.resizeSide = resize.side;
    request.resizeWidth = resize.width;
    request.resizeHeight = resize.height;
    request.resizePercent = resize.percent;
    request.resizeNeverEnlarge = resize.neverEnlarge ? 1 : 0;
    if (!m_process->send(&request, sizeof request)
        || !m_process->send(localPath.constData(), std::size_t(localPath.size()))
        || !m_process->send(ext.constData(), std::size_t(ext.size())))
        return abandon(crashText(), &Stats::crashed);

    std::uint32_t magic = 0;
    if (auto r = m_process->receive(&magic, sizeof magic, clock.deadline, cancel);
        r != Process::Read::Done)
        return ended(r, false);
    if (magic == proto::sizeMagic) {
        proto::SizeNotice notice;
        if (auto r = m_process->receive(reinterpret_cast<char *>(&notice) + sizeof magic,
                                        sizeof notice - sizeof magic, clock.deadline, cancel);
            r != Process::Read::Done)
            return ended(r, false);
        // The decoder's word on the header sets the time, within our caps.
        const auto limit = timeLimitFor(
            clock.fileBytes, pixelsToTime(notice.declaredPixels, QString::fromUtf8(ext)));
        clock.deadline = std::min(clock.start + limit, clock.ceiling);
        if (auto r = m_process->receive(&magic, sizeof magic, clock.deadline, cancel);
            r != Process::Read::Done)
            return ended(r, false);
    }
    const auto deadline = clock.deadline;
    proto::ReplyHeader reply;
    if (magic != proto::replyMagic)
        return abandon(QStringLiteral("the picture decoder failed on this file"), nullptr);
    if (auto r = m_process->receive(reinterpret_cast<char *>(&reply) + sizeof magic,
                                    sizeof reply - sizeof magic, deadline, cancel);
        r != Process::Read::Done)
        return ended(r, false);
    const auto replied = Clock::now();
    if (reply.errorBytes > proto::maxErrorBytes)
        return abandon(QStringLiteral("the picture decoder failed on this file"), nullptr);
    m_stats.peakKiB = std::max<std::int64_t>(m_stats.peakKiB, reply.peakKiB);
    if (reply.crashed) {
        ++m_stats.crashed;
        outcome = Outcome::Crashed;
        return loadFailure(crashText());
    }
    if (reply.ending == proto::Ending::Stuck) {
        ++m_stats.timedOut;
        return loadFailure(timeOutText());
    }
    if (reply.ending == proto::Ending::Cancelled) {
        // Not asked for by this load: the decoder is out of step.
        return abandon(QStringLiteral("the picture decoder failed on this file"), nullptr);
    }
    QByteArray error(qsizetype(reply.errorBytes), Qt::Uninitialized);
    if (auto r = m_process->receive(error.data(), std::size_t(error.size()), deadline, cancel);
        r != Process::Read::Done)
        return ended(r, true);
    if (!reply.ok)
        return loadFailure(QString::fromUtf8(error));
    if (!extrasWithinLimits(reply))
        return abandon(QStringLiteral("the picture decoder failed on this file"), nullptr);
    QByteArray warning(qsizetype(reply.warningBytes), Qt::Uninitialized);
    QByteArray exif(qsizetype(reply.exifBytes), Qt::Uninitialized);
    QByteArray xmp(qsizetype(reply.xmpBytes), Qt::Uninitialized);
    for (QByteArray *extra : {&warning, &exif, &xmp}) {
        if (auto r = m_process->receive(extra->data(), std::size_t(extra->size()), deadline, cancel);
            r != Process::Read::Done)
            return ended(r, true);
    }

    // Never trust sizes from the other side further than our own limits.
    if (reply.width <= 0 || reply.height <= 0
        || std::int64_t(reply.width) * reply.height > m_options.maxPixels
        || (reply.format != proto::PixelFormat::Rgb32 && reply.format != proto::PixelFormat::Argb32))
        return abandon(QStringLiteral("the picture decoder failed on this file"), nullptr);
    const auto format = reply.format == proto::PixelFormat::Argb32 ? QImage::Format_ARGB32
                                                                   : QImage::Format_RGB32;
    handover::Descriptor memory;
    if (auto r = m_process->receiveDescriptor(memory, deadline, cancel); r != Process::Read::Done) {
        if (r == Process::Read::Refused)
            return abandon(QStringLiteral("the picture decoder failed on this file"), nullptr);
        return ended(r, true);
    }
    QString refusal;
    QImage image = handover::adoptPixels(std::move(memory), reply.width, reply.height, format,
                                         m_options.maxPixels, m_options.copyPixelsUpTo, &refusal);
    if (image.isNull())
        return abandon(QStringLiteral("the picture decoder failed on this file (%1)").arg(refusal),
                       nullptr);

    LoadResult result;
    result.ok = true;
    result.image = std::move(image);
    result.timing.decodeWall = std::chrono::nanoseconds(reply.decodeWallNs);
    result.timing.decodeCpu = std::chrono::nanoseconds(reply.decodeCpuNs);
    result.timing.handOver = std::chrono::nanoseconds(reply.handOverNs) + (Clock::now() - replied);
    result.timing.pixelsCopied = reply.pixelsCopied != 0;
    result.depth = reply.depth;
    result.warning = QString::fromUtf8(warning);
    result.exif = std::move(exif);
    result.xmp = std::move(xmp);
    // A full size is only believed as a larger picture the decoded one could
    // be libjpeg's eighth or more of.
    const QSize full(reply.fullWidth, reply.fullHeight);
    if (full.width() >= reply.width && full.height() >= reply.height
        && full.width() <= std::int64_t(reply.width) * 8 + 8
        && full.height() <= std::int64_t(reply.height) * 8 + 8 && full != result.image.size())
        result.fullSize = full;
    return result;
}

} // namespace pictrove

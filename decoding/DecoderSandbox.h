#pragma once

#include "decoding/PictureLoader.h"
#include "decoding/ResizeTarget.h"

#include <QString>
#include <QStringView>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace pictrove {

struct SandboxOptions {
    // The decoder executable; empty means pictrove-decoder in the folder of
    // the running program.
    QString program;
    // A file whose header declares its pixel size may take base, plus
    // perMegapixel for every declared megapixel, plus perMiB for every MiB of
    // the file: the work it can honestly need. A file whose size cannot be
    // known before decoding (metafiles) starts from unknownSizeBase instead.
    // Never more than max, over all the routes tried for the file.
    std::chrono::milliseconds baseTimeLimit{600};
    std::chrono::milliseconds timePerMegapixel{100};
    std::chrono::milliseconds timePerMiB{250};
    std::chrono::milliseconds unknownSizeBase{4000};
    std::chrono::milliseconds maxTimeLimit{30000};
    // Waiting for a new decoder to start its libraries is not the file's time.
    std::chrono::milliseconds startLimit{20000};
    // Largest picture accepted, in pixels.
    std::int64_t maxPixels = std::int64_t(1) << 27;
    // Pictures of at most this many pixels are copied out of the decoder,
    // through their memory file, instead of decoded into it and mapped: on
    // a virtual machine each fresh shared page costs a fault as dear as
    // decoding it, where the copy runs in large pages and in the kernel.
    // The copy holds the picture twice for a moment, so larger pictures,
    // where memory counts more than time, are mapped.
    std::int64_t copyPixelsUpTo = 16'000'000;
};

class CancelToken;

// The outcome of a load that was ended through its token.
LoadResult cancelledLoad();

// Why a file cannot be handed to a decoder at all, in the system's words
// ("permission denied", "the file is a folder"), where a library would say
// only that it could not read it. Empty for a regular file we may read.
std::optional<QString> unreadableFileReason(const QByteArray &localPath);

class DecoderSandbox {
public:
    explicit DecoderSandbox(SandboxOptions options = {});
    ~DecoderSandbox();
    DecoderSandbox(const DecoderSandbox &) = delete;
    DecoderSandbox &operator=(const DecoderSandbox &) = delete;

    // One file through the decoder. With a cancel token, the load ends
    // soon after the token is cancelled (LoadResult::cancelled): waiting for
    // another thread's load is given up, a decode under way is ended and the
    // decoder serves the next file.
    // A resize lets the decoder read a JPEG at a smaller scale (see
    // LoadResult::fullSize).
    LoadResult load(const QString &path, const QString &extension, LoaderTable table,
                    const CancelToken *cancel = nullptr, const ResizeSetting &resize = {});

    // declaredPixels < 0: the file does not say.
    std::chrono::milliseconds timeLimitFor(std::int64_t fileBytes, std::int64_t declaredPixels) const;
    // The pixels to give time for, from what the decoder read in a header
    // (a pixel count, or DecoderProtocol's sizeNotInHeader / sizeUnreadable):
    // a damaged header counts as a megapixel, and so does "not in the
    // header" for a format whose header does say.
    static std::int64_t pixelsToTime(std::int64_t declared, QStringView extension);
    QString programPath() const;

    // What the sandbox has absorbed so far.
    struct Stats {
        int started = 0;    // decoder processes started
        int crashed = 0;    // ended by a signal or exited mid-file
        int timedOut = 0;   // killed for overrunning
        std::int64_t peakKiB = 0; // the largest resident size a decode reached
    };
    Stats stats() const;

    // The instance loadPicture uses. Changing its options stops its decoder.
    static DecoderSandbox &shared();
    void setOptions(const SandboxOptions &options);
    SandboxOptions options() const;

private:
    class Process;
    struct FileClock;
    enum class Outcome { Answered, Crashed, Lost, Cancelled };
    LoadResult loadLocked(const QByteArray &localPath, const QByteArray &extension,
                          LoaderTable table, bool fallbackOnly, FileClock &clock,
                          const CancelToken *cancel, const ResizeSetting &resize,
                          Outcome &outcome);
    LoadResult endCancelled(bool replying, Outcome &outcome);

    mutable std::timed_mutex m_mutex;
    // Written under both mutexes, so either one is enough to read.
    mutable std::mutex m_optionsMutex;
    SandboxOptions m_options;
    std::unique_ptr<Process> m_process;
    Stats m_stats;
};

} // namespace pictrove

#pragma once

#include "decoding/PictureLoader.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

namespace pictrove {

struct SandboxOptions {
    // The decoder executable; empty means pictrove-decoder in the folder of
    // the running program.
    QString program;
    // Each decode may take base + perMiB for every MiB of the file, at most max.
    std::chrono::milliseconds baseTimeLimit{4000};
    std::chrono::milliseconds timePerMiB{250};
    std::chrono::milliseconds maxTimeLimit{30000};
    // Largest picture accepted, in pixels.
    std::int64_t maxPixels = std::int64_t(1) << 27;
};

// Runs every decode in a separate decoder process, started on first use and
// reused. A decoder that crashes, overruns its time or breaks the protocol is
// killed; a fresh one tries the file once more with the fallback route when
// the extension has one (DevIL crashes on many valid XPM files, FreeImage
// reads them), else the file fails like any unreadable file. The next file
// starts a fresh decoder. Calls are synchronous and need no event loop; one
// call at a time (others wait).
class DecoderSandbox {
public:
    explicit DecoderSandbox(SandboxOptions options = {});
    ~DecoderSandbox();
    DecoderSandbox(const DecoderSandbox &) = delete;
    DecoderSandbox &operator=(const DecoderSandbox &) = delete;

    LoadResult load(const QString &path, const QString &extension, LoaderTable table);

    std::chrono::milliseconds timeLimitFor(std::int64_t fileBytes) const;
    QString programPath() const;

    // What the sandbox has absorbed so far.
    struct Stats {
        int started = 0;    // decoder processes started
        int crashed = 0;    // ended by a signal or exited mid-file
        int timedOut = 0;   // killed for overrunning
    };
    Stats stats() const;

    // The instance loadPicture uses. Changing its options stops its decoder.
    static DecoderSandbox &shared();
    void setOptions(const SandboxOptions &options);

private:
    class Process;
    LoadResult loadLocked(const QString &path, const QString &extension, LoaderTable table,
                          bool fallbackOnly, bool &decoderLost);

    mutable std::mutex m_mutex;
    SandboxOptions m_options;
    std::unique_ptr<Process> m_process;
    Stats m_stats;
};

} // namespace pictrove

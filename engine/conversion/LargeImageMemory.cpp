#include "engine/conversion/LargeImageMemory.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace pictrove {

namespace {

constexpr std::string_view Name = "glibc.malloc.hugetlb";
constexpr std::string_view Setting = "glibc.malloc.hugetlb=1";

// Whether tunables (name=value pairs joined by colons) set name.
bool setsTunable(std::string_view tunables, std::string_view name)
{
    for (std::size_t start = 0; start <= tunables.size();) {
        const std::size_t end = std::min(tunables.find(':', start), tunables.size());
        const std::string_view pair = tunables.substr(start, end - start);
        if (pair.substr(0, pair.find('=')) == name)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

void keepLargeImageBuffers()
{
    // Up to 512 MB per buffer from the heap; give memory back only when more
    // than 1 GB of it lies unused at the top.
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 1024 << 20);
    // Every worker thread would otherwise take a heap of its own, and such a
    // heap holds at most 64 MB: a 12-megapixel picture and its bitmap fill
    // one, and freeing them hands the whole heap back to the system, so
    // the next picture faults in every page afresh (a sixth of a BMP run's
    // processor time). In the one heap all threads share, what a picture
    // frees serves the next. A number of heaps the user chose is kept.
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    if (!std::getenv("MALLOC_ARENA_MAX") && !setsTunable(tunables ? tunables : "", "glibc.malloc.arena_max"))
        mallopt(M_ARENA_MAX, 1);
}

std::optional<std::string> tunablesWithLargePageHeap(const char *current)
{
    const std::string_view tunables = current ? current : "";
    if (setsTunable(tunables, Name))
        return std::nullopt;
    std::string wanted(tunables);
    if (!wanted.empty())
        wanted += ':';
    wanted += Setting;
    return wanted;
}

void restartForPictureWork(char **argv)
{
    const char *current = std::getenv("GLIBC_TUNABLES");
    const std::optional<std::string> before = current ? std::optional<std::string>(current) : std::nullopt;
    const std::optional<std::string> tunables = tunablesWithLargePageHeap(current);
    // libimagequant's OpenMP threads spin for a while after each parallel
    // part of a palette before they sleep. Beside a second job, or beside
    // Step 2's writer thread, that spinning takes a core from work that has
    // something to do (a fifth of one job's processor time on the GIF row).
    // Waiting passively they sleep at once; the palettes stay the same, as
    // the number of threads does.
    const bool passive = !std::getenv("OMP_WAIT_POLICY") && !std::getenv("GOMP_SPINCOUNT");
    if (tunables && ::setenv("GLIBC_TUNABLES", tunables->c_str(), 1) != 0)
        return;
    if (passive && ::setenv("OMP_WAIT_POLICY", "passive", 1) != 0)
        return;
    if (!tunables && !passive)
        return;
    // By its own path, so that the process keeps its name ("pictrove" in
    // ps and the task manager, not "exe"); by /proc/self/exe when that path
    // is gone (replaced by an upgrade while running, say).
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        ::execv(self, argv);
    }
    ::execv("/proc/self/exe", argv);
    // Refused (no /proc, say): go on with the heap as it is, and with the
    // environment as it was for the decoder and anything else started.
    if (before)
        ::setenv("GLIBC_TUNABLES", before->c_str(), 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
    if (passive)
        ::unsetenv("OMP_WAIT_POLICY");
}

} // namespace pictrove

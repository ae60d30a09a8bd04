#include "tools/convert/LargePageHeap.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include <unistd.h>

namespace pictrove::convert {

namespace {
constexpr std::string_view Name = "glibc.malloc.hugetlb";
constexpr std::string_view Setting = "glibc.malloc.hugetlb=1";
} // namespace

std::optional<std::string> tunablesWithLargePageHeap(const char *current)
{
    const std::string_view tunables = current ? current : "";
    // Tunables are name=value pairs joined by colons.
    for (std::size_t start = 0; start <= tunables.size();) {
        const std::size_t end = std::min(tunables.find(':', start), tunables.size());
        const std::string_view pair = tunables.substr(start, end - start);
        if (pair.substr(0, pair.find('=')) == Name)
            return std::nullopt;
        start = end + 1;
    }
    std::string wanted(tunables);
    if (!wanted.empty())
        wanted += ':';
    wanted += Setting;
    return wanted;
}

void restartWithLargePageHeap(char **argv)
{
    const char *current = std::getenv("GLIBC_TUNABLES");
    const std::optional<std::string> before = current ? std::optional<std::string>(current) : std::nullopt;
    const std::optional<std::string> tunables = tunablesWithLargePageHeap(current);
    if (!tunables || ::setenv("GLIBC_TUNABLES", tunables->c_str(), 1) != 0)
        return;
    ::execv("/proc/self/exe", argv);
    // Refused (no /proc, say): go on with the heap as it is, and with the
    // environment as it was for the decoder and anything else started.
    if (before)
        ::setenv("GLIBC_TUNABLES", before->c_str(), 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
}

} // namespace pictrove::convert

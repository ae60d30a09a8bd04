#pragma once

#include <optional>
#include <string>

namespace pictrove::convert {

// The converter's large buffers (each picture, its bitmaps, the pieces a
// PNG is cut into) come from its heap, and on virtual machines the first
// write to a fresh small page costs more than the write itself. The C
// library puts its heap in large pages when GLIBC_TUNABLES asks for it,
// which only counts when the program starts: so the converter starts
// itself again once, with that added.

// GLIBC_TUNABLES as it should be given current (null when unset), or
// nothing when there is nothing to add: the large-page heap is asked for
// already, or the user set that tunable otherwise, which is kept.
std::optional<std::string> tunablesWithLargePageHeap(const char *current);

// Starts this program again with the tunable added, unless it is there
// already; returns when there is nothing to do or the system refuses.
void restartWithLargePageHeap(char **argv);

} // namespace pictrove::convert

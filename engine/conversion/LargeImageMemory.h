#pragma once

#include <optional>
#include <string>

namespace pictrove {

// Keeps the large pixel buffers of one picture in the heap for the next one
// instead of returning them to the system after every picture: glibc maps
// buffers above 32 MB (a 12-megapixel picture at 32 bits) afresh each time,
// and the kernel then zero-fills every page on first touch; for the same
// reason all threads share one heap. Call once at program start, before
// any thread, in programs that convert many pictures in a row.
void keepLargeImageBuffers();


// The large buffers of an encode (each picture, its bitmaps, the palette's
// samples, the pieces a PNG is cut into) come from the heap, and on virtual
// machines the first write to a fresh small page costs more than the write
// itself. The C library puts its heap in large pages when GLIBC_TUNABLES
// asks for it, which only counts when a program starts: so the converter
// and the window start themselves again once, with that added.

// GLIBC_TUNABLES as it should be given current (null when unset), or
// nothing when there is nothing to add: the large-page heap is asked for
// already, or the user set that tunable otherwise, which is kept.
std::optional<std::string> tunablesWithLargePageHeap(const char *current);

// Starts this program again with the tunable added and, unless the user
// chose how OpenMP threads wait, OMP_WAIT_POLICY=passive (both are read
// only when a program starts); returns when there is nothing to add or the
// system refuses.
void restartForPictureWork(char **argv);

} // namespace pictrove

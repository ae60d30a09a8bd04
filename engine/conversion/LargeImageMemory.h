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

// libimagequant's OpenMP threads spin for a while after each parallel part
// of a palette before they sleep. Beside a second job, or beside Step 2's
// writer thread, that spinning takes a core from work that has something
// to do (a fifth of one job's processor time on the GIF row). Asked to wait
// passively they sleep at once; the palettes stay the same, as the number
// of threads does. True unless the user chose how OpenMP waits (policy and
// spinCount: OMP_WAIT_POLICY and GOMP_SPINCOUNT, null when unset).
bool wantsPassiveOpenMp(const char *policy, const char *spinCount);

// Starts this program again with the tunable and the OpenMP wait policy
// added where wanted (both are read only when a program starts); returns
// when there is nothing to add or the system refuses.
void restartForPictureWork(char **argv);

} // namespace pictrove

#pragma once

namespace pictrove {

// Keeps the large pixel buffers of one picture in the heap for the next one
// instead of returning them to the system after every picture: glibc maps
// buffers above 32 MB (a 12-megapixel picture at 32 bits) afresh each time,
// and the kernel then zero-fills every page on first touch. Call once at
// program start, in programs that convert many pictures in a row.
void keepLargeImageBuffers();

} // namespace pictrove

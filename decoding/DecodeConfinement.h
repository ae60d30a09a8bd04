#pragma once

namespace pictrove {

// Confines the calling process, for good, to what a decode needs: it may
// read files and talk over the sockets it already has, but not start
// programs, open files for writing, change the file system, make sockets or
// reach into other processes. Such calls fail with EPERM or EACCES instead
// of ending the process, so a library that tries one fails as on a
// read-only disk. A hostile file that takes over a decoder library can then
// do little beyond crashing its own decode. False when the system refuses
// the filter (the decode then runs unconfined).
bool confineToDecoding();

} // namespace pictrove

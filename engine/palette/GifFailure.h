#pragma once

#include <QString>

class QFileDevice;

namespace pictrove {

// giflib tells why a write failed only by a number (GifFileType::Error, or
// the error argument of EGifOpen and EGifCloseFile), and its own texts are
// written for programmers. These turn the number into words a user reads.

// giflib's code in words; the code itself is added where the words cannot
// say more than "the writer was misused".
QString gifErrorText(int code);

// Why a giflib call failed: the system's words when a write of the file
// failed on this thread (noted by the writer's output function: a full
// disk says "no space left on device"), else the code in words.
QString gifFailure(int code);

// Why the file itself could not be opened, written out or committed, in
// the system's words.
QString gifFileFailure(const QFileDevice &file);

} // namespace pictrove

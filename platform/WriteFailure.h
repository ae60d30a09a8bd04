#pragma once

#include <QString>

namespace pictrove {

// The system's reason for the last failed write of a file on this thread,
// in lower case ("no space left on device", "file too large"): what a user
// can act on, where a library says only that it could not write. Noted
// right after the call that failed, taken once by whoever reports it.
void noteWriteFailure();
QString takeWriteFailure();

// The system's text for an error number, in lower case.
QString systemErrorText(int code);

// For a writer on another thread: its noted failure as a code to hand back
// (0 when none), and noting such a code on the thread that reports.
int takeWriteFailureCode();
void noteWriteFailure(int code);

} // namespace pictrove

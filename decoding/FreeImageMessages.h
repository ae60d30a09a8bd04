#pragma once

#include <QString>

namespace pictrove {

// FreeImage says why a call failed only through one process-wide callback,
// called on the thread that made the call, and never takes a message back:
// a reason read later may be left over from an earlier call. This module
// owns that callback and the one message slot per thread behind it; every
// FreeImage user in the program reads its reasons here.

// Registers the callback (once per process; later calls do nothing).
void startFreeImageMessages();

// What the callback does with a message: it becomes this thread's message,
// replacing an earlier one (FreeImage's last word is its most specific).
// A null or unreadable message leaves the slot empty.
void recordFreeImageMessage(const char *message) noexcept;

// This thread's message since the innermost open FreeImageOperation began
// (or since it was last cleared); empty when FreeImage said nothing.
QString freeImageMessage();
void setFreeImageMessage(const QString &text);
void clearFreeImageMessage();

// One unit of FreeImage work on this thread: starts with an empty message
// and hands over only what was said during it. Operations may nest: when
// an inner one ends, the enclosing one gets back its own message unless
// the inner one said something newer.
class FreeImageOperation {
public:
    FreeImageOperation();
    ~FreeImageOperation();
    FreeImageOperation(const FreeImageOperation &) = delete;
    FreeImageOperation &operator=(const FreeImageOperation &) = delete;

    QString message() const { return freeImageMessage(); }

private:
    QString m_enclosing;
};

} // namespace pictrove

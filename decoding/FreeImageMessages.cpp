#include "decoding/FreeImageMessages.h"

#include <FreeImage.h>

#include <mutex>
#include <utility>

namespace pictrove {

namespace {

thread_local QString t_message;

void DLL_CALLCONV onMessage(FREE_IMAGE_FORMAT, const char *message)
{
    recordFreeImageMessage(message);
}

} // namespace

void startFreeImageMessages()
{
    static std::once_flag registered;
    std::call_once(registered, [] { FreeImage_SetOutputMessage(&onMessage); });
}

void recordFreeImageMessage(const char *message) noexcept
{
    try {
        // Messages name files in the system's encoding.
        t_message = message ? QString::fromLocal8Bit(message) : QString();
    } catch (...) {
        t_message.clear();
    }
}

QString freeImageMessage() { return t_message; }

void setFreeImageMessage(const QString &text) { t_message = text; }

void clearFreeImageMessage() { t_message.clear(); }

FreeImageOperation::FreeImageOperation()
    : m_enclosing(std::exchange(t_message, QString()))
{
    startFreeImageMessages();
}

FreeImageOperation::~FreeImageOperation()
{
    if (t_message.isEmpty())
        t_message = std::move(m_enclosing);
}

} // namespace pictrove

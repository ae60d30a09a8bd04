#include "platform/WriteFailure.h"

#include <cerrno>
#include <cstring>

namespace pictrove {

namespace {
thread_local int t_error = 0;
} // namespace

void noteWriteFailure()
{
    if (errno != 0)
        t_error = errno;
}

int takeWriteFailureCode()
{
    const int code = t_error;
    t_error = 0;
    return code;
}

void noteWriteFailure(int code)
{
    if (code != 0)
        t_error = code;
}

QString systemErrorText(int code)
{
    QString text = QString::fromLocal8Bit(std::strerror(code));
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

QString takeWriteFailure()
{
    if (t_error == 0)
        return {};
    const QString text = systemErrorText(t_error);
    t_error = 0;
    return text;
}

} // namespace pictrove

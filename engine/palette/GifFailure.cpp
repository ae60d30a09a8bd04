#include "engine/palette/GifFailure.h"

#include "platform/WriteFailure.h"

#include <QFileDevice>

#include <gif_lib.h>

namespace pictrove {

QString gifErrorText(int code)
{
    switch (code) {
    case E_GIF_ERR_OPEN_FAILED:
        return QStringLiteral("the GIF file could not be opened");
    case E_GIF_ERR_WRITE_FAILED:
        return QStringLiteral("the GIF file could not be written");
    case E_GIF_ERR_DATA_TOO_BIG:
        return QStringLiteral("the picture holds more pixels than its GIF size");
    case E_GIF_ERR_NOT_ENOUGH_MEM:
        return QStringLiteral("not enough memory to write the GIF file");
    case E_GIF_ERR_DISK_IS_FULL:
        return QStringLiteral("the disk is full");
    case E_GIF_ERR_CLOSE_FAILED:
        return QStringLiteral("the GIF file could not be completed");
    case E_GIF_ERR_HAS_SCRN_DSCR:
    case E_GIF_ERR_HAS_IMAG_DSCR:
    case E_GIF_ERR_NO_COLOR_MAP:
    case E_GIF_ERR_NOT_WRITEABLE:
    default:
        return QStringLiteral("the GIF writer was used wrongly (giflib error %1)").arg(code);
    }
}

QString gifFailure(int code)
{
    const QString system = takeWriteFailure();
    return system.isEmpty() ? gifErrorText(code) : system;
}

QString gifFileFailure(const QFileDevice &file)
{
    // A write that failed in our output function was noted with errno
    // before Qt could reuse it.
    QString text = takeWriteFailure();
    if (text.isEmpty())
        text = file.errorString();
    if (text.isEmpty())
        return gifErrorText(E_GIF_ERR_WRITE_FAILED);
    text[0] = text[0].toLower(); // the system's words, as every other reason
    return text;
}

} // namespace pictrove

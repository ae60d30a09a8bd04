#pragma once

// What the window benchmarks share: they run offscreen unless told
// otherwise, and time a real photo scaled to 4000 x 3000 (12 megapixels).
#include <QImage>
#include <QString>
#include <QtGlobal>

namespace pictrove::bench {

inline const char *const DefaultPhoto =
    "/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg"; // mate-backgrounds

inline void offscreenUnlessTold()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The photo at path as 4000 x 3000 RGB32, or a null image when it cannot be read.
inline QImage twelveMegapixelPhoto(const QString &path)
{
    const QImage photo(path);
    if (photo.isNull())
        return {};
    return photo.scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace pictrove::bench

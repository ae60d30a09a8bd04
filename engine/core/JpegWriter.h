#pragma once

#include "engine/core/FreeImageSave.h"

#include <QImage>
#include <QString>

namespace pictrove {

// Writes a true-colour picture as JPEG with libjpeg straight from its 32-bit
// rows, into exactly the file FreeImage's JPEG writer makes of the same
// picture as a fresh 24-bit bitmap (the same library, settings and JFIF
// header), without that bitmap. flags are FreeImage's JPEG save flags.
enum class JpegWrite { Written, Failed, NotHandled };
JpegWrite writeJpegRows(const QImage &picture, int flags, const QString &path,
                        const FinishFile &finish = {});

} // namespace pictrove

#pragma once

#include <FreeImage.h>

#include <QString>

namespace pictrove {

// Saves a bitmap with one of FreeImage's writers through a QSaveFile.
// FreeImage_Save writes with stdio and checks neither the writes nor the
// close, so on a full disk it reports a truncated file as saved; here every
// write, the last flush included, must succeed, and the file at path is
// replaced only by a complete new one. False when anything failed.
bool saveBitmapChecked(FREE_IMAGE_FORMAT format, FIBITMAP *dib, const QString &path, int flags);

} // namespace pictrove

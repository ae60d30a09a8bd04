#pragma once

#include <FreeImage.h>

#include <QByteArray>
#include <QString>

#include <functional>

namespace pictrove {

// Saves a bitmap with one of FreeImage's writers through a QSaveFile.
// FreeImage_Save writes with stdio and checks neither the writes nor the
// close, so on a full disk it reports a truncated file as saved; here every
// write, the last flush included, must succeed, and the file at path is
// replaced only by a complete new one. False when anything failed.
//
// With finish, the file is encoded into memory first and finish's version
// of it is what reaches the disk (a JPEG or PNG given the source's
// metadata); without, a file is written as it is encoded.
using FinishFile = std::function<QByteArray(const QByteArray &encoded)>;
bool saveBitmapChecked(FREE_IMAGE_FORMAT format, FIBITMAP *dib, const QString &path, int flags,
                       const FinishFile &finish = {});

// Writes an encoded file (finish's version of it, when given) to path the
// same checked way: the file there is replaced only by a complete new one.
bool saveBytesChecked(const QByteArray &encoded, const QString &path, const FinishFile &finish = {});

} // namespace pictrove

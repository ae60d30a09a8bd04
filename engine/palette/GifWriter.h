#pragma once

#include <QImage>
#include <QString>

namespace pictrove {

class RowProgress;

// Writes picture (Format_Indexed8, colour table of 2^n entries, n = 1..8)
// as a GIF89a file with that colour table as its global table. Interlaced
// files carry the interlace flag and their rows in the four-pass order
// (every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from
// 1). The file appears complete or not at all.
//
// With ready given, the picture may still be in the making on another
// thread: each row is read only once ready says it is finished, so the file
// is written while the rows below are still being reduced.
//
// On failure, reason (when given) says why in words: the system's for a
// file that could not be written, giflib's code in words otherwise.
bool writeGif(const QImage &picture, bool interlaced, const QString &path,
              const RowProgress *ready = nullptr, QString *reason = nullptr);

} // namespace pictrove

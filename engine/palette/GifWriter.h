#pragma once

#include <QImage>
#include <QString>

namespace pictrove {

// Writes picture (Format_Indexed8, colour table of 2^n entries, n = 1..8)
// as a GIF89a file with that colour table as its global table. Interlaced
// files carry the interlace flag and their rows in the four-pass order
// (every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from
// 1). The file appears complete or not at all.
bool writeGif(const QImage &picture, bool interlaced, const QString &path);

} // namespace pictrove

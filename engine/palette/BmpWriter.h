#pragma once

#include <QImage>
#include <QString>

namespace pictrove {

// Writes an encoded picture as BMP through FreeImage:
//   Format_Indexed8 with a colour table of 2^n entries: 1-bit BMP for n = 1,
//     4-bit for n = 2..4, 8-bit for n = 5..8, the table padded with black;
//   Format_RGB555: 16-bit 5-5-5 BMP;
//   Format_RGB32: 24-bit BMP.
// The file appears complete or not at all.
bool writeBmp(const QImage &picture, const QString &path);

} // namespace pictrove

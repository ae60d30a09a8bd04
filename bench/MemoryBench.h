#pragma once

#include <QList>
#include <QString>

class QTextStream;

namespace pictrove::bench {

// A 10000 x 10000 photo-like JPEG in `folder` (made once: a real photo
// scaled up with vips, or ImageMagick when vips is missing), or empty when
// it cannot be made; `error` says why.
QString hundredMegapixelPhoto(const QString &folder, const QString &source, QString *error);

// The photo through pictrove-convert -j1 for each row, with the peak
// resident size of the converter and of its decoder processes against
// three times the picture's pixel memory.
void memoryRows(QTextStream &out, const QString &converter, const QList<int> &rows, const QString &photo,
                const QString &outFolder);

} // namespace pictrove::bench

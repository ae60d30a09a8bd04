#pragma once

#include "BenchCorpus.h"

#include <QString>
#include <QTextStream>

#include <vector>

namespace pictrove::bench {

// The resize line of the corpus benchmark: the corpus photos to a longest
// side of 1920 as "JPEG - Good Quality", one job and all, against
// vipsthumbnail (one process per file, and under GNU parallel on every
// core) and ImageMagick's -resize, with the SSIM of our files against a
// Lanczos-3 reference of the same source (vips resize on the full decode).
void resizeLine(QTextStream &out, const std::vector<CorpusImage> &corpus, const QString &magick,
                int workers, const QString &outFolder);

} // namespace pictrove::bench

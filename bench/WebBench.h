#pragma once

#include "BenchCorpus.h"

#include <QString>
#include <QTextStream>

#include <vector>

namespace pictrove::bench {

// The WebP and AVIF rows over the corpus's JPEG and PNG pictures, with one
// job and with `workers`, beside cwebp, avifenc and vips at the settings that
// match ours, one process per file and through GNU parallel: wall time,
// bytes written and mean SSIM against the source.
void webRows(QTextStream &out, const std::vector<CorpusImage> &corpus, int workers, const QString &outFolder);

} // namespace pictrove::bench

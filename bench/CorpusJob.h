#pragma once

#include "BenchCorpus.h"

#include "engine/catalogue/FormatCatalogue.h"
#include "engine/catalogue/FormatChoice.h"
#include "engine/conversion/BatchRun.h"

#include <vector>

namespace pictrove::bench {

// Pictures through the engine's batch run as pictrove-convert runs them:
// written as ours1.ext, ours2.ext ... into folder, replacing what is there,
// a single worker reading the next picture ahead.
inline BatchJob corpusJob(const FormatChoice &choice, const std::vector<CorpusImage> &images,
                          const QString &folder, int workers)
{
    BatchJob job;
    for (const CorpusImage &image : images)
        job.entries.push_back({image.path, {}});
    job.destination = folder;
    job.genericName = QStringLiteral("ours");
    job.options = encodingOptionsFor(choice).options;
    job.jpeg = isJpegRow(choice.row);
    job.overwrite = true;
    job.workers = workers;
    job.readAhead = workers == 1;
    return job;
}

// The corpus's photos (its JPEGs), at most 24, for the lines about photos.
inline std::vector<CorpusImage> corpusPhotos(const std::vector<CorpusImage> &corpus)
{
    std::vector<CorpusImage> photos;
    for (const CorpusImage &image : corpus)
        if (image.path.endsWith(QLatin1String(".jpg")) && photos.size() < 24)
            photos.push_back(image);
    return photos;
}

} // namespace pictrove::bench

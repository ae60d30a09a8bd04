#pragma once

#include <QString>

#include <cstdint>

namespace pictrove {

// The name a batch gives its entry at 1-based position: destination, "/"
// (none after the root "/"), the generic name exactly as typed, the position
// in decimal without padding, ".", the extension.
QString batchOutputPath(const QString &destination, const QString &genericName,
                        std::int64_t position, const QString &extension);

} // namespace pictrove

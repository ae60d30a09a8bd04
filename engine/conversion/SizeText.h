#pragma once

#include <QString>

#include <cstdint>

namespace pictrove {

// A file size in whole kilobytes, halves to the even neighbour (1536 -> 2,
// 2560 -> 2, 3584 -> 4). Wide, so that large files show their true size.
std::int64_t kilobytes(std::int64_t bytes);

// "<kilobytes> KB", or "<kilobytes> Kb" as the JPEG preview writes it.
QString kilobyteText(std::int64_t bytes, bool jpegSpelling);

} // namespace pictrove

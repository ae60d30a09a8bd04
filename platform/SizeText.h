#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>

namespace pictrove {

// A file size in whole kilobytes, halves to the even neighbour (1536 -> 2,
// 2560 -> 2, 3584 -> 4). Wide, so that large files show their true size.
std::int64_t kilobytes(std::int64_t bytes);

// "<kilobytes> KB", or "<kilobytes> Kb" as the JPEG preview writes it.
QString kilobyteText(std::int64_t bytes, bool jpegSpelling);

// The folder list's size: bytes / 1024 to one decimal, halves to the even
// tenth, in its shortest form with the locale's decimal separator
// (1280 -> "1.2 KB", 1536 -> "1.5 KB", 2048 -> "2 KB").
QString tenthKilobyteText(std::int64_t bytes, const QLocale &locale = QLocale());

} // namespace pictrove

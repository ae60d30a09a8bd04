#include "engine/conversion/SizeText.h"

#include "platform/Rounding.h"

namespace pictrove {

std::int64_t kilobytes(std::int64_t bytes)
{
    // Exact halves only occur at multiples of 512, which a double holds
    // exactly far beyond any real file size.
    return roundHalfEven(double(bytes) / 1024.0);
}

QString kilobyteText(std::int64_t bytes, bool jpegSpelling)
{
    return QString::number(kilobytes(bytes)) +
           (jpegSpelling ? QStringLiteral(" Kb") : QStringLiteral(" KB"));
}

} // namespace pictrove

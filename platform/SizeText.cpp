#include "platform/SizeText.h"

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

QString tenthKilobyteText(std::int64_t bytes, const QLocale &locale)
{
    // In whole numbers: tenths = bytes * 10 / 1024, rounded halves to even,
    // so that no binary fraction decides a half.
    const std::int64_t scaled = bytes < 0 ? 0 : bytes;
    std::int64_t tenths = scaled / 1024 * 10 + (scaled % 1024) * 10 / 1024;
    const std::int64_t rest = (scaled % 1024) * 10 % 1024;
    if (rest * 2 > 1024 || (rest * 2 == 1024 && tenths % 2 == 1))
        ++tenths;
    QString text = QString::number(tenths / 10);
    if (tenths % 10 != 0)
        text += locale.decimalPoint() + QString::number(tenths % 10);
    return text + QStringLiteral(" KB");
}

} // namespace pictrove

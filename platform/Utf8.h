#pragma once

#include <QByteArray>

namespace pictrove {

// Length of the longest prefix of utf8 that fits in limit bytes and ends on
// a character boundary: a stored text cut inside a multi-byte character
// would read back as a different, broken text.
inline qsizetype utf8PrefixLength(const QByteArray &utf8, qsizetype limit)
{
    if (utf8.size() <= limit)
        return utf8.size();
    qsizetype end = limit;
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
        --end;
    return end;
}

} // namespace pictrove

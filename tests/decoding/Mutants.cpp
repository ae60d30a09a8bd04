#include "Mutants.h"

#include <algorithm>

namespace pictrove::test {

QByteArray mutate(const QByteArray &original, std::mt19937 &random)
{
    QByteArray bytes = original;
    const auto pick = [&](qsizetype below) {
        return qsizetype(std::uniform_int_distribution<qint64>(0, std::max<qint64>(below - 1, 0))(random));
    };
    // Most structure sits in the first bytes; aim half the changes there.
    const auto position = [&] { return pick(random() % 2 ? std::min<qsizetype>(bytes.size(), 128) : bytes.size()); };
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
        switch (random() % 5) {
        case 0: // bit flips
            for (int i = 0, n = 1 + int(random() % 8); i < n; ++i)
                bytes[position()] ^= char(1 << (random() % 8));
            break;
        case 1: { // byte sets
            static constexpr char values[] = {'\0', '\xFF', '\x7F', '\x80', '\x01'};
            for (int i = 0, n = 1 + int(random() % 4); i < n; ++i)
                bytes[position()] = values[random() % 5];
            break;
        }
        case 2: { // a 16- or 32-bit header value made huge or zero
            static constexpr quint32 values[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xEA60u, 0u, 0xFFFFu};
            const quint32 v = values[random() % 6];
            const qsizetype at = pick(std::min<qsizetype>(bytes.size(), 64));
            const int width = random() % 2 ? 2 : 4;
            for (int i = 0; i < width && at + i < bytes.size(); ++i)
                bytes[at + i] = char(v >> (8 * i));
            break;
        }
        case 3: // truncation
            bytes.truncate(pick(bytes.size()));
            break;
        default: // a random byte run
            for (qsizetype at = position(), n = 1 + pick(16); n > 0 && at < bytes.size(); --n, ++at)
                bytes[at] = char(random());
            break;
        }
    }
    return bytes;
}

} // namespace pictrove::test

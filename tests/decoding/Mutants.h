#pragma once

#include <QByteArray>

#include <random>

namespace pictrove::test {

// One deterministic mutant of a file, as a hostile or damaged file looks:
// bit flips, bytes set to edge values, header fields overwritten with huge
// numbers or zero, or a truncation, sometimes combined.
QByteArray mutate(const QByteArray &original, std::mt19937 &random);

} // namespace pictrove::test

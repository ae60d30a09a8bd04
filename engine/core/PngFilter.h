#pragma once

#include <cstddef>
#include <cstdint>

namespace pictrove::pngfilter {

// PNG's five row filters, numbered as the filter byte gives them.
enum Type : int { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

// Filters the row cur of n bytes (bpp bytes a pixel) by type against the
// row above it, prev (all zeros above the first row), into out when out
// is not null. Returns libpng's measure for choosing among the filters:
// the sum of the filtered bytes taken as signed values, without sign.
std::uint64_t filterRow(Type type, const std::uint8_t *cur, const std::uint8_t *prev, std::size_t n,
                        std::size_t bpp, std::uint8_t *out);

} // namespace pictrove::pngfilter

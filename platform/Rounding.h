#pragma once

#include <cmath>
#include <cstdint>

namespace pictrove {

// Rounds to the nearest whole number, halves to even (banker's rounding),
// the rule every stored position, size and percentage in the program uses.
inline std::int64_t roundHalfEven(double value)
{
    return static_cast<std::int64_t>(std::nearbyint(value)); // FE_TONEAREST is the default mode
}

// The largest whole number not above value (the classic Int()).
inline std::int64_t floorToInt(double value)
{
    return static_cast<std::int64_t>(std::floor(value));
}

} // namespace pictrove

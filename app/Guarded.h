#pragma once

#include <exception>

namespace pictrove {

// Runs one step of a routine whose steps are each allowed to fail: a step
// that throws is skipped and the caller goes on with the next one.
template <typename Step>
void guarded(Step &&step) noexcept
{
    try {
        step();
    } catch (...) {
    }
}

} // namespace pictrove

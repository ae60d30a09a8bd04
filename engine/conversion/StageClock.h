#pragma once

#include "engine/conversion/ConversionContext.h"

#include <chrono>

namespace pictrove {

// Adds the time until its end of scope to one stage, when a caller asked
// for stage times.
class StageClock {
public:
    StageClock(StageTimes *times, StageTimes::Stage stage)
        : m_times(times), m_stage(stage), m_start(times ? Clock::now() : Clock::time_point{})
    {
    }
    ~StageClock()
    {
        if (m_times)
            m_times->total[m_stage] += Clock::now() - m_start;
    }
    StageClock(const StageClock &) = delete;
    StageClock &operator=(const StageClock &) = delete;

private:
    using Clock = std::chrono::steady_clock;
    StageTimes *m_times;
    StageTimes::Stage m_stage;
    Clock::time_point m_start;
};

} // namespace pictrove

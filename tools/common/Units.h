// Time units shared by every subcommand: durations and instants are counted in microseconds.
#ifndef KTRSDK_TOOLS_COMMON_UNITS_H
#define KTRSDK_TOOLS_COMMON_UNITS_H

#include <chrono>
#include <cstdint>

namespace ktr {

using Micros = int64_t;
constexpr Micros kMicrosPerMilli = 1000;
constexpr Micros kMicrosPerSecond = 1000 * kMicrosPerMilli;
constexpr int64_t kMillisPerSecond = 1000;

// The simulator's clock: an instant (from the start of the meeting) or a duration, in microseconds, typed
// so that it cannot be mixed up with a count or a rate.
using SimTime = std::chrono::microseconds;

// Seconds as the outputs write them (the sample times of a series, a step's time).
inline double secondsOf(SimTime time) {
    return static_cast<double>(time.count()) / kMicrosPerSecond;
}

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_UNITS_H

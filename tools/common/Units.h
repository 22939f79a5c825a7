// Time units shared by every subcommand: durations and instants are counted in microseconds.
#ifndef KTRSDK_TOOLS_COMMON_UNITS_H
#define KTRSDK_TOOLS_COMMON_UNITS_H

#include <cstdint>

namespace ktr {

using Micros = int64_t;
constexpr Micros kMicrosPerMilli = 1000;
constexpr Micros kMicrosPerSecond = 1000 * kMicrosPerMilli;
constexpr int64_t kMillisPerSecond = 1000;

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_UNITS_H

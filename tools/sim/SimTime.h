#ifndef KTRSDK_TOOLS_SIM_SIMTIME_H
#define KTRSDK_TOOLS_SIM_SIMTIME_H

#include <cstdint>

namespace ktr::sim {
using Micros = int64_t;
constexpr Micros kMicrosPerSecond = 1000000;
}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SIMTIME_H

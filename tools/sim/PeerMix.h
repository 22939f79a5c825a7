#ifndef KTRSDK_TOOLS_SIM_PEERMIX_H
#define KTRSDK_TOOLS_SIM_PEERMIX_H

#include <cstdint>
#include <map>
#include <vector>

namespace ktr::sim {

// The device types of count peers drawn from a mix (device type -> share, the shares summing to 1), by the
// largest remainder: each type first gets the whole part of count x share, and the seats left go to the
// largest fractional parts, the lower device type first among equal ones. The result lists the types in
// ascending order, each as often as it has seats.
std::vector<uint16_t> expandMix(int64_t count, const std::map<uint16_t, double>& shares);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_PEERMIX_H

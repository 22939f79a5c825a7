#ifndef KTRSDK_TOOLS_SIM_SYNTHETICTRACE_H
#define KTRSDK_TOOLS_SIM_SYNTHETICTRACE_H

#include <cstdint>
#include <string>
#include <vector>

#include "CapacityTrace.h"

namespace ktr::sim {

// Synthetic link shapes. Rates are in bit/s (k, M, G = 10^3, 10^6, 10^9), durations in microseconds. Every
// trace is labelled synthetic, with its text form (below) as its label, so that parsing the label gives
// the same trace again. Parameters out of range throw InputError naming the parameter as the text form
// does ("outage 30s: must be shorter than the period 30s").
namespace synthetic {

struct Step {
    Micros duration;
    double bitsPerSecond;
};

// The random walk's parameters, with the defaults the text form uses when it leaves them out.
struct Walk {
    double startBitsPerSecond = 1.5e6;
    double minBitsPerSecond = 300e3;
    double maxBitsPerSecond = 4e6;
    // Standard deviation of the change at each interval.
    double stepBitsPerSecond = 200e3;
    Micros interval = kMicrosPerSecond;
    Micros duration = 600 * kMicrosPerSecond;
    uint64_t seed = 1;
};

// One rate for ever (a period of one second). Text: constant:2mbps
CapacityTrace constant(double bitsPerSecond);
// Each rate for its duration, in order, then again. Text: steps:30s@2mbps,10s@300kbps
CapacityTrace steps(const std::vector<Step>& steps);
// From one rate to the other in 100 ms steps, each holding the ramp's rate at its middle, then again from
// the start (a sawtooth). Text: ramp:300kbps-3mbps/60s
CapacityTrace ramp(double fromBitsPerSecond, double toBitsPerSecond, Micros duration);
// The rate, except for an outage (nothing carried) at the end of every period. Text: outage:2mbps/30s/5s
CapacityTrace periodicOutage(double bitsPerSecond, Micros period, Micros outage);
// Starts at the start rate and, every interval, adds a normally distributed change, held within
// [min, max]; the duration is the period. Seeded std::mt19937_64: the same seed gives the same trace.
// Text: walk:1.5mbps/300kbps-4mbps/seed=7, optionally with /step=200kbps, /every=1s, /for=10min.
CapacityTrace randomWalk(const Walk& walk);

}  // namespace synthetic

// A synthetic trace from its text form (see above); rates in bps, kbps, mbps or gbps, durations in ms, s or
// min (units in any case). Throws InputError naming the text and the part that is wrong.
CapacityTrace parseSyntheticTrace(const std::string& text);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SYNTHETICTRACE_H

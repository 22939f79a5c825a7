#ifndef KTRSDK_TOOLS_SIM_CAPACITYTRACE_H
#define KTRSDK_TOOLS_SIM_CAPACITYTRACE_H

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "Units.h"

namespace ktr::sim {

// A link's capacity over time: piecewise-constant rates over one period that repeats for ever. Every query
// is computed from integer microseconds and the prefix sums of one period, so it takes O(log n) and a time
// shifted by whole periods gives exactly the same answer as the time in the first period.
class CapacityTrace {
public:
    // The longest period accepted (7 days) and the highest rate (100 Gbit/s): beyond them a trace is taken
    // for a mistake, and they keep every sum far inside the range of Micros and of double.
    static constexpr Micros kLongestPeriod = Micros{7} * 24 * 3600 * kMicrosPerSecond;
    static constexpr double kHighestBytesPerSecond = 100e9 / 8;
    // timeToCarry's answer when the bytes take longer than Micros can count.
    static constexpr Micros kNever = std::numeric_limits<Micros>::max();

    // Piecewise-constant rate: segment i starts at starts[i] (starts[0] == 0) and holds bytesPerSecond[i]
    // until the next start; the whole trace lasts `period` and then repeats. Equal neighbours are merged.
    // Throws std::invalid_argument when the segments do not describe such a trace, a rate is negative, not
    // finite or above kHighestBytesPerSecond, the period is longer than kLongestPeriod, or the whole period
    // carries nothing.
    CapacityTrace(std::string label, bool synthetic, std::vector<Micros> starts, std::vector<double> bytesPerSecond,
                  Micros period);

    // The file name, or a description of the synthetic shape.
    const std::string& label() const { return m_label; }
    bool synthetic() const { return m_synthetic; }
    Micros period() const { return m_period; }
    // Segments after merging equal neighbours.
    size_t segmentCount() const { return m_starts.size(); }

    // Bytes the link can carry in [from, to) (0 <= from <= to; loops).
    double bytesBetween(Micros from, Micros to) const;
    // The earliest time t >= from with bytesBetween(from, t) >= bytes (bytes >= 0); kNever when it lies beyond
    // the range of Micros.
    Micros timeToCarry(Micros from, double bytes) const;
    // Mean capacity in bit/s over [from, to); the rate at `from` when from == to.
    double bitsPerSecond(Micros from, Micros to) const;
    // The same trace with every rate multiplied by factor (> 0), labelled "LABEL xFACTOR". Throws
    // std::invalid_argument as the constructor does.
    CapacityTrace scaled(double factor) const;

private:
    void mergeEqualNeighbours();
    void check() const;
    size_t segmentAt(Micros offset) const;
    // Bytes carried from the start of a period to offset (0 <= offset <= period).
    double bytesIntoPeriod(Micros offset) const;
    // The earliest offset into a period by which `bytes` (0 < bytes <= periodBytes) have been carried.
    Micros offsetCarrying(double bytes) const;
    double periodBytes() const { return m_bytesBefore.back(); }

    std::string m_label;
    bool m_synthetic;
    std::vector<Micros> m_starts;
    std::vector<double> m_bytesPerSecond;
    Micros m_period;
    // m_bytesBefore[i]: bytes carried in a period before segment i; the last element is the whole period's.
    std::vector<double> m_bytesBefore;
    // The segment of the last lookup: the simulation's clock moves forward, so the next lookup most often
    // falls in it again. A cache only (a trace is not shared between threads).
    mutable size_t m_lastSegment = 0;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_CAPACITYTRACE_H

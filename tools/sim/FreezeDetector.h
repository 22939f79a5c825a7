// Freezes of one received video by the rule of the W3C statistics identifiers (freezeCount,
// totalFreezesDuration): a gap between two consecutively rendered frames of at least
// max(3 x avg, avg + 150 ms), avg being the mean of the last 30 rendered frame intervals.
#ifndef KTRSDK_TOOLS_SIM_FREEZEDETECTOR_H
#define KTRSDK_TOOLS_SIM_FREEZEDETECTOR_H

#include <array>
#include <optional>

#include "Units.h"

namespace ktr::sim {

class FreezeDetector {
public:
    // A frame rendered at time now; returns the freeze it ended, if the gap before it was one.
    std::optional<Micros> rendered(Micros now);
    // The video stops (the peer leaves, nothing is received any more, the meeting ends): a gap that
    // already counts as a freeze is counted; the history starts anew.
    std::optional<Micros> stopped(Micros now);

    int freezes() const { return m_freezes; }
    Micros frozenTime() const { return m_frozenTime; }

private:
    std::optional<Micros> threshold() const;
    std::optional<Micros> closeGap(Micros now);

    static constexpr size_t kHistory = 30;
    std::array<Micros, kHistory> m_intervals{};
    size_t m_count = 0;  // intervals recorded, up to kHistory
    size_t m_next = 0;
    Micros m_sum = 0;
    std::optional<Micros> m_lastFrame;
    int m_freezes = 0;
    Micros m_frozenTime = 0;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_FREEZEDETECTOR_H

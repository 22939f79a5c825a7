#include "FreezeDetector.h"

#include <algorithm>

namespace ktr::sim {
namespace {

constexpr Micros kFreezeMargin = 150000;  // 150 ms above the mean interval
constexpr Micros kFreezeFactor = 3;       // or three mean intervals, whichever is longer

}  // namespace

std::optional<Micros> FreezeDetector::threshold() const {
    if (m_count == 0) {
        return std::nullopt;  // no interval seen yet: no mean to compare with
    }
    const Micros mean = m_sum / static_cast<Micros>(m_count);
    return std::max(kFreezeFactor * mean, mean + kFreezeMargin);
}

std::optional<Micros> FreezeDetector::closeGap(Micros now) {
    const Micros gap = now - *m_lastFrame;
    const std::optional<Micros> limit = threshold();
    if (!limit || gap < *limit) {
        return std::nullopt;
    }
    ++m_freezes;
    m_frozenTime += gap;
    return gap;
}

std::optional<Micros> FreezeDetector::rendered(Micros now) {
    std::optional<Micros> freeze;
    if (m_lastFrame) {
        freeze = closeGap(now);
        const Micros interval = now - *m_lastFrame;
        m_sum += interval - (m_count == kHistory ? m_intervals[m_next] : 0);
        m_intervals[m_next] = interval;
        m_next = (m_next + 1) % kHistory;
        m_count = std::min(m_count + 1, kHistory);
    }
    m_lastFrame = now;
    return freeze;
}

std::optional<Micros> FreezeDetector::stopped(Micros now) {
    std::optional<Micros> freeze = m_lastFrame ? closeGap(now) : std::nullopt;
    m_lastFrame.reset();
    m_count = 0;
    m_next = 0;
    m_sum = 0;
    return freeze;
}

}  // namespace ktr::sim

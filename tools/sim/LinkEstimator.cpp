#include "LinkEstimator.h"
#include "Units.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ktr::sim {
namespace {

constexpr int32_t kNormal = 1;
constexpr int32_t kHeadroom = 2;
constexpr int32_t kLargeHeadroom = 3;
constexpr int32_t kCongested = 4;
constexpr int32_t kSevere = 5;

int32_t clampToInt32(double value) {
    return static_cast<int32_t>(std::clamp(value, 0.0, static_cast<double>(std::numeric_limits<int32_t>::max())));
}

}  // namespace

void LinkEstimator::arrived(Micros sent, Micros arrival, int64_t bytes) {
    const double delayMs = static_cast<double>(arrival - sent) / kMicrosPerMilli;
    m_delaySum += delayMs;
    m_minDelay = m_minDelay < 0 ? delayMs : std::min(m_minDelay, delayMs);
    ++m_arrivals;
    m_arrivedBytes += bytes;
    m_window.emplace_back(arrival, bytes);
    if (!m_firstArrival) {
        m_firstArrival = sent;
    }
}

void LinkEstimator::dropped(int64_t bytes) {
    m_droppedBytes += bytes;
}

double LinkEstimator::deliveredRate(Micros now) {
    while (!m_window.empty() && m_window.front().first <= now - m_p.rateWindow) {
        m_window.pop_front();
    }
    int64_t bytes = 0;
    for (const auto& arrival : m_window) {
        bytes += arrival.second;
    }
    // Until a whole window has passed since the first arrival, the rate is measured over what has.
    const Micros span = std::min(m_p.rateWindow, now - m_firstArrival.value_or(now));
    return span > 0 ? static_cast<double>(bytes) * 8.0 * kMicrosPerSecond / static_cast<double>(span) : 0.0;
}

LinkEstimator::Usage LinkEstimator::detect(double trendMs, double elapsedMs) {
    const double gain = std::abs(trendMs) > m_threshold ? m_p.thresholdUpGain : m_p.thresholdDownGain;
    Usage usage = Usage::Normal;
    if (trendMs > m_threshold && trendMs >= m_lastTrend) {
        usage = Usage::Over;
    } else if (trendMs < -m_threshold) {
        usage = Usage::Under;
    }
    m_threshold += elapsedMs * gain * (std::abs(trendMs) - m_threshold);
    m_threshold = std::clamp(m_threshold, m_p.minThresholdMs, m_p.maxThresholdMs);
    m_lastTrend = trendMs;
    return usage;
}

int32_t LinkEstimator::statusFor(Usage usage, double queueMs, double loss, double estimate, double demand) const {
    if (loss > m_p.highLoss || (usage == Usage::Over && queueMs > m_p.severeQueueMs)) {
        return kSevere;
    }
    if (usage == Usage::Over || loss > m_p.lowLoss) {
        return kCongested;
    }
    if (demand <= 0) {
        return kNormal;
    }
    const double headroom = estimate / demand - 1.0;
    if (headroom >= m_p.headroomFor3) {
        return kLargeHeadroom;
    }
    return headroom >= m_p.headroomFor2 ? kHeadroom : kNormal;
}

LinkEstimate LinkEstimator::update(Micros now, double demand) {
    const double elapsedMs = static_cast<double>(now - m_lastUpdate) / kMicrosPerMilli;
    const double meanDelay = m_arrivals > 0 ? m_delaySum / static_cast<double>(m_arrivals) : m_lastMeanDelay;
    const double trend = meanDelay >= 0 && m_lastMeanDelay >= 0 ? meanDelay - m_lastMeanDelay : 0.0;
    const double queueMs = meanDelay >= 0 && m_minDelay >= 0 ? meanDelay - m_minDelay : 0.0;
    const int64_t offered = m_arrivedBytes + m_droppedBytes;
    const double loss = offered > 0 ? static_cast<double>(m_droppedBytes) / static_cast<double>(offered) : 0.0;
    const double delivered = deliveredRate(now);

    const Usage usage = detect(trend, elapsedMs);
    if (usage == Usage::Over) {
        m_delayBased = m_p.overuseFactor * delivered;
    } else if (usage == Usage::Normal) {
        m_delayBased *= std::pow(m_p.increasePerSecond, elapsedMs / kMillisPerSecond);
        if (delivered > 0) {
            m_delayBased = std::min(m_delayBased, m_p.maxOverDelivered * delivered);
        }
    }
    if (loss > m_p.highLoss) {
        m_lossBased = m_lossBased * (1.0 - 0.5 * loss);
    } else if (loss < m_p.lowLoss) {
        m_lossBased = std::max(m_lossBased, m_delayBased) * m_p.lossGrowth;
    }
    const double estimate = std::min(m_delayBased, m_lossBased);

    LinkEstimate result;
    result.status = statusFor(usage, queueMs, loss, estimate, demand);
    result.score = static_cast<int32_t>(
        std::lround(std::clamp(100.0 - m_p.scoreLossWeight * loss - m_p.scoreQueueWeight * queueMs, 0.0, 100.0)));
    result.bitrate = clampToInt32(delivered);
    result.maxBitrate = clampToInt32(estimate);
    result.queueMs = queueMs;
    result.loss = loss;

    m_lastUpdate = now;
    m_lastMeanDelay = meanDelay;
    m_delaySum = 0;
    m_arrivals = 0;
    m_arrivedBytes = 0;
    m_droppedBytes = 0;
    return result;
}

}  // namespace ktr::sim

// Turns what a receiver sees of a link (frames arriving late, frames lost, the rate delivered) into the
// estimate the library reads: net status, score, bitrate and maximum bitrate. Shaped after delay-based
// congestion control (an adaptive-threshold detector on the delay trend, a multiplicative rate
// controller, a loss-based bound); the mapping onto the library's status codes and score is ours.
#ifndef KTRSDK_TOOLS_SIM_LINKESTIMATOR_H
#define KTRSDK_TOOLS_SIM_LINKESTIMATOR_H

#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

#include "Units.h"

namespace ktr::sim {

struct EstimatorParameters {
    double initialThresholdMs = 12.5;  // detector threshold at start
    double minThresholdMs = 6.0;       // bounds of the adaptive threshold
    double maxThresholdMs = 600.0;
    double thresholdUpGain = 0.01;       // adaptation while |trend| exceeds the threshold (per ms)
    double thresholdDownGain = 0.00018;  // adaptation otherwise (per ms)
    double increasePerSecond = 1.08;     // multiplicative increase while the detector is normal
    double overuseFactor = 0.85;         // on overuse the estimate becomes this share of the delivered rate
    double maxOverDelivered = 1.5;       // the estimate never exceeds this multiple of the delivered rate
    double highLoss = 0.10;              // loss above it cuts the estimate by half the loss
    double lowLoss = 0.02;               // loss below it lets the loss bound grow
    double lossGrowth = 1.05;            // growth of the loss bound per update below lowLoss
    double severeQueueMs = 300.0;        // queueing beyond it on overuse reads as severe congestion
    double headroomFor2 = 0.15;          // estimate at least 15 % above demand: status 2
    double headroomFor3 = 0.50;          // at least 50 % above demand: status 3
    double scoreLossWeight = 500.0;      // score = 100 - weight x loss - weight x queueing ms
    double scoreQueueWeight = 0.1;
    double initialEstimate = 1000000.0;  // bit/s before the first measurement
    Micros rateWindow = 500000;          // delivered rate measured over the last 500 ms
};

struct LinkEstimate {
    int32_t status = 1;
    int32_t score = 100;
    int32_t bitrate = 0;     // delivered rate, bit/s
    int32_t maxBitrate = 0;  // the rate estimate, bit/s
    double queueMs = 0;
    double loss = 0;
};

class LinkEstimator {
public:
    explicit LinkEstimator(const EstimatorParameters& parameters = {})
        : m_p(parameters),
          m_threshold(parameters.initialThresholdMs),
          m_delayBased(parameters.initialEstimate),
          m_lossBased(parameters.initialEstimate) {}

    void arrived(Micros sent, Micros arrival, int64_t bytes);
    void dropped(int64_t bytes);

    // The estimate at now, for a demand (bit/s the receiver is being sent).
    LinkEstimate update(Micros now, double demand);

private:
    enum class Usage { Normal, Over, Under };
    Usage detect(double trendMs, double elapsedMs);
    double deliveredRate(Micros now);
    int32_t statusFor(Usage usage, double queueMs, double loss, double estimate, double demand) const;

    EstimatorParameters m_p;
    double m_threshold;
    double m_lastTrend = 0;
    double m_delayBased;
    double m_lossBased;
    std::deque<std::pair<Micros, int64_t>> m_window;  // arrivals within the rate window
    Micros m_lastUpdate = 0;
    std::optional<Micros> m_firstArrival;  // the send time of the first frame that arrived
    double m_lastMeanDelay = -1;
    double m_minDelay = -1;
    // Since the last update:
    double m_delaySum = 0;
    int64_t m_arrivals = 0;
    int64_t m_arrivedBytes = 0;
    int64_t m_droppedBytes = 0;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_LINKESTIMATOR_H

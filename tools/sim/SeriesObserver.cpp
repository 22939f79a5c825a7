#include "SeriesObserver.h"

namespace ktr::sim {

// uid 0 names the link's own series.
constexpr uint64_t kLinkSeries = 0;

void SeriesObserver::receivedChanged(SimTime now, const ReceivedChange& change) {
    m_series.sample(secondsOf(now), "received", change.uid, change.toBps);
    if (change.from != change.to) {
        m_series.sample(secondsOf(now), "switch", change.uid, static_cast<double>(change.to));
    }
}

void SeriesObserver::froze(SimTime now, uint64_t uid, Micros duration) {
    m_series.sample(secondsOf(now), "freeze", uid, secondsOf(SimTime{duration}));
}

void SeriesObserver::downloadSampled(SimTime now, const DownloadSample& sample) {
    const double time = secondsOf(now);
    m_series.sample(time, "capacity", kLinkSeries, sample.link.capacityBps);
    m_series.sample(time, "capacity_1s", kLinkSeries, sample.smoothedCapacityBps);
    m_series.sample(time, "estimate", kLinkSeries, sample.estimateBps);
    m_series.sample(time, "demand", kLinkSeries, sample.link.demandBps);
    m_series.sample(time, "delivered", kLinkSeries, sample.link.deliveredBps);
}

}  // namespace ktr::sim

#include "MetricsObserver.h"

namespace ktr::sim {

void MetricsObserver::receivedChanged(SimTime now, const ReceivedChange& change) {
    m_metrics.receivedChanged(change.uid, now.count(), change.from, change.to, change.fromBps, change.toBps);
}

void MetricsObserver::froze(SimTime /*now*/, uint64_t uid, Micros duration) {
    m_metrics.freeze(uid, duration);
}

void MetricsObserver::downloadSampled(SimTime /*now*/, const DownloadSample& sample) {
    m_metrics.sample(sample.link, sample.peers);
}

void MetricsObserver::uploadSampled(SimTime /*now*/, const UploadSample& sample) {
    m_metrics.sampleUpload(sample);
}

void MetricsObserver::requestsEnded(int unmet) {
    m_metrics.requestsEnded(unmet);
}

void MetricsObserver::rendered(SimTime /*now*/, uint64_t uid, Micros delay) {
    m_metrics.rendered(uid, delay);
}

void MetricsObserver::publishedChanged(SimTime /*now*/) {
    m_metrics.publishedChanged();
}

}  // namespace ktr::sim

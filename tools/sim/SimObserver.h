// What a run reports as it goes, to the parts that measure it (the quality metrics, the sampled series):
// the parts that simulate call this interface only, and never a measuring part directly.
#ifndef KTRSDK_TOOLS_SIM_SIMOBSERVER_H
#define KTRSDK_TOOLS_SIM_SIMOBSERVER_H

#include <cstdint>
#include <vector>

#include "QualityMetrics.h"
#include "Units.h"

namespace ktr::sim {

// The stream a peer is received on changed (a request took effect, a new choice after a report, the peer
// left).
struct ReceivedChange {
    uint64_t uid = 0;
    ReceivedClass from = ReceivedClass::None;
    ReceivedClass to = ReceivedClass::None;
    double fromBps = 0;
    double toBps = 0;
};

// The download side at an estimate: the interval that ended, every present peer, and what the estimator
// said.
struct DownloadSample {
    LinkSample link;
    std::vector<PeerSample> peers;
    double smoothedCapacityBps = 0;  // the capacity over the last second
    double estimateBps = 0;          // the estimator's rate estimate
};

class SimObserver {
public:
    virtual ~SimObserver() = default;
    virtual void receivedChanged(SimTime now, const ReceivedChange& change) = 0;
    virtual void froze(SimTime now, uint64_t uid, Micros duration) = 0;
    virtual void downloadSampled(SimTime now, const DownloadSample& sample) = 0;
    virtual void uploadSampled(SimTime now, const UploadSample& sample) = 0;
    // A set of subscriber requests was replaced or the meeting ended: how many it never met.
    virtual void requestsEnded(int unmet) = 0;
    // A frame of the peer's video was rendered, this long after its sender made it.
    virtual void rendered(SimTime now, uint64_t uid, Micros delay) = 0;
    // The published camera streams changed from one set to another.
    virtual void publishedChanged(SimTime now) = 0;
};

// Hands every report to each of its observers, in the order they were added.
class SimObserverGroup : public SimObserver {
public:
    void add(SimObserver* observer) {
        if (observer != nullptr) {
            m_observers.push_back(observer);
        }
    }
    void receivedChanged(SimTime now, const ReceivedChange& change) override {
        for (SimObserver* observer : m_observers) {
            observer->receivedChanged(now, change);
        }
    }
    void froze(SimTime now, uint64_t uid, Micros duration) override {
        for (SimObserver* observer : m_observers) {
            observer->froze(now, uid, duration);
        }
    }
    void downloadSampled(SimTime now, const DownloadSample& sample) override {
        for (SimObserver* observer : m_observers) {
            observer->downloadSampled(now, sample);
        }
    }
    void uploadSampled(SimTime now, const UploadSample& sample) override {
        for (SimObserver* observer : m_observers) {
            observer->uploadSampled(now, sample);
        }
    }
    void requestsEnded(int unmet) override {
        for (SimObserver* observer : m_observers) {
            observer->requestsEnded(unmet);
        }
    }
    void rendered(SimTime now, uint64_t uid, Micros delay) override {
        for (SimObserver* observer : m_observers) {
            observer->rendered(now, uid, delay);
        }
    }
    void publishedChanged(SimTime now) override {
        for (SimObserver* observer : m_observers) {
            observer->publishedChanged(now);
        }
    }

private:
    std::vector<SimObserver*> m_observers;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SIMOBSERVER_H

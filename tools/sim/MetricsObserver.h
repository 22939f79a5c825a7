// Feeds a run's reports to its quality metrics.
#ifndef KTRSDK_TOOLS_SIM_METRICSOBSERVER_H
#define KTRSDK_TOOLS_SIM_METRICSOBSERVER_H

#include "QualityMetrics.h"
#include "SimObserver.h"

namespace ktr::sim {

class MetricsObserver : public SimObserver {
public:
    explicit MetricsObserver(QualityMetrics& metrics) : m_metrics(metrics) {}
    void receivedChanged(SimTime now, const ReceivedChange& change) override;
    void froze(SimTime now, uint64_t uid, Micros duration) override;
    void downloadSampled(SimTime now, const DownloadSample& sample) override;
    void uploadSampled(SimTime now, const UploadSample& sample) override;
    void requestsEnded(int unmet) override;
    void rendered(SimTime now, uint64_t uid, Micros delay) override;
    void publishedChanged(SimTime now) override;

private:
    QualityMetrics& m_metrics;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_METRICSOBSERVER_H

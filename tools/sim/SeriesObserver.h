// Writes a run's reports as the sampled series (--series, the plot, the HTML report).
#ifndef KTRSDK_TOOLS_SIM_SERIESOBSERVER_H
#define KTRSDK_TOOLS_SIM_SERIESOBSERVER_H

#include "SeriesSink.h"
#include "SimObserver.h"

namespace ktr::sim {

class SeriesObserver : public SimObserver {
public:
    explicit SeriesObserver(SeriesSink& series) : m_series(series) {}
    void receivedChanged(SimTime now, const ReceivedChange& change) override;
    void froze(SimTime now, uint64_t uid, Micros duration) override;
    void downloadSampled(SimTime now, const DownloadSample& sample) override;
    void uploadSampled(SimTime /*now*/, const UploadSample& /*sample*/) override {}
    void requestsEnded(int /*unmet*/) override {}
    void rendered(SimTime /*now*/, uint64_t /*uid*/, Micros /*delay*/) override {}
    void publishedChanged(SimTime /*now*/) override {}

private:
    SeriesSink& m_series;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SERIESOBSERVER_H

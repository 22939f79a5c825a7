// One participant of a simulated meeting as its own client sees it: its view of the meeting, its event
// queue, the media paths into it (download) and out of it (upload, when modelled), the observers that
// measure it, and its host driving its own library instance.
#ifndef KTRSDK_TOOLS_SIM_PARTICIPANT_H
#define KTRSDK_TOOLS_SIM_PARTICIPANT_H

#include <optional>

#include "EventQueue.h"
#include "Host.h"
#include "MediaPath.h"
#include "Meeting.h"
#include "MetricsObserver.h"
#include "QualityMetrics.h"
#include "SeriesObserver.h"
#include "Server.h"
#include "SimObserver.h"
#include "Simulation.h"

namespace ktr::sim {

class Participant {
public:
    // view is the meeting as this participant sees it (it is the local user); setup gives the links and the
    // seed. Without a server its peers are idealized publishers.
    Participant(Meeting view, const SimulationSetup& setup, const SdkLibrary& library, const SimulationOutputs& outputs,
                Server* server);
    Participant(const Participant&) = delete;
    Participant& operator=(const Participant&) = delete;

    // In a conference: the server its links exchange frames with.
    void connect(FrameRelay& relay);
    void start() { m_host.start(); }
    // Whether an event of this participant is due before end, and when.
    bool hasEventBefore(SimTime end) const { return m_queue.hasEventBefore(end); }
    SimTime nextTime() const { return m_queue.nextTime(); }
    // Whatever makes its next event earlier (its own step or another participant's frame) calls notify.
    void onEarlierNext(std::function<void(SimTime)> notify) { m_queue.onEarlierNext(std::move(notify)); }
    // Receives the frames that arrive by the next event, then runs that event.
    void step();
    // The meeting ends at end: the metrics are summarized.
    void finish(SimTime end, RunSummary& summary);

    Host& host() { return m_host; }
    uint64_t uid() const { return m_view.localUid; }
    // Its own links and seed.
    const SimulationSetup& setup() const { return m_setup; }
    const PathTotals& downloadTotals() const { return m_download.totals(); }
    const MediaPath& download() const { return m_download; }
    // What its uplink carried (nothing without one).
    PathTotals uploadTotals() const { return m_upload ? m_upload->totals() : PathTotals{}; }

private:
    Meeting m_view;
    SimulationSetup m_setup;
    SimulationOutputs m_outputs;
    EventQueue m_queue;
    QualityMetrics m_metrics;
    MetricsObserver m_metricsObserver{m_metrics};
    std::optional<SeriesObserver> m_seriesObserver;
    SimObserverGroup m_observers;
    MediaPath m_download;
    std::optional<MediaPath> m_upload;
    Host m_host;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_PARTICIPANT_H

#include "Simulation.h"

#include <optional>

#include "EventQueue.h"
#include "Host.h"
#include "MediaPath.h"
#include "MetricsObserver.h"
#include "QualityMetrics.h"
#include "SeriesObserver.h"
#include "SimObserver.h"

namespace ktr::sim {
namespace {

// A path over the meeting's link with this buffer, whose key frames are no larger than other frames.
MediaPathParameters pathOver(const LinkParameters& link, EventKind frameEvent, int64_t bufferBytes) {
    MediaPathParameters path;
    path.frameEvent = frameEvent;
    path.bufferBytes = bufferBytes;
    path.oneWayDelay = link.baseRtt / 2;
    path.lossFeedbackDelay = link.baseRtt;
    return path;
}

MediaPathParameters downloadPath(const LinkParameters& link) {
    MediaPathParameters path = pathOver(link, EventKind::PeerFrame, link.downlinkBufferBytes);
    path.keyFrameFactor = link.keyFrameFactor;
    path.keyFrameInterval = link.keyFrameInterval;
    return path;
}

// The upload side does not model larger key frames.
MediaPathParameters uploadPath(const LinkParameters& link) {
    return pathOver(link, EventKind::CameraFrame, link.uplinkBufferBytes);
}

}  // namespace

Simulation::Simulation(const SimulationSetup& setup) : m_setup(setup) {}

void Simulation::run(const SdkLibrary& library, const SimulationOutputs& outputs, RunSummary& summary) {
    const Meeting& meeting = *m_setup.meeting;
    QualityMetrics metrics;
    MetricsObserver metricsObserver(metrics);
    std::optional<SeriesObserver> seriesObserver;
    SimObserverGroup observers;
    observers.add(&metricsObserver);
    if (outputs.series != nullptr) {
        observers.add(&seriesObserver.emplace(*outputs.series));
    }

    EventQueue queue;
    MediaPath download(*m_setup.downlink, downloadPath(meeting.link), m_setup.estimator, queue, observers);
    std::optional<MediaPath> upload;
    if (m_setup.uplink != nullptr) {
        upload.emplace(*m_setup.uplink, uploadPath(meeting.link), m_setup.estimator, queue, observers);
    }
    Host host(m_setup, library, outputs, queue, download, upload ? &*upload : nullptr, observers);

    host.start();
    const SimTime end{meeting.duration};
    while (queue.hasEventBefore(end)) {
        // Frames that arrive by the next event are received first, at the clock of the event before it.
        download.deliverUntil(queue.nextTime());
        if (upload) {
            upload->deliverUntil(queue.nextTime());
        }
        const SimEvent event = queue.pop();
        if (event.kind == EventKind::PeerFrame) {
            download.sendFrame(event.subject, event.epoch);
        } else if (event.kind == EventKind::CameraFrame) {
            upload->sendFrame(event.subject, event.epoch);
        } else {
            host.handle(event);
        }
    }
    queue.advanceTo(end);
    host.finish();
    metrics.summarize(summary);
    m_libraryTime = host.libraryTime();
    m_downloadTotals = download.totals();
}

}  // namespace ktr::sim

#include "Participant.h"

#include <utility>

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

// Alone, the upload side does not model larger key frames; in a conference its frames are the ones the
// subscribers receive, so it sends the key frames the download side models.
MediaPathParameters uploadPath(const LinkParameters& link, bool conference) {
    MediaPathParameters path = pathOver(link, EventKind::CameraFrame, link.uplinkBufferBytes);
    if (conference) {
        path.keyFrameFactor = link.keyFrameFactor;
        path.keyFrameInterval = link.keyFrameInterval;
    }
    return path;
}

SimulationSetup viewing(const SimulationSetup& setup, const Meeting& view) {
    SimulationSetup own = setup;
    own.meeting = &view;
    return own;
}

}  // namespace

Participant::Participant(Meeting view, const SimulationSetup& setup, const SdkLibrary& library,
                         const SimulationOutputs& outputs, Server* server)
    : m_view(std::move(view)),
      m_setup(viewing(setup, m_view)),
      m_outputs(outputs),
      m_download(*m_setup.downlink, downloadPath(m_view.link), m_setup.estimator, m_queue, m_observers),
      m_upload(m_setup.uplink != nullptr ? std::optional<MediaPath>(std::in_place, *m_setup.uplink,
                                                                    uploadPath(m_view.link, server != nullptr),
                                                                    m_setup.estimator, m_queue, m_observers)
                                         : std::nullopt),
      m_host(m_setup, library, m_outputs, m_queue, m_download, m_upload ? &*m_upload : nullptr, m_observers, server) {
    m_observers.add(&m_metricsObserver);
    if (outputs.series != nullptr) {
        m_observers.add(&m_seriesObserver.emplace(*outputs.series));
    }
}

void Participant::connect(FrameRelay& relay) {
    m_download.askKeyFramesOf(&relay);
    if (m_upload) {
        m_upload->forwardTo(&relay);
    }
}

void Participant::step() {
    // Frames that arrive by the next event are received first, at the clock of the event before it.
    m_download.deliverUntil(m_queue.nextTime());
    if (m_upload) {
        m_upload->deliverUntil(m_queue.nextTime());
    }
    const SimEvent event = m_queue.pop();
    if (event.kind == EventKind::PeerFrame) {
        m_download.sendFrame(event.subject, event.epoch);
    } else if (event.kind == EventKind::CameraFrame) {
        m_upload->sendFrame(event.subject, event.epoch);
    } else if (event.kind == EventKind::RelayedFrame) {
        m_download.sendRelayed(event.subject, event.epoch);
    } else {
        m_host.handle(event);
    }
}

void Participant::finish(SimTime end, RunSummary& summary) {
    m_queue.advanceTo(end);
    m_host.finish();
    m_metrics.summarize(summary);
}

}  // namespace ktr::sim

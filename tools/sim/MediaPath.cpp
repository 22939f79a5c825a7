#include "MediaPath.h"

#include <algorithm>
#include <numeric>
#include <tuple>

namespace ktr::sim {
namespace {

using tarn::video::VideoStreamInfo;

SimTime frameInterval(const VideoStreamInfo& stream) {
    return SimTime{std::max<Micros>(1, kMicrosPerSecond / stream.fps)};
}

}  // namespace

bool sends(const VideoStreamInfo& stream) {
    return stream.bitrate > 0 && stream.fps > 0;
}

bool sameStream(const VideoStreamInfo& a, const VideoStreamInfo& b) {
    return std::tie(a.bitrate, a.fps, a.width, a.height) == std::tie(b.bitrate, b.fps, b.width, b.height);
}

MediaPath::MediaPath(const CapacityTrace& capacity, const MediaPathParameters& parameters,
                     const EstimatorParameters& estimator, EventQueue& queue, SimObserver& observer)
    : m_capacity(capacity),
      m_p(parameters),
      m_bottleneck(capacity, parameters.bufferBytes),
      m_estimator(estimator),
      m_queue(queue),
      m_observer(observer) {}

bool MediaPath::carries(uint64_t video, const VideoStreamInfo& stream) const {
    return sameStream(streamOf(video), stream);
}

void MediaPath::change(uint64_t video, const VideoStreamInfo& stream, bool relayed) {
    Video& state = m_videos[video];
    if (sameStream(stream, state.stream) && relayed == state.relayed) {
        return;
    }
    const bool wasSending = sends(state.stream);
    state.relayed = relayed;
    start(video, state, stream);
    if (sends(stream)) {
        state.awaitingKey = state.awaitingKey || !wasSending;
    } else if (wasSending && state.receiving) {
        noteFreeze(video, state.freezes.stopped(m_queue.now().count()));
    }
}

void MediaPath::restart(const std::vector<VideoStreamInfo>& streams) {
    for (uint64_t video = streams.size(); video < m_restarted; ++video) {
        start(video, m_videos[video], VideoStreamInfo{});
    }
    for (size_t i = 0; i < streams.size(); ++i) {
        start(i, m_videos[i], streams[i]);
    }
    m_restarted = streams.size();
}

void MediaPath::start(uint64_t video, Video& state, const VideoStreamInfo& stream) {
    state.stream = stream;
    ++state.epoch;
    if (!sends(stream)) {
        return;
    }
    if (state.relayed) {
        if (m_source != nullptr) {
            m_source->keyFrameWanted(video, stream, m_queue.now().count());
        }
        return;
    }
    state.keyDueAt = m_queue.now().count();  // a new stream starts with a key frame
    schedule(video, state, m_queue.now(), m_p.frameEvent);
}

void MediaPath::schedule(uint64_t video, const Video& state, SimTime at, EventKind kind) {
    SimEvent event;
    event.at = at;
    event.kind = kind;
    event.subject = video;
    event.epoch = state.epoch;
    m_queue.push(event);
}

void MediaPath::relay(uint64_t video, const RelayedFrame& frame) {
    const auto found = m_videos.find(video);
    if (found == m_videos.end() || !found->second.relayed || !sameStream(found->second.stream, frame.stream)) {
        return;
    }
    found->second.relayedPending.push_back(frame);
    schedule(video, found->second, SimTime{frame.arrival}, EventKind::RelayedFrame);
}

// A video's relayed frames arrive in the order they were relayed, one event each; a frame relayed for a
// stream the video has left since is not sent.
void MediaPath::sendRelayed(uint64_t video, uint64_t epoch) {
    Video& state = m_videos[video];
    if (state.relayedPending.empty()) {
        return;
    }
    const RelayedFrame frame = state.relayedPending.front();
    state.relayedPending.pop_front();
    if (epoch == state.epoch) {
        pass(video, state, frame);
    }
}

void MediaPath::requestKeyFrame(const VideoStreamInfo& stream, Micros at) {
    for (auto& entry : m_videos) {
        Video& state = entry.second;
        if (!state.relayed && sends(state.stream) && sameStream(state.stream, stream)) {
            state.keyDueAt = state.keyDueAt ? std::min(*state.keyDueAt, at) : at;
        }
    }
}

const VideoStreamInfo& MediaPath::streamOf(uint64_t video) const {
    static const VideoStreamInfo kNothing{};
    const auto found = m_videos.find(video);
    return found != m_videos.end() ? found->second.stream : kNothing;
}

double MediaPath::sendingBitrate() const {
    double total = 0;
    for (const auto& entry : m_videos) {
        if (sends(entry.second.stream)) {
            total += entry.second.stream.bitrate;
        }
    }
    return total;
}

std::pair<int64_t, bool> MediaPath::nextFrame(Video& state) const {
    const Micros now = m_queue.now().count();
    const bool key = (state.keyDueAt && now >= *state.keyDueAt) ||
                     (m_p.keyFrameInterval > 0 && now - state.lastKey >= m_p.keyFrameInterval);
    if (key) {
        state.keyDueAt.reset();
        state.lastKey = now;
    }
    const double bits = static_cast<double>(state.stream.bitrate) / state.stream.fps;
    const double factor = key ? m_p.keyFrameFactor : 1.0;
    return {std::max<int64_t>(1, static_cast<int64_t>(bits * factor / 8.0)), key};
}

void MediaPath::sendFrame(uint64_t video, uint64_t epoch) {
    const auto found = m_videos.find(video);
    if (found == m_videos.end() || epoch != found->second.epoch || !sends(found->second.stream)) {
        return;
    }
    Video& state = found->second;
    const Micros now = m_queue.now().count();
    const auto [bytes, key] = nextFrame(state);
    pass(video, state, RelayedFrame{state.stream, now, now, bytes, key, false});
    schedule(video, state, m_queue.now() + frameInterval(state.stream), m_p.frameEvent);
}

void MediaPath::pass(uint64_t video, Video& state, const RelayedFrame& frame) {
    const Micros now = m_queue.now().count();
    m_totals.sent += frame.bytes;
    const Bottleneck::Outcome outcome = m_bottleneck.send(now, frame.bytes);
    if (outcome.dropped) {
        m_totals.dropped += frame.bytes;
        m_estimator.dropped(frame.bytes);
        lost(video, state);
        return;
    }
    const Micros arrival = outcome.departure + m_p.oneWayDelay;
    m_inFlight.push_back(InFlight{arrival, now, frame.captured, video, frame.bytes, frame.key, frame.afterLoss});
    if (m_onward != nullptr) {
        m_onward->crossed(
            video, RelayedFrame{state.stream, frame.captured, arrival, frame.bytes, frame.key, state.lostSinceCrossed});
        state.lostSinceCrossed = false;
    }
}

// The receiver asks for a key frame; the request reaches the sender (for a relayed video, the publisher
// through the server) a round trip later.
void MediaPath::lost(uint64_t video, Video& state) {
    state.awaitingKey = true;
    const Micros due = m_queue.now().count() + m_p.lossFeedbackDelay;
    if (!state.relayed) {
        state.keyDueAt = due;
        state.lostSinceCrossed = true;
    } else if (m_source != nullptr) {
        m_source->keyFrameWanted(video, state.stream, due);
    }
}

void MediaPath::setReceiving(uint64_t video, bool receiving) {
    m_videos[video].receiving = receiving;
}

void MediaPath::deliverUntil(SimTime until) {
    while (!m_inFlight.empty() && m_inFlight.front().arrival <= until.count()) {
        const InFlight frame = m_inFlight.front();
        m_inFlight.pop_front();
        m_estimator.arrived(frame.sent, frame.arrival, frame.bytes);
        m_totals.delivered += frame.bytes;
        render(frame);
    }
}

void MediaPath::render(const InFlight& frame) {
    Video& state = m_videos[frame.video];
    state.awaitingKey = state.awaitingKey || frame.afterLoss;
    if (!state.receiving || (state.awaitingKey && !frame.key)) {
        return;
    }
    state.awaitingKey = false;
    m_observer.rendered(m_queue.now(), frame.video, frame.arrival - frame.captured);
    noteFreeze(frame.video, state.freezes.rendered(frame.arrival));
}

double MediaPath::takeCarriedBytes() {
    const double left = m_bottleneck.leftBytes(m_queue.now().count());
    const double carried = left - m_carriedWhenTaken;
    m_carriedWhenTaken = left;
    return carried;
}

void MediaPath::stopReceiving() {
    for (auto& [video, state] : m_videos) {
        if (state.receiving) {
            noteFreeze(video, state.freezes.stopped(m_queue.now().count()));
        }
    }
}

int64_t MediaPath::bytesInTransit() const {
    return std::accumulate(m_inFlight.begin(), m_inFlight.end(), int64_t{0},
                           [](int64_t sum, const InFlight& frame) { return sum + frame.bytes; });
}

void MediaPath::noteFreeze(uint64_t video, std::optional<Micros> freeze) {
    if (freeze) {
        m_observer.froze(m_queue.now(), video, *freeze);
    }
}

}  // namespace ktr::sim

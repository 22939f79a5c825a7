#include "Simulation.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <queue>

#include "Bottleneck.h"
#include "DefinitionTable.h"
#include "FreezeDetector.h"
#include "LibraryDriver.h"
#include "MeetingScript.h"
#include "PeerStreams.h"
#include "QualityMetrics.h"

namespace ktr::sim {
namespace {

using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

constexpr int32_t kCameraChannel = 1;
constexpr int32_t kShareChannel = 2;
// The window of the smoothed capacity series: short spikes of a cellular link (100 ms at tens of Mbit/s)
// average out over it, while a drop that lasts shows within a second.
constexpr Micros kSmoothedCapacityWindow = kMicrosPerSecond;

double secondsOf(Micros time) {
    return static_cast<double>(time) / kMicrosPerSecond;
}

bool sends(const VideoStreamInfo& stream) {
    return stream.bitrate > 0 && stream.fps > 0;
}

// The best stream the library can receive of a peer: what "upper" means in the metrics.
const VideoStreamInfo* upperOf(const std::vector<VideoStreamInfo>& streams) {
    const std::optional<size_t> best = peerstreams::bestReceivable(streams);
    return best ? &streams[*best] : nullptr;
}

User userOf(uint64_t uid, uint16_t dt) {
    return User{uid, dt, uint16_t{0}, std::string()};
}

// Peers of equal standing publish the same streams from the same device type.
int64_t standingOf(const MeetingPeer& peer) {
    // Wraps rather than overflows on any meeting's values (unsigned arithmetic).
    uint64_t key = peer.dt;
    for (const VideoStreamInfo& s : peer.streams) {
        key = key * 1000003u + static_cast<uint64_t>(int64_t{s.bitrate} * 31) + static_cast<uint64_t>(s.height);
    }
    return static_cast<int64_t>(key);
}

enum class EventKind { Script, Apply, Estimate, Adjust, Upload, PeerFrame, CameraFrame };

struct Event {
    Micros at;
    EventKind kind;
    uint64_t sequence;
    uint64_t subject;  // script event index, peer uid or camera stream index
    uint64_t epoch;    // frames of a stream that changed since are dropped
    VideoStreamInfo stream;

    bool operator>(const Event& other) const {
        if (at != other.at) {
            return at > other.at;
        }
        if (kind != other.kind) {
            return kind > other.kind;
        }
        return sequence > other.sequence;
    }
};

// A frame on its way: it reaches the receiver at `arrival`.
struct InFlight {
    Micros arrival;
    Micros sent;
    uint64_t subject;
    int64_t bytes;
    bool key;
};

// A sender's side of one video: its current stream, frame clock and key frames.
struct VideoSender {
    VideoStreamInfo stream{};
    uint64_t epoch = 0;
    bool awaitingKey = false;        // the receiver lost a frame: nothing renders until a key frame
    std::optional<Micros> keyDueAt;  // the next frame sent at or after this time is a key frame
    Micros lastKey = 0;
};

struct PeerRuntime {
    const MeetingPeer* peer = nullptr;
    bool present = false;
    VideoSender sender;
    FreezeDetector freezes;
    ReceivedClass received = ReceivedClass::None;
};

}  // namespace

class Simulation::Run {
public:
    Run(const SimulationSetup& setup, const SdkLibrary& library, const SimulationOutputs& outputs)
        : m_setup(setup),
          m_meeting(*setup.meeting),
          m_outputs(outputs),
          m_driver(library),
          m_down(*setup.downlink, m_meeting.link.downlinkBufferBytes),
          m_downEstimator(setup.estimator),
          m_upEstimator(setup.estimator),
          m_script(scriptOf(m_meeting, setup.seed)) {
        if (setup.uplink != nullptr) {
            m_up.emplace(*setup.uplink, m_meeting.link.uplinkBufferBytes);
        }
        m_table.supply(m_meeting.definitions);
        for (const MeetingPeer& peer : m_meeting.peers) {
            m_peers[peer.uid].peer = &peer;
        }
    }

    void run(RunSummary& summary) {
        start();
        while (!m_events.empty() && m_events.top().at < m_meeting.duration) {
            const Event event = m_events.top();
            m_events.pop();
            deliverUntil(event.at, m_downFlight, false);
            deliverUntil(event.at, m_upFlight, true);
            handle(event);
        }
        finish();
        m_metrics.summarize(summary);
    }

    std::chrono::nanoseconds libraryTime() const { return m_driver.libraryTime(); }

private:
    // --- the library, as the host calls it -------------------------------------------------------
    TimelineStep call(const Action& action) {
        TimelineStep step = m_driver.perform(action, actionName(action), secondsOf(m_now));
        step.index = m_steps++;
        if (m_outputs.timeline != nullptr) {
            m_outputs.timeline->write(step);
        }
        if (m_outputs.record != nullptr && step.index > 0) {
            m_outputs.record->write(action);
        }
        return step;
    }

    void start() {
        call(Init{m_meeting.localUid, m_meeting.localDt});
        if (!m_meeting.definitions.empty()) {
            call(Definitions{recordsOf(m_meeting.definitions)});
        }
        if (m_meeting.config) {
            call(Config{*m_meeting.config});
        }
        for (size_t i = 0; i < m_script.size(); ++i) {
            push(m_script[i].at, EventKind::Script, i);
        }
        push(m_meeting.host.estimateInterval, EventKind::Estimate, 0);
        push(m_meeting.host.downloadAdjustInterval, EventKind::Adjust, 0);
        push(0, EventKind::Upload, 0);
        m_uploadDirty = true;
    }

    void push(Micros at, EventKind kind, uint64_t subject, uint64_t epoch = 0, const VideoStreamInfo& stream = {}) {
        m_events.push(Event{at, kind, m_sequence++, subject, epoch, stream});
    }

    void handle(const Event& event) {
        m_now = event.at;
        switch (event.kind) {
            case EventKind::Script:
                onScript(m_script[event.subject]);
                break;
            case EventKind::Apply:
                onApply(event.subject, event.stream);
                break;
            case EventKind::Estimate:
                onEstimate();
                push(m_now + m_meeting.host.estimateInterval, EventKind::Estimate, 0);
                break;
            case EventKind::Adjust:
                onAdjust();
                push(m_now + m_meeting.host.downloadAdjustInterval, EventKind::Adjust, 0);
                break;
            case EventKind::Upload:
                onUploadCheck();
                push(m_now + m_meeting.host.uploadCheckInterval, EventKind::Upload, 0);
                break;
            case EventKind::PeerFrame:
                onPeerFrame(event.subject, event.epoch);
                break;
            case EventKind::CameraFrame:
                onCameraFrame(event.subject, event.epoch);
                break;
        }
    }

    // --- the meeting ------------------------------------------------------------------------------
    std::vector<User> presentUsers() const {
        std::vector<User> users;
        for (const auto& [uid, runtime] : m_peers) {
            if (runtime.present) {
                users.push_back(userOf(uid, runtime.peer->dt));
            }
        }
        return users;
    }

    void onScript(const ScriptEvent& event) {
        using Kind = ScriptEvent::Kind;
        switch (event.kind) {
            case Kind::Join: {
                PeerRuntime& runtime = m_peers.at(event.uid);
                runtime.present = true;
                call(AddUser{userOf(event.uid, runtime.peer->dt)});
                followChoices(call(SetUsers{presentUsers()}));
                followChoices(call(PeerReport{event.uid, recordsOf(runtime.peer->streams)}));
                break;
            }
            case Kind::Leave: {
                PeerRuntime& runtime = m_peers.at(event.uid);
                call(RemoveUser{userOf(event.uid, runtime.peer->dt)});
                stopPeer(runtime, event.uid);
                followChoices(call(SetUsers{presentUsers()}));
                break;
            }
            case Kind::Report:
                followChoices(call(PeerReport{event.uid, recordsOf(m_peers.at(event.uid).peer->streams)}));
                return;  // the scene is unchanged: no new upload decision is due
            case Kind::SpeakerOn:
            case Kind::SpeakerOff:
                m_speaker = event.kind == Kind::SpeakerOn ? std::optional<uint64_t>(event.uid) : std::nullopt;
                call(Speaker{event.kind == Kind::SpeakerOn, event.uid});
                break;
            case Kind::ShareOn:
            case Kind::ShareOff:
                m_sharer = event.kind == Kind::ShareOn ? std::optional<uint64_t>(event.uid) : std::nullopt;
                m_shareDue = event.kind == Kind::ShareOn && event.uid == m_meeting.localUid;
                call(Sharing{event.kind == Kind::ShareOn, event.uid});
                break;
            case Kind::Requests:
                onRequests(m_meeting.selectRequests[event.requests]);
                break;
        }
        m_uploadDirty = true;
    }

    void onRequests(const SelectRequestSet& set) {
        closeRequestSet();
        call(ClearSelectRequests{});
        for (const SelectRequestSet::Request& r : set.requests) {
            call(SelectRequest{r.width, r.height, r.fps, r.bitrate});
        }
        m_requestMet.assign(set.requests.size(), false);
        m_requestBitrates.clear();
        for (const SelectRequest& r : m_driver.state().selectRequests) {
            m_requestBitrates.push_back(r.bitrate);
        }
    }

    // A subscriber request is met while some published camera stream carries at least its bitrate.
    void markMetRequests() {
        for (size_t i = 0; i < m_requestBitrates.size(); ++i) {
            for (const VideoStreamInfo& stream : m_camera) {
                m_requestMet[i] = m_requestMet[i] || (sends(stream) && stream.bitrate >= m_requestBitrates[i]);
            }
        }
    }

    void closeRequestSet() {
        m_metrics.requestsEnded(static_cast<int>(std::count(m_requestMet.begin(), m_requestMet.end(), false)));
        m_requestMet.clear();
        m_requestBitrates.clear();
    }

    // After a report or a new user list the host receives each listed peer on the stream the library
    // chose for it, until a request says otherwise.
    void followChoices(const TimelineStep& step) {
        for (const auto& [uid, state] : step.state->peers) {
            auto found = m_peers.find(uid);
            if (found != m_peers.end() && found->second.present && state.received && state.chosen) {
                receive(found->second, uid, state.chosen->info());
            }
        }
    }

    // --- download ---------------------------------------------------------------------------------
    ReceivedClass classOf(const PeerRuntime& runtime, const VideoStreamInfo& stream) const {
        const VideoStreamInfo* upper = upperOf(runtime.peer->streams);
        if (!sends(stream) || upper == nullptr) {
            return ReceivedClass::None;
        }
        const bool upperClass =
            stream.bitrate >= upper->bitrate || m_table.classOf(stream.bitrate) == m_table.classOf(upper->bitrate);
        return upperClass ? ReceivedClass::Upper : ReceivedClass::Lower;
    }

    void receive(PeerRuntime& runtime, uint64_t uid, const VideoStreamInfo& stream) {
        VideoSender& sender = runtime.sender;
        if (std::tie(stream.bitrate, stream.fps, stream.width, stream.height) ==
            std::tie(sender.stream.bitrate, sender.stream.fps, sender.stream.width, sender.stream.height)) {
            return;
        }
        const ReceivedClass before = runtime.received;
        const double beforeBps = sends(sender.stream) ? sender.stream.bitrate : 0;
        runtime.received = classOf(runtime, stream);
        m_metrics.receivedChanged(uid, m_now, before, runtime.received, beforeBps, sends(stream) ? stream.bitrate : 0);
        writeSeries("received", uid, sends(stream) ? stream.bitrate : 0);
        if (before != runtime.received) {
            writeSeries("switch", uid, static_cast<double>(runtime.received));
        }
        const bool wasSending = sends(sender.stream);
        sender.stream = stream;
        ++sender.epoch;
        if (sends(stream)) {
            sender.keyDueAt = m_now;  // a new layer starts with a key frame
            sender.awaitingKey = sender.awaitingKey || !wasSending;
            push(m_now, EventKind::PeerFrame, uid, sender.epoch);
        } else if (wasSending) {
            noteFreeze(uid, runtime.freezes.stopped(m_now));
        }
    }

    void stopPeer(PeerRuntime& runtime, uint64_t uid) {
        receive(runtime, uid, VideoStreamInfo{});
        runtime.present = false;
        runtime.received = ReceivedClass::None;
    }

    void onApply(uint64_t uid, const VideoStreamInfo& stream) {
        auto found = m_peers.find(uid);
        if (found != m_peers.end() && found->second.present) {
            receive(found->second, uid, stream);
        }
    }

    // The size of the next frame of a sender, and whether it is a key frame.
    std::pair<int64_t, bool> nextFrame(VideoSender& sender) const {
        const Micros keyInterval = m_meeting.link.keyFrameInterval;
        const bool key = (sender.keyDueAt && m_now >= *sender.keyDueAt) ||
                         (keyInterval > 0 && m_now - sender.lastKey >= keyInterval);
        if (key) {
            sender.keyDueAt.reset();
            sender.lastKey = m_now;
        }
        const double bits = static_cast<double>(sender.stream.bitrate) / sender.stream.fps;
        const double factor = key ? m_meeting.link.keyFrameFactor : 1.0;
        return {std::max<int64_t>(1, static_cast<int64_t>(bits * factor / 8.0)), key};
    }

    Micros frameInterval(const VideoStreamInfo& stream) const {
        return std::max<Micros>(1, kMicrosPerSecond / stream.fps);
    }

    void onPeerFrame(uint64_t uid, uint64_t epoch) {
        PeerRuntime& runtime = m_peers.at(uid);
        VideoSender& sender = runtime.sender;
        if (epoch != sender.epoch || !runtime.present || !sends(sender.stream)) {
            return;
        }
        const auto [bytes, key] = nextFrame(sender);
        const Bottleneck::Outcome outcome = m_down.send(m_now, bytes);
        if (outcome.dropped) {
            m_downEstimator.dropped(bytes);
            // The receiver asks for a key frame; the request reaches the sender one round trip later.
            sender.awaitingKey = true;
            sender.keyDueAt = m_now + m_meeting.link.baseRtt;
        } else {
            m_downFlight.push_back(InFlight{outcome.departure + m_meeting.link.baseRtt / 2, m_now, uid, bytes, key});
        }
        push(m_now + frameInterval(sender.stream), EventKind::PeerFrame, uid, epoch);
    }

    void deliverUntil(Micros now, std::deque<InFlight>& flight, bool upload) {
        while (!flight.empty() && flight.front().arrival <= now) {
            const InFlight frame = flight.front();
            flight.pop_front();
            (upload ? m_upEstimator : m_downEstimator).arrived(frame.sent, frame.arrival, frame.bytes);
            if (!upload) {
                m_downDeliveredBytes += frame.bytes;
                render(frame);
            }
        }
    }

    void render(const InFlight& frame) {
        PeerRuntime& runtime = m_peers.at(frame.subject);
        VideoSender& sender = runtime.sender;
        if (!runtime.present) {
            return;
        }
        if (sender.awaitingKey && !frame.key) {
            return;
        }
        sender.awaitingKey = false;
        noteFreeze(frame.subject, runtime.freezes.rendered(frame.arrival));
    }

    void noteFreeze(uint64_t uid, std::optional<Micros> freeze) {
        if (freeze) {
            m_metrics.freeze(uid, *freeze);
            writeSeries("freeze", uid, secondsOf(*freeze));
        }
    }

    double downloadDemand() const {
        double demand = 0;
        for (const auto& entry : m_peers) {
            if (entry.second.present && sends(entry.second.sender.stream)) {
                demand += entry.second.sender.stream.bitrate;
            }
        }
        return demand;
    }

    void onEstimate() {
        const Micros length = m_now - m_lastSample;
        const double demand = downloadDemand();
        LinkEstimate down = m_downEstimator.update(m_now, demand);
        if (m_setup.recordedEstimates != nullptr) {
            const LinkEstimate* recorded = m_setup.recordedEstimates->at(m_now);
            down = recorded != nullptr ? *recorded : LinkEstimate{};
        }
        if (m_setup.recordedEstimates == nullptr || m_setup.recordedEstimates->at(m_now) != nullptr) {
            call(NetEstimate{false, down.status, down.score, down.bitrate, down.maxBitrate});
        }
        sampleDownload(length, demand, down);
        if (m_up) {
            const double published = publishedBitrate();
            const LinkEstimate up = m_upEstimator.update(m_now, published);
            call(NetEstimate{true, up.status, up.score, up.bitrate, up.maxBitrate});
            m_metrics.sampleUpload(UploadSample{length, m_setup.uplink->bitsPerSecond(m_lastSample, m_now), published});
        }
        m_lastSample = m_now;
    }

    void sampleDownload(Micros length, double demand, const LinkEstimate& estimate) {
        LinkSample link;
        link.at = m_now;
        link.length = length;
        link.capacityBps = m_setup.downlink->bitsPerSecond(m_lastSample, m_now);
        link.demandBps = demand;
        link.deliveredBps =
            static_cast<double>(m_downDeliveredBytes) * 8.0 * kMicrosPerSecond / static_cast<double>(length);
        if (m_speaker && *m_speaker != m_meeting.localUid) {
            link.remoteSpeaker = m_speaker;
        }
        link.sharer = m_sharer;
        std::vector<PeerSample> peers;
        for (const auto& [uid, runtime] : m_peers) {
            if (runtime.present) {
                const VideoStreamInfo* upper = upperOf(runtime.peer->streams);
                peers.push_back(PeerSample{uid, runtime.received,
                                           sends(runtime.sender.stream) ? double(runtime.sender.stream.bitrate) : 0.0,
                                           upper != nullptr ? double(upper->bitrate) : 0.0, standingOf(*runtime.peer)});
            }
        }
        m_metrics.sample(link, peers);
        writeSeries("capacity", 0, link.capacityBps);
        writeSeries("capacity_1s", 0,
                    m_setup.downlink->bitsPerSecond(std::max<Micros>(0, m_now - kSmoothedCapacityWindow), m_now));
        writeSeries("estimate", 0, estimate.maxBitrate);
        writeSeries("demand", 0, demand);
        writeSeries("delivered", 0, link.deliveredBps);
        m_downDeliveredBytes = 0;
    }

    void onAdjust() {
        const TimelineStep step = call(AskDownload{kCameraChannel});
        for (const PeerRequest& request : *std::get<DownloadAnswer>(step.answer).records) {
            push(m_now + m_meeting.host.requestDelay, EventKind::Apply, request.uid, 0, request.info());
        }
        call(AskHdLd{});
    }

    // --- upload -----------------------------------------------------------------------------------
    void onUploadCheck() {
        if (m_uploadDirty) {
            const TimelineStep step = call(AskUpload{kCameraChannel});
            publish(infosOf(*std::get<UploadAnswer>(step.answer).records));
            m_uploadDirty = false;
        }
        if (m_shareDue) {
            call(AskUpload{kShareChannel});
            m_shareDue = false;
        }
        markMetRequests();
    }

    void publish(const std::vector<VideoStreamInfo>& streams) {
        m_camera = streams;
        ++m_cameraEpoch;
        if (!m_up) {
            return;
        }
        for (size_t i = 0; i < m_camera.size(); ++i) {
            if (sends(m_camera[i])) {
                push(m_now, EventKind::CameraFrame, i, m_cameraEpoch);
            }
        }
    }

    double publishedBitrate() const {
        double total = 0;
        for (const VideoStreamInfo& stream : m_camera) {
            total += sends(stream) ? stream.bitrate : 0;
        }
        return total;
    }

    void onCameraFrame(uint64_t index, uint64_t epoch) {
        if (epoch != m_cameraEpoch || index >= m_camera.size()) {
            return;
        }
        const VideoStreamInfo& stream = m_camera[index];
        const int64_t bytes =
            std::max<int64_t>(1, static_cast<int64_t>(static_cast<double>(stream.bitrate) / stream.fps / 8.0));
        const Bottleneck::Outcome outcome = m_up->send(m_now, bytes);
        if (outcome.dropped) {
            m_upEstimator.dropped(bytes);
        } else {
            m_upFlight.push_back(InFlight{outcome.departure + m_meeting.link.baseRtt / 2, m_now, index, bytes, false});
        }
        push(m_now + frameInterval(stream), EventKind::CameraFrame, index, epoch);
    }

    // --- the end ----------------------------------------------------------------------------------
    void finish() {
        m_now = m_meeting.duration;
        for (auto& [uid, runtime] : m_peers) {
            if (runtime.present) {
                noteFreeze(uid, runtime.freezes.stopped(m_now));
            }
        }
        markMetRequests();
        closeRequestSet();
    }

    void writeSeries(const char* kind, uint64_t uid, double value) const {
        if (m_outputs.series != nullptr) {
            m_outputs.series->sample(secondsOf(m_now), kind, uid, value);
        }
    }

    const SimulationSetup& m_setup;
    const Meeting& m_meeting;
    const SimulationOutputs& m_outputs;
    LibraryDriver m_driver;
    Bottleneck m_down;
    std::optional<Bottleneck> m_up;
    LinkEstimator m_downEstimator;
    LinkEstimator m_upEstimator;
    DefinitionTable m_table;
    std::vector<ScriptEvent> m_script;
    std::map<uint64_t, PeerRuntime> m_peers;
    std::priority_queue<Event, std::vector<Event>, std::greater<Event>> m_events;
    std::deque<InFlight> m_downFlight;
    std::deque<InFlight> m_upFlight;
    QualityMetrics m_metrics;
    Micros m_now = 0;
    Micros m_lastSample = 0;
    uint64_t m_sequence = 0;
    int m_steps = 0;
    int64_t m_downDeliveredBytes = 0;
    std::optional<uint64_t> m_speaker;
    std::optional<uint64_t> m_sharer;
    bool m_uploadDirty = false;
    bool m_shareDue = false;
    std::vector<VideoStreamInfo> m_camera;
    uint64_t m_cameraEpoch = 0;
    std::vector<bool> m_requestMet;
    std::vector<int32_t> m_requestBitrates;
};

Simulation::Simulation(const SimulationSetup& setup) : m_setup(setup) {}

void Simulation::run(const SdkLibrary& library, const SimulationOutputs& outputs, RunSummary& summary) {
    Run run(m_setup, library, outputs);
    run.run(summary);
    m_libraryTime = run.libraryTime();
}

}  // namespace ktr::sim

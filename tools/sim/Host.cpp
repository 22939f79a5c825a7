#include "Host.h"

#include <algorithm>
#include <tuple>

#include "PeerStreams.h"

namespace ktr::sim {
namespace {

using tarn::video::VideoStreamInfo;

constexpr int32_t kCameraChannel = 1;
constexpr int32_t kShareChannel = 2;
// The window of the smoothed capacity series: short spikes of a cellular link (100 ms at tens of Mbit/s)
// average out over it, while a drop that lasts shows within a second.
constexpr Micros kSmoothedCapacityWindow = kMicrosPerSecond;

double bitrateOf(const VideoStreamInfo& stream) {
    return sends(stream) ? stream.bitrate : 0;
}

// The best stream the library can receive of a peer: what "upper" means in the metrics.
const VideoStreamInfo* upperOf(const std::vector<VideoStreamInfo>& streams) {
    const std::optional<size_t> best = peerstreams::bestReceivable(streams);
    return best ? &streams[*best] : nullptr;
}

bool sameRecord(const VideoStreamInfo& a, const VideoStreamInfo& b) {
    return std::tie(a.channel, a.dft, a.width, a.height, a.fps, a.bitrate, a.maxbitrate, a.minbitrate) ==
           std::tie(b.channel, b.dft, b.width, b.height, b.fps, b.bitrate, b.maxbitrate, b.minbitrate);
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

}  // namespace

Host::Host(const SimulationSetup& setup, const SdkLibrary& library, const SimulationOutputs& outputs, EventQueue& queue,
           MediaPath& download, MediaPath* upload, SimObserver& observer, Server* server)
    : m_setup(setup),
      m_meeting(*setup.meeting),
      m_outputs(outputs),
      m_queue(queue),
      m_download(download),
      m_upload(upload),
      m_observer(observer),
      m_server(server),
      m_driver(library),
      m_script(scriptOf(m_meeting, setup.seed)) {
    m_table.supply(m_meeting.definitions);
    for (const MeetingPeer& peer : m_meeting.peers) {
        m_peers[peer.uid].peer = &peer;
    }
}

// --- the library, as the host calls it -------------------------------------------------------------------
// The host reads only the answer; a participant that writes no timeline skips reading the library's lines
// into rules and state.
TimelineStep Host::call(const Action& action) {
    TimelineStep step;
    if (m_outputs.timeline != nullptr) {
        step = m_driver.perform(action, actionName(action), secondsOf(m_queue.now()));
        step.index = m_steps++;
        m_outputs.timeline->write(step);
    } else {
        step.answer = m_driver.answer(action);
        step.index = m_steps++;
    }
    if (m_outputs.record != nullptr && step.index > 0) {
        m_outputs.record->write(action, "", secondsOf(m_queue.now()));
    }
    return step;
}

void Host::schedule(SimTime at, EventKind kind, uint64_t subject, uint64_t epoch) {
    SimEvent event;
    event.at = at;
    event.kind = kind;
    event.subject = subject;
    event.epoch = epoch;
    m_queue.push(event);
}

void Host::start() {
    call(Init{m_meeting.localUid, m_meeting.localDt});
    if (!m_meeting.definitions.empty()) {
        call(Definitions{recordsOf(m_meeting.definitions)});
    }
    if (m_meeting.config) {
        call(Config{*m_meeting.config});
    }
    for (size_t i = 0; i < m_script.size(); ++i) {
        schedule(SimTime{m_script[i].at}, EventKind::Script, i);
    }
    schedule(SimTime{m_meeting.host.estimateInterval}, EventKind::Estimate);
    schedule(SimTime{m_meeting.host.downloadAdjustInterval}, EventKind::Adjust);
    schedule(SimTime{0}, EventKind::Upload);
    m_uploadDirty = true;
}

void Host::handle(const SimEvent& event) {
    const SimTime now = m_queue.now();
    switch (event.kind) {
        case EventKind::Script:
            onScript(m_script[event.subject]);
            break;
        case EventKind::Apply:
            onApply(event.subject, takeRequest(event.epoch));
            break;
        case EventKind::Report:
            onReport(event.subject);
            break;
        case EventKind::Estimate:
            onEstimate();
            schedule(now + SimTime{m_meeting.host.estimateInterval}, EventKind::Estimate);
            break;
        case EventKind::Adjust:
            onAdjust();
            schedule(now + SimTime{m_meeting.host.downloadAdjustInterval}, EventKind::Adjust);
            break;
        case EventKind::Upload:
            onUploadCheck();
            schedule(now + SimTime{m_meeting.host.uploadCheckInterval}, EventKind::Upload);
            break;
        case EventKind::PeerFrame:
        case EventKind::CameraFrame:
        case EventKind::RelayedFrame:
            break;  // the media paths' own
    }
}

void Host::finish() {
    m_download.stopReceiving();
    markMetRequests();
    closeRequestSet();
}

// --- the meeting -----------------------------------------------------------------------------------------
std::vector<User> Host::presentUsers() const {
    std::vector<User> users;
    for (const auto& [uid, view] : m_peers) {
        if (view.present) {
            users.push_back(userOf(uid, view.peer->dt));
        }
    }
    return users;
}

void Host::onScript(const ScriptEvent& event) {
    using Kind = ScriptEvent::Kind;
    switch (event.kind) {
        case Kind::Join: {
            PeerView& view = m_peers.at(event.uid);
            view.present = true;
            view.published = m_server != nullptr ? m_server->publishedBy(event.uid) : view.peer->streams;
            m_download.setReceiving(event.uid, true);
            if (m_server != nullptr) {
                peerShared(event.uid, m_server->sharedBy(event.uid));  // a share in progress, from now on
            }
            call(AddUser{userOf(event.uid, view.peer->dt)});
            setUsers();
            report(event.uid, view);
            askHdLd();
            break;
        }
        case Kind::Leave: {
            PeerView& view = m_peers.at(event.uid);
            call(RemoveUser{userOf(event.uid, view.peer->dt)});
            stopPeer(event.uid, view);
            setUsers();
            askHdLd();
            break;
        }
        case Kind::Report:
            report(event.uid, m_peers.at(event.uid));
            askHdLd();
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
            if (event.kind == Kind::ShareOff && event.uid == m_meeting.localUid) {
                publishShare(VideoStreamInfo{});
            }
            break;
        case Kind::Requests:
            onRequests(m_meeting.selectRequests[event.requests]);
            break;
    }
    m_uploadDirty = true;
}

void Host::onRequests(const SelectRequestSet& set) {
    closeRequestSet();
    sendRequests(set);
    openRequests(set);
}

void Host::sendRequests(const SelectRequestSet& set) {
    call(ClearSelectRequests{});
    for (const SelectRequestSet::Request& r : set.requests) {
        call(SelectRequest{r.width, r.height, r.fps, r.bitrate});
    }
}

// From the set the host sent, one entry per request: what the library made of the set is not the host's to
// know.
void Host::openRequests(const SelectRequestSet& set) {
    m_openRequests.clear();
    for (const SelectRequestSet::Request& r : set.requests) {
        m_openRequests.push_back(OpenRequest{r.bitrate, false});
    }
}

// A subscriber request is met while some published camera stream carries at least its bitrate.
void Host::markMetRequests() {
    for (OpenRequest& request : m_openRequests) {
        for (const VideoStreamInfo& stream : m_camera) {
            request.met = request.met || (sends(stream) && stream.bitrate >= request.bitrate);
        }
    }
}

void Host::closeRequestSet() {
    m_observer.requestsEnded(static_cast<int>(
        std::count_if(m_openRequests.begin(), m_openRequests.end(), [](const OpenRequest& r) { return !r.met; })));
    m_openRequests.clear();
}

// --- subscriptions --------------------------------------------------------------------------------------
// The host receives every present peer, so the library chooses again for all of them.
void Host::setUsers() {
    call(SetUsers{presentUsers()});
    for (auto& [uid, view] : m_peers) {
        view.rechosen = view.rechosen || view.present;
    }
}

void Host::report(uint64_t uid, PeerView& view) {
    call(PeerReport{uid, recordsOf(view.published)});
    view.rechosen = true;
}

// A peer's changed published streams reach the library.
void Host::onReport(uint64_t uid) {
    PeerView& view = m_peers.at(uid);
    view.reportDue = false;
    if (view.present) {
        report(uid, view);
        askHdLd();
    }
}

void Host::askHdLd() {
    const TimelineStep step = call(AskHdLd{});
    const HdLdAnswer& answer = std::get<HdLdAnswer>(step.answer);
    for (auto& [uid, view] : m_peers) {
        if (!view.present) {
            continue;
        }
        if (answer.hd->count(uid) != 0) {
            followAnswer(uid, view, true);
        } else if (answer.ld->count(uid) != 0) {
            followAnswer(uid, view, false);
        }
    }
}

// The answer sets the subscription when the library chose again for the peer or moved it between high and
// low definition; otherwise a request in force stays.
void Host::followAnswer(uint64_t uid, PeerView& view, bool high) {
    if (view.rechosen || view.answeredHigh != high) {
        view.subscription = Subscription::answered(high);
    }
    view.answeredHigh = high;
    view.rechosen = false;
    receiveSubscribed(uid, view);
}

// --- download --------------------------------------------------------------------------------------------
// Against the streams the peer's device type publishes, not what it publishes now: in a conference a
// publisher publishes what its subscribers ask, so its current best stream is whatever they settled for.
ReceivedClass Host::classOf(const PeerView& view, const VideoStreamInfo& stream) const {
    const VideoStreamInfo* upper = upperOf(view.peer->streams);
    if (!sends(stream) || upper == nullptr) {
        return ReceivedClass::None;
    }
    const bool upperClass =
        stream.bitrate >= upper->bitrate || m_table.classOf(stream.bitrate) == m_table.classOf(upper->bitrate);
    return upperClass ? ReceivedClass::Upper : ReceivedClass::Lower;
}

void Host::receiveSubscribed(uint64_t uid, PeerView& view) {
    const std::optional<size_t> index = view.subscription.streamIn(view.published);
    receive(uid, view, index ? view.published[*index] : VideoStreamInfo{});
}

void Host::receive(uint64_t uid, PeerView& view, const VideoStreamInfo& stream) {
    if (m_download.carries(uid, stream)) {
        return;
    }
    const ReceivedChange change{uid, view.received, classOf(view, stream), bitrateOf(m_download.streamOf(uid)),
                                bitrateOf(stream)};
    view.received = change.to;
    m_observer.receivedChanged(m_queue.now(), change);
    changeReceived(uid, stream);
}

void Host::changeReceived(uint64_t video, const VideoStreamInfo& stream) {
    const bool relayed = m_server != nullptr && m_server->relaysFrom(publisherOf(video));
    m_download.change(video, stream, relayed);
    if (relayed) {
        m_server->receives(m_meeting.localUid, video, stream);
    }
}

void Host::stopPeer(uint64_t uid, PeerView& view) {
    receive(uid, view, VideoStreamInfo{});
    view.present = false;
    view.received = ReceivedClass::None;
    view.subscription = Subscription();
    view.answeredHigh.reset();
    view.rechosen = false;
    m_download.setReceiving(uid, false);
}

VideoStreamInfo Host::takeRequest(uint64_t number) {
    const auto found = m_pendingRequests.find(number);
    const VideoStreamInfo stream = found->second;
    m_pendingRequests.erase(found);
    return stream;
}

// A request for a uid the host never named (a library build under test may answer anything) is dropped.
void Host::onApply(uint64_t uid, const VideoStreamInfo& request) {
    const auto found = m_peers.find(uid);
    if (found == m_peers.end() || !found->second.present) {
        return;
    }
    PeerView& view = found->second;
    if (m_server == nullptr) {
        publishRequested(uid, view, request);
    }
    view.subscription = Subscription::requested(request);
    receiveSubscribed(uid, view);
}

// The idealized publisher: the stream the request names takes the request's parameters, and the library
// hears of the change through a report.
void Host::publishRequested(uint64_t uid, PeerView& view, const VideoStreamInfo& request) {
    const std::optional<size_t> named = namedStream(view, request);
    if (!named || sameRecord(view.published[*named], request)) {
        return;
    }
    view.published[*named] = request;
    reportLater(uid, view);
}

// One report carries every change made before it goes.
void Host::reportLater(uint64_t uid, PeerView& view) {
    if (!view.reportDue) {
        view.reportDue = true;
        schedule(m_queue.now() + SimTime{m_meeting.host.reportDelay}, EventKind::Report, uid);
    }
}

std::optional<VideoStreamInfo> Host::wishFor(uint64_t uid) const {
    const auto found = m_peers.find(uid);
    if (found == m_peers.end() || !found->second.present) {
        return std::nullopt;
    }
    // While the peer publishes nothing to receive, the subscriber asks for what its subscription would
    // receive of the streams the peer's device publishes by default, as a client asks a silent camera.
    const PeerView& view = found->second;
    const std::optional<VideoStreamInfo> wish = view.subscription.wish(view.published);
    return wish && sends(*wish) ? wish : view.subscription.wish(view.peer->streams);
}

void Host::peerFrameCrossed(uint64_t video, const RelayedFrame& frame) {
    if (const auto found = m_peers.find(publisherOf(video)); found != m_peers.end() && found->second.present) {
        m_download.relay(video, frame);
    }
}

void Host::keyFrameWanted(const VideoStreamInfo& stream, Micros at) {
    if (m_upload != nullptr) {
        m_upload->requestKeyFrame(stream, at);
    }
}

// The share stream loads the downlink beside the cameras; it is not rendered, so it has no freezes.
void Host::peerShared(uint64_t uid, const VideoStreamInfo& stream) {
    const auto found = m_peers.find(uid);
    if (found != m_peers.end() && found->second.present) {
        changeReceived(shareVideoOf(uid), stream);
    }
}

void Host::peerPublished(uint64_t uid, const std::vector<VideoStreamInfo>& streams) {
    const auto found = m_peers.find(uid);
    if (found == m_peers.end() || !found->second.present) {
        return;  // it hears of them at the peer's join
    }
    PeerView& view = found->second;
    view.published = streams;
    receiveSubscribed(uid, view);
    reportLater(uid, view);
}

// A request names the published stream of its definition class, or else the stream received until now: a
// raise that carries the lower stream into the higher one's class asks for the higher stream, so the
// publisher keeps one stream per class rather than passing its lower stream above its higher one.
std::optional<size_t> Host::namedStream(const PeerView& view, const VideoStreamInfo& request) const {
    const int32_t requestClass = m_table.classOf(request.bitrate);
    for (size_t i = 0; i < view.published.size(); ++i) {
        if (m_table.classOf(view.published[i].bitrate) == requestClass) {
            return i;
        }
    }
    return view.subscription.streamIn(view.published);
}

void Host::onEstimate() {
    const Micros now = m_queue.now().count();
    const Micros length = now - m_lastSample;
    const double demand = m_download.sendingBitrate();
    LinkEstimate down = m_download.estimate(demand);
    const LinkEstimate* recorded = m_setup.recordedEstimates != nullptr ? m_setup.recordedEstimates->at(now) : nullptr;
    if (m_setup.recordedEstimates != nullptr) {
        down = recorded != nullptr ? *recorded : LinkEstimate{};
    }
    if (m_setup.recordedEstimates == nullptr || recorded != nullptr) {
        call(NetEstimate{false, down.status, down.score, down.bitrate, down.maxBitrate});
    }
    sampleDownload(length, demand, down);
    if (m_upload != nullptr) {
        const double published = publishedBitrate();
        const LinkEstimate up = m_upload->estimate(published);
        call(NetEstimate{true, up.status, up.score, up.bitrate, up.maxBitrate});
        m_observer.uploadSampled(
            m_queue.now(), UploadSample{length, m_upload->capacity().bitsPerSecond(m_lastSample, now), published});
    }
    m_lastSample = now;
}

void Host::sampleDownload(Micros length, double demand, const LinkEstimate& estimate) {
    const Micros now = m_queue.now().count();
    DownloadSample sample;
    LinkSample& link = sample.link;
    link.at = now;
    link.length = length;
    link.capacityBps = m_download.capacity().bitsPerSecond(m_lastSample, now);
    link.demandBps = demand;
    link.deliveredBps = m_download.takeCarriedBytes() * 8.0 * kMicrosPerSecond / static_cast<double>(length);
    if (m_speaker && *m_speaker != m_meeting.localUid) {
        link.remoteSpeaker = m_speaker;
    }
    link.sharer = m_sharer;
    for (const auto& [uid, view] : m_peers) {
        if (view.present) {
            const VideoStreamInfo* upper = upperOf(view.peer->streams);
            const VideoStreamInfo& received = m_download.streamOf(uid);
            sample.peers.push_back(PeerSample{uid, view.received, bitrateOf(received),
                                              upper != nullptr ? double(upper->bitrate) : 0.0, standingOf(*view.peer),
                                              sends(received) ? received.height : 0});
        }
    }
    sample.smoothedCapacityBps =
        m_download.capacity().bitsPerSecond(std::max<Micros>(0, now - kSmoothedCapacityWindow), now);
    sample.estimateBps = estimate.maxBitrate;
    m_observer.downloadSampled(m_queue.now(), sample);
}

void Host::onAdjust() {
    const TimelineStep step = call(AskDownload{kCameraChannel});
    for (const PeerRequest& request : *std::get<DownloadAnswer>(step.answer).records) {
        m_pendingRequests.emplace(m_nextRequest, request.info());
        schedule(m_queue.now() + SimTime{m_meeting.host.requestDelay}, EventKind::Apply, request.uid, m_nextRequest++);
    }
    call(AskHdLd{});
}

// --- upload ----------------------------------------------------------------------------------------------
void Host::onUploadCheck() {
    if (m_server != nullptr) {
        collectSubscriptions();
    }
    if (m_uploadDirty) {
        const TimelineStep step = call(AskUpload{kCameraChannel});
        const std::vector<VideoStreamInfo> answer = infosOf(*std::get<UploadAnswer>(step.answer).records);
        // Records none of which sends are the library's "no result" (a class the table does not define, such
        // as the 180P scene default of a listener): the camera keeps what it publishes, as hosts do.
        if (answer.empty() || std::any_of(answer.begin(), answer.end(), sends)) {
            publish(answer);
        }
        m_uploadDirty = false;
    }
    if (m_shareDue) {
        const TimelineStep step = call(AskUpload{kShareChannel});
        const std::vector<VideoStreamInfo> share = infosOf(*std::get<UploadAnswer>(step.answer).records);
        if (!share.empty()) {
            publishShare(share.front());
        }
        m_shareDue = false;
    }
    markMetRequests();
}

// A publisher's select requests are its subscribers' current subscriptions; asked at every check, since
// they change without a scripted event.
void Host::collectSubscriptions() {
    SelectRequestSet set;
    set.at = m_queue.now().count();
    for (const VideoStreamInfo& wish : m_server->subscriptionsTo(m_meeting.localUid)) {
        set.requests.push_back({wish.width, wish.height, wish.fps, wish.bitrate});
    }
    sendRequests(set);
    // A set of the same bitrates goes on: its requests stay open until they are met or the set changes.
    const bool same =
        std::equal(set.requests.begin(), set.requests.end(), m_openRequests.begin(), m_openRequests.end(),
                   [](const SelectRequestSet::Request& r, const OpenRequest& o) { return r.bitrate == o.bitrate; });
    if (!same) {
        closeRequestSet();
        openRequests(set);
    }
    m_uploadDirty = true;
}

void Host::publish(const std::vector<VideoStreamInfo>& streams) {
    const bool changed = !std::equal(streams.begin(), streams.end(), m_camera.begin(), m_camera.end(), sameRecord);
    if (m_server != nullptr && !changed) {
        return;
    }
    if (changed && !m_camera.empty()) {
        m_observer.publishedChanged(m_queue.now());
    }
    m_camera = streams;
    if (m_server != nullptr) {
        m_server->published(m_meeting.localUid, m_camera);
    }
    if (m_upload != nullptr) {
        m_upload->restart(m_camera);
    }
}

// The share stream crosses the sharer's uplink beside its camera streams, and from the server on reaches
// every other participant.
void Host::publishShare(const VideoStreamInfo& stream) {
    if (m_server != nullptr) {
        m_server->shared(m_meeting.localUid, stream);
    }
    if (m_upload != nullptr) {
        m_upload->change(shareVideoOf(m_meeting.localUid), stream);
    }
}

double Host::publishedBitrate() const {
    double total = 0;
    for (const VideoStreamInfo& stream : m_camera) {
        total += bitrateOf(stream);
    }
    return total;
}

}  // namespace ktr::sim

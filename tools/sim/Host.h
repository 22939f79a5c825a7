// A participant's host: it drives its library instance through the public interface as a client
// does. It turns the meeting's script into calls (joins, leaves, reports, speaker, sharing, requests),
// feeds the network estimates, asks for the download adjustment and the HD/LD split, makes the upload
// checks, and sets the streams its media paths carry from the answers alone: what it receives of a peer
// follows its subscription to that peer (Subscription), never the library's inner state. A peer's new
// published streams reach the library as a report after the report delay. In a conference the peers are
// other participants, whose published streams come through the server; alone, each peer is an idealized
// publisher: a request that takes effect changes the stream it names.
#ifndef KTRSDK_TOOLS_SIM_HOST_H
#define KTRSDK_TOOLS_SIM_HOST_H

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "DefinitionTable.h"
#include "EventQueue.h"
#include "LibraryDriver.h"
#include "MediaPath.h"
#include "Meeting.h"
#include "MeetingScript.h"
#include "QualityMetrics.h"
#include "Server.h"
#include "SimObserver.h"
#include "Simulation.h"
#include "Subscription.h"

namespace ktr::sim {

class Host {
public:
    // The download path carries the peers' videos (one per peer uid); the upload path, when the upload is
    // modelled, the camera's streams. Every reference must outlive the host.
    // With a server the host is one participant of a conference: its peers publish what their own hosts
    // answer, and it publishes through the server; without one every peer is an idealized publisher.
    Host(const SimulationSetup& setup, const SdkLibrary& library, const SimulationOutputs& outputs, EventQueue& queue,
         MediaPath& download, MediaPath* upload, SimObserver& observer, Server* server = nullptr);

    // The first calls (init, definitions, config) and the first events of the meeting.
    void start();
    // One of the host's own events (script, apply, estimate, adjust, upload).
    void handle(const SimEvent& event);
    // The meeting is over (the queue's clock at its end).
    void finish();

    std::chrono::nanoseconds libraryTime() const { return m_driver.libraryTime(); }

    // --- for the conference server ---
    // What this participant asks of the peer now (its subscription's parameters); none while it does not
    // receive the peer.
    std::optional<tarn::video::VideoStreamInfo> wishFor(uint64_t uid) const;
    // The peer's published streams changed: received at once as the subscription asks, reported to the
    // library after the report delay.
    void peerPublished(uint64_t uid, const std::vector<tarn::video::VideoStreamInfo>& streams);
    // A frame of a peer's video (its camera's uid, or its share's) crossed the peer's uplink: forwarded to
    // this participant if it receives that stream.
    void peerFrameCrossed(uint64_t video, const RelayedFrame& frame);
    // A subscriber needs a key frame of this participant's published stream from `at` on.
    void keyFrameWanted(const tarn::video::VideoStreamInfo& stream, Micros at);
    bool hasUplink() const { return m_upload != nullptr; }
    // The peer's share stream (nothing: it stopped sharing), sent to this participant from now on.
    void peerShared(uint64_t uid, const tarn::video::VideoStreamInfo& stream);

private:
    struct PeerView {
        const MeetingPeer* peer = nullptr;
        bool present = false;
        ReceivedClass received = ReceivedClass::None;
        std::vector<tarn::video::VideoStreamInfo> published;  // what the peer publishes now
        Subscription subscription;
        std::optional<bool> answeredHigh;  // in the last HD/LD answer: in its hd set (true) or its ld set
        bool rechosen = false;             // a report or a user list since the last answer: the library chose again
        bool reportDue = false;            // a report of changed published streams is on its way
    };

    TimelineStep call(const Action& action);
    void schedule(SimTime at, EventKind kind, uint64_t subject = 0, uint64_t epoch = 0);
    std::vector<User> presentUsers() const;

    void onScript(const ScriptEvent& event);
    void onRequests(const SelectRequestSet& set);
    void sendRequests(const SelectRequestSet& set);
    void openRequests(const SelectRequestSet& set);
    void markMetRequests();
    void closeRequestSet();

    void setUsers();
    void report(uint64_t uid, PeerView& view);
    void onReport(uint64_t uid);
    void askHdLd();
    void followAnswer(uint64_t uid, PeerView& view, bool high);

    ReceivedClass classOf(const PeerView& view, const tarn::video::VideoStreamInfo& stream) const;
    void receiveSubscribed(uint64_t uid, PeerView& view);
    void receive(uint64_t uid, PeerView& view, const tarn::video::VideoStreamInfo& stream);
    // The downlink receives this stream of the video from now on; in a conference the server relays it.
    void changeReceived(uint64_t video, const tarn::video::VideoStreamInfo& stream);
    void stopPeer(uint64_t uid, PeerView& view);
    // The stream a download request named, when it takes effect.
    tarn::video::VideoStreamInfo takeRequest(uint64_t number);
    void onApply(uint64_t uid, const tarn::video::VideoStreamInfo& request);
    void publishRequested(uint64_t uid, PeerView& view, const tarn::video::VideoStreamInfo& request);
    void reportLater(uint64_t uid, PeerView& view);
    std::optional<size_t> namedStream(const PeerView& view, const tarn::video::VideoStreamInfo& request) const;

    void onEstimate();
    void sampleDownload(Micros length, double demand, const LinkEstimate& estimate);
    void onAdjust();
    void onUploadCheck();
    void collectSubscriptions();
    void publish(const std::vector<tarn::video::VideoStreamInfo>& streams);
    void publishShare(const tarn::video::VideoStreamInfo& stream);
    double publishedBitrate() const;

    const SimulationSetup& m_setup;
    const Meeting& m_meeting;
    const SimulationOutputs& m_outputs;
    EventQueue& m_queue;
    MediaPath& m_download;
    MediaPath* m_upload;
    SimObserver& m_observer;
    Server* m_server;
    LibraryDriver m_driver;
    DefinitionTable m_table;
    std::vector<ScriptEvent> m_script;
    std::map<uint64_t, PeerView> m_peers;
    int m_steps = 0;
    Micros m_lastSample = 0;
    std::optional<uint64_t> m_speaker;
    std::optional<uint64_t> m_sharer;
    bool m_uploadDirty = false;
    bool m_shareDue = false;
    std::map<uint64_t, tarn::video::VideoStreamInfo> m_pendingRequests;  // by number, until they take effect
    uint64_t m_nextRequest = 0;
    std::vector<tarn::video::VideoStreamInfo> m_camera;  // the published camera streams
    // The current set of subscriber requests: each one's bitrate, and whether a published stream met it.
    struct OpenRequest {
        int32_t bitrate = 0;
        bool met = false;
    };
    std::vector<OpenRequest> m_openRequests;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_HOST_H

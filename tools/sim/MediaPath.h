// One direction of media between participants: the senders of its videos (each video's current stream,
// frame clock and key frames), the bottleneck they share, and the receiver (the link estimator that
// watches the frames arrive, and for a rendering receiver each video's key-frame wait and freezes). The
// download (peers to the local participant) and the upload (the local camera out) are two instances. A
// video is sent either on the path's own frame clock or, relayed, as the frames the server forwards of it
// (in a conference: what crossed the publisher's uplink).
#ifndef KTRSDK_TOOLS_SIM_MEDIAPATH_H
#define KTRSDK_TOOLS_SIM_MEDIAPATH_H

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "Bottleneck.h"
#include "CapacityTrace.h"
#include "EventQueue.h"
#include "FrameRelay.h"
#include "FreezeDetector.h"
#include "IKTRSDK.h"
#include "LinkEstimator.h"
#include "SimObserver.h"
#include "Units.h"

namespace ktr::sim {

struct MediaPathParameters {
    EventKind frameEvent = EventKind::PeerFrame;  // the kind of this path's frame events
    int64_t bufferBytes = 0;                      // the bottleneck's buffer
    Micros oneWayDelay = 0;                       // from leaving the bottleneck to reaching the receiver
    Micros lossFeedbackDelay = 0;                 // from a loss to the sender's key frame (a round trip)
    double keyFrameFactor = 1.0;                  // a key frame is this many times an ordinary frame
    Micros keyFrameInterval = 0;                  // periodic key frames (0: only after a loss or a new stream)
};

// Whether a stream sends frames at all (a zero bitrate or frame rate stands for none).
bool sends(const tarn::video::VideoStreamInfo& stream);
// Whether two records stand for the same stream of frames: the same size, frame rate and bitrate.
bool sameStream(const tarn::video::VideoStreamInfo& a, const tarn::video::VideoStreamInfo& b);

// Totals of the frames a path has been given, in bytes; at any time sent = delivered + dropped + queued.
struct PathTotals {
    int64_t sent = 0;
    int64_t delivered = 0;  // reached the receiver
    int64_t dropped = 0;    // lost at the bottleneck
};

class MediaPath {
public:
    // The path keeps references to the trace, the queue and the observer, which must outlive it.
    MediaPath(const CapacityTrace& capacity, const MediaPathParameters& parameters,
              const EstimatorParameters& estimator, EventQueue& queue, SimObserver& observer);

    // The server this path's accepted frames go on to (an uplink); it must outlive the path.
    void forwardTo(FrameRelay* server) { m_onward = server; }
    // The server this path's relayed videos ask key frames of (a downlink); it must outlive the path.
    void askKeyFramesOf(FrameRelay* server) { m_source = server; }

    // --- the senders ---
    // Sends this stream of the video from now on (nothing: the video stops). The same stream again changes
    // nothing; another starts at once with a key frame. A relayed video sends only the frames relayed to it
    // of that stream, and asks the server for a key frame when it starts.
    void change(uint64_t video, const tarn::video::VideoStreamInfo& stream, bool relayed = false);
    // A relayed frame of the video reaches this path's bottleneck at frame.arrival, if the video is still
    // relayed on the frame's stream by then.
    void relay(uint64_t video, const RelayedFrame& frame);
    // The relayed-frame event of a video: sends the frame it stands for.
    void sendRelayed(uint64_t video, uint64_t epoch);
    // The next frame of the video sending this stream, from `at` on, is a key frame.
    void requestKeyFrame(const tarn::video::VideoStreamInfo& stream, Micros at);
    // Whether the video is being sent on a stream of this size, frame rate and bitrate.
    bool carries(uint64_t video, const tarn::video::VideoStreamInfo& stream) const;
    // Replaces the numbered videos (0, 1, ...) by the given streams (video i sends streams[i]), each
    // restarting its frame clock now, changed or not; videos of other ids (a share) go on.
    void restart(const std::vector<tarn::video::VideoStreamInfo>& streams);
    // The frame event of a video: sends its next frame if the event is of its current stream.
    void sendFrame(uint64_t video, uint64_t epoch);
    const tarn::video::VideoStreamInfo& streamOf(uint64_t video) const;
    // The bitrate of every stream being sent, bit/s.
    double sendingBitrate() const;

    // --- the receiver ---
    // A rendering receiver shows (and measures freezes of) the videos it receives; the others only pass
    // what arrives to the estimator.
    void setReceiving(uint64_t video, bool receiving);
    // Hands every frame that has reached the receiver by until to it.
    void deliverUntil(SimTime until);
    // The estimate of the link at now, given the bitrate being sent.
    LinkEstimate estimate(double demandBps) { return m_estimator.update(m_queue.now().count(), demandBps); }
    // Bytes that left the bottleneck since the last call (now), never more than the link could carry in that
    // time; the bytes of a frame count in the intervals in which they are carried, not at its last byte.
    double takeCarriedBytes();
    // The meeting ends: the freezes still open on received videos are counted.
    void stopReceiving();

    const CapacityTrace& capacity() const { return m_capacity; }
    const PathTotals& totals() const { return m_totals; }
    // Bytes accepted by the bottleneck and not yet reached the receiver.
    int64_t bytesInTransit() const;

private:
    struct Video {
        tarn::video::VideoStreamInfo stream{};
        uint64_t epoch = 0;
        std::optional<Micros> keyDueAt;  // the next frame sent at or after this time is a key frame
        Micros lastKey = 0;
        bool receiving = false;
        bool awaitingKey = false;  // the receiver lost a frame: nothing renders until a key frame
        bool relayed = false;
        bool lostSinceCrossed = false;            // a frame was dropped since the last one that went on to the relay
        std::deque<RelayedFrame> relayedPending;  // relayed to it and not yet sent, in arrival order
        FreezeDetector freezes;
    };
    // A frame on its way: it reaches the receiver at `arrival`.
    struct InFlight {
        Micros arrival;
        Micros sent;
        Micros captured;  // when the frame's sender made it (in a conference, the publisher)
        uint64_t video;
        int64_t bytes;
        bool key;
        bool afterLoss;  // the receiver learns with this frame that one before it was lost
    };

    void start(uint64_t video, Video& state, const tarn::video::VideoStreamInfo& stream);
    void schedule(uint64_t video, const Video& state, SimTime at, EventKind kind);
    // Passes a frame of the video to the bottleneck: queued for the receiver, or dropped.
    void pass(uint64_t video, Video& state, const RelayedFrame& frame);
    void lost(uint64_t video, Video& state);
    // The size of the next frame of a video, and whether it is a key frame.
    std::pair<int64_t, bool> nextFrame(Video& state) const;
    void render(const InFlight& frame);
    void noteFreeze(uint64_t video, std::optional<Micros> freeze);

    const CapacityTrace& m_capacity;
    MediaPathParameters m_p;
    Bottleneck m_bottleneck;
    LinkEstimator m_estimator;
    EventQueue& m_queue;
    SimObserver& m_observer;
    std::map<uint64_t, Video> m_videos;  // ordered: the sums and the end of the meeting go in video order
    std::deque<InFlight> m_inFlight;
    FrameRelay* m_onward = nullptr;
    FrameRelay* m_source = nullptr;
    uint64_t m_restarted = 0;       // the numbered videos of the last restart
    double m_carriedWhenTaken = 0;  // the bottleneck's bytes left at the last takeCarriedBytes
    PathTotals m_totals;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_MEDIAPATH_H

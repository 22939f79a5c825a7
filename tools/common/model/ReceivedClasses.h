// What each peer is received at over a run, followed step by step: a resolution ("640x480"), or nothing
// and why (not yet joined, left, no report, not received, nothing chosen), or unknown where the source does
// not show it. The log summary adds up its spans and the HTML report draws them as the peers' lanes, so the
// two always agree.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_RECEIVEDCLASSES_H
#define KTRSDK_TOOLS_COMMON_MODEL_RECEIVEDCLASSES_H

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Timeline.h"

namespace ktr {

// The classes of nothing received, and of a stream whose size the source does not show.
constexpr const char* kNotYetJoined = "not yet joined";
constexpr const char* kLeft = "left";
constexpr const char* kNoReport = "no report";
constexpr const char* kNotReceived = "not received";
constexpr const char* kNothingChosen = "nothing chosen";
constexpr const char* kUnknownClass = "unknown";

// What a peer is received at.
struct ReceivedClass {
    std::string label;      // "640x480", or one of the classes above
    bool atLowest = false;  // on its lowest published stream

    // A resolution, as opposed to nothing or unknown.
    bool isResolution() const;
    bool operator==(const ReceivedClass& other) const;
    bool operator!=(const ReceivedClass& other) const { return !(*this == other); }
};

// A stream's class when received: "WIDTHxHEIGHT".
std::string resolutionOf(const Record& stream);

class ReceivedClasses {
public:
    // A stretch of time [from, to) over which peer uid was received at one class.
    struct Span {
        uint64_t uid = 0;
        double from = 0;
        double to = 0;
        ReceivedClass received;
    };
    using SpanSink = std::function<void(const Span&)>;

    // sink gets every span as it closes, each peer's in time order.
    explicit ReceivedClasses(SpanSink sink) : m_sink(std::move(sink)) {}

    // The step, at x on the run's axis. A peer's first span starts at the first step's x.
    void add(const TimelineStep& step, double x);
    // The spans still open, as they would close at end, in uid order; nothing is emitted.
    std::vector<Span> open(double end) const;
    // Closes the open spans at end.
    void finish(double end);
    // The bitrate all peers are received at now, in bit/s.
    double totalBitrate() const;

private:
    struct Peer {
        ReceivedClass received;
        double since = 0;
        double bitrate = 0;
        bool present = false;                // ever in the meeting: its absence since means it left
        std::optional<PeerRequest> request;  // the last download request, until a new choice replaces it
    };

    Peer& peerAt(uint64_t uid);
    void update(uint64_t uid, Peer& peer, const StateSnapshot& state, double x);

    SpanSink m_sink;
    std::optional<double> m_start;
    std::map<uint64_t, Peer> m_peers;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_RECEIVEDCLASSES_H

// The conference server as a media path sees it: where the frames that crossed a publisher's uplink go on
// to, and where a subscriber's downlink asks for a key frame of a stream it forwards.
#ifndef KTRSDK_TOOLS_SIM_FRAMERELAY_H
#define KTRSDK_TOOLS_SIM_FRAMERELAY_H

#include <cstdint>

#include "IKTRSDK.h"
#include "Units.h"

namespace ktr::sim {

// A sharer's share stream travels as a video of its own beside its camera streams, on its uplink and on
// every subscriber's downlink: the sharer's uid with the top bit set (a meeting whose uids use that bit
// would mix the two).
constexpr uint64_t kShareVideoBit = uint64_t{1} << 63;
constexpr uint64_t shareVideoOf(uint64_t uid) {
    return uid | kShareVideoBit;
}
constexpr bool isShareVideo(uint64_t video) {
    return (video & kShareVideoBit) != 0;
}
// The participant a downlink's video comes from: a peer's uid, or its share's.
constexpr uint64_t publisherOf(uint64_t video) {
    return video & ~kShareVideoBit;
}

// A frame that crossed a publisher's uplink, as the server forwards it.
struct RelayedFrame {
    tarn::video::VideoStreamInfo stream{};  // the published stream it belongs to
    Micros captured = 0;                    // when the publisher sent it
    Micros arrival = 0;                     // when it reached the server
    int64_t bytes = 0;
    bool key = false;
    bool afterLoss = false;  // a frame of its stream before it was lost on the uplink
};

class FrameRelay {
public:
    virtual ~FrameRelay() = default;
    // A frame of the uplink's video (a published stream's index) will reach the server at frame.arrival.
    virtual void crossed(uint64_t video, const RelayedFrame& frame) = 0;
    // A downlink's receiver needs a key frame of the stream it receives of the video (a peer's uid), from the
    // publisher's first frame sent at or after `at`.
    virtual void keyFrameWanted(uint64_t video, const tarn::video::VideoStreamInfo& stream, Micros at) = 0;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_FRAMERELAY_H

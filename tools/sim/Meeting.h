#ifndef KTRSDK_TOOLS_SIM_MEETING_H
#define KTRSDK_TOOLS_SIM_MEETING_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "IKTRSDK.h"
#include "Records.h"
#include "Units.h"

namespace ktr::sim {

// A participant's own links in a conference, each as --downlink takes it (a trace file or a synthetic
// shape); empty: the run's link for everybody.
struct ParticipantLinks {
    std::string downlink;
    std::string uplink;
};

struct MeetingPeer {
    uint64_t uid = 0;
    uint16_t dt = 8;                                    // device type
    std::vector<tarn::video::VideoStreamInfo> streams;  // published simulcast streams, in report order
    Micros join = 0;                                    // when the peer joins
    std::optional<Micros> leave;                        // when it leaves (none: stays to the end)
    ParticipantLinks links;
};

struct SpeakerTurn {
    Micros start = 0;
    Micros end = 0;
    uint64_t uid = 0;  // may be the local user
};

// A seeded alternative to a schedule of speaker turns.
struct TalkSpurtModel {
    double meanSpurtS = 4.0;  // mean talk spurt (exponential), seconds
    double meanPauseS = 1.0;  // mean silence between spurts, seconds
    double localShare = 0.0;  // probability that a spurt is the local user's
    uint64_t seed = 1;        // the command line's --seed overrides it
};

struct SharePeriod {
    Micros start = 0;
    Micros end = 0;
    uint64_t uid = 0;
};

// From `at` on, the subscribers ask for exactly these (replacing the previous set).
struct SelectRequestSet {
    Micros at = 0;
    struct Request {
        int32_t width, height, fps, bitrate;
    };
    std::vector<Request> requests;
};

struct HostTimings {
    Micros estimateInterval = 100000;         // how often the host feeds setDLNetStatus (100 ms)
    Micros downloadAdjustInterval = 1000000;  // how often it asks adjustDLPolicy and getHDUids (1 s)
    Micros uploadCheckInterval = 1000000;     // how often it re-asks adjustULPolicy when requests or scene changed
    Micros requestDelay = 200000;             // from a download request to the stream received at the new rate
    Micros reportDelay = 100000;              // from a change of a peer's published streams to its report
    Micros reportInterval = 0;                // peers re-report their published streams this often besides at
                                              // join and change (0: off)
};

struct LinkParameters {
    Micros baseRtt = 50000;                // round trip without queueing (50 ms)
    int64_t downlinkBufferBytes = 150000;  // bottleneck buffer on the download side
    int64_t uplinkBufferBytes = 150000;
    double keyFrameFactor = 1.0;  // a key frame is this many times an ordinary frame (1: no larger key frames)
    Micros keyFrameInterval = 0;  // periodic key frames (0: only after a loss)
};

struct Meeting {
    std::string name;
    std::string description;
    uint64_t localUid = 0;
    int32_t localDt = 8;
    ParticipantLinks localLinks;
    Micros duration = 0;
    std::vector<MeetingPeer> peers;                         // ascending uid after parsing
    std::vector<SpeakerTurn> speakers;                      // sorted by start, non-overlapping
    std::optional<TalkSpurtModel> talkModel;                // either speakers or talkModel (or neither), never both
    std::vector<SharePeriod> sharing;                       // sorted, non-overlapping
    std::vector<SelectRequestSet> selectRequests;           // sorted by `at`
    std::vector<tarn::video::VideoStreamInfo> definitions;  // records to install (initStreamInfosForDft) at start
    std::optional<LocalConfig> config;                      // installed at start when given
    HostTimings host;
    LinkParameters link;
    bool conference = false;  // every participant runs the library, joined by a conference server
};

// Parses and checks a meeting description (JSON). fileName only names the input in messages. Throws
// ktr::InputError naming the file, the field and the problem.
Meeting parseMeeting(const std::string& text, const std::string& fileName);

// What a device of this type publishes by default: two streams from the built-in definition table,
// upper first. Type 1 (phone class): 640x480@20 358400 (245760-512000) and 320x240@15 204800 (102400-256000);
// every other type: 1280x720@30 716800 (512000-1024000) and 320x240@15 204800 (102400-256000), channel 1, dft 0.
std::vector<tarn::video::VideoStreamInfo> defaultStreams(uint16_t dt);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_MEETING_H

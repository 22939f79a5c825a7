// The download rules as functions of values: when a raise may go ahead, whether a peer's stream may rise
// or fall, which peers a cut picks and how far it lowers one. The download policy looks the values up and
// writes the log lines from what a rule reports.
#ifndef KTRSDK_DOWNLOAD_DOWNLOADRULES_H
#define KTRSDK_DOWNLOAD_DOWNLOADRULES_H

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace downloadrules {

// A raise lifts one peer's stream by a step; chosen bitrates from 30720 up to 2097152 (2M) may rise.
constexpr int32_t kIncStep = 30720;
constexpr int32_t kIncRangeLow = 30720;
constexpr int32_t kIncRangeHigh = 2097152;

// Whether a headroom estimate raises anybody.
enum class RaiseGuard {
    LowScore,     // the estimate's score is 85 or less
    NearCeiling,  // the estimate already reaches 95% of its maximum, or 3M
    Go,
};
RaiseGuard raiseGuard(int score, int32_t bitrate, int32_t maxBitrate);

// Whether a selection of up to count peers may still add one; a count of 0 or less takes none after the
// first peer weighed.
bool holdsFewerThan(const std::set<uint64_t>& uids, int count);

// A raise selection ends at the first peer outside the increase range.
bool isInIncreaseRange(int32_t bitrate);

// Whether a peer's stream may rise by a step. Above 600000 it never does, silently, and its maximum is not
// needed; otherwise the maximum decides and the verdict is logged.
enum class RaiseVerdict {
    TooHigh,
    Good,
    AtMaximum,
};
bool isTooHighToRaise(int32_t bitrate);
RaiseVerdict raiseVerdict(int32_t bitrate, int32_t maxBitrate);

// Whether a peer's stream may be cut. WellAbove and NoFloor are silent; AtFloor and Good are logged.
enum class CutVerdict {
    WellAbove,  // 614400 or more
    NoFloor,    // the stream states no minimum: it is not cut
    AtFloor,    // less than 92160 above its minimum
    Good,
};
CutVerdict cutVerdict(int32_t bitrate, int32_t minBitrate);
inline bool allowsCut(CutVerdict verdict) {
    return verdict == CutVerdict::WellAbove || verdict == CutVerdict::Good;
}

// A peer as the cut selection sees it, in ascending uid order.
struct CutCandidate {
    uint64_t uid;
    int32_t bitrate;
    int32_t minBitrate;
    bool multiStreams;
};

// One verdict the selection asked for, in the order asked: candidate indexes the candidates.
struct CutCheck {
    size_t candidate;
    CutVerdict verdict;
};

struct CutSelection {
    bool everyPeerCut = false;  // every peer was cut in this cycle already, which starts a new one
    bool restartCycle = false;  // the memory of cut peers is emptied before the picked ones are added
    std::set<uint64_t> picked;  // also the peers the memory adds
    std::vector<CutCheck> checks;
};

// Picks up to count peers of two or more to cut: those not yet cut in this cycle that may be cut, sparing
// the speaker; else every peer with two streams; else the speaker; else, in a new cycle, any that may be
// cut. alreadyCut is the memory of the cycle; it may hold peers that have left.
CutSelection selectCut(const std::vector<CutCandidate>& peers, const std::set<uint64_t>& alreadyCut, uint64_t speaker,
                       int count);

// The cut's share of the whole minimum cut among the picked peers.
int32_t cutStep(size_t pickedPeers);
// The bitrate a cut lowers a stream of the given bitrate to, never below floor: by the step, or by 20%
// (30% for the worse congestion code) where that is more.
int32_t loweredBitrate(int32_t bitrate, int netStatus, int32_t step, int32_t floor);

}  // namespace downloadrules

#endif  // KTRSDK_DOWNLOAD_DOWNLOADRULES_H

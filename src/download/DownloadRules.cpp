#include "DownloadRules.h"

#include <algorithm>

#include "core/Int32Arithmetic.h"
#include "core/KTRCodes.h"

namespace downloadrules {
namespace {

// Raise guards.
constexpr int kIncMinScore = 85;
constexpr double kIncMaxBitrateShare = 0.95;
constexpr int32_t kIncMaxNetBitrate = 3145728;
constexpr int32_t kIncGoodMaxBitrate = 600000;

// Cuts: the minimum cut is shared among the picked peers.
constexpr int32_t kDecTotalStep = 92160;
constexpr int32_t kDecPercent = 20;
constexpr int32_t kDecMorePercent = 30;
constexpr int32_t kDecGoodBitrate = 614400;
constexpr int32_t kDecRoomAboveMin = 92160;

int32_t percentOf(int32_t bitrate, int32_t percent) {
    return mul32(bitrate, percent) / 100;
}

// Builds one cut selection; each pass adds to it.
class CutSelector {
public:
    CutSelector(const std::vector<CutCandidate>& peers, int count) : m_peers(peers), m_count(count) {}

    void notYetCut(const std::set<uint64_t>& alreadyCut, uint64_t speaker) {
        for (size_t i = 0; i < m_peers.size(); ++i) {
            const CutCandidate& peer = m_peers[i];
            if (!m_result.restartCycle && alreadyCut.count(peer.uid) != 0) {
                continue;
            }
            if (peer.uid != speaker && check(i)) {
                m_result.picked.insert(peer.uid);
            }
            if (!holdsFewerThan(m_result.picked, m_count)) {
                break;
            }
        }
    }

    void withTwoStreams() {
        for (const CutCandidate& peer : m_peers) {
            if (peer.multiStreams) {
                m_result.picked.insert(peer.uid);
            }
        }
    }

    void speakerIfPresent(uint64_t speaker) {
        const auto isSpeaker = [speaker](const CutCandidate& peer) { return peer.uid == speaker; };
        if (speaker != 0 && std::any_of(m_peers.begin(), m_peers.end(), isSpeaker)) {
            m_result.picked.insert(speaker);
        }
    }

    // The last resort starts a new cycle and spares nobody, the speaker included.
    void anyAfterRestart() {
        m_result.restartCycle = true;
        for (size_t i = 0; i < m_peers.size(); ++i) {
            if (check(i)) {
                m_result.picked.insert(m_peers[i].uid);
            }
            if (!holdsFewerThan(m_result.picked, m_count)) {
                return;
            }
        }
    }

    CutSelection& result() { return m_result; }

private:
    bool check(size_t index) {
        const CutVerdict verdict = cutVerdict(m_peers[index].bitrate, m_peers[index].minBitrate);
        m_result.checks.push_back({index, verdict});
        return allowsCut(verdict);
    }

    const std::vector<CutCandidate>& m_peers;
    const int m_count;
    CutSelection m_result;
};

}  // namespace

bool holdsFewerThan(const std::set<uint64_t>& uids, int count) {
    return count > 0 && uids.size() < static_cast<size_t>(count);
}

RaiseGuard raiseGuard(int score, int32_t bitrate, int32_t maxBitrate) {
    if (score <= kIncMinScore) {
        return RaiseGuard::LowScore;
    }
    // A zero max_bitrate means the estimate states no ceiling: only the score guards the raise.
    if (maxBitrate != 0 && (static_cast<double>(bitrate) >= kIncMaxBitrateShare * static_cast<double>(maxBitrate) ||
                            bitrate > kIncMaxNetBitrate)) {
        return RaiseGuard::NearCeiling;
    }
    return RaiseGuard::Go;
}

bool isInIncreaseRange(int32_t bitrate) {
    return kIncRangeLow <= bitrate && bitrate <= kIncRangeHigh;
}

bool isTooHighToRaise(int32_t bitrate) {
    return bitrate > kIncGoodMaxBitrate;
}

RaiseVerdict raiseVerdict(int32_t bitrate, int32_t maxBitrate) {
    if (isTooHighToRaise(bitrate)) {
        return RaiseVerdict::TooHigh;
    }
    return bitrate > 0 && add32(bitrate, kIncStep) <= maxBitrate ? RaiseVerdict::Good : RaiseVerdict::AtMaximum;
}

CutVerdict cutVerdict(int32_t bitrate, int32_t minBitrate) {
    if (bitrate >= kDecGoodBitrate) {
        return CutVerdict::WellAbove;
    }
    if (minBitrate == 0) {
        return CutVerdict::NoFloor;
    }
    return bitrate < add32(minBitrate, kDecRoomAboveMin) ? CutVerdict::AtFloor : CutVerdict::Good;
}

CutSelection selectCut(const std::vector<CutCandidate>& peers, const std::set<uint64_t>& alreadyCut, uint64_t speaker,
                       int count) {
    CutSelector selector(peers, count);
    CutSelection& result = selector.result();
    // Only the counts are compared: a memory holding peers that have left may never match again.
    result.everyPeerCut = alreadyCut.size() == peers.size();
    result.restartCycle = result.everyPeerCut;
    selector.notYetCut(alreadyCut, speaker);
    if (result.picked.empty()) {
        selector.withTwoStreams();
    }
    if (result.picked.empty()) {
        selector.speakerIfPresent(speaker);
    }
    if (result.picked.empty()) {
        selector.anyAfterRestart();
    }
    return result;
}

int32_t cutStep(size_t pickedPeers) {
    return static_cast<int32_t>(kDecTotalStep / static_cast<int64_t>(pickedPeers));
}

int32_t loweredBitrate(int32_t bitrate, int netStatus, int32_t step, int32_t floor) {
    int32_t cut = step;
    if (netStatus == ktrcodes::kNetDecrease || netStatus == ktrcodes::kNetDecreaseMore) {
        const int32_t share = percentOf(bitrate, netStatus == ktrcodes::kNetDecrease ? kDecPercent : kDecMorePercent);
        cut = share > step ? share : step;
    }
    const int32_t lowered = sub32(bitrate, cut);
    return lowered <= floor ? floor : lowered;
}

}  // namespace downloadrules

#include "KTRDLPolicy.h"

#include <cstdlib>

#include "core/Int32Arithmetic.h"
#include "core/KTRCodes.h"
#include "core/KTRNetMgr.h"
#include "core/KTRPeerMgr.h"
#include "core/KTRSceneInfo.h"
#include "dft/KTRDFTMap.h"
#include "download/DownloadRules.h"
#include "log/KTRLog.h"

using tarn::video::VIDEO_DFT_240P;
using tarn::video::VIDEO_NET_ESTIMAT_NORMAL;
using tarn::video::VideoStreamInfo;

using downloadrules::CutVerdict;
using downloadrules::holdsFewerThan;
using downloadrules::isInIncreaseRange;
using downloadrules::kIncRangeHigh;
using downloadrules::kIncStep;
using downloadrules::RaiseGuard;
using ktrcodes::kDeviceType1;
using ktrcodes::kNetDecrease;
using ktrcodes::kNetDecreaseMore;
using ktrcodes::kNetIncrease;
using ktrcodes::kNetIncreaseToo;

namespace {

// Peer choice: the "300K" that device type 1's choice logs about.
constexpr int32_t kBiggerBitrate = 307200;
// A new peer may get its upper stream with up to 3 users; a peer reported again only with fewer than 3.
constexpr size_t kMaxUsersForNewUpper = 3;
constexpr size_t kUsersForKnownUpper = 3;

// A raise lifts one peer; a cut lowers up to three.
constexpr int kIncPeerCount = 1;
constexpr int kDecPeerCount = 3;

// Two requests for the same peer differ when their bitrates are at least one increase step apart.
constexpr int64_t kChangedBitrateDistance = 30720;

// Whether a request's bitrate moved by a whole step from the previous one.
bool movedByAStep(int32_t a, int32_t b) {
    const int64_t distance = int64_t{a} - b;
    return distance >= kChangedBitrateDistance || -distance >= kChangedBitrateDistance;
}

}  // namespace

void KTRDLPolicy::addPeer(uint64_t uid, const StreamList& infos) {
    ktrlog::write<ktrlog::DlAddPeer>(logUid(uid), static_cast<int>(infos.size()));
    if (uid == m_view->scene.getUid()) {
        ktrlog::write<ktrlog::DlAddPeerSelf>(logUid(uid));
        return;
    }
    if (infos.empty()) {
        m_mapSelects[uid] = VideoStreamInfo{};
        return;
    }
    if (infos.size() == 1) {
        m_mapSelects[uid] = infos.front();
        return;
    }
    const auto slot = m_mapSelects.lower_bound(uid);
    const bool isNew = slot == m_mapSelects.end() || slot->first != uid;
    if (isNew) {
        ktrlog::write<ktrlog::DlAddPeerNew>(logUid(uid));
    }
    const bool upper = isNew ? isUpperForNewPeer(uid, infos) : isUpperForKnownPeer();
    VideoStreamInfo chosen{};
    if (upper) {
        chooseUpper(infos, chosen);
    } else {
        chooseLower(infos, chosen);
    }
    if (chosen.bitrate == 0) {
        ktrlog::write<ktrlog::DlAddPeerInvalid>();
    }
    if (isNew) {
        m_mapSelects.emplace_hint(slot, uid, chosen);
    } else {
        slot->second = chosen;
    }
    ktrlog::write<ktrlog::DlAddPeerChosen>(upper ? 1 : 0, logUid(uid), chosen.bitrate);
}

bool KTRDLPolicy::isUpperForNewPeer(uint64_t uid, const StreamList& infos) const {
    const KTRSceneInfo& scene = m_view->scene;
    if (!m_view->dlNet.isGoodNet()) {
        return false;
    }
    if (scene.getDt() == kDeviceType1) {
        if (isBiggerBitrate(infos, kBiggerBitrate)) {
            ktrlog::write<ktrlog::DlAddPeerLowerBigBitrate>(logUid(uid));
        }
        return false;
    }
    if (scene.getSubUserCount() > kMaxUsersForNewUpper) {
        return false;
    }
    ktrlog::write<ktrlog::DlAddPeerUpperGood>(logUid(uid));
    return true;
}

// A known peer stays on its lower stream while anyone shares or speaks; the device type does not count.
bool KTRDLPolicy::isUpperForKnownPeer() const {
    const KTRSceneInfo& scene = m_view->scene;
    return m_view->dlNet.isGoodNet() && !scene.isSharing() && !scene.isSpeaking() &&
           scene.getSubUserCount() < kUsersForKnownUpper;
}

void KTRDLPolicy::chooseUpper(const StreamList& infos, VideoStreamInfo& out) const {
    if (infos.size() != 2) {
        ktrlog::write<ktrlog::DlChooseUpperSize>();
        return;
    }
    out = infos[0].bitrate > infos[1].bitrate ? infos[0] : infos[1];
}

void KTRDLPolicy::chooseLower(const StreamList& infos, VideoStreamInfo& out) const {
    if (infos.empty()) {
        return;
    }
    if (infos.size() == 1) {
        out = infos[0];
        return;
    }
    out = infos[0].bitrate > infos[1].bitrate ? infos[1] : infos[0];
}

bool KTRDLPolicy::isBiggerBitrate(const StreamList& infos, int32_t threshold) const {
    const int32_t bigger = infos[0].bitrate > infos[1].bitrate ? infos[0].bitrate : infos[1].bitrate;
    return bigger > threshold;
}

void KTRDLPolicy::removePeer(uint64_t uid) {
    ktrlog::write<ktrlog::DlRemovePeer>(logUid(uid));
    m_mapSelects.erase(uid);
}

void KTRDLPolicy::clear() {
    ktrlog::write<ktrlog::DlClear>();
    m_mapSelects.clear();
}

bool KTRDLPolicy::hasPeer(uint64_t uid) const {
    return m_mapSelects.find(uid) != m_mapSelects.end();
}

void KTRDLPolicy::getHDUids(UidSet& hdUids) {
    ktrlog::write<ktrlog::DlGetHDUids>(static_cast<int>(m_mapSelects.size()));
    for (const auto& entry : m_mapSelects) {
        if (!hasMultiStreams(entry.first) || !isLowerSelected(entry.first, entry.second)) {
            hdUids.insert(hdUids.end(), entry.first);  // ascending: usually appends
        }
    }
}

void KTRDLPolicy::getLDUids(UidSet& ldUids) {
    for (const auto& entry : m_mapSelects) {
        if (hasMultiStreams(entry.first) && isLowerSelected(entry.first, entry.second)) {
            ldUids.insert(ldUids.end(), entry.first);
        }
    }
}

// The chosen stream counts as the lower one when it lies in the lower stream's definition class.
bool KTRDLPolicy::isLowerSelected(uint64_t uid, const VideoStreamInfo& chosen) {
    KTRDFTMap& dftMap = m_view->dfts;
    const int chosenDft = dftMap.getDftByBitrate(chosen.bitrate);
    VideoStreamInfo lower{};
    m_view->peers.getPeerSvc(uid, lower);
    return chosenDft == dftMap.getDftByBitrate(lower.bitrate);
}

bool KTRDLPolicy::hasMultiStreams(uint64_t uid) const {
    return m_view->peers.hasMultiStreams(uid);
}

bool KTRDLPolicy::adjust(int /*channel*/, RequestMap& requests) {
    requests.clear();
    const size_t peerCount = m_view->peers.getPeerCount();
    if (peerCount == 0) {
        ktrlog::write<ktrlog::DlAdjustNoPeer>();
        return false;
    }
    ktrlog::write<ktrlog::DlAdjustPeerCount>(static_cast<int>(peerCount));
    // An adjustment that fails (allocation) leaves the rotation memory and the last requests as they
    // were, so that the host can repeat it and get the decision it would have got.
    m_pendingDecSelected = PendingDecSelected();
    realAdjust(requests);
    RequestMap lastRequests(requests);
    const bool changed = isChangedFromLastRequests(requests);
    // Nothing below allocates or throws.
    m_mapLastRequests.swap(lastRequests);
    commitDecSelected();
    return changed;
}

// Results of one size differ when they name other peers or a peer's bitrate moved by a step or more.
bool KTRDLPolicy::isChangedFromLastRequests(const RequestMap& requests) const {
    if (requests.size() != m_mapLastRequests.size()) {
        return true;
    }
    for (const auto& entry : requests) {
        const auto last = m_mapLastRequests.find(entry.first);
        if (last == m_mapLastRequests.end() || movedByAStep(entry.second.bitrate, last->second.bitrate)) {
            return true;
        }
    }
    return false;
}

void KTRDLPolicy::realAdjust(RequestMap& requests) {
    const KTRNetMgr& net = m_view->dlNet;
    const int netStatus = net.getNetStatus();
    const int score = net.getScore();
    const int bitrate = net.getBitrate();
    const int maxBitrate = net.getMaxBitrate();
    ktrlog::write<ktrlog::DlRealAdjustEstimate>(netStatus, score, bitrate, maxBitrate);
    if (netStatus == kNetIncrease || netStatus == kNetIncreaseToo) {
        const RaiseGuard guard = downloadrules::raiseGuard(score, bitrate, maxBitrate);
        if (guard == RaiseGuard::LowScore) {
            ktrlog::write<ktrlog::DlRealAdjustLowScore>(score);
            return;
        }
        if (guard == RaiseGuard::NearCeiling) {
            ktrlog::write<ktrlog::DlRealAdjustNearMax>(bitrate, maxBitrate);
            return;
        }
        increase(requests);
    } else if (netStatus == kNetDecrease || netStatus == kNetDecreaseMore) {
        decrease(netStatus, requests);
    } else if (netStatus == VIDEO_NET_ESTIMAT_NORMAL) {
        ktrlog::write<ktrlog::DlRealAdjustNormal>();
    }
    for (const auto& entry : requests) {
        const VideoStreamInfo& request = entry.second;
        ktrlog::write<ktrlog::DlRealAdjustRequest>(logUid(entry.first), request.width, request.height, request.bitrate,
                                                   request.maxbitrate, request.minbitrate, netStatus, score, bitrate,
                                                   maxBitrate);
    }
}

void KTRDLPolicy::increase(RequestMap& requests) {
    UidSet uids;
    selectIncPeers(uids, kIncPeerCount);
    if (uids.empty()) {
        ktrlog::write<ktrlog::DlRealAdjustNoInc>();
        return;
    }
    for (uint64_t uid : uids) {
        VideoStreamInfo request{};
        upperBitrate(uid, kIncStep, request);
        if (request.bitrate != 0) {
            requests[uid] = request;
        }
    }
}

void KTRDLPolicy::decrease(int netStatus, RequestMap& requests) {
    UidSet uids;
    selectDecPeers(uids, kDecPeerCount);
    if (uids.empty()) {
        ktrlog::write<ktrlog::DlRealAdjustNoDec>();
        return;
    }
    const int32_t step = downloadrules::cutStep(uids.size());
    for (uint64_t uid : uids) {
        VideoStreamInfo request{};
        lowerBitrate(uid, netStatus, step, request);
        if (request.bitrate != 0) {
            requests[uid] = request;
        }
    }
}

void KTRDLPolicy::upperBitrate(uint64_t uid, int32_t step, VideoStreamInfo& out) {
    const auto it = m_mapSelects.find(uid);
    if (it == m_mapSelects.end()) {
        return;
    }
    const int32_t bitrate = it->second.bitrate;
    if (bitrate > kIncRangeHigh) {
        ktrlog::write<ktrlog::DlUpperBitrateOver2M>();
        return;
    }
    const int32_t raised = add32(bitrate, step);
    m_view->dfts.getDftInfoByBitrate(raised, out);
    out.bitrate = raised;
}

void KTRDLPolicy::lowerBitrate(uint64_t uid, int netStatus, int32_t step, VideoStreamInfo& out) {
    const auto it = m_mapSelects.find(uid);
    if (it == m_mapSelects.end()) {
        ktrlog::write<ktrlog::DlLowerBitrateMissing>(logUid(uid), static_cast<int>(m_mapSelects.size()));
        return;
    }
    const VideoStreamInfo& chosen = it->second;
    const int32_t floor = m_view->dfts.getMinBitrateByDft(VIDEO_DFT_240P);
    const int32_t lowered = downloadrules::loweredBitrate(chosen.bitrate, netStatus, step, floor);
    if (lowered >= chosen.minbitrate || !hasMultiStreams(uid)) {
        m_view->dfts.getDftInfoByBitrate(lowered, out);
        out.bitrate = lowered;
        return;
    }
    // Below the chosen stream's range the peer's own lower stream serves, when it is the one received.
    if (isLowerSelected(uid, chosen)) {
        m_view->peers.getPeerSvc(uid, out);
    }
}

// The raise selection stays whole here: checking a peer may look its class up in the definition table,
// which can log, and only the peers the walk reaches are checked; the draw of rand() comes between passes.
void KTRDLPolicy::selectIncPeers(UidSet& uids, int count) {
    uids.clear();
    if (m_mapSelects.empty()) {
        ktrlog::write<ktrlog::DlSelectIncEmpty>();
        return;
    }
    if (m_mapSelects.size() == 1) {
        const auto& only = *m_mapSelects.begin();
        if (isInIncreaseRange(only.second.bitrate)) {
            uids.insert(only.first);
        }
        return;
    }
    const KTRSceneInfo& scene = m_view->scene;
    const uint64_t speaker = scene.getSpeakerUid();
    if (holdsFewerThan(uids, count) && speaker != 0 && !scene.isSelfSpeaking()) {
        const auto it = m_mapSelects.find(speaker);
        if (it != m_mapSelects.end() && isGoodToInc(it->second, speaker, true)) {
            uids.insert(speaker);
        }
    }
    if (holdsFewerThan(uids, count) && !selectIncByRules(uids, count, speaker)) {
        return;
    }
    if (uids.empty() && !selectIncMultiStreams(uids)) {
        return;
    }
    selectIncAtRandom(uids);
}

bool KTRDLPolicy::selectIncByRules(UidSet& uids, int count, uint64_t speaker) {
    for (const auto& entry : m_mapSelects) {
        if (!isInIncreaseRange(entry.second.bitrate)) {
            return false;
        }
        if (entry.first != speaker && isGoodToInc(entry.second, entry.first, false)) {
            uids.insert(entry.first);
        }
        if (!holdsFewerThan(uids, count)) {
            break;
        }
    }
    return true;
}

bool KTRDLPolicy::selectIncMultiStreams(UidSet& uids) {
    for (const auto& entry : m_mapSelects) {
        if (!isInIncreaseRange(entry.second.bitrate)) {
            return false;
        }
        if (hasMultiStreams(entry.first)) {
            uids.insert(entry.first);
        }
    }
    return true;
}

// Adds the peer at a random index, provided it and every peer before it may rise.
void KTRDLPolicy::selectIncAtRandom(UidSet& uids) {
    const size_t picked = static_cast<size_t>(std::rand()) % m_mapSelects.size();
    size_t index = 0;
    for (const auto& entry : m_mapSelects) {
        if (!isInIncreaseRange(entry.second.bitrate)) {
            return;
        }
        if (index == picked) {
            uids.insert(entry.first);
            return;
        }
        ++index;
    }
}

void KTRDLPolicy::selectDecPeers(UidSet& uids, int count) {
    uids.clear();
    if (m_mapSelects.empty()) {
        ktrlog::write<ktrlog::DlSelectDecEmpty>();
        return;
    }
    if (m_mapSelects.size() == 1) {
        uids.insert(m_mapSelects.begin()->first);
        return;
    }
    // The registry's lookups are silent, so every peer's facts can be gathered before the selection.
    std::vector<downloadrules::CutCandidate> peers;
    for (const auto& entry : m_mapSelects) {
        peers.push_back({entry.first, entry.second.bitrate, entry.second.minbitrate, hasMultiStreams(entry.first)});
    }
    downloadrules::CutSelection selection =
        downloadrules::selectCut(peers, m_setDecSelected, m_view->scene.getSpeakerUid(), count);
    if (selection.everyPeerCut) {
        ktrlog::write<ktrlog::DlSelectDecReset>();
    }
    for (const downloadrules::CutCheck& check : selection.checks) {
        logCutVerdict(peers[check.candidate], check.verdict);
    }
    uids = selection.picked;
    m_pendingDecSelected.reset = selection.restartCycle;
    m_pendingDecSelected.added.swap(selection.picked);
}

void KTRDLPolicy::commitDecSelected() {
    if (m_pendingDecSelected.reset) {
        m_setDecSelected.clear();
    }
    m_setDecSelected.merge(m_pendingDecSelected.added);
    m_pendingDecSelected = PendingDecSelected();
}

bool KTRDLPolicy::isGoodToInc(const VideoStreamInfo& info, uint64_t uid, bool isSpeaker) {
    const int32_t bitrate = info.bitrate;
    if (downloadrules::isTooHighToRaise(bitrate)) {
        return false;
    }
    int32_t maxBitrate = info.maxbitrate;
    // A peer that reported no range for its stream gets the range of the stream's definition class.
    if (maxBitrate == 0) {
        VideoStreamInfo definition{};
        m_view->dfts.getDftInfoByBitrate(bitrate, definition);
        maxBitrate = definition.maxbitrate;
    }
    if (downloadrules::raiseVerdict(bitrate, maxBitrate) == downloadrules::RaiseVerdict::Good) {
        ktrlog::write<ktrlog::DlIsGoodToIncGood>(logUid(uid), bitrate, maxBitrate, isSpeaker ? 1 : 0);
        return true;
    }
    ktrlog::write<ktrlog::DlIsGoodToIncMax>(logUid(uid), bitrate, maxBitrate, isSpeaker ? 1 : 0);
    return false;
}

// The messages print the minbitrate where they say maxBitrate.
void KTRDLPolicy::logCutVerdict(const downloadrules::CutCandidate& peer, CutVerdict verdict) {
    if (verdict == CutVerdict::AtFloor) {
        ktrlog::write<ktrlog::DlIsGoodToDecMin>(logUid(peer.uid), peer.bitrate, peer.minBitrate);
    } else if (verdict == CutVerdict::Good) {
        ktrlog::write<ktrlog::DlIsGoodToDecGood>(logUid(peer.uid), peer.bitrate, peer.minBitrate);
    }
}

#ifndef KTRSDK_DOWNLOAD_KTRDLPOLICY_H
#define KTRSDK_DOWNLOAD_KTRDLPOLICY_H

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "IKTRSDK.h"
#include "core/KTRViews.h"
#include "download/DownloadRules.h"

// Chooses which stream of every peer the local client receives and adjusts the requests to the
// download estimate: raises one peer on headroom, cuts up to three on congestion.
class KTRDLPolicy {
public:
    using StreamList = std::vector<tarn::video::VideoStreamInfo>;
    using RequestMap = std::map<uint64_t, tarn::video::VideoStreamInfo>;
    using UidSet = std::set<uint64_t>;

    // Takes the view of its siblings once they all exist, before any operation.
    void attach(const KTRDLView& view) { m_view.emplace(view); }

    // Stores the stream chosen for the peer: its only stream, or the upper or lower of two.
    void addPeer(uint64_t uid, const StreamList& infos);
    void removePeer(uint64_t uid);
    void clear();
    bool hasPeer(uint64_t uid) const;
    // Adds the peers received in high definition; the sets are not emptied first.
    void getHDUids(UidSet& hdUids);
    // Adds the two-stream peers received on their lower stream's definition class.
    void getLDUids(UidSet& ldUids);
    // Fills requests (emptied first) from the download estimate; true when they differ from the last ones.
    bool adjust(int channel, RequestMap& requests);

private:
    bool isUpperForNewPeer(uint64_t uid, const StreamList& infos) const;
    bool isUpperForKnownPeer() const;
    void chooseUpper(const StreamList& infos, tarn::video::VideoStreamInfo& out) const;
    void chooseLower(const StreamList& infos, tarn::video::VideoStreamInfo& out) const;
    bool isBiggerBitrate(const StreamList& infos, int32_t threshold) const;
    // Whether the peer's chosen stream (its entry in m_mapSelects) lies in its lower stream's class.
    bool isLowerSelected(uint64_t uid, const tarn::video::VideoStreamInfo& chosen);
    bool hasMultiStreams(uint64_t uid) const;

    void realAdjust(RequestMap& requests);
    void increase(RequestMap& requests);
    void decrease(int netStatus, RequestMap& requests);
    void upperBitrate(uint64_t uid, int32_t step, tarn::video::VideoStreamInfo& out);
    void lowerBitrate(uint64_t uid, int netStatus, int32_t step, tarn::video::VideoStreamInfo& out);
    bool isChangedFromLastRequests(const RequestMap& requests) const;

    void selectIncPeers(UidSet& uids, int count);
    // Each pass answers false when it met a peer outside the increase range, which ends the selection.
    bool selectIncByRules(UidSet& uids, int count, uint64_t speaker);
    bool selectIncMultiStreams(UidSet& uids);
    void selectIncAtRandom(UidSet& uids);
    void selectDecPeers(UidSet& uids, int count);
    void commitDecSelected();
    bool isGoodToInc(const tarn::video::VideoStreamInfo& info, uint64_t uid, bool isSpeaker);
    static void logCutVerdict(const downloadrules::CutCandidate& peer, downloadrules::CutVerdict verdict);

    std::optional<KTRDLView> m_view;
    // The stream chosen for each peer.
    RequestMap m_mapSelects;
    // The requests of the previous adjustment, kept to tell whether a result changed.
    RequestMap m_mapLastRequests;
    // The peers already cut in the current decrease cycle; may hold peers that have left.
    UidSet m_setDecSelected;
    // What the decrease selection of the running adjustment does to m_setDecSelected. It is applied only
    // once the adjustment can no longer fail (allocation), so that a failed one leaves the rotation as it
    // was and the host can repeat the call.
    struct PendingDecSelected {
        bool reset = false;  // the memory is emptied before the additions
        UidSet added;
    };
    PendingDecSelected m_pendingDecSelected;
};

#endif  // KTRSDK_DOWNLOAD_KTRDLPOLICY_H

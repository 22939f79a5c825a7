#ifndef KTRSDK_CORE_KTRPEERMGR_H
#define KTRSDK_CORE_KTRPEERMGR_H

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "IKTRSDK.h"

// The streams every reported peer publishes, exactly as the host last reported them.
class KTRPeerMgr {
public:
    void setPeerInfos(uint64_t uid, const std::vector<tarn::video::VideoStreamInfo>& infos);
    void clear();
    void removePeer(uint64_t uid);
    // The peer's streams; null (and an error line) for an unknown peer.
    const std::vector<tarn::video::VideoStreamInfo>* getPeer(uint64_t uid) const;
    // The peer's lower stream: its only one, or the lower-bitrate one of its first two (the first on a tie).
    bool getPeerSvc(uint64_t uid, tarn::video::VideoStreamInfo& out) const;
    bool hasMultiStreams(uint64_t uid) const;
    size_t getPeerCount() const { return m_mapPeerStreams.size(); }

private:
    // Nothing walks the peers in order, so a hash map serves every lookup in constant time.
    std::unordered_map<uint64_t, std::vector<tarn::video::VideoStreamInfo>> m_mapPeerStreams;
};

#endif  // KTRSDK_CORE_KTRPEERMGR_H

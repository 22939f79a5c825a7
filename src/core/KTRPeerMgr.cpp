#include "KTRPeerMgr.h"

#include "log/KTRLog.h"

using tarn::video::VideoStreamInfo;

void KTRPeerMgr::setPeerInfos(uint64_t uid, const std::vector<VideoStreamInfo>& infos) {
    m_mapPeerStreams[uid] = infos;
}

void KTRPeerMgr::clear() {
    m_mapPeerStreams.clear();
}

void KTRPeerMgr::removePeer(uint64_t uid) {
    m_mapPeerStreams.erase(uid);
}

const std::vector<VideoStreamInfo>* KTRPeerMgr::getPeer(uint64_t uid) const {
    const auto it = m_mapPeerStreams.find(uid);
    if (it == m_mapPeerStreams.end()) {
        ktrlog::write<ktrlog::PeerGetPeerMissing>(logUid(uid));
        return nullptr;
    }
    return &it->second;
}

bool KTRPeerMgr::getPeerSvc(uint64_t uid, VideoStreamInfo& out) const {
    const auto it = m_mapPeerStreams.find(uid);
    if (it == m_mapPeerStreams.end()) {
        ktrlog::write<ktrlog::PeerGetPeerSvcMissing>(logUid(uid));
        return false;
    }
    const std::vector<VideoStreamInfo>& streams = it->second;
    if (streams.empty()) {
        // Callers ask only about peers with two or more streams; an empty list has no lower stream.
        return true;
    }
    if (streams.size() == 1 || streams[0].bitrate <= streams[1].bitrate) {
        out = streams[0];
    } else {
        out = streams[1];
    }
    return true;
}

bool KTRPeerMgr::hasMultiStreams(uint64_t uid) const {
    const auto it = m_mapPeerStreams.find(uid);
    return it != m_mapPeerStreams.end() && it->second.size() > 1;
}

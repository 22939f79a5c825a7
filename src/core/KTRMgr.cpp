#include "KTRMgr.h"

#include "core/KTRNetMgr.h"
#include "core/KTRPeerMgr.h"
#include "core/KTRSceneInfo.h"
#include "dft/KTRDFTMap.h"
#include "download/KTRDLPolicy.h"
#include "log/KTRLog.h"
#include "upload/KTRSelectMgr.h"
#include "upload/KTRULPolicy.h"

using tarn::video::KTRConfig;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {
// The user log lines start once the scene holds this many users.
constexpr size_t kLoggedUserCount = 15;
}  // namespace

KTRMgr::KTRMgr() {
    m_pConfig.reset(new KTRConfig);
    m_pSelectMgr.reset(new KTRSelectMgr);
    m_pDLNetMgr.reset(new KTRNetMgr(false));
    m_pULNetMgr.reset(new KTRNetMgr(true));
    m_pULPolicy.reset(new KTRULPolicy);
    m_pDLPolicy.reset(new KTRDLPolicy);
    m_pPeerMgr.reset(new KTRPeerMgr);
    m_pDFTMap.reset(new KTRDFTMap);
    m_pSceneInfo.reset(new KTRSceneInfo);
    // Each policy reads only what its view gives; the views allocate nothing.
    m_pSelectMgr->attach(KTRSelectView{*m_pConfig, *m_pSceneInfo, *m_pDFTMap});
    m_pULPolicy->attach(KTRULView{*m_pConfig, *m_pSceneInfo, *m_pDFTMap, *m_pSelectMgr});
    m_pDLPolicy->attach(KTRDLView{*m_pSceneInfo, *m_pPeerMgr, *m_pDLNetMgr, *m_pDFTMap});
}

// The sub-objects go under the mutex and in this order, not in the members' reverse order of declaration:
// a thread still inside an operation finishes before anything it reads is destroyed.
KTRMgr::~KTRMgr() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pConfig.reset();
    m_pSelectMgr.reset();
    m_pDLNetMgr.reset();
    m_pULNetMgr.reset();
    m_pULPolicy.reset();
    m_pDLPolicy.reset();
    m_pPeerMgr.reset();
    m_pSceneInfo.reset();
    m_pDFTMap.reset();
}

bool KTRMgr::isUserLogged() const {
    return m_pSceneInfo->getUserCount() + 1 > kLoggedUserCount;
}

void KTRMgr::init(uint64_t uid, int dt) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ktrlog::write<ktrlog::MgrInit>(logUid(uid), dt);
    m_pSceneInfo->setUid(uid);
    m_pSceneInfo->setDt(dt);
}

void KTRMgr::setSceneType(int sceneType) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pSceneInfo->setSceneType(sceneType);
}

void KTRMgr::setConfig(const KTRConfig& config) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pConfig->setForceHD(config.forceHD);
    m_pConfig->setAuxBitrate1(config.auxBitrate1);
    m_pConfig->setAuxBitrate2(config.auxBitrate2);
    m_pConfig->setAuxFlag(config.auxFlag);
}

void KTRMgr::addUser(const KTRUserInfo& user) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (isUserLogged()) {
        ktrlog::write<ktrlog::MgrAddUser>(logUid(user.uid), user.dt);
    }
    m_pSceneInfo->addUser(user);
}

void KTRMgr::removeUser(const KTRUserInfo& user) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (isUserLogged()) {
        ktrlog::write<ktrlog::MgrRemoveUser>(logUid(user.uid), user.dt);
    }
    m_pPeerMgr->removePeer(user.uid);
    m_pDLPolicy->removePeer(user.uid);
    m_pSceneInfo->removeUser(user);
}

void KTRMgr::setUsers(const std::vector<KTRUserInfo>& users) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pDLPolicy->clear();
    m_pSceneInfo->setUsers(users);
    for (const KTRUserInfo& user : users) {
        if (user.uid == 0 || m_pDLPolicy->hasPeer(user.uid)) {
            continue;
        }
        // A peer the registry does not know is added without streams.
        const std::vector<VideoStreamInfo>* streams = m_pPeerMgr->getPeer(user.uid);
        m_pDLPolicy->addPeer(user.uid, streams != nullptr ? *streams : std::vector<VideoStreamInfo>());
    }
}

void KTRMgr::setSharing(bool sharing, uint64_t uid) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ktrlog::write<ktrlog::MgrSetSharing>(sharing ? 1 : 0, logUid(uid));
    m_pSceneInfo->setSharing(sharing, uid);
}

void KTRMgr::setSpeaker(bool speaking, uint64_t uid) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ktrlog::write<ktrlog::MgrSetSpeaker>(speaking ? 1 : 0, logUid(uid));
    m_pSceneInfo->setSpeaker(speaking, uid);
}

bool KTRMgr::adjustDLPolicy(int channel, std::map<uint64_t, VideoStreamInfo>& result) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pDLPolicy->adjust(channel, result);
}

bool KTRMgr::adjustULPolicy(int channel, std::vector<VideoStreamInfo>& result) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pULPolicy->adjust(channel, result);
}

void KTRMgr::getHDUids(std::set<uint64_t>& hdUids, std::set<uint64_t>& ldUids) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pDLPolicy->getHDUids(hdUids);
    m_pDLPolicy->getLDUids(ldUids);
}

void KTRMgr::addSelectReq(int width, int height, int fps, int bitrate) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ktrlog::write<ktrlog::MgrAddSelectReq>(width, height, fps, bitrate);
    m_pSelectMgr->addSelectReq(width, height, fps, bitrate);
}

void KTRMgr::clearSelectReqs() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pSelectMgr->clear();
}

void KTRMgr::addPeerReport(uint64_t uid, const std::vector<VideoStreamInfo>& infos) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (uid == m_pSceneInfo->getUid()) {
        ktrlog::write<ktrlog::MgrAddPeerReportSelf>(logUid(uid));
        return;
    }
    for (const VideoStreamInfo& info : infos) {
        ktrlog::write<ktrlog::MgrAddPeerReportStream>(logUid(uid), info.width, info.height, info.bitrate);
    }
    m_pPeerMgr->setPeerInfos(uid, infos);
    if (m_pSceneInfo->isSubUser(uid)) {
        m_pDLPolicy->addPeer(uid, infos);
    }
}

void KTRMgr::clearPeerReports() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pPeerMgr->clear();
}

void KTRMgr::setULNetStatus(int netStatus, int score, int bitrate, int maxBitrate) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pULNetMgr->set(netStatus, score, bitrate, maxBitrate);
}

void KTRMgr::setDLNetStatus(int netStatus, int score, int bitrate, int maxBitrate) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pDLNetMgr->set(netStatus, score, bitrate, maxBitrate);
}

void KTRMgr::initStreamInfosForDft(const std::vector<VideoStreamInfo>& infos) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pDFTMap->initStreamInfosForDft(infos);
}

void KTRMgr::getDftInfoByBitrate(int bitrate, VideoStreamInfo& out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pDFTMap->getDftInfoByBitrate(bitrate, out);
}

#include "KTRSDK.h"

#include "core/KTRMgr.h"

using tarn::video::KTRConfig;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

KTRSDK::KTRSDK() : m_pMgr(new KTRMgr) {}

KTRSDK::~KTRSDK() = default;

void KTRSDK::init(uint64_t uid, int dt) {
    m_pMgr->init(uid, dt);
}

void KTRSDK::setSceneType(int sceneType) {
    m_pMgr->setSceneType(sceneType);
}

void KTRSDK::setConfig(const KTRConfig& config) {
    m_pMgr->setConfig(config);
}

void KTRSDK::addUser(const KTRUserInfo& user) {
    m_pMgr->addUser(user);
}

void KTRSDK::removeUser(const KTRUserInfo& user) {
    m_pMgr->removeUser(user);
}

void KTRSDK::setUsers(const std::vector<KTRUserInfo>& users) {
    m_pMgr->setUsers(users);
}

void KTRSDK::setSharing(bool sharing, uint64_t uid) {
    m_pMgr->setSharing(sharing, uid);
}

void KTRSDK::setSpeaker(bool speaking, uint64_t uid) {
    m_pMgr->setSpeaker(speaking, uid);
}

bool KTRSDK::adjustDLPolicy(int channel, std::map<uint64_t, VideoStreamInfo>& result) {
    return m_pMgr->adjustDLPolicy(channel, result);
}

bool KTRSDK::adjustULPolicy(int channel, std::vector<VideoStreamInfo>& result) {
    return m_pMgr->adjustULPolicy(channel, result);
}

void KTRSDK::getHDUids(std::set<uint64_t>& hdUids, std::set<uint64_t>& ldUids) {
    m_pMgr->getHDUids(hdUids, ldUids);
}

void KTRSDK::addSelectReq(int width, int height, int fps, int bitrate) {
    m_pMgr->addSelectReq(width, height, fps, bitrate);
}

void KTRSDK::clearSelectReqs() {
    m_pMgr->clearSelectReqs();
}

void KTRSDK::addPeerReport(uint64_t uid, const std::vector<VideoStreamInfo>& infos) {
    m_pMgr->addPeerReport(uid, infos);
}

void KTRSDK::clearPeerReports() {
    m_pMgr->clearPeerReports();
}

void KTRSDK::setULNetStatus(int net_status, int score, int bitrate, int max_bitrate) {
    m_pMgr->setULNetStatus(net_status, score, bitrate, max_bitrate);
}

void KTRSDK::setDLNetStatus(int net_status, int score, int bitrate, int max_bitrate) {
    m_pMgr->setDLNetStatus(net_status, score, bitrate, max_bitrate);
}

void KTRSDK::initStreamInfosForDft(const std::vector<VideoStreamInfo>& infos) {
    m_pMgr->initStreamInfosForDft(infos);
}

void KTRSDK::getDftInfoByBitrate(int bitrate, VideoStreamInfo& out) {
    m_pMgr->getDftInfoByBitrate(bitrate, out);
}

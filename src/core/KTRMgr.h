#ifndef KTRSDK_CORE_KTRMGR_H
#define KTRSDK_CORE_KTRMGR_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "IKTRSDK.h"

class KTRSelectMgr;
class KTRNetMgr;
class KTRULPolicy;
class KTRDLPolicy;
class KTRPeerMgr;
class KTRSceneInfo;
class KTRDFTMap;

// The core of one SDK instance: owns every other object, serialises every operation behind one mutex
// and routes each interface operation to its sub-objects. The policies reach their siblings only through
// the views it hands them (KTRViews.h), always from inside an operation that already holds the mutex.
class KTRMgr {
public:
    KTRMgr();
    ~KTRMgr();
    KTRMgr(const KTRMgr&) = delete;
    KTRMgr& operator=(const KTRMgr&) = delete;

    void init(uint64_t uid, int dt);
    void setSceneType(int sceneType);
    void setConfig(const tarn::video::KTRConfig& config);
    void addUser(const tarn::video::KTRUserInfo& user);
    void removeUser(const tarn::video::KTRUserInfo& user);
    void setUsers(const std::vector<tarn::video::KTRUserInfo>& users);
    void setSharing(bool sharing, uint64_t uid);
    void setSpeaker(bool speaking, uint64_t uid);
    bool adjustDLPolicy(int channel, std::map<uint64_t, tarn::video::VideoStreamInfo>& result);
    bool adjustULPolicy(int channel, std::vector<tarn::video::VideoStreamInfo>& result);
    void getHDUids(std::set<uint64_t>& hdUids, std::set<uint64_t>& ldUids);
    void addSelectReq(int width, int height, int fps, int bitrate);
    void clearSelectReqs();
    void addPeerReport(uint64_t uid, const std::vector<tarn::video::VideoStreamInfo>& infos);
    void clearPeerReports();
    void setULNetStatus(int netStatus, int score, int bitrate, int maxBitrate);
    void setDLNetStatus(int netStatus, int score, int bitrate, int maxBitrate);
    void initStreamInfosForDft(const std::vector<tarn::video::VideoStreamInfo>& infos);
    void getDftInfoByBitrate(int bitrate, tarn::video::VideoStreamInfo& out);

    // Read-only inspection of the sub-objects, for white-box tests; no sub-object holds the manager.
    const KTRSelectMgr& selectMgr() const { return *m_pSelectMgr; }
    const KTRPeerMgr& peerMgr() const { return *m_pPeerMgr; }
    const KTRSceneInfo& sceneInfo() const { return *m_pSceneInfo; }

private:
    // Writes the user log line of addUser/removeUser once the scene holds 15 users or more.
    bool isUserLogged() const;

    std::mutex m_mutex;
    std::unique_ptr<tarn::video::KTRConfig> m_pConfig;
    std::unique_ptr<KTRSelectMgr> m_pSelectMgr;
    std::unique_ptr<KTRNetMgr> m_pDLNetMgr;
    std::unique_ptr<KTRNetMgr> m_pULNetMgr;
    std::unique_ptr<KTRULPolicy> m_pULPolicy;
    std::unique_ptr<KTRDLPolicy> m_pDLPolicy;
    std::unique_ptr<KTRPeerMgr> m_pPeerMgr;
    std::unique_ptr<KTRSceneInfo> m_pSceneInfo;
    std::unique_ptr<KTRDFTMap> m_pDFTMap;
};

#endif  // KTRSDK_CORE_KTRMGR_H

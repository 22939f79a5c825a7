#ifndef KTRSDK_SDK_KTRSDK_H
#define KTRSDK_SDK_KTRSDK_H

#include <memory>

#include "IKTRSDK.h"

class KTRMgr;

// The implementation behind tarn::video::IKTRSDK: hands every operation unchanged to its manager.
class KTRSDK : public tarn::video::IKTRSDK {
public:
    KTRSDK();
    ~KTRSDK() override;

    void init(uint64_t uid, int dt) override;
    void setSceneType(int sceneType) override;
    void setConfig(const tarn::video::KTRConfig& config) override;
    void addUser(const tarn::video::KTRUserInfo& user) override;
    void removeUser(const tarn::video::KTRUserInfo& user) override;
    void setUsers(const std::vector<tarn::video::KTRUserInfo>& users) override;
    void setSharing(bool sharing, uint64_t uid) override;
    void setSpeaker(bool speaking, uint64_t uid) override;
    bool adjustDLPolicy(int channel, std::map<uint64_t, tarn::video::VideoStreamInfo>& result) override;
    bool adjustULPolicy(int channel, std::vector<tarn::video::VideoStreamInfo>& result) override;
    void getHDUids(std::set<uint64_t>& hdUids, std::set<uint64_t>& ldUids) override;
    void addSelectReq(int width, int height, int fps, int bitrate) override;
    void clearSelectReqs() override;
    void addPeerReport(uint64_t uid, const std::vector<tarn::video::VideoStreamInfo>& infos) override;
    void clearPeerReports() override;
    void setULNetStatus(int net_status, int score, int bitrate, int max_bitrate) override;
    void setDLNetStatus(int net_status, int score, int bitrate, int max_bitrate) override;
    void initStreamInfosForDft(const std::vector<tarn::video::VideoStreamInfo>& infos) override;
    void getDftInfoByBitrate(int bitrate, tarn::video::VideoStreamInfo& out) override;

private:
    std::unique_ptr<KTRMgr> m_pMgr;
};

#endif  // KTRSDK_SDK_KTRSDK_H

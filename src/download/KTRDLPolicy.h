#ifndef KTRSDK_DOWNLOAD_KTRDLPOLICY_H
#define KTRSDK_DOWNLOAD_KTRDLPOLICY_H

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "IKTRSDK.h"

class KTRMgr;

// Chooses which stream of every peer the local client receives and adjusts the requests to the
// download estimate.
class KTRDLPolicy {
public:
    explicit KTRDLPolicy(KTRMgr* mgr) : m_pMgr(mgr) {}

    void addPeer(uint64_t uid, const std::vector<tarn::video::VideoStreamInfo>& infos);
    void removePeer(uint64_t uid);
    void clear();
    bool hasPeer(uint64_t uid) const;
    void getHDUids(std::set<uint64_t>& hdUids);
    void getLDUids(std::set<uint64_t>& ldUids);
    bool adjust(int channel, std::map<uint64_t, tarn::video::VideoStreamInfo>& requests);

private:
    [[maybe_unused]] KTRMgr* m_pMgr;
};

#endif  // KTRSDK_DOWNLOAD_KTRDLPOLICY_H

#ifndef KTRSDK_UPLOAD_KTRULPOLICY_H
#define KTRSDK_UPLOAD_KTRULPOLICY_H

#include <vector>

#include "IKTRSDK.h"

class KTRMgr;

// Decides what the local client publishes on the camera and the share channel.
class KTRULPolicy {
public:
    explicit KTRULPolicy(KTRMgr* mgr) : m_pMgr(mgr) {}

    bool adjust(int channel, std::vector<tarn::video::VideoStreamInfo>& out);

private:
    [[maybe_unused]] KTRMgr* m_pMgr;
};

#endif  // KTRSDK_UPLOAD_KTRULPOLICY_H

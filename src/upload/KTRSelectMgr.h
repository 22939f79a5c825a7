#ifndef KTRSDK_UPLOAD_KTRSELECTMGR_H
#define KTRSDK_UPLOAD_KTRSELECTMGR_H

class KTRMgr;

// Collects the subscribers' select requests for the local camera video.
class KTRSelectMgr {
public:
    explicit KTRSelectMgr(KTRMgr* mgr) : m_pMgr(mgr) {}

    void addSelectReq(int width, int height, int fps, int bitrate);
    void clear();

private:
    [[maybe_unused]] KTRMgr* m_pMgr;
};

#endif  // KTRSDK_UPLOAD_KTRSELECTMGR_H

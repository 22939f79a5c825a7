#ifndef KTRSDK_CORE_KTRNETMGR_H
#define KTRSDK_CORE_KTRNETMGR_H

// One network estimate (upload or download) as the host last reported it.
class KTRNetMgr {
public:
    explicit KTRNetMgr(bool upload) : m_bUpload(upload) {}

    void set(int netStatus, int score, int bitrate, int maxBitrate);
    int getNetStatus() const { return net_status; }
    int getScore() const { return score; }
    int getBitrate() const { return bitrate; }
    int getMaxBitrate() const { return max_bitrate; }
    // A score above 85 is good; 85 itself is not.
    bool isGoodNet() const;
    void dump() const;

private:
    bool m_bUpload;
    int net_status = 1;
    int score = 100;
    int bitrate = 300000;
    int max_bitrate = 0;
};

#endif  // KTRSDK_CORE_KTRNETMGR_H

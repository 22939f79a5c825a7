#include "KTRNetMgr.h"

#include "log/KTRLog.h"

namespace {
constexpr int kGoodScore = 85;
}

void KTRNetMgr::set(int netStatus, int newScore, int newBitrate, int maxBitrate) {
    net_status = netStatus;
    score = newScore;
    bitrate = newBitrate;
    max_bitrate = maxBitrate;
}

bool KTRNetMgr::isGoodNet() const {
    return score > kGoodScore;
}

void KTRNetMgr::dump() const {
    ktrlog::write<ktrlog::NetDump>(m_bUpload ? 1 : 0, net_status, score, bitrate, max_bitrate);
}

#include "KTRNetMgr.h"

#include "log/xlog.h"

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
    xlog::logi("[%s]: ktr net mgr dump, upload=%d, net_status=%d, score=%d, bitrate=%d, max_bitrate=%d",
               "KTRNetMgr::dump", m_bUpload ? 1 : 0, net_status, score, bitrate, max_bitrate);
}

#include "KTRDFTMap.h"

#include "core/KTRCodes.h"
#include "log/KTRLog.h"

using tarn::video::VIDEO_DFT_1080P;
using tarn::video::VIDEO_DFT_180P;
using tarn::video::VIDEO_DFT_240P;
using tarn::video::VIDEO_DFT_480P;
using tarn::video::VIDEO_DFT_720P;
using tarn::video::VIDEO_DFT_DEFAULT;
using tarn::video::VideoStreamInfo;

namespace {

// Bitrates from here up are not classified by the lookups by bitrate.
constexpr int kBitrateCeiling = 3145728;
constexpr int kNoKey = -1;

// Channel, dft, width, height, fps, bitrate, maxbitrate, minbitrate.
constexpr VideoStreamInfo k240P{1, 0, 320, 240, 15, 204800, 256000, 102400};
constexpr VideoStreamInfo k480P{1, 0, 640, 480, 20, 358400, 512000, 245760};
constexpr VideoStreamInfo k720P{1, 0, 1080, 720, 30, 716800, 1024000, 512000};
constexpr VideoStreamInfo k1080P{1, 0, 1920, 1080, 30, 1536000, 3072000, 1024000};

int cameraKeyForHeight(int height) {
    switch (height) {
        case 180:
            return VIDEO_DFT_180P;
        case 240:
            return VIDEO_DFT_240P;
        case 360:
        case 480:
            return VIDEO_DFT_480P;
        case 720:
            return VIDEO_DFT_720P;
        case 1080:
            return VIDEO_DFT_1080P;
        default:
            return kNoKey;
    }
}

// The share channel has no 360-line class.
int shareKeyForHeight(int height) {
    return height == 360 ? kNoKey : cameraKeyForHeight(height);
}

}  // namespace

KTRDFTMap::KTRDFTMap() {
    m_mapCh1DftInfos[VIDEO_DFT_240P] = k240P;
    m_mapCh1DftInfos[VIDEO_DFT_480P] = k480P;
    m_mapCh1DftInfos[VIDEO_DFT_720P] = k720P;
    m_mapCh1DftInfos[VIDEO_DFT_1080P] = k1080P;
    // Key 0 holds the 480P record too. Being the lowest key, it answers a lookup by bitrate in 480P's range
    // before key 4 does.
    m_mapCh1DftInfos[VIDEO_DFT_DEFAULT] = k480P;
}

int KTRDFTMap::getDftByBitrate(int bitrate) const {
    if (bitrate == 0 || bitrate >= kBitrateCeiling) {
        ktrlog::write<ktrlog::DftByBitrateOutOfRange>(bitrate);
        return VIDEO_DFT_480P;
    }
    if (m_mapCh1DftInfos.empty()) {
        ktrlog::write<ktrlog::DftByBitrateEmptyMap>(bitrate);
        return VIDEO_DFT_480P;
    }
    for (const auto& entry : m_mapCh1DftInfos) {
        if (entry.second.minbitrate <= bitrate && bitrate <= entry.second.maxbitrate) {
            return entry.first;
        }
    }
    return m_mapCh1DftInfos.begin()->first;
}

int KTRDFTMap::getDftInfoByBitrate(int bitrate, VideoStreamInfo& out) {
    if (bitrate == 0 || bitrate >= kBitrateCeiling) {
        ktrlog::write<ktrlog::DftInfoByBitrateOutOfRange>(bitrate);
        out = m_mapCh1DftInfos[VIDEO_DFT_480P];
        return VIDEO_DFT_480P;
    }
    if (m_mapCh1DftInfos.empty()) {
        ktrlog::write<ktrlog::DftInfoByBitrateEmptyMap>(bitrate);
        out = m_mapCh1DftInfos[VIDEO_DFT_480P];
        return VIDEO_DFT_480P;
    }
    for (int dft : {VIDEO_DFT_720P, VIDEO_DFT_480P}) {
        const VideoStreamInfo& info = m_mapCh1DftInfos[dft];
        if (bitrate >= info.minbitrate) {
            out = info;
            return dft;
        }
    }
    out = m_mapCh1DftInfos[VIDEO_DFT_240P];
    return VIDEO_DFT_240P;
}

int KTRDFTMap::getDftInfoByDft(int channel, int dft, VideoStreamInfo& out) {
    Table& table = channel == ktrcodes::kShareChannel ? m_mapCh2DftInfos : m_mapCh1DftInfos;
    out = table[dft];
    ktrlog::write<ktrlog::DftInfoByDft>(channel, dft, out.bitrate, out.maxbitrate, out.minbitrate, out.width,
                                        out.height);
    return dft;
}

int KTRDFTMap::getMaxBitrateByDft(int dft) {
    const auto it = m_mapCh1DftInfos.find(dft);
    if (it != m_mapCh1DftInfos.end()) {
        return it->second.maxbitrate;
    }
    ktrlog::write<ktrlog::DftMaxByDftInvalid>(dft);
    return m_mapCh1DftInfos[VIDEO_DFT_720P].maxbitrate;
}

int KTRDFTMap::getMinBitrateByDft(int dft) {
    const auto it = m_mapCh1DftInfos.find(dft);
    if (it != m_mapCh1DftInfos.end()) {
        return it->second.minbitrate;
    }
    ktrlog::write<ktrlog::DftMinByDftInvalid>(dft);
    return m_mapCh1DftInfos[VIDEO_DFT_240P].minbitrate;
}

void KTRDFTMap::initStreamInfosForDft(const std::vector<VideoStreamInfo>& infos) {
    for (const VideoStreamInfo& info : infos) {
        ktrlog::write<ktrlog::DftInit>(info.channel, info.width, info.height, info.bitrate, info.maxbitrate,
                                       info.minbitrate);
        Table* table = nullptr;
        int key = kNoKey;
        if (info.channel == ktrcodes::kCameraChannel) {
            table = &m_mapCh1DftInfos;
            key = cameraKeyForHeight(info.height);
        } else if (info.channel == ktrcodes::kShareChannel) {
            table = &m_mapCh2DftInfos;
            key = shareKeyForHeight(info.height);
        }
        if (table != nullptr && key != kNoKey) {
            (*table)[key] = info;
        }
    }
}

void KTRDFTMap::dump() const {
    for (const auto& entry : m_mapCh1DftInfos) {
        const VideoStreamInfo& info = entry.second;
        ktrlog::write<ktrlog::DftDump>(entry.first, info.width, info.height, info.fps, info.minbitrate,
                                       info.maxbitrate);
    }
}

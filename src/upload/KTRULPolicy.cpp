#include "KTRULPolicy.h"

#include "core/Int32Arithmetic.h"
#include "core/KTRCodes.h"
#include "core/KTRSceneInfo.h"
#include "dft/KTRDFTMap.h"
#include "log/xlog.h"
#include "upload/KTRSelectMgr.h"

using tarn::video::VIDEO_DFT_1080P;
using tarn::video::VIDEO_DFT_180P;
using tarn::video::VIDEO_DFT_240P;
using tarn::video::VIDEO_DFT_480P;
using tarn::video::VIDEO_DFT_720P;
using tarn::video::VideoStreamInfo;

using ktrcodes::kCameraChannel;
using ktrcodes::kDeviceType1;
using ktrcodes::kDeviceType4;
using ktrcodes::kDeviceType8;
using ktrcodes::kShareChannel;
namespace {

// A camera result counts as changed once a stream's bitrate moves by this much.
constexpr int kChangeThreshold = 30720;
// Meetings of up to this many users (the local one included) are small. In a bigger one, while somebody
// else or nobody speaks, the scene default is published as it is, and above kCrowdedMeetingUsers at its
// minimum.
constexpr int kSmallMeetingUsers = 4;
constexpr int kCrowdedMeetingUsers = 6;
// Ranks written into the dft field of camera results.
constexpr int kHigherStreamRank = 1;
constexpr int kLowerStreamRank = 2;

struct SceneFacts {
    int users;
    bool anySharing;
    bool speaking;
    bool selfSpeaking;
    bool remoteDt1;
};

int defaultForDt1(const SceneFacts& scene) {
    if (scene.anySharing) {
        return VIDEO_DFT_240P;
    }
    if (scene.selfSpeaking) {
        return VIDEO_DFT_480P;
    }
    if (scene.speaking) {
        return VIDEO_DFT_180P;
    }
    return scene.users <= kSmallMeetingUsers ? VIDEO_DFT_480P : VIDEO_DFT_240P;
}

// Device types 4 and 8 differ only in the class they fall back to while sharing and in big meetings.
int defaultForDt4Or8(const SceneFacts& scene, int quietDft) {
    if (scene.anySharing) {
        return scene.selfSpeaking ? VIDEO_DFT_480P : quietDft;
    }
    if (scene.selfSpeaking || scene.users <= 1) {
        return VIDEO_DFT_720P;
    }
    if (scene.speaking) {
        return VIDEO_DFT_180P;
    }
    if (scene.users == 2) {
        return scene.remoteDt1 ? VIDEO_DFT_480P : VIDEO_DFT_720P;
    }
    return scene.users <= kSmallMeetingUsers ? VIDEO_DFT_480P : quietDft;
}

// |a - b| in 32-bit two's complement, as the host's own arithmetic gives it: bitrates at opposite ends
// of the range come out close, and |INT_MIN| stays negative.
int wrappedDistance(int a, int b) {
    const int difference = sub32(a, b);
    return difference < 0 ? sub32(0, difference) : difference;
}

int asFlag(bool value) {
    return value ? 1 : 0;
}

}  // namespace

bool KTRULPolicy::adjust(int channel, std::vector<VideoStreamInfo>& out) {
    if (channel == kShareChannel) {
        VideoStreamInfo share{};
        m_view->dfts.getDftInfoByDft(kShareChannel, VIDEO_DFT_720P, share);
        out.push_back(share);
        xlog::logi("[%s]: share upload adjust , only return the default 720p streaminfo.channel=%d, bitrate=%d",
                   "KTRULPolicy::adjust", kShareChannel, share.bitrate);
        return true;
    }
    realAdjust(out);
    std::vector<VideoStreamInfo> lastStreams(out);
    const bool changed = differsFromLast(out);
    m_arrLastStreams.swap(lastStreams);
    return changed;
}

void KTRULPolicy::realAdjust(std::vector<VideoStreamInfo>& out) {
    KTRDFTMap& dfts = m_view->dfts;
    if (m_view->config.getForceHD()) {
        xlog::logi("[%s]: force hd video set, just return 720p.", "KTRULPolicy::realAdjust");
        VideoStreamInfo hd{};
        dfts.getDftInfoByDft(kCameraChannel, VIDEO_DFT_720P, hd);
        out.push_back(hd);
        return;
    }
    const KTRSceneInfo& scene = m_view->scene;
    const int users = static_cast<int>(scene.getUserCount() + 1);
    const int defaultDft =
        getDefaultDefinition(scene.getDt(), users, scene.isSharing(), scene.isSelfSharing(), scene.isSpeaking(),
                             scene.isSelfSpeaking(), scene.hasOtherUserWithDt1());
    VideoStreamInfo def{};
    dfts.getDftInfoByDft(kCameraChannel, defaultDft, def);
    if (!scene.isSelfSpeaking() && users > kSmallMeetingUsers) {
        appendLargeMeetingDefault(def, users, out);
        return;
    }
    std::vector<VideoStreamInfo> merged;
    m_view->selects.adjustRequests(merged);
    if (scene.isSelfSharing() && merged.size() == 2) {
        appendBesideOwnShare(merged, out);
        return;
    }
    appendUnderSceneCeiling(merged, def, out);
    if (out.empty()) {
        out.push_back(def);
    }
    rankAndLog(out);
}

int KTRULPolicy::getDefaultDefinition(int dt, int users, bool sharing, bool selfSharing, bool speaking,
                                      bool selfSpeaking, bool remoteDt1) {
    xlog::logi("[%s]: dt=%d, users=%d, sharing=%d, self_sharing=%d, speaking=%d, self_speaking=%d",
               "KTRULPolicy::getDefaultDefinition", dt, users, asFlag(sharing), asFlag(selfSharing), asFlag(speaking),
               asFlag(selfSpeaking));
    const SceneFacts scene{users, sharing || selfSharing, speaking, selfSpeaking, remoteDt1};
    switch (dt) {
        case kDeviceType1:
            return defaultForDt1(scene);
        case kDeviceType4:
            return defaultForDt4Or8(scene, VIDEO_DFT_180P);
        case kDeviceType8:
            return defaultForDt4Or8(scene, VIDEO_DFT_240P);
        default:
            return VIDEO_DFT_480P;
    }
}

void KTRULPolicy::dumpSelectInfos(const std::vector<VideoStreamInfo>& infos) {
    xlog::logi("ktr select info, start=======");
    for (const VideoStreamInfo& info : infos) {
        xlog::logi("    ktr select width=%d, height=%d, fps=%d, bitrate=%d", info.width, info.height, info.fps,
                   info.bitrate);
    }
    xlog::logi("ktr select info, stop =======");
}

void KTRULPolicy::dumpSelectMap(const std::map<uint64_t, VideoStreamInfo>& selects) {
    xlog::logi("ktr select map, start=======");
    for (const auto& entry : selects) {
        const VideoStreamInfo& info = entry.second;
        xlog::logi("    ktr select, uid=%llu, width=%d, height=%d, fps=%d, bitrate=%d", logUid(entry.first), info.width,
                   info.height, info.fps, info.bitrate);
    }
    xlog::logi("ktr select map, stop =======");
}

bool KTRULPolicy::differsFromLast(const std::vector<VideoStreamInfo>& out) const {
    if (out.size() != m_arrLastStreams.size()) {
        return true;
    }
    for (size_t i = 0; i < out.size(); ++i) {
        if (wrappedDistance(out[i].bitrate, m_arrLastStreams[i].bitrate) >= kChangeThreshold) {
            return true;
        }
    }
    return false;
}

void KTRULPolicy::appendLargeMeetingDefault(VideoStreamInfo def, int users, std::vector<VideoStreamInfo>& out) {
    if (users > kCrowdedMeetingUsers) {
        def.bitrate = def.minbitrate;
    }
    def.maxbitrate = def.bitrate;
    out.push_back(def);
    const VideoStreamInfo& first = out.front();
    xlog::logi(
        "[%s]: video select response result: width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d, "
        "speaker=%llu, userCount=%d",
        "KTRULPolicy::realAdjust", first.width, first.height, first.bitrate, first.maxbitrate, first.minbitrate,
        logUid(m_view->scene.getSpeakerUid()), users);
}

// While the local user shares, the camera publishes at most one stream: the partner of a stream of
// 720P or more, and nothing when neither stream reaches 720P.
void KTRULPolicy::appendBesideOwnShare(std::vector<VideoStreamInfo>& merged, std::vector<VideoStreamInfo>& out) {
    if (isHighDefinition(merged[0].bitrate)) {
        merged[1].dft = kHigherStreamRank;
        out.push_back(merged[1]);
    } else if (isHighDefinition(merged[1].bitrate)) {
        merged[0].dft = kHigherStreamRank;
        out.push_back(merged[0]);
    }
}

// A stream above the scene default's maximum is replaced by the whole default record at that maximum.
void KTRULPolicy::appendUnderSceneCeiling(const std::vector<VideoStreamInfo>& merged, VideoStreamInfo& def,
                                          std::vector<VideoStreamInfo>& out) {
    for (const VideoStreamInfo& stream : merged) {
        if (stream.bitrate <= def.maxbitrate) {
            out.push_back(stream);
            continue;
        }
        xlog::logw(
            "[%s]: selected bitrate is bigger than the default maxbitrate decided by the scene, just use the default "
            "bitrate. selected bitrate=%d, default bitrate=%d",
            "KTRULPolicy::realAdjust", stream.bitrate, def.maxbitrate);
        def.bitrate = def.maxbitrate;
        out.push_back(def);
    }
}

void KTRULPolicy::rankAndLog(std::vector<VideoStreamInfo>& out) {
    if (out.size() == 1) {
        out[0].dft = kHigherStreamRank;
    } else if (out.size() == 2) {
        const bool firstIsHigher = out[0].bitrate > out[1].bitrate;
        out[0].dft = firstIsHigher ? kHigherStreamRank : kLowerStreamRank;
        out[1].dft = firstIsHigher ? kLowerStreamRank : kHigherStreamRank;
    } else {
        return;
    }
    const VideoStreamInfo& first = out[0];
    xlog::logi("[%s]: video select response result: width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d",
               "KTRULPolicy::realAdjust", first.width, first.height, first.bitrate, first.maxbitrate, first.minbitrate);
    if (out.size() == 2) {
        const VideoStreamInfo& second = out[1];
        xlog::logi(
            "[%s]: video select response result: svc width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d",
            "KTRULPolicy::realAdjust", second.width, second.height, second.bitrate, second.maxbitrate,
            second.minbitrate);
    }
}

bool KTRULPolicy::isHighDefinition(int bitrate) {
    const int dft = m_view->dfts.getDftByBitrate(bitrate);
    return dft == VIDEO_DFT_720P || dft == VIDEO_DFT_1080P;
}

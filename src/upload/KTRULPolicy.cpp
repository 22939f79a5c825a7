#include "KTRULPolicy.h"

#include "core/Int32Arithmetic.h"
#include "core/KTRCodes.h"
#include "core/KTRSceneInfo.h"
#include "dft/KTRDFTMap.h"
#include "log/KTRLog.h"
#include "upload/KTRSelectMgr.h"
#include "upload/UploadRules.h"

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
// Ranks written into the dft field of camera results.
constexpr int kHigherStreamRank = 1;

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
        ktrlog::write<ktrlog::UlShare>(kShareChannel, share.bitrate);
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
        ktrlog::write<ktrlog::UlForceHD>();
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
    if (uploadrules::publishesSceneDefaultAlone(users, scene.isSelfSpeaking())) {
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
    ktrlog::write<ktrlog::UlDefaultDefinition>(dt, users, asFlag(sharing), asFlag(selfSharing), asFlag(speaking),
                                               asFlag(selfSpeaking));
    return uploadrules::sceneDefaultDft({dt, users, sharing || selfSharing, speaking, selfSpeaking, remoteDt1});
}

void KTRULPolicy::dumpSelectInfos(const std::vector<VideoStreamInfo>& infos) {
    ktrlog::write<ktrlog::UlDumpInfosStart>();
    for (const VideoStreamInfo& info : infos) {
        ktrlog::write<ktrlog::UlDumpInfosStream>(info.width, info.height, info.fps, info.bitrate);
    }
    ktrlog::write<ktrlog::UlDumpInfosStop>();
}

void KTRULPolicy::dumpSelectMap(const std::map<uint64_t, VideoStreamInfo>& selects) {
    ktrlog::write<ktrlog::UlDumpMapStart>();
    for (const auto& entry : selects) {
        const VideoStreamInfo& info = entry.second;
        ktrlog::write<ktrlog::UlDumpMapStream>(logUid(entry.first), info.width, info.height, info.fps, info.bitrate);
    }
    ktrlog::write<ktrlog::UlDumpMapStop>();
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
    out.push_back(uploadrules::largeMeetingStream(def, users));
    const VideoStreamInfo& first = out.front();
    ktrlog::write<ktrlog::UlLargeMeeting>(first.width, first.height, first.bitrate, first.maxbitrate, first.minbitrate,
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

void KTRULPolicy::appendUnderSceneCeiling(const std::vector<VideoStreamInfo>& merged, const VideoStreamInfo& def,
                                          std::vector<VideoStreamInfo>& out) {
    const uploadrules::CeilingResult result = uploadrules::underSceneCeiling(merged, def);
    for (size_t i = 0; i < merged.size(); ++i) {
        if (result.capped[i]) {
            ktrlog::write<ktrlog::UlCeiling>(merged[i].bitrate, def.maxbitrate);
        }
    }
    out.insert(out.end(), result.streams.begin(), result.streams.end());
}

void KTRULPolicy::rankAndLog(std::vector<VideoStreamInfo>& out) {
    if (!uploadrules::rankStreams(out)) {
        return;
    }
    const VideoStreamInfo& first = out[0];
    ktrlog::write<ktrlog::UlResult>(first.width, first.height, first.bitrate, first.maxbitrate, first.minbitrate);
    if (out.size() == 2) {
        const VideoStreamInfo& second = out[1];
        ktrlog::write<ktrlog::UlResultSvc>(second.width, second.height, second.bitrate, second.maxbitrate,
                                           second.minbitrate);
    }
}

bool KTRULPolicy::isHighDefinition(int bitrate) {
    const int dft = m_view->dfts.getDftByBitrate(bitrate);
    return dft == VIDEO_DFT_720P || dft == VIDEO_DFT_1080P;
}

#include "UploadRules.h"

#include <algorithm>

#include "core/Int32Arithmetic.h"
#include "core/KTRCodes.h"

using tarn::video::VIDEO_DFT_180P;
using tarn::video::VIDEO_DFT_240P;
using tarn::video::VIDEO_DFT_480P;
using tarn::video::VIDEO_DFT_720P;
using tarn::video::VideoStreamInfo;

namespace uploadrules {
namespace {

// A request stands apart from the first one when it is 10% and 30K away from it.
constexpr double kCloseAbove = 1.1;
constexpr double kCloseBelow = 0.9;
constexpr int kCloseDifference = 30720;
// Two requests are far apart when one is 1.33 times and 100K away from the other.
constexpr int kFarApartPercent = 133;
constexpr int kFarApartDifference = 102400;

// Meetings of up to this many users (the local one included) are small. In a bigger one, while somebody
// else or nobody speaks, the scene default is published as it is, and above kCrowdedMeetingUsers at its
// minimum.
constexpr int kSmallMeetingUsers = 4;
constexpr int kCrowdedMeetingUsers = 6;
// Ranks written into the dft field of camera results.
constexpr int kHigherStreamRank = 1;
constexpr int kLowerStreamRank = 2;

bool ratioAtLeast2(int a, int b) {
    return a >= mul32(2, b) || mul32(2, a) <= b;
}

bool ratioAtLeast133(int a, int b) {
    return a >= mul32(b, kFarApartPercent) / 100 || mul32(a, kFarApartPercent) / 100 <= b;
}

bool differenceAtLeast100K(int a, int b) {
    return a >= add32(b, kFarApartDifference) || add32(a, kFarApartDifference) <= b;
}

bool isFarApart(int a, int b) {
    return ratioAtLeast133(a, b) && differenceAtLeast100K(a, b);
}

bool standsApart(int bitrate, int base) {
    return (bitrate > base * kCloseAbove && bitrate >= add32(base, kCloseDifference)) ||
           (bitrate < base * kCloseBelow && add32(bitrate, kCloseDifference) <= base);
}

MergeResult one(MergeBranch branch, int bitrate) {
    return {branch, 1, bitrate, 0};
}

MergeResult two(int first, int second) {
    return {MergeBranch::Apart, 2, first, second};
}

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

}  // namespace

bool anyStandsApartFromFirst(const std::vector<int>& bitrates) {
    const int base = bitrates.front();
    return std::any_of(bitrates.begin(), bitrates.end(), [base](int bitrate) { return standsApart(bitrate, base); });
}

MergeResult mergeTwo(int b1, int b2, bool sameDefinition) {
    const int lower = std::min(b1, b2);
    if (sameDefinition) {
        return one(MergeBranch::SameDefinition, lower);
    }
    if (ratioAtLeast2(b1, b2) || isFarApart(b1, b2)) {
        return two(b1, b2);
    }
    return one(MergeBranch::Close, lower);
}

MergeResult mergeThree(const std::vector<int>& s, int d0, int d1, int d2) {
    if (d0 != VIDEO_DFT_240P) {
        return one(MergeBranch::AllAbove240P, s[0]);
    }
    if (d2 == VIDEO_DFT_240P) {
        return one(MergeBranch::All240P, s[0]);
    }
    // The middle request serves both upper ones when it shares the top's class and is far from the lowest.
    return two(s[0], d1 == d2 && isFarApart(s[0], s[1]) ? s[1] : s[2]);
}

MergeResult mergeFour(const std::vector<int>& s, int d0, int d3) {
    if (d0 != VIDEO_DFT_240P) {
        return one(MergeBranch::AllAbove240P, s[0]);
    }
    if (d3 == VIDEO_DFT_240P) {
        return one(MergeBranch::All240P, s[0]);
    }
    // The third-lowest request decides; the highest one is served by it.
    if (ratioAtLeast2(s[0], s[2]) || isFarApart(s[0], s[2])) {
        return two(s[0], s[2]);
    }
    return one(MergeBranch::Close, s[0]);
}

MergeResult mergeFive(const std::vector<int>& s, int d0, int d3, int d4) {
    if (d0 != VIDEO_DFT_240P) {
        return one(MergeBranch::AllAbove240P, s[0]);
    }
    if (d4 == VIDEO_DFT_240P) {
        return one(MergeBranch::All240P, s[0]);
    }
    // Either apart test alone is enough here, unlike with two and four requests.
    const int top = d3 == VIDEO_DFT_240P ? s[4] : s[3];
    if (ratioAtLeast2(s[0], top) || ratioAtLeast133(s[0], top) || differenceAtLeast100K(s[0], top)) {
        return two(s[0], top);
    }
    return one(MergeBranch::Close, s[0]);
}

MergeResult mergeMany(int lower, bool sameDefinition) {
    if (sameDefinition) {
        return one(MergeBranch::SameDefinition, lower);
    }
    return {MergeBranch::NoStream, 0, 0, 0};
}

FloorBranch floorOf(bool forceHD, bool selfSpeaking, int dft) {
    if (forceHD) {
        return FloorBranch::Unchanged;
    }
    if (!selfSpeaking) {
        return FloorBranch::Floor240P;
    }
    return dft < VIDEO_DFT_480P ? FloorBranch::Lift480P : FloorBranch::Floor480P;
}

int sceneDefaultDft(const SceneFacts& scene) {
    switch (scene.dt) {
        case ktrcodes::kDeviceType1:
            return defaultForDt1(scene);
        case ktrcodes::kDeviceType4:
            return defaultForDt4Or8(scene, VIDEO_DFT_180P);
        case ktrcodes::kDeviceType8:
            return defaultForDt4Or8(scene, VIDEO_DFT_240P);
        default:
            return VIDEO_DFT_480P;
    }
}

bool publishesSceneDefaultAlone(int users, bool selfSpeaking) {
    return !selfSpeaking && users > kSmallMeetingUsers;
}

VideoStreamInfo largeMeetingStream(VideoStreamInfo sceneDefault, int users) {
    if (users > kCrowdedMeetingUsers) {
        sceneDefault.bitrate = sceneDefault.minbitrate;
    }
    sceneDefault.maxbitrate = sceneDefault.bitrate;
    return sceneDefault;
}

CeilingResult underSceneCeiling(const std::vector<VideoStreamInfo>& merged, VideoStreamInfo sceneDefault) {
    CeilingResult result;
    for (const VideoStreamInfo& stream : merged) {
        const bool capped = stream.bitrate > sceneDefault.maxbitrate;
        if (capped) {
            sceneDefault.bitrate = sceneDefault.maxbitrate;
        }
        result.streams.push_back(capped ? sceneDefault : stream);
        result.capped.push_back(capped);
    }
    return result;
}

bool rankStreams(std::vector<VideoStreamInfo>& streams) {
    if (streams.size() == 1) {
        streams[0].dft = kHigherStreamRank;
        return true;
    }
    if (streams.size() == 2) {
        const bool firstIsHigher = streams[0].bitrate > streams[1].bitrate;
        streams[0].dft = firstIsHigher ? kHigherStreamRank : kLowerStreamRank;
        streams[1].dft = firstIsHigher ? kLowerStreamRank : kHigherStreamRank;
        return true;
    }
    return false;
}

}  // namespace uploadrules

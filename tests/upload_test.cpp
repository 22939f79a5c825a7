#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/KTRMgr.h"
#include "support/LogCapture.h"
#include "upload/KTRSelectMgr.h"
#include "upload/KTRULPolicy.h"

using tarn::video::VideoStreamInfo;
using ::testing::PrintToString;
using Records = std::vector<VideoStreamInfo>;
using Lines = std::vector<std::string>;
using Ints = std::vector<int>;

namespace {

// Built-in camera rows: channel, dft, width, height, fps, bitrate, maxbitrate, minbitrate.
const VideoStreamInfo k240P{1, 0, 320, 240, 15, 204800, 256000, 102400};
const VideoStreamInfo k480P{1, 0, 640, 480, 20, 358400, 512000, 245760};
const VideoStreamInfo k720P{1, 0, 1080, 720, 30, 716800, 1024000, 512000};
// Host rows: a 240-line row below the built-in minimum, a 720-line row reaching past the classified
// bitrates, negative ranges that take the merge arithmetic past 32 bits; and a record the host leaves in
// the result vector.
const VideoStreamInfo kLow240P{1, 0, 320, 240, 15, 80000, 100000, 51200};
const Records kWide{{1, 0, 1280, 720, 30, 2000000, 4000000, 500000}};
const Records kNegative{{1, 0, 320, 240, 15, 0, -1000000000, INT_MIN}, {1, 0, 1280, 720, 30, 0, -1, 512000}};
const VideoStreamInfo kHost{1, 9, 1, 2, 3, 100000, 5, 6};
constexpr int kFloor = 102400;
constexpr uint64_t kLocalUid = 1;
constexpr uint64_t kOtherUid = 100;
// Somebody else or the local user shares / speaks; the first remote user has device type 1; force-HD is set.
enum Flag { kShare = 1, kSelfShare = 2, kSpeak = 4, kSelfSpeak = 8, kDt1Peer = 16, kForceHD = 32 };

// A table row published at bitrate (also its maximum) with the given floor and dft field.
VideoStreamInfo at(VideoStreamInfo row, int bitrate, int minbitrate = kFloor, int dft = 0) {
    row.bitrate = row.maxbitrate = bitrate;
    row.minbitrate = minbitrate;
    row.dft = dft;
    return row;
}

VideoStreamInfo ranked(VideoStreamInfo record, int rank) {
    record.dft = rank;
    return record;
}

std::string show(const Records& records) {
    std::ostringstream os;
    for (const VideoStreamInfo& s : records) {
        os << "{ch" << s.channel << " dft" << s.dft << " " << s.width << "x" << s.height << "@" << s.fps << " "
           << s.bitrate << " max" << s.maxbitrate << " min" << s.minbitrate << "} ";
    }
    return os.str();
}

// The lines logged under a tag that starts with tag.
Lines tagged(Lines lines, const std::string& tag) {
    const auto other = [&tag](const std::string& line) { return line.compare(2, tag.size() + 1, "[" + tag) != 0; };
    lines.erase(std::remove_if(lines.begin(), lines.end(), other), lines.end());
    return lines;
}

// A manager for local device type dt with remoteUsers others, the scene flags, host rows and requests.
void prepare(KTRMgr& mgr, int dt, int remoteUsers, int flags, const Records& table, const Ints& requests) {
    mgr.init(kLocalUid, dt);
    mgr.initStreamInfosForDft(table);
    for (uint64_t i = 0; i < static_cast<uint64_t>(remoteUsers); ++i) {
        mgr.addUser({kOtherUid + i, 0, static_cast<uint16_t>((flags & kDt1Peer) && i == 0), ""});
    }
    mgr.setSharing((flags & (kShare | kSelfShare)) != 0, flags & kSelfShare ? kLocalUid : kOtherUid);
    mgr.setSpeaker((flags & (kSpeak | kSelfSpeak)) != 0, flags & kSelfSpeak ? kLocalUid : kOtherUid);
    tarn::video::KTRConfig config;
    config.forceHD = (flags & kForceHD) != 0;
    mgr.setConfig(config);
    for (int bitrate : requests) {
        mgr.addSelectReq(0, 0, 0, bitrate);
    }
}

std::string amended(const char* bound, int bitrate, int minBitrate = 102400) {
    return std::string("I [KTRSelectMgr::amendSelectRequest]: invalid video select request, exceed ") + bound +
           "Bitrate, amend it now. req.bitrate=" + std::to_string(bitrate) +
           ", minBitrate=" + std::to_string(minBitrate) + ", maxBitrate=1024000";
}

// --- merging: requests in, records out ---------------------------------------------------------

// Requests in, records out, for the merge and the upload decisions. log holds the amendment lines of a merge,
// or the upload policy's lines of a decision (compared only when given); table holds host rows; host holds the
// records the result vector holds before the decision.
struct Case {
    Ints requests;
    Records records = {};
    int flags = 0, dt = 0, remoteUsers = 0;
    Lines log = {};
    Records table = {}, host = {};
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << PrintToString(c.requests) << " flags " << c.flags << " dt " << c.dt << " users " << c.remoteUsers + 1;
}

// Collects the requests, then merges them into a vector holding a stale record.
Records merge(const Case& c) {
    KTRMgr mgr;
    prepare(mgr, c.dt, c.remoteUsers, c.flags, c.table, c.requests);
    Records out{VideoStreamInfo{}};
    mgr.selectMgr().adjustRequests(out);
    return out;
}

class Merge : public ::testing::TestWithParam<Case> {};

// Bitrates are amended into [240P minimum, 720P maximum] on arrival, compared unsigned, bounds included.
TEST_P(Merge, AmendsRequestsAndPublishesExpectedStreams) {
    LogCapture log;
    EXPECT_EQ(show(merge(GetParam())), show(GetParam().records)) << PrintToString(GetParam());
    EXPECT_EQ(tagged(log.take(), "KTRSelectMgr::amend"), GetParam().log) << PrintToString(GetParam());
}

const auto p240 = [](int bitrate, int minbitrate = kFloor) { return at(k240P, bitrate, minbitrate); };
const auto p480 = [](int bitrate, int minbitrate = kFloor) { return at(k480P, bitrate, minbitrate); };
const auto p720 = [](int bitrate, int minbitrate = kFloor) { return at(k720P, bitrate, minbitrate); };

// Amendment; one request or all close to the first (10% and 30K are the edges); the stream floor (the 240P
// minimum, the speaker's the 480P one, which lifts weaker streams and can collapse two into one; device type 4
// alone lifts to 480P instead); then the rules of 2, 3, 4, 5 and 6 requests, with host tables where only they
// reach an edge.
// clang-format off
INSTANTIATE_TEST_SUITE_P(RuleSets, Merge, ::testing::ValuesIn(std::vector<Case>{
    {{102399}, {p240(102400)}, 0, 0, 0, {amended("min", 102399)}}, {{102400}, {p240(102400)}},
    {{1024000}, {p720(1024000)}}, {{1024001}, {p720(1024000)}, 0, 0, 0, {amended("max", 1024001)}},
    {{-1}, {p720(1024000)}, 0, 0, 0, {amended("max", -1)}},
    {{500000}, {p720(1024000, 2000000)}, 0, 0, 0, {amended("min", 500000, 2000000), amended("max", 2000000, 2000000)},
     {{1, 0, 320, 240, 15, 0, 0, 2000000}}},
    {{307200, 337920, 290000}, {p480(307200)}}, {{307200, 276480}, {p480(307200)}}, {{204800, 174080}, {p240(174080)}},
    {{204800, 235519, 180000}, {p240(204800)}}, {{204800, 235520, 180000}, {p240(180000)}},
    {{204800}, {p480(245760, 245760)}, 0, 4}, {{204800, 512000}, {k480P}, kSelfSpeak},
    {{716800}, {p720(716800, 512000)}, kForceHD}, {{3500000}, {p480(3500000, 245760)}, kSelfSpeak, 0, 0, {}, kWide},
    {{204800, 307200}, {p240(204800), p480(307200)}}, {{307200, 204800}, {p480(307200), p240(204800)}},
    {{204800, 307199}, {p240(204800)}}, {{-5, -2000000000}, {p480(-2000000000, INT_MIN)}, 0, 0, 0, {}, kNegative},
    {{400000, 532000}, {p480(400000), p720(532000)}}, {{532000, 400000}, {p720(532000), p480(400000)}},
    {{120000, 60000}, {p480(120000, 51200), at(kLow240P, 60000, 51200)}, 0, 0, 0, {}, {kLow240P}},
    {{204800, 614400, 716800}, {p240(204800), p720(614400)}}, {{256000, 204800, 358400}, {p240(204800), p480(358400)}},
    {{204800, 153600, 716800}, {p240(153600), p720(716800)}}, {{300000, 358400, 716800}, {p480(300000)}},
    {{204800, 153600, 230400}, {p240(153600)}}, {{204800, 204800, 245760, 716800}, {p240(204800)}},
    {{1024000, 300000, 358400, 512000}, {p480(300000)}}, {{204800, 102400, 153600, 204800}, {p240(102400)}},
    {{102400, 102400, 204800, 716800}, {p240(102400), p240(204800)}},
    {{60000, 60000, 120000, 716800}, {at(kLow240P, 60000, 51200), p480(120000, 51200)}, 0, 0, 0, {}, {kLow240P}},
    {{204800, 204800, 204800, 204800, 716800}, {p240(204800), p720(716800)}},
    {{204800, 204800, 204800, 300000, 716800}, {p240(204800), p480(300000)}},
    {{204800, 204800, 204800, 245760, 256000}, {p240(204800)}}, {{204800, 204800, 204800, 204800, 204800, 716800}, {}},
    {{300000, 358400, 409600, 512000, 716800}, {p480(300000)}},
    {{102400, 153600, 204800, 230400, 240000}, {p240(102400)}},
    {{358400, 1024000, 1024000, 1024000, 1024000, 300000}, {p480(300000)}}}));
// clang-format on

TEST(MergeLog, ClassifiesLeftFirstThenLogsTheRuleOfADispatchAndEachRecord) {
    LogCapture log;
    merge({{300000}});
    EXPECT_EQ(tagged(log.take(), "KTRSelectMgr::adjust"), Lines{}) << "a single request is published without a rule";
    merge({{3600000, 3200000}, {}, 0, 0, 0, {}, kWide});
    const Lines lines = log.take();
    const std::string failed = "E [KTRDFTMap::getDftByBitrate]: ktr dft find by bitrate failed, return 480P, bitrate=";
    EXPECT_EQ(tagged(lines, "KTRDFTMap::getDftByBitrate"),
              (Lines{failed + "3600000", failed + "3200000", failed + "3200000", failed + "3200000"}));
    EXPECT_EQ(tagged(lines, "KTRSelectMgr::adjust"),
              (Lines{"I [KTRSelectMgr::adjustSelects_2]: ktr select 2, same dft, choose lower, brt1=3600000, "
                     "brt2=3200000, ret=3200000",
                     "I [KTRSelectMgr::adjustRequests]: video select adjust result: width=640, height=480,"
                     "bitrate=3200000, maxbitrate=3200000,minbitrate=102400"}));
}

// --- upload decisions --------------------------------------------------------------------------

class Upload : public ::testing::TestWithParam<Case> {};

// The host's records stay in front; rows that pin the log text carry the policy's lines.
TEST_P(Upload, DecidesCameraStreams) {
    const Case& c = GetParam();
    LogCapture log;
    KTRMgr mgr;
    prepare(mgr, c.dt, c.remoteUsers, c.flags, c.table, c.requests);
    Records out = c.host;
    mgr.adjustULPolicy(1, out);
    EXPECT_EQ(show(out), show(c.records)) << PrintToString(c);
    if (!c.log.empty()) {
        EXPECT_EQ(tagged(log.take(), "KTRULPolicy::"), c.log) << PrintToString(c);
    }
}

const std::string kResult = "I [KTRULPolicy::realAdjust]: video select response result: ";
// The scene defaults as published without requests; 180P has no built-in row.
const auto kD180 = ranked({}, 1), kD240 = ranked(k240P, 1), kD480 = ranked(k480P, 1), kD720 = ranked(k720P, 1);

// The first matching row of the local device type's table; users count the local user. Above four users,
// while nobody or somebody else speaks, the default goes out unranked at its bitrate, above six at its minimum.
// clang-format off
INSTANTIATE_TEST_SUITE_P(SceneDefaults, Upload, ::testing::ValuesIn(std::vector<Case>{
    {{}, {kD240}, kShare | kSelfSpeak, 1, 1}, {{}, {kD240}, kSelfShare | kSelfSpeak, 1, 1},
    {{}, {kD480}, kSelfSpeak, 1, 8}, {{}, {kD180}, kSpeak, 1, 1}, {{}, {kD480}, 0, 1, 3},
    {{}, {at(k240P, 204800)}, 0, 1, 4}, {{}, {kD480}, kShare | kSelfSpeak, 4, 2}, {{}, {kD180}, kSelfShare, 4, 2},
    {{}, {kD720}, kSelfSpeak, 4, 8}, {{}, {kD720}, kSpeak, 4, 0}, {{}, {kD180}, kSpeak | kDt1Peer, 4, 1},
    {{}, {kD480}, kDt1Peer, 4, 1}, {{}, {kD720}, 0, 4, 1}, {{}, {kD480}, kDt1Peer, 4, 2},
    {{}, {VideoStreamInfo{}}, 0, 4, 4}, {{}, {kD480}, kSelfShare | kSelfSpeak, 8, 2}, {{}, {kD240}, kShare, 8, 2},
    {{}, {kD720}, 0, 8, 0}, {{}, {kD180}, kSpeak, 8, 2}, {{}, {kD480}, kDt1Peer, 8, 1}, {{}, {kD720}, 0, 8, 1},
    {{}, {kD480}, 0, 8, 3}, {{}, {at(k240P, 204800)}, 0, 8, 4}, {{}, {at(k480P, 245760, 245760)}, 0, 2, 8},
    {{}, {kD480}, kSelfShare | kSelfSpeak | kDt1Peer, 0, 1}}));
// clang-format on

// clang-format off
INSTANTIATE_TEST_SUITE_P(Scenes, Upload, ::testing::ValuesIn(std::vector<Case>{
    {{204800}, {k720P}, kForceHD, 4}, {{}, {ranked(kHost, 1)}, 0, 0, 0, {}, {}, {kHost}},
    {{300000}, {ranked(kHost, 2), at(k480P, 300000, kFloor, 1)}, 0, 0, 0, {}, {}, {kHost}},
    {{204800}, {at(k480P, 358400, 245760)}, kSpeak, 0, 4}, {{204800}, {at(k240P, 204800)}, 0, 8, 5},
    {{716800}, {kHost, at(k480P, 245760, 245760)}, kSpeak, 0, 6,
     {"I [KTRULPolicy::getDefaultDefinition]: dt=0, users=7, sharing=0, self_sharing=0, speaking=1, self_speaking=0",
     kResult + "width=1, height=2, bitrate=100000, maxbitrate=5, minbitrate=6, speaker=100, userCount=7"}, {}, {kHost}},
    {{716800}, {at(k480P, 512000, 245760, 1)}, kDt1Peer, 4, 1}, {{512000}, {at(k480P, 512000, kFloor, 1)}, 0, 8, 2},
    {{204800, 716800}, {at(k240P, 204800, kFloor, 2), at(k240P, 256000, kFloor, 1)}, kShare, 8, 2,
     {"I [KTRULPolicy::getDefaultDefinition]: dt=8, users=3, sharing=1, self_sharing=0, speaking=0, self_speaking=0",
     "W [KTRULPolicy::realAdjust]: selected bitrate is bigger than the default maxbitrate decided by the scene, just "
     "use the default bitrate. selected bitrate=716800, default bitrate=256000",
     kResult + "width=320, height=240, bitrate=204800, maxbitrate=204800, minbitrate=102400",
     kResult + "svc width=320, height=240, bitrate=256000, maxbitrate=256000, minbitrate=102400"}},
    {{300000, 716800}, {at(k240P, 256000, kFloor, 2), at(k240P, 256000, kFloor, 1)}, kShare, 8, 2},
    {{716800, 358400}, {at(k720P, 716800, kFloor, 1), at(k480P, 358400, kFloor, 2)}, 0, 4},
    {{204800, 716800}, {at(k240P, 204800, kFloor, 1)}, kSelfShare, 8, 2},
    {{716800, 204800}, {at(k240P, 204800, kFloor, 1)}, kSelfShare, 8, 2},
    {{716800}, {at(k240P, 256000, kFloor, 1)}, kSelfShare, 8, 2}, {{204800, 512000}, {}, kSelfShare, 8, 2}}));
// clang-format on

TEST(UploadShareChannel, Answers720PShareRowAndLeavesCameraHistoryAlone) {
    LogCapture log;
    KTRMgr mgr;
    Records camera, share, again;
    EXPECT_TRUE(mgr.adjustULPolicy(1, camera));
    EXPECT_TRUE(mgr.adjustULPolicy(2, share));
    EXPECT_EQ(show(share), show({VideoStreamInfo{}})) << "the share table has no built-in rows";
    EXPECT_EQ(tagged(log.take(), "KTRULPolicy::adjust"),
              Lines{"I [KTRULPolicy::adjust]: share upload adjust , only return the default 720p streaminfo.channel=2, "
                    "bitrate=0"});
    EXPECT_FALSE(mgr.adjustULPolicy(1, again)) << "compared with the camera decision before the share one";
}

// --- change flag: each step's result against the previous one, bitrates as the host's records ---

struct ChangeCase {
    std::vector<Ints> steps;
    std::vector<bool> changed;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << "steps " << PrintToString(c.steps);
}

class ChangeFlag : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeFlag, ReportsABitrateMoveOf30KOrANewRecordCount) {
    const ChangeCase& c = GetParam();
    LogCapture quiet;
    KTRMgr mgr;
    for (size_t i = 0; i < c.steps.size(); ++i) {
        Records out;
        std::transform(c.steps[i].begin(), c.steps[i].end(), std::back_inserter(out),
                       [](int b) { return at(kHost, b); });
        EXPECT_EQ(mgr.adjustULPolicy(1, out), c.changed.at(i)) << "step " << i << " of " << PrintToString(c);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Steps, ChangeFlag, ::testing::ValuesIn(std::vector<ChangeCase>{
    {{{300000}, {330719}, {300000}}, {true, false, false}}, {{{300000}, {330720}, {300000}}, {true, true, true}},
    {{{300000}, {330000}, {360000}, {390000}}, {true, false, false, false}},
    {{{300000}, {300000, 716800}}, {true, true}}, {{{204800, 716800}, {204800, 614400}}, {true, true}},
    {{{INT_MIN}, {INT_MAX}, {0}, {INT_MIN}, {INT_MIN + 30720}}, {true, false, true, false, true}}}));
// clang-format on

}  // namespace

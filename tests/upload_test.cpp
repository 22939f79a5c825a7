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
#include "support/Records.h"
#include "upload/KTRSelectMgr.h"
#include "upload/KTRULPolicy.h"
#include "upload/UploadRules.h"

using tarn::video::VideoStreamInfo;
using ::testing::PrintToString;
using Records = std::vector<VideoStreamInfo>;
using Lines = std::vector<std::string>;
using Ints = std::vector<int>;

namespace {

// The built-in camera rows.
const VideoStreamInfo k240P = camera(320, 240).fps(15).bitrate(204800).between(102400, 256000);
const VideoStreamInfo k480P = camera(640, 480).fps(20).bitrate(358400).between(245760, 512000);
const VideoStreamInfo k720P = camera(1080, 720).fps(30).bitrate(716800).between(512000, 1024000);
// Host rows: a 240-line row below the built-in minimum, a 720-line row reaching past the classified
// bitrates, negative ranges that take the merge arithmetic past 32 bits; and a record the host leaves in
// the result vector.
const VideoStreamInfo kLow240P = camera(320, 240).fps(15).bitrate(80000).between(51200, 100000);
const Records kWide{camera(1280, 720).fps(30).bitrate(2000000).between(500000, 4000000)};
const Records kNegative{camera(320, 240).fps(15).between(INT_MIN, -1000000000),
                        camera(1280, 720).fps(30).between(512000, -1)};
const VideoStreamInfo kHost = camera(1, 2).dft(9).fps(3).bitrate(100000).between(6, 5);
constexpr int kFloor = 102400;
constexpr uint64_t kLocalUid = 1;
constexpr uint64_t kOtherUid = 100;
// A meeting as the host sets it up before asking: the local device type, the users (the local one
// included), who shares and who speaks, force-HD, host table rows, the requests, and the records the host
// leaves in the result vector.
struct Meeting {
    Ints requests;
    int dt = 0;
    int remoteUsers = 0;
    bool othersShare = false, selfShares = false, otherSpeaks = false, selfSpeaks = false;
    bool firstPeerDt1 = false, forceHD = false;
    Records table, host;

    Meeting& deviceType(int value) { return dt = value, *this; }
    Meeting& users(int total) { return remoteUsers = total - 1, *this; }
    Meeting& someoneElseShares() { return othersShare = true, *this; }
    Meeting& selfSharing() { return selfShares = true, *this; }
    Meeting& someoneElseSpeaks() { return otherSpeaks = true, *this; }
    Meeting& selfSpeaking() { return selfSpeaks = true, *this; }
    Meeting& firstPeerOfDeviceType1() { return firstPeerDt1 = true, *this; }
    Meeting& forcingHD() { return forceHD = true, *this; }
    Meeting& hostRows(Records rows) { return table = std::move(rows), *this; }
    Meeting& holding(Records records) { return host = std::move(records), *this; }
};

Meeting requests(Ints bitrates) {
    Meeting meeting;
    meeting.requests = std::move(bitrates);
    return meeting;
}

Meeting noRequests() {
    return {};
}

// A manager with the meeting set up through the host's operations.
void prepare(KTRMgr& mgr, const Meeting& m) {
    mgr.init(kLocalUid, m.dt);
    mgr.initStreamInfosForDft(m.table);
    for (int i = 0; i < m.remoteUsers; ++i) {
        const bool dt1 = m.firstPeerDt1 && i == 0;
        mgr.addUser({kOtherUid + static_cast<uint64_t>(i), 0, static_cast<uint16_t>(dt1 ? 1 : 0), ""});
    }
    mgr.setSharing(m.othersShare || m.selfShares, m.selfShares ? kLocalUid : kOtherUid);
    mgr.setSpeaker(m.otherSpeaks || m.selfSpeaks, m.selfSpeaks ? kLocalUid : kOtherUid);
    tarn::video::KTRConfig config;
    config.forceHD = m.forceHD;
    mgr.setConfig(config);
    for (int bitrate : m.requests) {
        mgr.addSelectReq(0, 0, 0, bitrate);
    }
}

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

std::string amended(const char* bound, int bitrate, int minBitrate = 102400) {
    return std::string("I [KTRSelectMgr::amendSelectRequest]: invalid video select request, exceed ") + bound +
           "Bitrate, amend it now. req.bitrate=" + std::to_string(bitrate) +
           ", minBitrate=" + std::to_string(minBitrate) + ", maxBitrate=1024000";
}

// --- merging: requests in, records out ---------------------------------------------------------

// A meeting in, records out, for the merge and the upload decisions. log holds the amendment lines of a
// merge, or the upload policy's lines of a decision (compared only when given).
struct Case {
    const char* name;
    Meeting meeting;
    Records records;
    Lines log = {};
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// Collects the requests, then merges them into a vector holding a stale record.
Records merge(const Meeting& meeting) {
    KTRMgr mgr;
    prepare(mgr, meeting);
    Records out{VideoStreamInfo{}};
    mgr.selectMgr().adjustRequests(out);
    return out;
}

class Merge : public ::testing::TestWithParam<Case> {};

TEST_P(Merge, AmendsRequestsAndPublishesExpectedStreams) {
    LogCapture log;
    EXPECT_EQ(show(merge(GetParam().meeting)), show(GetParam().records));
    EXPECT_EQ(tagged(log.take(), "KTRSelectMgr::amend"), GetParam().log);
}

const auto p240 = [](int bitrate, int minbitrate = kFloor) { return at(k240P, bitrate, minbitrate); };
const auto p480 = [](int bitrate, int minbitrate = kFloor) { return at(k480P, bitrate, minbitrate); };
const auto p720 = [](int bitrate, int minbitrate = kFloor) { return at(k720P, bitrate, minbitrate); };

// Bitrates are amended into [240P minimum, 720P maximum] on arrival, compared unsigned, bounds included.
INSTANTIATE_TEST_SUITE_P(
    Amendment, Merge,
    ::testing::Values(Case{"BelowTheMinimumIsRaised", requests({102399}), {p240(102400)}, {amended("min", 102399)}},
                      Case{"TheMinimumStays", requests({102400}), {p240(102400)}},
                      Case{"TheMaximumStays", requests({1024000}), {p720(1024000)}},
                      Case{"AboveTheMaximumIsLowered", requests({1024001}), {p720(1024000)}, {amended("max", 1024001)}},
                      Case{"NegativeIsAboveTheMaximumUnsigned", requests({-1}), {p720(1024000)}, {amended("max", -1)}},
                      Case{"HostMinimumAboveTheMaximumAmendsTwice",
                           requests({500000}).hostRows({camera(320, 240).fps(15).between(2000000, 0)}),
                           {p720(1024000, 2000000)},
                           {amended("min", 500000, 2000000), amended("max", 2000000, 2000000)}}),
    caseName);

// One request, or all close to the first (10% and 30K are the edges); the stream floor: the 240P minimum,
// the speaker's the 480P one, which lifts weaker streams and can collapse two into one; device type 4 alone
// lifts to 480P instead.
INSTANTIATE_TEST_SUITE_P(
    OneStream, Merge,
    ::testing::Values(
        Case{"AllCloseToTheFirstPublishTheFirst", requests({307200, 337920, 290000}), {p480(307200)}},
        Case{"TenPercentBelowIsClose", requests({307200, 276480}), {p480(307200)}},
        Case{"TenPercentAnd30KBelowStandsApart", requests({204800, 174080}), {p240(174080)}},
        Case{"Under30KAboveIsClose", requests({204800, 235519, 180000}), {p240(204800)}},
        Case{"ThirtyKAboveStandsApart", requests({204800, 235520, 180000}), {p240(180000)}},
        Case{"DeviceType4LiftsALoneStreamTo480PFloor", requests({204800}).deviceType(4), {p480(245760, 245760)}},
        Case{"SpeakerLiftCollapsesTwoStreams", requests({204800, 512000}).selfSpeaking(), {k480P}},
        Case{"ForceHDKeepsTheRecordFloor", requests({716800}).forcingHD(), {p720(716800, 512000)}},
        Case{"UnclassifiedBitrateCountsAs480P",
             requests({3500000}).selfSpeaking().hostRows(kWide),
             {p480(3500000, 245760)}}),
    caseName);

// The rules of 2 to 6 requests as the manager applies them: requests in arrival order, definition types
// from the table (key 0 answers 480P's range), host tables where only they reach an edge. Each rule's
// branches are tested with the rules alone below.
INSTANTIATE_TEST_SUITE_P(
    TwoRequests, Merge,
    ::testing::Values(
        Case{"LowerFirstStaysFirst", requests({204800, 307200}), {p240(204800), p480(307200)}},
        Case{"HigherFirstStaysFirst", requests({307200, 204800}), {p480(307200), p240(204800)}},
        Case{"JustUnder100KApartIsClose", requests({204800, 307199}), {p240(204800)}},
        Case{"NegativeHostRangesWrap", requests({-5, -2000000000}).hostRows(kNegative), {p480(-2000000000, INT_MIN)}},
        Case{"FarApartLowerFirst", requests({400000, 532000}), {p480(400000), p720(532000)}},
        Case{"FarApartHigherFirst", requests({532000, 400000}), {p720(532000), p480(400000)}},
        Case{"HostRowBelowTheBuiltInMinimum",
             requests({120000, 60000}).hostRows({kLow240P}),
             {p480(120000, 51200), at(kLow240P, 60000, 51200)}}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    ThreeToSixRequests, Merge,
    ::testing::Values(
        Case{"ThreeMiddleOfAnotherClass", requests({256000, 204800, 358400}), {p240(204800), p480(358400)}},
        Case{"ThreeMiddleInTheLowestsClass", requests({204800, 153600, 716800}), {p240(153600), p720(716800)}},
        Case{"ThreeAll240P", requests({204800, 153600, 230400}), {p240(153600)}},
        Case{"FourAllAbove240P", requests({1024000, 300000, 358400, 512000}), {p480(300000)}},
        Case{"FourAll240P", requests({204800, 102400, 153600, 204800}), {p240(102400)}},
        Case{"FourWithAHostRow",
             requests({60000, 60000, 120000, 716800}).hostRows({kLow240P}),
             {at(kLow240P, 60000, 51200), p480(120000, 51200)}},
        Case{"FiveAllClose", requests({204800, 204800, 204800, 245760, 256000}), {p240(204800)}},
        Case{"SixFirstAndLastOfOtherDefinitions", requests({204800, 204800, 204800, 204800, 204800, 716800}), {}},
        Case{"SixFirstAndLastShareADefinition",
             requests({358400, 1024000, 1024000, 1024000, 1024000, 300000}),
             {p480(300000)}}),
    caseName);

TEST(MergeLog, ClassifiesLeftFirstThenLogsTheRuleOfADispatchAndEachRecord) {
    LogCapture log;
    merge(requests({300000}));
    EXPECT_EQ(tagged(log.take(), "KTRSelectMgr::adjust"), Lines{}) << "a single request is published without a rule";
    merge(requests({3600000, 3200000}).hostRows(kWide));
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
    prepare(mgr, c.meeting);
    Records out = c.meeting.host;
    mgr.adjustULPolicy(1, out);
    EXPECT_EQ(show(out), show(c.records));
    if (!c.log.empty()) {
        EXPECT_EQ(tagged(log.take(), "KTRULPolicy::"), c.log);
    }
}

const std::string kResult = "I [KTRULPolicy::realAdjust]: video select response result: ";
// The scene defaults as published without requests; 180P has no built-in row.
const auto kD180 = ranked({}, 1), kD240 = ranked(k240P, 1), kD480 = ranked(k480P, 1), kD720 = ranked(k720P, 1);

// What the policy tells the scene default (the table of each device type is tested with the rules alone):
// users count the local user, the own share counts as sharing, the first remote user's device type counts.
// Above four users, while nobody or somebody else speaks, the default goes out unranked at its bitrate,
// above six at its minimum.
INSTANTIATE_TEST_SUITE_P(
    SceneDefaults, Upload,
    ::testing::Values(
        Case{"SomeoneElseSharing", noRequests().deviceType(1).users(2).someoneElseShares().selfSpeaking(), {kD240}},
        Case{"OwnShareCountsAsSharing", noRequests().deviceType(1).users(2).selfSharing().selfSpeaking(), {kD240}},
        Case{"SomeoneElseSpeaking", noRequests().deviceType(1).users(2).someoneElseSpeaks(), {kD180}},
        Case{"SelfSpeakingInALargeMeetingIsRanked", noRequests().deviceType(1).users(9).selfSpeaking(), {kD480}},
        Case{"FiveUsersGetTheDefaultUnranked", noRequests().deviceType(1).users(5), {at(k240P, 204800)}},
        Case{"FiveUsersOnDeviceType4Get180PWhichHasNoRow", noRequests().deviceType(4).users(5), {VideoStreamInfo{}}},
        Case{"SevenUsersGetTheMinimum", noRequests().deviceType(2).users(9), {at(k480P, 245760, 245760)}},
        Case{"TwoUsersOnDeviceType4", noRequests().deviceType(4).users(2), {kD720}},
        Case{"FirstPeerOfDeviceType1", noRequests().deviceType(4).users(2).firstPeerOfDeviceType1(), {kD480}}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Scenes, Upload,
    ::testing::Values(
        Case{"ForceHDPublishesThe720PRecord", requests({204800}).deviceType(4).forcingHD(), {k720P}},
        Case{"AHostRecordAloneIsRanked", noRequests().holding({kHost}), {ranked(kHost, 1)}},
        Case{"AHostRecordCountsInTheRanking",
             requests({300000}).holding({kHost}),
             {ranked(kHost, 2), at(k480P, 300000, kFloor, 1)}},
        Case{"LargeMeetingIgnoresTheRequests",
             requests({204800}).users(5).someoneElseSpeaks(),
             {at(k480P, 358400, 245760)}},
        Case{"LargeMeetingOnDeviceType8", requests({204800}).deviceType(8).users(6), {at(k240P, 204800)}},
        Case{"CrowdedMeetingLogsTheFrontRecord",
             requests({716800}).users(7).someoneElseSpeaks().holding({kHost}),
             {kHost, at(k480P, 245760, 245760)},
             {"I [KTRULPolicy::getDefaultDefinition]: dt=0, users=7, sharing=0, self_sharing=0, speaking=1, "
              "self_speaking=0",
              kResult + "width=1, height=2, bitrate=100000, maxbitrate=5, minbitrate=6, speaker=100, userCount=7"}},
        Case{"AboveTheCeilingGetsTheDefaultAtItsMaximum",
             requests({716800}).deviceType(4).users(2).firstPeerOfDeviceType1(),
             {at(k480P, 512000, 245760, 1)}},
        Case{"AtTheCeilingPasses", requests({512000}).deviceType(8).users(3), {at(k480P, 512000, kFloor, 1)}},
        Case{"SharingCapsTheUpperStreamAndSaysWhy",
             requests({204800, 716800}).deviceType(8).users(3).someoneElseShares(),
             {at(k240P, 204800, kFloor, 2), at(k240P, 256000, kFloor, 1)},
             {"I [KTRULPolicy::getDefaultDefinition]: dt=8, users=3, sharing=1, self_sharing=0, speaking=0, "
              "self_speaking=0",
              "W [KTRULPolicy::realAdjust]: selected bitrate is bigger than the default maxbitrate decided by the "
              "scene, just use the default bitrate. selected bitrate=716800, default bitrate=256000",
              kResult + "width=320, height=240, bitrate=204800, maxbitrate=204800, minbitrate=102400",
              kResult + "svc width=320, height=240, bitrate=256000, maxbitrate=256000, minbitrate=102400"}},
        Case{"BothCappedGiveTwoEqualStreams",
             requests({300000, 716800}).deviceType(8).users(3).someoneElseShares(),
             {at(k240P, 256000, kFloor, 2), at(k240P, 256000, kFloor, 1)}},
        Case{"HigherFirstIsRankedFirst",
             requests({716800, 358400}).deviceType(4),
             {at(k720P, 716800, kFloor, 1), at(k480P, 358400, kFloor, 2)}},
        Case{"OwnShareKeepsThePartnerOf720P",
             requests({204800, 716800}).deviceType(8).users(3).selfSharing(),
             {at(k240P, 204800, kFloor, 1)}},
        Case{"OwnShareKeepsThePartnerOf720PEitherWay",
             requests({716800, 204800}).deviceType(8).users(3).selfSharing(),
             {at(k240P, 204800, kFloor, 1)}},
        Case{"OwnShareWithOneStreamCapsIt",
             requests({716800}).deviceType(8).users(3).selfSharing(),
             {at(k240P, 256000, kFloor, 1)}},
        Case{"OwnShareWithout720PPublishesNothing",
             requests({204800, 512000}).deviceType(8).users(3).selfSharing(),
             {}}),
    caseName);

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
    const char* name;
    std::vector<Ints> steps;
    std::vector<bool> changed;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name;
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
        EXPECT_EQ(mgr.adjustULPolicy(1, out), c.changed.at(i)) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ChangeFlag,
    ::testing::Values(
        ChangeCase{"LessThan30KIsNoChange", {{300000}, {330719}, {300000}}, {true, false, false}},
        ChangeCase{"ThirtyKIsAChange", {{300000}, {330720}, {300000}}, {true, true, true}},
        ChangeCase{"SmallMovesDoNotAddUp", {{300000}, {330000}, {360000}, {390000}}, {true, false, false, false}},
        ChangeCase{"AnotherStreamCountIsAChange", {{300000}, {300000, 716800}}, {true, true}},
        ChangeCase{"EveryStreamIsCompared", {{204800, 716800}, {204800, 614400}}, {true, true}},
        ChangeCase{"DistancesWrapAt32Bits",
                   {{INT_MIN}, {INT_MAX}, {0}, {INT_MIN}, {INT_MIN + 30720}},
                   {true, false, true, false, true}}),
    [](const ::testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

// --- the rules alone: values in, branch and result out ---------------------------------------------

using uploadrules::FloorBranch;
using uploadrules::MergeBranch;
using uploadrules::mergeFive;
using uploadrules::mergeFour;
using uploadrules::mergeMany;
using uploadrules::MergeResult;
using uploadrules::mergeThree;
using uploadrules::mergeTwo;
constexpr int k240 = tarn::video::VIDEO_DFT_240P;
constexpr int k480 = tarn::video::VIDEO_DFT_480P;
constexpr int k720 = tarn::video::VIDEO_DFT_720P;
constexpr bool kSameDefinition = true;
constexpr bool kOtherDefinitions = false;

MergeResult publishOne(MergeBranch branch, int bitrate) {
    return {branch, 1, bitrate, 0};
}
MergeResult publishTwo(int first, int second) {
    return {MergeBranch::Apart, 2, first, second};
}
const MergeResult kPublishNothing{MergeBranch::NoStream, 0, 0, 0};

std::string show(const MergeResult& r) {
    return "branch " + std::to_string(static_cast<int>(r.branch)) + ", " + std::to_string(r.streams) +
           " stream(s): " + std::to_string(r.first) + " " + std::to_string(r.second);
}

template <typename Result>
struct RuleCase {
    const char* name;
    Result got;
    Result expected;
};

template <typename Result>
void PrintTo(const RuleCase<Result>& c, std::ostream* os) {
    *os << c.name;
}

template <typename Case>
std::string rowName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

using MergeRuleCase = RuleCase<MergeResult>;
class MergeRules : public ::testing::TestWithParam<MergeRuleCase> {};

TEST_P(MergeRules, PublishExpectedStreams) {
    EXPECT_EQ(show(GetParam().got), show(GetParam().expected));
}

// Three to five requests arrive sorted, each with the definition types its rule weighs.
INSTANTIATE_TEST_SUITE_P(
    TwoRequests, MergeRules,
    ::testing::Values(MergeRuleCase{"SameDefinitionPublishesTheLower", mergeTwo(307200, 276480, kSameDefinition),
                                    publishOne(MergeBranch::SameDefinition, 276480)},
                      MergeRuleCase{"TwiceTheOtherIsApart", mergeTwo(204800, 409600, kOtherDefinitions),
                                    publishTwo(204800, 409600)},
                      MergeRuleCase{"FarApartKeepsArrivalOrder", mergeTwo(532000, 400000, kOtherDefinitions),
                                    publishTwo(532000, 400000)},
                      MergeRuleCase{"RatioWithoutTheDistanceIsClose", mergeTwo(300000, 399000, kOtherDefinitions),
                                    publishOne(MergeBranch::Close, 300000)},
                      MergeRuleCase{"DistanceWithoutTheRatioIsClose", mergeTwo(400000, 520000, kOtherDefinitions),
                                    publishOne(MergeBranch::Close, 400000)},
                      MergeRuleCase{"DoublingWrapsPast32Bits", mergeTwo(1200000000, 1100000000, kOtherDefinitions),
                                    publishTwo(1200000000, 1100000000)}),
    rowName<MergeRuleCase>);

INSTANTIATE_TEST_SUITE_P(
    ThreeRequests, MergeRules,
    ::testing::Values(MergeRuleCase{"AllAbove240PPublishTheLowest",
                                    mergeThree({300000, 358400, 716800}, k480, k480, k720),
                                    publishOne(MergeBranch::AllAbove240P, 300000)},
                      MergeRuleCase{"All240PPublishTheLowest", mergeThree({153600, 204800, 230400}, k240, k240, k240),
                                    publishOne(MergeBranch::All240P, 153600)},
                      MergeRuleCase{"MiddleServesTheTopOfItsClass",
                                    mergeThree({204800, 614400, 716800}, k240, k720, k720), publishTwo(204800, 614400)},
                      MergeRuleCase{"MiddleOfAnotherClassLeavesTheTop",
                                    mergeThree({204800, 256000, 358400}, k240, k240, k480), publishTwo(204800, 358400)},
                      MergeRuleCase{"MiddleCloseToTheLowestLeavesTheTop",
                                    mergeThree({204800, 230400, 716800}, k240, k720, k720),
                                    publishTwo(204800, 716800)}),
    rowName<MergeRuleCase>);

INSTANTIATE_TEST_SUITE_P(
    FourRequests, MergeRules,
    ::testing::Values(
        MergeRuleCase{"AllAbove240PPublishTheLowest", mergeFour({300000, 358400, 512000, 1024000}, k480, k720),
                      publishOne(MergeBranch::AllAbove240P, 300000)},
        MergeRuleCase{"All240PPublishTheLowest", mergeFour({102400, 153600, 204800, 204800}, k240, k240),
                      publishOne(MergeBranch::All240P, 102400)},
        MergeRuleCase{"ThirdLowestDecidesAndServesTheTop", mergeFour({102400, 102400, 204800, 716800}, k240, k720),
                      publishTwo(102400, 204800)},
        MergeRuleCase{"ThirdLowestCloseToTheLowestGivesOne", mergeFour({204800, 204800, 245760, 716800}, k240, k720),
                      publishOne(MergeBranch::Close, 204800)},
        MergeRuleCase{"DistanceAloneIsNotEnough", mergeFour({400000, 400000, 520000, 520000}, k240, k480),
                      publishOne(MergeBranch::Close, 400000)}),
    rowName<MergeRuleCase>);

INSTANTIATE_TEST_SUITE_P(
    FiveRequests, MergeRules,
    ::testing::Values(
        MergeRuleCase{"AllAbove240PPublishTheLowest",
                      mergeFive({300000, 358400, 409600, 512000, 716800}, k480, k480, k720),
                      publishOne(MergeBranch::AllAbove240P, 300000)},
        MergeRuleCase{"All240PPublishTheLowest", mergeFive({102400, 153600, 204800, 230400, 240000}, k240, k240, k240),
                      publishOne(MergeBranch::All240P, 102400)},
        MergeRuleCase{"FourthDecidesWhenAbove240P",
                      mergeFive({204800, 204800, 204800, 300000, 716800}, k240, k480, k720),
                      publishTwo(204800, 300000)},
        MergeRuleCase{"FifthDecidesWhenTheFourthIs240P",
                      mergeFive({204800, 204800, 204800, 204800, 716800}, k240, k240, k720),
                      publishTwo(204800, 716800)},
        MergeRuleCase{"DistanceAloneIsEnough", mergeFive({400000, 400000, 400000, 520000, 520000}, k240, k480, k480),
                      publishTwo(400000, 520000)},
        MergeRuleCase{"CloseGivesOne", mergeFive({204800, 204800, 204800, 245760, 256000}, k240, k480, k480),
                      publishOne(MergeBranch::Close, 204800)}),
    rowName<MergeRuleCase>);

INSTANTIATE_TEST_SUITE_P(SixOrMoreRequests, MergeRules,
                         ::testing::Values(MergeRuleCase{"SameDefinitionPublishesTheLower",
                                                         mergeMany(300000, kSameDefinition),
                                                         publishOne(MergeBranch::SameDefinition, 300000)},
                                           MergeRuleCase{"OtherDefinitionsPublishNothing",
                                                         mergeMany(204800, kOtherDefinitions), kPublishNothing}),
                         rowName<MergeRuleCase>);

using FlagCase = RuleCase<bool>;
class StandsApart : public ::testing::TestWithParam<FlagCase> {};

TEST_P(StandsApart, NeedsTenPercentAnd30KFromTheFirst) {
    EXPECT_EQ(GetParam().got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, StandsApart,
    ::testing::Values(FlagCase{"OneRequest", uploadrules::anyStandsApartFromFirst({300000}), false},
                      FlagCase{"ExactlyTenPercentAbove", uploadrules::anyStandsApartFromFirst({307200, 337920}), false},
                      FlagCase{"TenPercentButUnder30KAbove", uploadrules::anyStandsApartFromFirst({204800, 235519}),
                               false},
                      FlagCase{"TenPercentAnd30KAbove", uploadrules::anyStandsApartFromFirst({204800, 235520}), true},
                      FlagCase{"TenPercentAnd30KBelow", uploadrules::anyStandsApartFromFirst({204800, 174080}), true},
                      FlagCase{"OnlyTheLastStandsApart",
                               uploadrules::anyStandsApartFromFirst({307200, 290000, 307200, 400000}), true}),
    rowName<FlagCase>);

using FloorCase = RuleCase<FloorBranch>;
class StreamFloor : public ::testing::TestWithParam<FloorCase> {};

TEST_P(StreamFloor, FollowsForceHDAndTheLocalSpeaker) {
    EXPECT_EQ(static_cast<int>(GetParam().got), static_cast<int>(GetParam().expected));
}

// Key 0 of the table answers bitrates in 480P's range, so a speaker's 480P stream is lifted to the 480P record.
INSTANTIATE_TEST_SUITE_P(
    Floors, StreamFloor,
    ::testing::Values(
        FloorCase{"ForceHDKeepsTheRecordFloor", uploadrules::floorOf(true, true, k240), FloorBranch::Unchanged},
        FloorCase{"QuietLocalUserGets240PFloor", uploadrules::floorOf(false, false, k720), FloorBranch::Floor240P},
        FloorCase{"SpeakerBelow480PIsLifted", uploadrules::floorOf(false, true, k240), FloorBranch::Lift480P},
        FloorCase{"SpeakerOnKey0IsLifted", uploadrules::floorOf(false, true, tarn::video::VIDEO_DFT_DEFAULT),
                  FloorBranch::Lift480P},
        FloorCase{"SpeakerAt480PKeepsTheStreamAtItsFloor", uploadrules::floorOf(false, true, k480),
                  FloorBranch::Floor480P}),
    rowName<FloorCase>);

// The scene as the default definition sees it; users count the local user.
struct SceneBuilder {
    uploadrules::SceneFacts facts{0, 1, false, false, false, false};
    SceneBuilder& dt(int value) { return facts.dt = value, *this; }
    SceneBuilder& users(int value) { return facts.users = value, *this; }
    SceneBuilder& sharing() { return facts.anySharing = true, *this; }
    SceneBuilder& speaking() { return facts.speaking = true, *this; }
    SceneBuilder& selfSpeaking() { return facts.selfSpeaking = facts.speaking = true, *this; }
    SceneBuilder& remoteDt1() { return facts.remoteDt1 = true, *this; }
    int defaultDft() const { return uploadrules::sceneDefaultDft(facts); }
};
SceneBuilder device(int dt) {
    return SceneBuilder().dt(dt);
}

using DefaultCase = RuleCase<int>;
class SceneDefault : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(SceneDefault, FollowsTheLocalDeviceType) {
    EXPECT_EQ(GetParam().got, GetParam().expected);
}

constexpr int k180 = tarn::video::VIDEO_DFT_180P;
INSTANTIATE_TEST_SUITE_P(
    DeviceTypes, SceneDefault,
    ::testing::Values(
        DefaultCase{"Dt1Sharing", device(1).users(2).sharing().selfSpeaking().defaultDft(), k240},
        DefaultCase{"Dt1SelfSpeaking", device(1).users(9).selfSpeaking().defaultDft(), k480},
        DefaultCase{"Dt1OtherSpeaking", device(1).users(2).speaking().defaultDft(), k180},
        DefaultCase{"Dt1FourUsers", device(1).users(4).defaultDft(), k480},
        DefaultCase{"Dt1FiveUsers", device(1).users(5).defaultDft(), k240},
        DefaultCase{"Dt4SharingSelfSpeaking", device(4).users(3).sharing().selfSpeaking().defaultDft(), k480},
        DefaultCase{"Dt4Sharing", device(4).users(3).sharing().defaultDft(), k180},
        DefaultCase{"Dt4SelfSpeaking", device(4).users(9).selfSpeaking().defaultDft(), k720},
        DefaultCase{"Dt4Alone", device(4).users(1).speaking().defaultDft(), k720},
        DefaultCase{"Dt4OtherSpeaking", device(4).users(2).speaking().remoteDt1().defaultDft(), k180},
        DefaultCase{"Dt4TwoUsersWithDt1Peer", device(4).users(2).remoteDt1().defaultDft(), k480},
        DefaultCase{"Dt4TwoUsers", device(4).users(2).defaultDft(), k720},
        DefaultCase{"Dt4ThreeUsersWithDt1Peer", device(4).users(3).remoteDt1().defaultDft(), k480},
        DefaultCase{"Dt4FiveUsers", device(4).users(5).defaultDft(), k180},
        DefaultCase{"Dt8SharingSelfSpeaking", device(8).users(3).sharing().selfSpeaking().defaultDft(), k480},
        DefaultCase{"Dt8Sharing", device(8).users(3).sharing().defaultDft(), k240},
        DefaultCase{"Dt8Alone", device(8).users(1).defaultDft(), k720},
        DefaultCase{"Dt8OtherSpeaking", device(8).users(3).speaking().defaultDft(), k180},
        DefaultCase{"Dt8TwoUsersWithDt1Peer", device(8).users(2).remoteDt1().defaultDft(), k480},
        DefaultCase{"Dt8TwoUsers", device(8).users(2).defaultDft(), k720},
        DefaultCase{"Dt8FourUsers", device(8).users(4).defaultDft(), k480},
        DefaultCase{"Dt8FiveUsers", device(8).users(5).defaultDft(), k240},
        DefaultCase{"OtherDeviceTypes", device(2).users(9).sharing().defaultDft(), k480},
        DefaultCase{"Dt1PeerMovesNoOtherType", device(0).users(2).remoteDt1().defaultDft(), k480}),
    rowName<DefaultCase>);

TEST(SceneDefaultAlone, GoesOutAboveFourUsersUnlessTheLocalUserSpeaks) {
    EXPECT_FALSE(uploadrules::publishesSceneDefaultAlone(4, false));
    EXPECT_TRUE(uploadrules::publishesSceneDefaultAlone(5, false));
    EXPECT_FALSE(uploadrules::publishesSceneDefaultAlone(9, true));
    EXPECT_EQ(show({uploadrules::largeMeetingStream(k480P, 6)}), show({at(k480P, 358400, 245760)}));
    EXPECT_EQ(show({uploadrules::largeMeetingStream(k480P, 7)}), show({at(k480P, 245760, 245760)}));
}

TEST(SceneCeiling, ReplacesStreamsAboveTheDefaultsMaximumByTheDefaultAtIt) {
    const uploadrules::CeilingResult result =
        uploadrules::underSceneCeiling({at(k240P, 204800), at(k720P, 716800), at(k240P, 256000)}, k240P);
    VideoStreamInfo capped = k240P;
    capped.bitrate = 256000;
    EXPECT_EQ(show(result.streams), show({at(k240P, 204800), capped, at(k240P, 256000)}));
    EXPECT_EQ(result.capped, (std::vector<bool>{false, true, false})) << "the maximum itself passes";
    EXPECT_TRUE(uploadrules::underSceneCeiling({}, k240P).streams.empty());
}

TEST(StreamRanks, MarkTheHigherOneOrLeaveOtherCountsAlone) {
    Records one{k240P}, rising{k240P, k480P}, falling{k480P, k240P}, equal{k240P, k240P}, three{k240P, k240P, k240P};
    EXPECT_TRUE(uploadrules::rankStreams(one));
    EXPECT_TRUE(uploadrules::rankStreams(rising));
    EXPECT_TRUE(uploadrules::rankStreams(falling));
    EXPECT_TRUE(uploadrules::rankStreams(equal));
    EXPECT_FALSE(uploadrules::rankStreams(three));
    EXPECT_EQ(show(one), show({ranked(k240P, 1)}));
    EXPECT_EQ(show(rising), show({ranked(k240P, 2), ranked(k480P, 1)}));
    EXPECT_EQ(show(falling), show({ranked(k480P, 1), ranked(k240P, 2)}));
    EXPECT_EQ(show(equal), show({ranked(k240P, 2), ranked(k240P, 1)})) << "the first is higher only when greater";
    EXPECT_EQ(show(three), show({k240P, k240P, k240P}));
}

}  // namespace

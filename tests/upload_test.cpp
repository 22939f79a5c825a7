#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/KTRMgr.h"
#include "support/LogCapture.h"
#include "upload/KTRSelectMgr.h"
#include "upload/KTRULPolicy.h"

using tarn::video::KTRConfig;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;
using Records = std::vector<VideoStreamInfo>;
using Lines = std::vector<std::string>;

namespace {

// Built-in camera rows: channel, dft, width, height, fps, bitrate, maxbitrate, minbitrate.
const VideoStreamInfo k240P{1, 0, 320, 240, 15, 204800, 256000, 102400};
const VideoStreamInfo k480P{1, 0, 640, 480, 20, 358400, 512000, 245760};
const VideoStreamInfo k720P{1, 0, 1080, 720, 30, 716800, 1024000, 512000};
// The floor of every merged stream while the local user does not speak.
constexpr int kFloor = 102400;
constexpr uint64_t kLocalUid = 1;
constexpr uint64_t kOtherUid = 100;

// A table row published at bitrate (also its maximum) with the given floor and dft field.
VideoStreamInfo at(VideoStreamInfo row, int bitrate, int minbitrate = kFloor, int dft = 0) {
    row.bitrate = bitrate;
    row.maxbitrate = bitrate;
    row.minbitrate = minbitrate;
    row.dft = dft;
    return row;
}

VideoStreamInfo ranked(VideoStreamInfo record, int rank) {
    record.dft = rank;
    return record;
}

std::string n(int value) {
    return std::to_string(value);
}

Lines show(const Records& records) {
    Lines shown;
    for (const VideoStreamInfo& s : records) {
        shown.push_back("{ch" + n(s.channel) + " dft" + n(s.dft) + " " + n(s.width) + "x" + n(s.height) + "@" +
                        n(s.fps) + " " + n(s.bitrate) + " max" + n(s.maxbitrate) + " min" + n(s.minbitrate) + "}");
    }
    return shown;
}

// The captured lines whose tag starts with tagPrefix.
Lines tagged(const Lines& lines, const std::string& tagPrefix) {
    Lines kept;
    for (const std::string& line : lines) {
        if (line.compare(2, tagPrefix.size() + 1, "[" + tagPrefix) == 0) {
            kept.push_back(line);
        }
    }
    return kept;
}

std::string adjustResult(const VideoStreamInfo& r) {
    return "I [KTRSelectMgr::adjustRequests]: video select adjust result: width=" + n(r.width) +
           ", height=" + n(r.height) + ",bitrate=" + n(r.bitrate) + ", maxbitrate=" + n(r.maxbitrate) +
           ",minbitrate=" + n(r.minbitrate);
}

std::string response(const VideoStreamInfo& r, const std::string& svc = "") {
    return "I [KTRULPolicy::realAdjust]: video select response result: " + svc + "width=" + n(r.width) +
           ", height=" + n(r.height) + ", bitrate=" + n(r.bitrate) + ", maxbitrate=" + n(r.maxbitrate) +
           ", minbitrate=" + n(r.minbitrate);
}

std::string largeMeeting(const VideoStreamInfo& r, int speaker, int users) {
    return response(r) + ", speaker=" + n(speaker) + ", userCount=" + n(users);
}

std::string ceiling(int selected, int maxbitrate) {
    return "W [KTRULPolicy::realAdjust]: selected bitrate is bigger than the default maxbitrate decided by the scene, "
           "just use the default bitrate. selected bitrate=" +
           n(selected) + ", default bitrate=" + n(maxbitrate);
}

const std::string kSelect2 = "I [KTRSelectMgr::adjustSelects_2]: ktr select 2, ";
const std::string kSelect3 = "I [KTRSelectMgr::adjustSelects_3]: ktr select 3, ";
const std::string kSelect4 = "I [KTRSelectMgr::adjustSelects_4]: ktr select 4, ";
const std::string kSelect5 = "I [KTRSelectMgr::adjustSelects_5]: ktr select 5, ";
const std::string kScene = "I [KTRULPolicy::getDefaultDefinition]: ";
const std::string kUnclassified =
    "E [KTRDFTMap::getDftByBitrate]: ktr dft find by bitrate failed, return 480P, bitrate=";
// A host 720-line row whose range reaches past the classified bitrates, so requests up to 4M survive.
const VideoStreamInfo kWide720P{1, 0, 1280, 720, 30, 2000000, 4000000, 500000};

struct ByName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};

// --- amendment ---------------------------------------------------------------------------------

struct AmendCase {
    const char* name;
    int bitrate;
    int stored;
    Lines log;
};

void PrintTo(const AmendCase& c, std::ostream* os) {
    *os << c.name << ": bitrate " << c.bitrate;
}

class Amendment : public ::testing::TestWithParam<AmendCase> {};

TEST_P(Amendment, StoresBitrateWithinTableRangeComparedUnsigned) {
    const AmendCase& c = GetParam();
    KTRMgr mgr;
    LogCapture log;
    mgr.selectMgr().addSelectReq(7, 8, 9, c.bitrate);
    ASSERT_EQ(mgr.selectMgr().requests().size(), 1u);
    const VideoSelectRequest& stored = mgr.selectMgr().requests()[0];
    EXPECT_EQ(stored.bitrate, c.stored) << "request " << c.bitrate;
    EXPECT_EQ((std::vector<int>{stored.width, stored.height, stored.fps}), (std::vector<int>{7, 8, 9}));
    EXPECT_EQ(log.take(), c.log);
}

std::string exceeds(const char* bound, int bitrate) {
    return std::string("I [KTRSelectMgr::amendSelectRequest]: invalid video select request, exceed ") + bound +
           ", amend it now. req.bitrate=" + n(bitrate) + ", minBitrate=102400, maxBitrate=1024000";
}

INSTANTIATE_TEST_SUITE_P(
    BuiltInTable, Amendment,
    ::testing::Values(AmendCase{"Zero", 0, 102400, {exceeds("minBitrate", 0)}},
                      AmendCase{"Below240PMinimum", 92160, 102400, {exceeds("minBitrate", 92160)}},
                      AmendCase{"OneBelowMinimum", 102399, 102400, {exceeds("minBitrate", 102399)}},
                      AmendCase{"AtMinimum", 102400, 102400, {}}, AmendCase{"AtMaximum", 1024000, 1024000, {}},
                      AmendCase{"OneAboveMaximum", 1024001, 1024000, {exceeds("maxBitrate", 1024001)}},
                      AmendCase{"TwoMegabit", 2097152, 1024000, {exceeds("maxBitrate", 2097152)}},
                      AmendCase{"MinusOneIsHugeUnsigned", -1, 1024000, {exceeds("maxBitrate", -1)}},
                      AmendCase{"IntMin", INT_MIN, 1024000, {exceeds("maxBitrate", INT_MIN)}},
                      AmendCase{"IntMax", INT_MAX, 1024000, {exceeds("maxBitrate", INT_MAX)}}),
    ByName());

TEST(AmendmentWithHostTable, MinimumAboveMaximumEndsAtMaximumAfterTwoLines) {
    LogCapture log;
    KTRMgr mgr;
    mgr.initStreamInfosForDft({VideoStreamInfo{1, 0, 320, 240, 15, 0, 0, 2000000}});
    log.take();
    mgr.selectMgr().addSelectReq(0, 0, 0, 500000);
    EXPECT_EQ(mgr.selectMgr().requests()[0].bitrate, 1024000);
    const std::string amend = "I [KTRSelectMgr::amendSelectRequest]: invalid video select request, exceed ";
    const std::string bounds = ", minBitrate=2000000, maxBitrate=1024000";
    EXPECT_EQ(log.take(), (Lines{amend + "minBitrate, amend it now. req.bitrate=500000" + bounds,
                                 amend + "maxBitrate, amend it now. req.bitrate=2000000" + bounds}));
}

TEST(SelectRequests, ListKeepsDuplicatesUntilClearedAndSetReplacesIt) {
    LogCapture quiet;
    KTRMgr mgr;
    mgr.initStreamInfosForDft({VideoStreamInfo{1, 0, 320, 240, 15, 0, 256000, 204800}});
    KTRSelectMgr& selects = mgr.selectMgr();
    selects.addSelectReq(0, 0, 0, 102400);
    selects.addSelectReq(0, 0, 0, 102400);
    EXPECT_EQ(selects.requests().size(), 2u);
    EXPECT_EQ(selects.requests()[1].bitrate, 204800) << "raised to the host's 240P minimum";
    std::vector<VideoSelectRequest> list{{1, 2, 3, 5000000}};
    selects.setSelectReqs(list);
    EXPECT_EQ(list[0].bitrate, 1024000) << "the caller's list is amended in place";
    ASSERT_EQ(selects.requests().size(), 1u);
    selects.clear();
    selects.clear();
    selects.addSelectReq(0, 0, 0, 300000);
    ASSERT_EQ(selects.requests().size(), 1u);
    EXPECT_EQ(selects.requests()[0].bitrate, 300000);
}

// --- stream floor ------------------------------------------------------------------------------

TEST(StreamFloorLog, ForceHdStillClassifiesAndLogsTheRecord) {
    LogCapture log;
    KTRMgr mgr;
    KTRConfig config;
    config.forceHD = true;
    mgr.setConfig(config);
    VideoStreamInfo info{1, 7, 1, 2, 3, 3500000, 6, 5};
    mgr.selectMgr().calculateMinBitrate(info);
    EXPECT_EQ(log.take(),
              (Lines{kUnclassified + "3500000",
                     "I [KTRSelectMgr::calculateMinBitrate]: ktrselectmgr, calculateMinBitrate, width=1, height=2, "
                     "bitrate=3500000, minbitrate=5, maxbitrate=6,channel=1, definition type=7"}));
}

TEST(StreamFloor, SpeakerKeepsA480PClassStreamAndRaisesItsFloor) {
    LogCapture quiet;
    KTRMgr mgr;
    mgr.init(kLocalUid, 0);
    mgr.setSpeaker(true, kLocalUid);
    VideoStreamInfo info = at(k720P, 3500000);
    mgr.selectMgr().calculateMinBitrate(info);
    EXPECT_EQ(show({info}), show({at(k720P, 3500000, 245760)})) << "unclassified bitrates count as 480P";
}

// --- merging -----------------------------------------------------------------------------------

struct MergeCase {
    const char* name;
    std::vector<int> requests;
    Records records;
    Lines ruleLines;
    int dt;
    bool selfSpeaking;
};

MergeCase merge(const char* name, std::vector<int> requests, Records records, Lines ruleLines = {}, int dt = 0,
                bool selfSpeaking = false) {
    return MergeCase{name, std::move(requests), std::move(records), std::move(ruleLines), dt, selfSpeaking};
}

void PrintTo(const MergeCase& c, std::ostream* os) {
    *os << c.name << ": requests";
    for (int bitrate : c.requests) {
        *os << " " << bitrate;
    }
}

class Merge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(Merge, PublishesExpectedStreams) {
    const MergeCase& c = GetParam();
    LogCapture log;
    KTRMgr mgr;
    mgr.init(kLocalUid, c.dt);
    mgr.setSpeaker(c.selfSpeaking, kLocalUid);
    for (int bitrate : c.requests) {
        mgr.addSelectReq(0, 0, 0, bitrate);
    }
    log.take();
    Records out{VideoStreamInfo{}};
    mgr.selectMgr().adjustRequests(out);
    EXPECT_EQ(show(out), show(c.records));
    // Every dispatch on the request count logs its rule, then each record it produced.
    Lines expected = c.ruleLines;
    for (const VideoStreamInfo& record : c.ruleLines.empty() ? Records{} : c.records) {
        expected.push_back(adjustResult(record));
    }
    EXPECT_EQ(tagged(log.take(), "KTRSelectMgr::adjust"), expected);
}

INSTANTIATE_TEST_SUITE_P(OneOrClose, Merge,
                         ::testing::Values(merge("NoRequest", {}, {}),
                                           merge("AllCloseToFirst", {307200, 300000, 307200}, {at(k480P, 307200)}),
                                           merge("Dt4RaisedTo480P", {204800}, {at(k480P, 245760, 245760)}, {}, 4),
                                           merge("Dt4KeepsTableFloor", {300000}, {at(k480P, 300000, 245760)}, {}, 4),
                                           merge("OneBelow30KAbove", {204800, 235519}, {at(k240P, 204800)}),
                                           merge("TenPercentAboveIsClose", {409601, 450561}, {at(k480P, 409601)})),
                         ByName());

INSTANTIATE_TEST_SUITE_P(
    Two, Merge,
    ::testing::Values(merge("30KAboveStandsApart", {204800, 235520}, {at(k240P, 204800)},
                            {kSelect2 + "same dft, choose lower, brt1=204800, brt2=235520, ret=204800"}),
                      merge("TenPercentBelowInDouble", {409601, 368640}, {at(k480P, 368640)},
                            {kSelect2 + "same dft, choose lower, brt1=409601, brt2=368640, ret=368640"}),
                      merge("FarApart", {204800, 716800}, {at(k240P, 204800), at(k720P, 716800)},
                            {kSelect2 + "brt1=204800, brt2=716800"}),
                      merge("ArrivalOrder", {716800, 358400}, {at(k720P, 716800), at(k480P, 358400)},
                            {kSelect2 + "brt1=716800, brt2=358400"}),
                      merge("RatioWithout100K", {204800, 300000}, {at(k240P, 204800)},
                            {kSelect2 + "brt1=204800, brt2=300000"}),
                      merge("FarApartBelowTwice", {409600, 614400}, {at(k480P, 409600), at(k720P, 614400)},
                            {kSelect2 + "brt1=409600, brt2=614400"}),
                      merge("SameClass", {358400, 300000}, {at(k480P, 300000)},
                            {kSelect2 + "same dft, choose lower, brt1=358400, brt2=300000, ret=300000"}),
                      merge("SpeakerKeeps720P", {204800, 716800}, {k480P, at(k720P, 716800, 245760)},
                            {kSelect2 + "brt1=204800, brt2=716800"}, 0, true),
                      merge("ExtremesAmendedFirst", {INT_MIN, 0}, {at(k720P, 1024000), at(k240P, 102400)},
                            {kSelect2 + "brt1=1024000, brt2=102400"})),
    ByName());

INSTANTIATE_TEST_SUITE_P(
    Three, Merge,
    ::testing::Values(merge("MiddleServesTop", {204800, 614400, 716800}, {at(k240P, 204800), at(k720P, 614400)},
                            {kSelect3 + "brt1=204800, brt2=614400, brt3=716800, ret1=204800, ret2=614400"}),
                      merge("MiddleOfOtherClass", {204800, 358400, 716800}, {at(k240P, 204800), at(k720P, 716800)},
                            {kSelect3 + "brt1=204800, brt2=358400, brt3=716800, ret1=204800, ret2=716800"}),
                      merge("MiddleNearLowest", {256000, 204800, 358400}, {at(k240P, 204800), at(k480P, 358400)},
                            {kSelect3 + "brt1=256000, brt2=204800, brt3=358400, ret1=204800, ret2=358400"}),
                      merge("AllAbove240P", {300000, 358400, 716800}, {at(k480P, 300000)},
                            {kSelect3 + "all>240P, choose lowest, brt1=300000, brt2=358400, brt3=716800, ret=300000"}),
                      merge("All240P", {204800, 153600, 230400}, {at(k240P, 153600)},
                            {kSelect3 +
                             "same dft, choose lower, brt1=204800, brt2=153600, brt3=230400, result=153600"})),
    ByName());

INSTANTIATE_TEST_SUITE_P(
    Four, Merge,
    ::testing::Values(
        merge("ThirdLowestClose", {204800, 204800, 245760, 716800}, {at(k240P, 204800)},
              {kSelect4 +
               "all close!!! select lowest, brt1=204800, brt2=204800, brt3=245760, brt4=716800, ret=204800"}),
        merge("ThirdLowestServesTop", {204800, 204800, 716800, 1024000}, {at(k240P, 204800), at(k720P, 716800)},
              {kSelect4 + "brt1=204800, brt2=204800, brt3=716800, ret4=1024000, ret1=204800, ret2=716800"}),
        merge("AllAbove240P", {1024000, 300000, 358400, 512000}, {at(k480P, 300000)},
              {kSelect4 + "all>240P, choose lowest, brt1=1024000, brt2=300000, brt3=358400, brt4=512000, ret=300000"}),
        merge("All240P", {204800, 102400, 153600, 204800}, {at(k240P, 102400)},
              {kSelect4 +
               "all same!!! select lowest, brt1=204800, brt2=102400, brt3=153600, brt4=204800, ret=102400"})),
    ByName());

INSTANTIATE_TEST_SUITE_P(
    FiveOrMore, Merge,
    ::testing::Values(
        merge("Close", {204800, 204800, 204800, 245760, 256000}, {at(k240P, 204800)},
              {kSelect5 + "all close!!! select lowest, brt1=204800, brt2=204800, brt3=204800, brt4=245760, "
                          "brt5=256000, ret=204800"}),
        merge("TopSkips240PFourth", {204800, 204800, 204800, 204800, 716800}, {at(k240P, 204800), at(k720P, 716800)},
              {kSelect5 + "choose OK!!! brt1=204800, brt2=204800, brt3=204800, brt4=204800, brt5=716800,ret1=204800, "
                          "ret2=716800"}),
        merge("RatioAloneSplits", {204800, 204800, 204800, 300000, 716800}, {at(k240P, 204800), at(k480P, 300000)},
              {kSelect5 + "choose OK!!! brt1=204800, brt2=204800, brt3=204800, brt4=300000, brt5=716800,ret1=204800, "
                          "ret2=300000"}),
        merge("AllAbove240P", {300000, 358400, 409600, 512000, 716800}, {at(k480P, 300000)},
              {kSelect5 + "all>240P, choose lowest, brt1=300000, brt2=358400, brt3=409600, brt4=512000, "
                          "brt5=716800, ret=300000"}),
        merge("All240P", {102400, 153600, 204800, 230400, 240000}, {at(k240P, 102400)},
              {kSelect5 + "all same!!! select lowest, brt1=102400, brt2=153600, brt3=204800, brt4=230400, "
                          "brt5=240000, ret=102400"}),
        merge("SixFirstAndLastDiffer", {204800, 204800, 204800, 204800, 204800, 716800}, {}),
        merge("SixLowestOfFirstAndLast", {358400, 1024000, 1024000, 1024000, 1024000, 300000}, {at(k480P, 300000)},
              {"I [KTRSelectMgr::adjustSelects_others]: ktr select others, brt1=300000, brt_last=358400, "
               "ret1=300000, ret=300000"})),
    ByName());

TEST(MergeLookups, RunInRuleOrderWithBothRecordsBuiltBeforeTheirFloors) {
    LogCapture log;
    KTRMgr mgr;
    mgr.initStreamInfosForDft({kWide720P});
    mgr.addSelectReq(0, 0, 0, 204800);
    mgr.addSelectReq(0, 0, 0, 3500000);
    log.take();
    Records out;
    mgr.selectMgr().adjustRequests(out);
    const std::string byDft = "I [KTRDFTMap::getDftInfoByDft]: get video stream info by dft, channel=1, ";
    const std::string floor = "I [KTRSelectMgr::calculateMinBitrate]: ktrselectmgr, calculateMinBitrate, ";
    EXPECT_EQ(log.take(),
              (Lines{kUnclassified + "3500000", kSelect2 + "brt1=204800, brt2=3500000",
                     byDft + "dft=3, bitrate=204800, maxbitrate=256000, minbitrate=102400, width=320, height=240",
                     kUnclassified + "3500000",
                     byDft + "dft=4, bitrate=358400, maxbitrate=512000, minbitrate=245760, width=640, height=480",
                     floor + "width=320, height=240, bitrate=204800, minbitrate=102400, maxbitrate=204800,channel=1, "
                             "definition type=0",
                     kUnclassified + "3500000",
                     floor + "width=640, height=480, bitrate=3500000, minbitrate=102400, maxbitrate=3500000,channel=1, "
                             "definition type=0",
                     adjustResult(at(k240P, 204800)), adjustResult(at(k480P, 3500000))}));
}

TEST(MergeLookups, ThreeRequestsClassifyInSortedOrder) {
    LogCapture log;
    KTRMgr mgr;
    mgr.initStreamInfosForDft({kWide720P});
    for (int bitrate : {3300000, 204800, 3200000}) {
        mgr.addSelectReq(0, 0, 0, bitrate);
    }
    log.take();
    Records out;
    mgr.selectMgr().adjustRequests(out);
    const Lines lines = log.take();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3),
              (Lines{kUnclassified + "3200000", kUnclassified + "3300000",
                     kSelect3 + "brt1=3300000, brt2=204800, brt3=3200000, ret1=204800, ret2=3200000"}));
    EXPECT_EQ(show(out), show({at(k240P, 204800), at(k480P, 3200000)}));
}

TEST(MergeGuards, TooFewRequestsLogAnErrorAndAppendNothing) {
    KTRMgr mgr;
    KTRSelectMgr& selects = mgr.selectMgr();
    LogCapture log;
    Records out;
    selects.adjustSelects_others(out);
    selects.addSelectReq(0, 0, 0, 300000);
    selects.adjustSelects_2(out);
    selects.adjustSelects_3(out);
    selects.adjustSelects_4(out);
    selects.adjustSelects_5(out);
    EXPECT_TRUE(out.empty());
    const std::string error = "error occured, m_arrRequests.size() = ";
    EXPECT_EQ(log.take(), (Lines{"E [KTRSelectMgr::adjustSelects_others]: " + error + "0, it should bigger than 0.",
                                 "E [KTRSelectMgr::adjustSelects_2]: " + error + "1, it should equal to 2.",
                                 "E [KTRSelectMgr::adjustSelects_3]: " + error + "1, it should equal to 3.",
                                 "E [KTRSelectMgr::adjustSelects_4]: " + error + "1, it should equal to 4.",
                                 "E [KTRSelectMgr::adjustSelects_5]: " + error + "1, it should equal to 5."}));
}

TEST(Dumps, ListEveryEntryWithoutPrefix) {
    KTRMgr mgr;
    KTRULPolicy policy(&mgr);
    LogCapture log;
    mgr.selectMgr().dumpSelectReqs({{640, 480, 15, 300000}});
    policy.dumpSelectInfos({k240P});
    policy.dumpSelectMap({{18446744073709551615ull, k720P}});
    EXPECT_EQ(
        log.take(),
        (Lines{"I ktr select reqs, start=======", "I     ktr request width=640, height=480, fps=15, bitrate=300000",
               "I ktr select reqs, stop =======", "I ktr select info, start=======",
               "I     ktr select width=320, height=240, fps=15, bitrate=204800",
               "I ktr select info, stop =======", "I ktr select map, start=======",
               "I     ktr select, uid=18446744073709551615, width=1080, height=720, fps=30, bitrate=716800",
               "I ktr select map, stop ======="}));
}

// --- scene default -----------------------------------------------------------------------------

struct DefaultCase {
    const char* name;
    int dt;
    int users;
    bool sharing, selfSharing, speaking, selfSpeaking, remoteDt1;
    int dft;
};

void PrintTo(const DefaultCase& c, std::ostream* os) {
    *os << c.name << ": dt " << c.dt << ", users " << c.users;
}

class SceneDefault : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(SceneDefault, FirstMatchingRowOfTheDeviceTable) {
    const DefaultCase& c = GetParam();
    LogCapture quiet;
    KTRMgr mgr;
    KTRULPolicy policy(&mgr);
    EXPECT_EQ(
        policy.getDefaultDefinition(c.dt, c.users, c.sharing, c.selfSharing, c.speaking, c.selfSpeaking, c.remoteDt1),
        c.dft);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, SceneDefault,
    ::testing::Values(DefaultCase{"Dt1Sharing", 1, 2, true, false, false, true, false, 3},
                      DefaultCase{"Dt1SelfSharingSpeaking", 1, 2, false, true, true, true, false, 3},
                      DefaultCase{"Dt1SelfSpeaking", 1, 9, false, false, true, true, false, 4},
                      DefaultCase{"Dt1OtherSpeaking", 1, 2, false, false, true, false, false, 2},
                      DefaultCase{"Dt1FourUsers", 1, 4, false, false, false, false, false, 4},
                      DefaultCase{"Dt1FiveUsers", 1, 5, false, false, false, false, false, 3},
                      DefaultCase{"Dt4SharingSelfSpeaking", 4, 3, true, false, true, true, false, 4},
                      DefaultCase{"Dt4Sharing", 4, 3, false, true, false, false, false, 2},
                      DefaultCase{"Dt4SelfSpeaking", 4, 9, false, false, true, true, false, 5},
                      DefaultCase{"Dt4AloneBeforeSpeaker", 4, 1, false, false, true, false, false, 5},
                      DefaultCase{"Dt4OtherSpeaking", 4, 2, false, false, true, false, true, 2},
                      DefaultCase{"Dt4TwoWithDt1", 4, 2, false, false, false, false, true, 4},
                      DefaultCase{"Dt4Two", 4, 2, false, false, false, false, false, 5},
                      DefaultCase{"Dt4Three", 4, 3, false, false, false, false, true, 4},
                      DefaultCase{"Dt4Five", 4, 5, false, false, false, false, false, 2},
                      DefaultCase{"Dt8SharingSelfSpeaking", 8, 3, false, true, true, true, false, 4},
                      DefaultCase{"Dt8Sharing", 8, 3, true, false, false, false, false, 3},
                      DefaultCase{"Dt8NoUsers", 8, 0, false, false, false, false, false, 5},
                      DefaultCase{"Dt8OtherSpeaking", 8, 3, false, false, true, false, false, 2},
                      DefaultCase{"Dt8TwoWithDt1", 8, 2, false, false, false, false, true, 4},
                      DefaultCase{"Dt8Two", 8, 2, false, false, false, false, false, 5},
                      DefaultCase{"Dt8Four", 8, 4, false, false, false, false, false, 4},
                      DefaultCase{"Dt8Five", 8, 5, false, false, false, false, false, 3},
                      DefaultCase{"Dt0", 0, 1, true, true, true, true, true, 4},
                      DefaultCase{"Dt2", 2, 9, false, false, false, false, false, 4}),
    ByName());

TEST(SceneDefaultLog, PrintsFlagsAsNumbersWithoutTheDt1Peer) {
    KTRMgr mgr;
    KTRULPolicy policy(&mgr);
    LogCapture log;
    policy.getDefaultDefinition(8, -3, true, false, true, false, true);
    EXPECT_EQ(log.take(), Lines{kScene + "dt=8, users=-3, sharing=1, self_sharing=0, speaking=1, self_speaking=0"});
}

// --- upload decisions --------------------------------------------------------------------------

enum class Who { Nobody, Self, Other };

struct Setup {
    int dt;
    int remoteUsers;
    Who sharer = Who::Nobody;
    Who speaker = Who::Nobody;
    bool forceHD = false;
    bool remoteDt1 = false;
};

struct UploadCase {
    const char* name;
    Setup setup;
    std::vector<int> requests;
    Records records;
    Lines policyLines;
};

UploadCase upload(const char* name, Setup setup, std::vector<int> requests, Records records, Lines policyLines) {
    return UploadCase{name, setup, std::move(requests), std::move(records), std::move(policyLines)};
}

void PrintTo(const UploadCase& c, std::ostream* os) {
    *os << c.name << ": dt " << c.setup.dt << ", " << c.setup.remoteUsers << " remote users";
}

void prepare(KTRMgr& mgr, const Setup& setup, const std::vector<int>& requests) {
    mgr.init(kLocalUid, setup.dt);
    for (int i = 0; i < setup.remoteUsers; ++i) {
        const uint16_t dt = setup.remoteDt1 && i == 0 ? 1 : 0;
        mgr.addUser(KTRUserInfo{kOtherUid + static_cast<uint64_t>(i), 0, dt, ""});
    }
    if (setup.sharer != Who::Nobody) {
        mgr.setSharing(true, setup.sharer == Who::Self ? kLocalUid : kOtherUid);
    }
    if (setup.speaker != Who::Nobody) {
        mgr.setSpeaker(true, setup.speaker == Who::Self ? kLocalUid : kOtherUid);
    }
    KTRConfig config;
    config.forceHD = setup.forceHD;
    mgr.setConfig(config);
    for (int bitrate : requests) {
        mgr.addSelectReq(0, 0, 0, bitrate);
    }
}

class Upload : public ::testing::TestWithParam<UploadCase> {};

TEST_P(Upload, DecidesCameraStreams) {
    const UploadCase& c = GetParam();
    LogCapture log;
    KTRMgr mgr;
    prepare(mgr, c.setup, c.requests);
    log.take();
    Records out;
    EXPECT_TRUE(mgr.adjustULPolicy(1, out)) << "the first camera decision always differs from none";
    EXPECT_EQ(show(out), show(c.records));
    EXPECT_EQ(tagged(log.take(), "KTRULPolicy::"), c.policyLines);
}

const std::string kQuietScene = "sharing=0, self_sharing=0, speaking=0, self_speaking=0";
const VideoStreamInfo k480PCeiling = at(k480P, 512000, 245760, 1);
const VideoStreamInfo kOwnShareCamera = at(k240P, 204800, kFloor, 1);
const VideoStreamInfo k240PCapped = at(k240P, 256000, kFloor, 1);

INSTANTIATE_TEST_SUITE_P(
    Scenes, Upload,
    ::testing::Values(
        upload("ForceHd", {4, 0, Who::Nobody, Who::Nobody, true}, {204800}, {k720P},
               {"I [KTRULPolicy::realAdjust]: force hd video set, just return 720p."}),
        upload("Dt4Alone", {4, 0}, {}, {ranked(k720P, 1)},
               {kScene + "dt=4, users=1, " + kQuietScene, response(ranked(k720P, 1))}),
        upload("Dt8ThreeUsers", {8, 2}, {}, {ranked(k480P, 1)},
               {kScene + "dt=8, users=3, " + kQuietScene, response(ranked(k480P, 1))}),
        upload("Dt1FourUsersStillMerges", {1, 3}, {300000}, {at(k480P, 300000, kFloor, 1)},
               {kScene + "dt=1, users=4, " + kQuietScene, response(at(k480P, 300000, kFloor, 1))}),
        upload("Dt8SixUsers", {8, 5}, {}, {at(k240P, 204800)},
               {kScene + "dt=8, users=6, " + kQuietScene, largeMeeting(at(k240P, 204800), 0, 6)}),
        upload("Dt8SevenUsersAtMinimum", {8, 6}, {}, {at(k240P, 102400)},
               {kScene + "dt=8, users=7, " + kQuietScene, largeMeeting(at(k240P, 102400), 0, 7)}),
        upload("FiveUsersIgnoreRequestsWhileOtherSpeaks", {0, 4, Who::Nobody, Who::Other}, {204800},
               {at(k480P, 358400, 245760)},
               {kScene + "dt=0, users=5, sharing=0, self_sharing=0, speaking=1, self_speaking=0",
                largeMeeting(at(k480P, 358400, 245760), 100, 5)}),
        upload("DefaultWithoutEntryIsAllZero", {4, 2, Who::Nobody, Who::Other}, {716800},
               {VideoStreamInfo{0, 1, 0, 0, 0, 0, 0, 0}},
               {kScene + "dt=4, users=3, sharing=0, self_sharing=0, speaking=1, self_speaking=0", ceiling(716800, 0),
                response(VideoStreamInfo{})}),
        upload("SelfSpeakerCappedByScene", {1, 5, Who::Nobody, Who::Self}, {716800}, {k480PCeiling},
               {kScene + "dt=1, users=6, sharing=0, self_sharing=0, speaking=1, self_speaking=1",
                ceiling(716800, 512000), response(k480PCeiling)}),
        upload("UpperStreamCappedByScene", {8, 2}, {204800, 716800}, {at(k240P, 204800, kFloor, 2), k480PCeiling},
               {kScene + "dt=8, users=3, " + kQuietScene, ceiling(716800, 512000),
                response(at(k240P, 204800, kFloor, 2)), response(k480PCeiling, "svc ")}),
        upload("AtCeilingKeepsMergedStream", {8, 2}, {512000}, {at(k480P, 512000, kFloor, 1)},
               {kScene + "dt=8, users=3, " + kQuietScene, response(at(k480P, 512000, kFloor, 1))}),
        upload("BothCappedEqualRanksSecondHigher", {8, 2, Who::Other}, {300000, 716800},
               {ranked(k240PCapped, 2), k240PCapped},
               {kScene + "dt=8, users=3, sharing=1, self_sharing=0, speaking=0, self_speaking=0",
                ceiling(300000, 256000), ceiling(716800, 256000), response(ranked(k240PCapped, 2)),
                response(k240PCapped, "svc ")}),
        upload("OtherSharingCapsAt240P", {8, 2, Who::Other}, {204800, 716800},
               {at(k240P, 204800, kFloor, 2), k240PCapped},
               {kScene + "dt=8, users=3, sharing=1, self_sharing=0, speaking=0, self_speaking=0",
                ceiling(716800, 256000), response(at(k240P, 204800, kFloor, 2)), response(k240PCapped, "svc ")}),
        upload("Dt4BesideDt1Peer", {4, 1, Who::Nobody, Who::Nobody, false, true}, {300000},
               {at(k480P, 300000, 245760, 1)},
               {kScene + "dt=4, users=2, " + kQuietScene, response(at(k480P, 300000, 245760, 1))}),
        upload("OwnShareKeepsPartnerOf720P", {8, 2, Who::Self}, {204800, 716800}, {kOwnShareCamera},
               {kScene + "dt=8, users=3, sharing=1, self_sharing=1, speaking=0, self_speaking=0"}),
        upload("OwnShare720PFirst", {8, 2, Who::Self}, {716800, 204800}, {kOwnShareCamera},
               {kScene + "dt=8, users=3, sharing=1, self_sharing=1, speaking=0, self_speaking=0"}),
        upload("SpeakerLiftCollapsesToOne", {0, 0, Who::Nobody, Who::Self}, {204800, 512000}, {ranked(k480P, 1)},
               {kScene + "dt=0, users=1, sharing=0, self_sharing=0, speaking=1, self_speaking=1",
                response(ranked(k480P, 1))})),
    ByName());

TEST(UploadOwnShare, NeitherStreamAt720PPublishesNothingAndReportsTheChange) {
    LogCapture quiet;
    KTRMgr mgr;
    mgr.init(kLocalUid, 8);
    Records out;
    EXPECT_TRUE(mgr.adjustULPolicy(1, out));
    mgr.setSharing(true, kLocalUid);
    mgr.addSelectReq(0, 0, 0, 204800);
    mgr.addSelectReq(0, 0, 0, 512000);
    out.clear();
    EXPECT_TRUE(mgr.adjustULPolicy(1, out)) << "from one stream to none";
    EXPECT_EQ(show(out), Lines{});
    EXPECT_FALSE(mgr.adjustULPolicy(1, out)) << "none again";
}

TEST(UploadShareChannel, Answers720PShareRowAndLeavesCameraHistoryAlone) {
    LogCapture log;
    KTRMgr mgr;
    Records camera;
    EXPECT_TRUE(mgr.adjustULPolicy(1, camera));
    Records share;
    log.take();
    EXPECT_TRUE(mgr.adjustULPolicy(2, share));
    EXPECT_EQ(show(share), show({VideoStreamInfo{}}));
    EXPECT_EQ(log.take(), (Lines{"I [KTRDFTMap::getDftInfoByDft]: get video stream info by dft, channel=2, dft=5, "
                                 "bitrate=0, maxbitrate=0, minbitrate=0, width=0, height=0",
                                 "I [KTRULPolicy::adjust]: share upload adjust , only return the default 720p "
                                 "streaminfo.channel=2, bitrate=0"}));
    camera.clear();
    EXPECT_FALSE(mgr.adjustULPolicy(1, camera)) << "compared with the camera decision before the share one";
    const VideoStreamInfo hostShare{2, 0, 1280, 720, 10, 800000, 1500000, 200000};
    mgr.initStreamInfosForDft({hostShare});
    share.clear();
    EXPECT_TRUE(mgr.adjustULPolicy(2, share));
    EXPECT_EQ(show(share), show({hostShare}));
}

// --- change flag -------------------------------------------------------------------------------

struct ChangeCase {
    const char* name;
    int before;
    int after;
    bool changed;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name << ": " << c.before << " -> " << c.after;
}

class ChangeFlag : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeFlag, ReportsBitrateMovesOf30KOrMore) {
    const ChangeCase& c = GetParam();
    LogCapture quiet;
    KTRMgr mgr;
    mgr.addSelectReq(0, 0, 0, c.before);
    Records out;
    ASSERT_TRUE(mgr.adjustULPolicy(1, out));
    mgr.clearSelectReqs();
    mgr.addSelectReq(0, 0, 0, c.after);
    out.clear();
    EXPECT_EQ(mgr.adjustULPolicy(1, out), c.changed) << c.before << " -> " << c.after;
}

INSTANTIATE_TEST_SUITE_P(Threshold, ChangeFlag,
                         ::testing::Values(ChangeCase{"OneBelowUp", 300000, 330719, false},
                                           ChangeCase{"AtThresholdUp", 300000, 330720, true},
                                           ChangeCase{"OneBelowDown", 330719, 300000, false},
                                           ChangeCase{"AtThresholdDown", 330720, 300000, true}),
                         ByName());

TEST(ChangeFlagHistory, CreepingBitrateIsNeverReportedButANewStreamCountIs) {
    LogCapture quiet;
    KTRMgr mgr;
    Records out;
    for (int bitrate : {300000, 330000, 360000, 390000}) {
        mgr.clearSelectReqs();
        mgr.addSelectReq(0, 0, 0, bitrate);
        out.clear();
        EXPECT_EQ(mgr.adjustULPolicy(1, out), bitrate == 300000) << "bitrate " << bitrate;
    }
    mgr.addSelectReq(0, 0, 0, 102400);
    out.clear();
    EXPECT_TRUE(mgr.adjustULPolicy(1, out)) << "one record to two";
    ASSERT_EQ(out.size(), 2u);
}

TEST(ChangeFlagHistory, DistanceWrapsIn32Bits) {
    LogCapture quiet;
    KTRMgr mgr;
    Records out;
    // No requests: the scene default row (480 lines for device type 0) is published as the host set it.
    const std::vector<std::pair<int, bool>> steps{
        {INT_MIN, true}, {INT_MAX, false}, {0, true}, {INT_MIN, false}, {INT_MIN + 30720, true}};
    for (const auto& step : steps) {
        mgr.initStreamInfosForDft({VideoStreamInfo{1, 0, 640, 480, 20, step.first, 512000, 245760}});
        out.clear();
        EXPECT_EQ(mgr.adjustULPolicy(1, out), step.second) << "bitrate " << step.first;
        EXPECT_EQ(out.at(0).bitrate, step.first);
    }
}

// --- records the host left in the vector -------------------------------------------------------

TEST(UploadHostRecords, StayInFrontAndTakePartInRankingAndChange) {
    LogCapture log;
    KTRMgr mgr;
    mgr.addSelectReq(0, 0, 0, 300000);
    const VideoStreamInfo host{1, 9, 1, 2, 3, 100000, 5, 6};
    Records out{host};
    log.take();
    EXPECT_TRUE(mgr.adjustULPolicy(1, out));
    const VideoStreamInfo merged = at(k480P, 300000, kFloor, 1);
    EXPECT_EQ(show(out), show({ranked(host, 2), merged}));
    EXPECT_EQ(tagged(log.take(), "KTRULPolicy::realAdjust"),
              (Lines{response(ranked(host, 2)), response(merged, "svc ")}));
    out = {host};
    EXPECT_FALSE(mgr.adjustULPolicy(1, out));
    out = {};
    EXPECT_TRUE(mgr.adjustULPolicy(1, out)) << "one record instead of two";
}

TEST(UploadHostRecords, NonEmptyVectorSuppressesTheSceneDefault) {
    LogCapture quiet;
    KTRMgr mgr;
    const VideoStreamInfo host{1, 9, 1, 2, 3, 100000, 5, 6};
    Records out{host};
    EXPECT_TRUE(mgr.adjustULPolicy(1, out));
    EXPECT_EQ(show(out), show({ranked(host, 1)})) << "no request, but out is not empty";
}

// --- host tables with extreme values -----------------------------------------------------------

TEST(UploadExtremes, NegativeBitratesAllowedByTheHostTableMergeWithWrappingArithmetic) {
    LogCapture log;
    KTRMgr mgr;
    mgr.initStreamInfosForDft({VideoStreamInfo{1, 0, 320, 240, 15, 0, -1000000000, INT_MIN},
                               VideoStreamInfo{1, 0, 1280, 720, 30, 0, -1, 512000}});
    mgr.addSelectReq(0, 0, 0, -2000000000);
    mgr.addSelectReq(0, 0, 0, -5);
    log.take();
    Records out;
    EXPECT_TRUE(mgr.adjustULPolicy(1, out));
    EXPECT_EQ(show(out), show({VideoStreamInfo{1, 1, 640, 480, 20, -2000000000, -2000000000, INT_MIN}}));
    EXPECT_EQ(tagged(log.take(), "KTRSelectMgr::adjustSelects"), Lines{kSelect2 + "brt1=-2000000000, brt2=-5"});
}

}  // namespace

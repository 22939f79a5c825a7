#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/KTRMgr.h"
#include "download/DownloadRules.h"
#include "support/LogCapture.h"
#include "support/Records.h"

using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

using Lines = std::vector<std::string>;
using Streams = std::vector<VideoStreamInfo>;
using Peers = std::map<uint64_t, Streams>;
using Asked = std::map<uint64_t, int>;  // uid -> requested bitrate

VideoStreamInfo stream(int bitrate, int maxbitrate = 0, int minbitrate = 0) {
    return camera(640, 480).fps(15).bitrate(bitrate).between(minbitrate, maxbitrate);
}

// The same value for each uid.
template <typename Value>
std::map<uint64_t, Value> each(const std::set<uint64_t>& uids, const Value& value) {
    std::map<uint64_t, Value> out;
    for (uint64_t uid : uids) {
        out[uid] = value;
    }
    return out;
}

// Drives the download road through the manager, as the host does.
class Download : public ::testing::Test {
protected:
    // Reports every peer, then lists them all, so that each one is new to the policy.
    void subscribe(const Peers& peers) {
        std::vector<KTRUserInfo> users;
        for (const auto& peer : peers) {
            mgr.addPeerReport(peer.first, peer.second);
            users.push_back(KTRUserInfo{peer.first, 0, 0, ""});
        }
        mgr.setUsers(users);
    }
    // One adjustment under the given download estimate; answers the lines it logged.
    Lines adjust(int status, int score = 90, int bitrate = 0, int maxBitrate = 0) {
        mgr.setDLNetStatus(status, score, bitrate, maxBitrate);
        log.take();
        changed = mgr.adjustDLPolicy(1, requests);
        return log.take();
    }
    // Seeds rand() so that the policy's next draw picks the last of the given number of peers.
    static void drawLast(size_t peers) {
        unsigned seed = 1;
        for (std::srand(seed); static_cast<size_t>(std::rand()) % peers != peers - 1; std::srand(++seed)) {
        }
        std::srand(seed);
    }

    KTRMgr mgr;
    LogCapture log;
    std::map<uint64_t, VideoStreamInfo> requests;
    bool changed = false;
};

// --- peer choice -----------------------------------------------------------------------------

// A peer reported with the given streams under a scene: the download score, the local device type, the
// users, whether somebody shares or speaks, and whether it is reported again after its first choice.
struct Choice {
    Streams streams;
    bool known = false;
    int score = 86, dt = 0, users = 1;
    bool sharing = false, speaking = false;

    Choice& scoring(int value) { return score = value, *this; }
    Choice& deviceType(int value) { return dt = value, *this; }
    Choice& withUsers(int value) { return users = value, *this; }
    Choice& someoneShares() { return sharing = true, *this; }
    Choice& someoneSpeaks() { return speaking = true, *this; }
};

Choice newPeer(Streams streams) {
    Choice choice;
    choice.streams = std::move(streams);
    return choice;
}

Choice knownPeer(Streams streams) {
    Choice choice = newPeer(std::move(streams));
    choice.known = true;
    return choice;
}

struct Chosen {
    int upper;
    int bitrate;
};
Chosen upper(int bitrate) {
    return {1, bitrate};
}
Chosen lower(int bitrate) {
    return {0, bitrate};
}

struct ChoiceCase {
    const char* name;
    Choice choice;
    Chosen chosen;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class PeerChoice : public Download, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(PeerChoice, ChoosesUpperOrLowerStream) {
    const Choice& c = GetParam().choice;
    mgr.init(1, c.dt);
    mgr.setDLNetStatus(1, c.score, 0, 0);
    mgr.setSharing(c.sharing, 30);
    mgr.setSpeaker(c.speaking, 30);
    // Records of uid 10 with distinct device types: each one is a user.
    std::vector<KTRUserInfo> users{{10, 0, 0, ""}, {10, 0, 1, ""}, {10, 0, 2, ""}, {10, 0, 3, ""}};
    users.resize(static_cast<size_t>(c.users));
    mgr.addPeerReport(10, c.streams);  // not yet a user: stored only
    mgr.setUsers(users);               // chosen as a new peer
    if (c.known) {
        mgr.addPeerReport(10, c.streams);
    }
    const Chosen& chosen = GetParam().chosen;
    EXPECT_EQ(log.take().back(),
              "I [KTRDLPolicy::addPeer]: ktr download policy add peer, choose upper=" + std::to_string(chosen.upper) +
                  ", uid=10, bitrate=" + std::to_string(chosen.bitrate));
}

// A two-stream peer's streams; a stream good to raise (to 330720); one outside the increase range; one good to cut
// without a message (to 491520 by a fifth); streams whose minimum decides how a cut is served.
const VideoStreamInfo kHi = stream(716800), kLo = stream(204800), kGood = stream(300000, 512000);
const VideoStreamInfo kFar = stream(2097153), kCut = stream(614400), kMin200 = stream(300000, 0, 200000);
const VideoStreamInfo kUpper = stream(716800, 1024000, 512000), kMin250 = stream(300000, 0, 250000);

// A new peer gets its upper stream on a good net with up to three users, unless the local device type is 1;
// a known one with fewer than three users while nobody shares or speaks, whatever the device type.
INSTANTIATE_TEST_SUITE_P(
    Download, PeerChoice,
    ::testing::Values(
        ChoiceCase{"NewPeerGetsUpperWhileOthersShareAndSpeak",
                   newPeer({kLo, kHi}).deviceType(4).withUsers(3).someoneShares().someoneSpeaks(), upper(716800)},
        ChoiceCase{"NewPeerOnAScoreOf85GetsLower", newPeer({kHi, kLo}).scoring(85), lower(204800)},
        ChoiceCase{"NewPeerAmongFourUsersGetsLower", newPeer({kLo, kHi}).withUsers(4), lower(204800)},
        ChoiceCase{"NewPeerOnDeviceType1GetsLower", newPeer({kLo, kHi}).deviceType(1), lower(204800)},
        ChoiceCase{"ThreeStreamsGiveNoUpperStream", newPeer({kHi, kLo, kLo}), upper(0)},
        ChoiceCase{"KnownPeerOnDeviceType1GetsUpper", knownPeer({kHi, kLo}).deviceType(1).withUsers(2), upper(716800)},
        ChoiceCase{"KnownPeerAmongThreeUsersGetsLower", knownPeer({kHi, kLo}).withUsers(3), lower(204800)},
        ChoiceCase{"KnownPeerWhileSomeoneSharesGetsLower", knownPeer({kHi, kLo}).withUsers(2).someoneShares(),
                   lower(204800)},
        ChoiceCase{"KnownPeerWhileSomeoneSpeaksGetsLower", knownPeer({kHi, kLo}).withUsers(2).someoneSpeaks(),
                   lower(204800)},
        ChoiceCase{"KnownPeerOnAScoreOf85GetsLower", knownPeer({kHi, kLo}).scoring(85), lower(204800)}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST_F(Download, AddPeerLogsItsChoice) {
    mgr.init(5, 0);
    mgr.addPeerReport(10, {stream(307201), stream(100000)});
    log.take();
    mgr.setUsers({{5, 0, 0, ""}, {10, 0, 0, ""}});
    const std::string tag = "I [KTRDLPolicy::addPeer]: ";
    EXPECT_EQ(log.take(), (Lines{"I [KTRDLPolicy::clear]: ktrdk: clear download policy selects.",
                                 "E [KTRPeerMgr::getPeer]: ktr get peer failed, uid=5",
                                 tag + "ktrsdk: addPeer uid=5, infos.size(0)",
                                 "E [KTRDLPolicy::addPeer]: should not add myself. uid=5",
                                 tag + "ktrsdk: addPeer uid=10, infos.size(2)", tag + "ktr add new peer, uid=10",
                                 tag + "ktr add peer, choose uppper because net=good AND users<=3, peer=10",
                                 tag + "ktr download policy add peer, choose upper=1, uid=10, bitrate=307201"}));
    mgr.init(5, 1);
    log.take();
    mgr.setUsers({{10, 0, 0, ""}});
    EXPECT_EQ(log.take().at(3), tag + "ktr add peer, choose lower because bigger bitrate>300K, peer=10");
}

TEST_F(Download, SplitsPeersByTheDefinitionClassTheyReceive) {
    subscribe({{10, {kHi, kLo}}, {20, {stream(300000), stream(260000)}}, {30, {stream(300000)}}});  // upper
    std::set<uint64_t> hd{999}, ld{998};
    mgr.getHDUids(hd, ld);
    EXPECT_EQ(hd, (std::set<uint64_t>{10, 30, 999})) << "a single stream is high definition";
    EXPECT_EQ(ld, (std::set<uint64_t>{20, 998})) << "20's upper stream lies in its lower stream's class";
}

// --- adjustment ------------------------------------------------------------------------------

TEST_F(Download, ExplainsEachAdjustmentAndKeepsTheLastResultWhenRefused) {
    subscribe({{10, {stream(300000)}}});
    const std::string request = "I [KTRDLPolicy::realAdjust]: video select request: uid=10, width=";
    const std::string net = ", net_score=90, bitrate=0, max_bitrate=0";
    EXPECT_EQ(adjust(2).back(),
              request + "640, height=480, bitrate=330720, maxbitrate=512000, minbitrate=245760, net_status=2" + net);
    EXPECT_EQ(adjust(4).back(),
              request + "320, height=240, bitrate=207840, maxbitrate=256000, minbitrate=102400, net_status=4" + net);
    EXPECT_EQ(adjust(1).back(),
              "I [KTRDLPolicy::realAdjust]: the current net_status == tarn::video::VIDEO_NET_ESTIMAT_NORMAL, "
              "work fine, don't need to adjust.");
    EXPECT_EQ(adjust(2, 85).back(), "I [KTRDLPolicy::realAdjust]: don't ajudt when score(85)<85!");
    EXPECT_EQ(adjust(2, 90, 950, 1000).back(),
              "I [KTRDLPolicy::realAdjust]: ktrsdk: don't adjust when bitrate(950)>=max_bitrate(1000)!!!");
    adjust(3, 90, 3145728, 7000000);  // 3145728 is not above 3145728: 10 is asked for 330720
    mgr.clearPeerReports();
    EXPECT_EQ(adjust(3), Lines{"E [KTRDLPolicy::adjust]: ktr download policy, adjust failed, no peer!!!"});
    mgr.addPeerReport(10, {stream(300000)});
    adjust(3);
    EXPECT_FALSE(changed) << "compared with the request for 330720 made before the refused adjustment";
}

// Peers under a download estimate, adjusted round after round: the speaker, the local user, a peer that
// leaves after the second round, and whether two-stream peers were given their lower stream (a score of
// 85 at their choice) rather than their upper one.
struct Rounds {
    int status = 0;
    Peers peers;
    uint64_t speaker = 0, self = 1, leaves = 0;
    bool onLower = false;

    Rounds& among(Peers value) { return peers = std::move(value), *this; }
    Rounds& speaking(uint64_t uid) { return speaker = uid, *this; }
    Rounds& localUser(uint64_t uid) { return self = uid, *this; }
    Rounds& leavingAfterTwoRounds(uint64_t uid) { return leaves = uid, *this; }
    Rounds& onLowerStreams() { return onLower = true, *this; }
};

Rounds underStatus(int status) {
    Rounds rounds;
    rounds.status = status;
    return rounds;
}
Rounds raising() {
    return underStatus(2);
}
Rounds raisingToo() {
    return underStatus(3);
}
Rounds cutting() {
    return underStatus(4);
}
Rounds cuttingMore() {
    return underStatus(5);
}

struct AdjustCase {
    const char* name;
    Rounds rounds;
    std::vector<Asked> asked;  // the requests of successive adjustments
    Lines says = {};           // what isGoodToInc, isGoodToDec and the memory of cut peers log
};

void PrintTo(const AdjustCase& c, std::ostream* os) {
    *os << c.name;
}

class Adjustment : public Download, public ::testing::WithParamInterface<AdjustCase> {};

TEST_P(Adjustment, AsksForTheExpectedBitratesAndSaysWhy) {
    const Rounds& c = GetParam().rounds;
    mgr.setDLNetStatus(1, c.onLower ? 85 : 100, 0, 0);
    subscribe(c.peers);
    mgr.init(c.self, 0);
    mgr.setSpeaker(c.speaker != 0, c.speaker);
    Lines says;
    for (size_t round = 0; round < GetParam().asked.size(); ++round) {
        if (round == 2 && c.leaves != 0) {
            mgr.removeUser(KTRUserInfo{c.leaves, 0, 0, ""});
        }
        drawLast(c.peers.size());
        for (const std::string& line : adjust(c.status)) {
            if (line.rfind("I [KTRDLPolicy::isGoodTo", 0) == 0 || line.rfind("I [KTRDLPolicy::selectDec", 0) == 0) {
                says.push_back(line);
            }
        }
        Asked asked;
        for (const auto& request : requests) {
            asked[request.first] = request.second.bitrate;
        }
        EXPECT_EQ(asked, GetParam().asked[round]) << "round " << round;
    }
    EXPECT_EQ(says, GetParam().says);
}

std::string adjustName(const ::testing::TestParamInfo<AdjustCase>& info) {
    return info.param.name;
}

// Peer 10 alone with the given streams.
Rounds alone(Rounds rounds, const Streams& streams) {
    return rounds.among({{10, streams}});
}

Peers duo(const VideoStreamInfo& peer10, const VideoStreamInfo& peer20) {
    return {{10, {peer10}}, {20, {peer20}}};
}

std::vector<Asked> asks(uint64_t uid, int bitrate) {
    return {each({uid}, bitrate)};
}
const std::vector<Asked> kAsksNothing{{}};

std::string inc(uint64_t uid, int bitrate, int maxBitrate, int speaker) {
    return "I [KTRDLPolicy::isGoodToInc]: user's bitrate is good to inc, peer=" + std::to_string(uid) +
           ", bitrate=" + std::to_string(bitrate) + ", maxBitrate=" + std::to_string(maxBitrate) +
           ", isSpeaker=" + std::to_string(speaker);
}
std::string full(int bitrate, int maxBitrate, int speaker) {
    return "I [KTRDLPolicy::isGoodToInc]: user's bitrate reach the maxBitrate, not increase any more, peer=10, "
           " bitrate=" +
           std::to_string(bitrate) + ", maxBitrate=" + std::to_string(maxBitrate) +
           ",isSpeaker=" + std::to_string(speaker);
}

const std::string kCanCut = "I [KTRDLPolicy::isGoodToDec]: user's bitrate is good to dec, peer=10, bitrate=";
const std::string kAtMin = "I [KTRDLPolicy::isGoodToDec]: user's bitrate reach the minBitrate, peer=10, bitrate=";
const std::string kReset =
    "I [KTRDLPolicy::selectDecPeers]: all the user in list has been selected, reset and reloop again.";
const Streams kCuts{kCut}, kGoods{kGood};

// A lone peer is raised by 30720 within 30720..2097152, or cut by a fifth (4) or 3 tenths (5), at least
// 92160 and not below the floor 102400; 32-bit bitrates wrap. Below the chosen stream's minimum a two-stream
// peer is asked for its lower stream as reported, when the chosen stream lies in the lower stream's class; a
// single stream for the cut bitrate. Equal bitrates: upper is the second stream, lower the first.
INSTANTIATE_TEST_SUITE_P(
    LonePeer, Adjustment,
    ::testing::Values(
        AdjustCase{"BelowTheIncreaseRangeIsNotRaised", alone(raising(), {stream(30719)}), kAsksNothing},
        AdjustCase{"RangeStartIsRaisedByAStep", alone(raisingToo(), {stream(30720)}), asks(10, 61440)},
        AdjustCase{"RangeEndIsRaisedByAStep", alone(raising(), {stream(2097152)}), asks(10, 2127872)},
        AdjustCase{"CutStopsAtTheFloor", alone(cutting(), {stream(102400)}), asks(10, 102400)},
        AdjustCase{"CutOfIntMaxWraps", alone(cutting(), {stream(INT_MAX)}), asks(10, 2147391487)},
        AdjustCase{"CutOfIntMinWraps", alone(cutting(), {stream(INT_MIN)}), asks(10, 2147391488)},
        AdjustCase{"LowerStreamBelowItsRangeIsAskedAsReported",
                   alone(cutting(), {kUpper, stream(204800, 0, 180000)}).onLowerStreams(), asks(10, 204800)},
        AdjustCase{"SingleStreamIsCutBelowItsRange", alone(cutting(), {stream(300000, 0, 290000)}), asks(10, 207840)},
        AdjustCase{"UpperInTheLowerClassFallsToTheLowerStream",
                   alone(cutting(), {stream(300000, 0, 290000), stream(260000)}), asks(10, 260000)},
        AdjustCase{"UpperInAnotherClassAsksNothing", alone(cutting(), {stream(530000, 0, 512000), kLo}), kAsksNothing},
        AdjustCase{"LowerStreamIsCutToTheFloor", alone(cutting(), {kUpper, stream(150000, 0, 102400)}).onLowerStreams(),
                   asks(10, 102400)},
        AdjustCase{"EqualBitratesUpperIsTheSecond", alone(cutting(), {kMin250, kMin200}), asks(10, 207840)},
        AdjustCase{"EqualBitratesLowerIsTheFirst", alone(cutting(), {kMin200, kMin250}).onLowerStreams(),
                   asks(10, 207840)}),
    adjustName);

// Cuts rotate over the peers; the speaker is spared while anybody else can be cut.
INSTANTIATE_TEST_SUITE_P(
    CutRotation, Adjustment,
    ::testing::Values(AdjustCase{"ThreePeers",
                                 cuttingMore().among(each({10, 20, 30}, kCuts)),
                                 {each({10, 20, 30}, 430080), each({10, 20, 30}, 430080)},
                                 {kReset}},
                      AdjustCase{"TwoPeers",
                                 cutting().among(each({10, 20}, kCuts)),
                                 {each({10, 20}, 491520), each({10, 20}, 491520)},
                                 {kReset}},
                      AdjustCase{"FourPeers",
                                 cutting().among(each({10, 20, 30, 40}, kCuts)),
                                 {each({10, 20, 30}, 491520), each({40}, 491520), each({10, 20, 30}, 491520)},
                                 {kReset}},
                      AdjustCase{"APeerWhoLeftStaysInTheMemory",
                                 cutting().among(each({10, 20, 30, 40, 50}, kCuts)).leavingAfterTwoRounds(10),
                                 {each({10, 20, 30}, 491520), each({40, 50}, 491520), each({20, 30, 40}, 491520),
                                  each({50}, 491520)}},
                      AdjustCase{"SpeakerSpared",
                                 cutting().among(each({10, 20, 30}, kCuts)).speaking(20),
                                 {each({10, 30}, 491520), each({20}, 491520), each({10, 30}, 491520)},
                                 {kReset}},
                      AdjustCase{"TwoStreamPeers",
                                 cutting().among(each({10, 20, 30, 40}, Streams{kUpper, stream(300000)})).speaking(20),
                                 {each({10, 20, 30, 40}, 240000), each({10, 20, 30, 40}, 240000)},
                                 {kReset}}),
    adjustName);

// The speaker is raised first; the peer at the drawn index joins when it and every peer before it may rise.
INSTANTIATE_TEST_SUITE_P(
    RaiseSelection, Adjustment,
    ::testing::Values(AdjustCase{"RulesPickTheLowestThenTheDrawJoins",
                                 raising().among(each({10, 20, 30}, kGoods)),
                                 {each({10, 30}, 330720)},
                                 {inc(10, 300000, 512000, 0)}},
                      AdjustCase{"AnEmptyFirstPeerEndsTheSelection",
                                 raising().among({{10, {}}, {20, kGoods}, {30, kGoods}}), kAsksNothing},
                      AdjustCase{"TheSpeakerComesFirst",
                                 raising().among({{10, {}}, {20, kGoods}, {30, kGoods}}).speaking(20),
                                 asks(20, 330720),
                                 {inc(20, 300000, 512000, 1)}},
                      AdjustCase{"TwoStreamPeersWhenNoneIsGood",
                                 raising().among({{10, {kHi, kLo}}, {20, {kHi, kLo}}, {30, {kHi}}}),
                                 {each({10, 20, 30}, 747520)}},
                      AdjustCase{"TheDrawAlone", raising().among(each({10, 20, 30, 40}, Streams{stream(700000)})),
                                 asks(40, 730720)}),
    adjustName);

// Whether a stream may rise: room for one step under the maximum (the definition's when 0), at most 600000;
// the local user is never served first. Peer 20 lies outside the increase range: only 10 is judged, nothing
// is drawn.
INSTANTIATE_TEST_SUITE_P(
    RaiseVerdicts, Adjustment,
    ::testing::Values(
        AdjustCase{"AStepOfRoom",
                   raising().among(duo(stream(600000, 630720), kFar)),
                   asks(10, 630720),
                   {inc(10, 600000, 630720, 0)}},
        AdjustCase{"LessThanAStepOfRoom",
                   raising().among(duo(stream(600000, 630719), kFar)),
                   kAsksNothing,
                   {full(600000, 630719, 0)}},
        AdjustCase{"NoMaximumTakesTheClasses",
                   raising().among(duo(stream(300000), kFar)),
                   asks(10, 330720),
                   {inc(10, 300000, 512000, 0)}},
        AdjustCase{"Above600000Silently", raising().among(duo(stream(600001, 1000000), kFar)), kAsksNothing},
        AdjustCase{"TheLocalUserSpeaking", raising().among(duo(kGood, kFar)).speaking(10).localUser(10), kAsksNothing},
        AdjustCase{
            "SpeakerAtZero", raising().among(duo(stream(0), kFar)).speaking(10), kAsksNothing, {full(0, 512000, 1)}},
        AdjustCase{"SpeakerAtItsMaximum",
                   raising().among(duo(stream(500000, 512000), kFar)).speaking(10),
                   kAsksNothing,
                   {full(500000, 512000, 1)}}),
    adjustName);

// Whether a stream may be cut: at least 614400, or room for 92160 above a minimum that is not 0; the
// speaker 20 is spared.
INSTANTIATE_TEST_SUITE_P(
    CutVerdicts, Adjustment,
    ::testing::Values(AdjustCase{"At614400Silently", cutting().among(duo(stream(614400, 0, 600000), kCut)).speaking(20),
                                 asks(10, 491520)},
                      AdjustCase{"NoMinimumLeavesTheSpeaker", cutting().among(duo(stream(300000), kCut)).speaking(20),
                                 asks(20, 491520)},
                      AdjustCase{"TooCloseToTheMinimum",
                                 cutting().among(duo(stream(614399, 0, 522240), kCut)).speaking(20),
                                 asks(20, 491520),
                                 {kAtMin + "614399, maxBitrate=522240"}},
                      AdjustCase{"RoomAboveTheMinimum",
                                 cutting().among(duo(stream(614399, 0, 522239), kCut)).speaking(20),
                                 asks(10, 491520),
                                 {kCanCut + "614399, maxBitrate=522239"}},
                      AdjustCase{"MinimumPlusRoomWrapsNegative",
                                 cutting().among(duo(stream(1, 0, INT_MAX), kCut)).speaking(20),
                                 asks(10, 102400),
                                 {kCanCut + "1, maxBitrate=2147483647"}}),
    adjustName);

// --- change flag -----------------------------------------------------------------------------

// Each lone peer is raised by one step: every result holds its bitrate + 30720, or nothing.
TEST_F(Download, ChangeFlagTellsOtherPeersOrBitratesAStepApart) {
    const std::vector<std::tuple<uint64_t, int, bool>> reports{
        {10, 300000, true},  {20, 300000, true}, {20, 300000, false}, {20, 330719, false}, {20, 361439, true},
        {20, 330720, false}, {20, 300000, true}, {20, 0, true},       {20, 0, false}};
    for (const auto& [uid, bitrate, expected] : reports) {
        subscribe({{uid, {stream(bitrate)}}});
        adjust(2);
        EXPECT_EQ(changed, expected) << uid << " at " << bitrate;
    }
}

// --- the rules alone: values in, verdicts and picks out -------------------------------------------

using downloadrules::CutSelection;
using downloadrules::CutVerdict;
using downloadrules::RaiseGuard;
using downloadrules::RaiseVerdict;

TEST(RaiseRules, GuardTheEstimateAndJudgeEachStream) {
    const struct {
        const char* name;
        RaiseGuard got, expected;
    } guards[] = {
        {"ScoreOf85", downloadrules::raiseGuard(85, 0, 0), RaiseGuard::LowScore},
        {"At95PercentOfTheMaximum", downloadrules::raiseGuard(86, 950, 1000), RaiseGuard::NearCeiling},
        {"Under95Percent", downloadrules::raiseGuard(86, 949, 1000), RaiseGuard::Go},
        {"Above3M", downloadrules::raiseGuard(90, 3145729, 7000000), RaiseGuard::NearCeiling},
        {"At3M", downloadrules::raiseGuard(90, 3145728, 7000000), RaiseGuard::Go},
        {"NoMaximumStated", downloadrules::raiseGuard(90, 5000000, 0), RaiseGuard::Go},
    };
    for (const auto& row : guards) {
        EXPECT_EQ(static_cast<int>(row.got), static_cast<int>(row.expected)) << row.name;
    }
    const struct {
        const char* name;
        RaiseVerdict got, expected;
    } verdicts[] = {
        {"OneStepUnderTheMaximum", downloadrules::raiseVerdict(600000, 630720), RaiseVerdict::Good},
        {"LessThanAStepUnder", downloadrules::raiseVerdict(600000, 630719), RaiseVerdict::AtMaximum},
        {"Above600000", downloadrules::raiseVerdict(600001, 2000000), RaiseVerdict::TooHigh},
        {"Zero", downloadrules::raiseVerdict(0, 512000), RaiseVerdict::AtMaximum},
        {"StepWrapsPastTheMaximum", downloadrules::raiseVerdict(500000, INT_MIN), RaiseVerdict::AtMaximum},
    };
    for (const auto& row : verdicts) {
        EXPECT_EQ(static_cast<int>(row.got), static_cast<int>(row.expected)) << row.name;
    }
    EXPECT_FALSE(downloadrules::isInIncreaseRange(30719));
    EXPECT_TRUE(downloadrules::isInIncreaseRange(30720));
    EXPECT_TRUE(downloadrules::isInIncreaseRange(2097152));
    EXPECT_FALSE(downloadrules::isInIncreaseRange(2097153));
}

TEST(CutRules, JudgeEachStreamAndShareTheMinimumCut) {
    const struct {
        const char* name;
        CutVerdict got, expected;
    } verdicts[] = {
        {"At614400", downloadrules::cutVerdict(614400, 600000), CutVerdict::WellAbove},
        {"NoMinimum", downloadrules::cutVerdict(614399, 0), CutVerdict::NoFloor},
        {"LessThan92160AboveTheMinimum", downloadrules::cutVerdict(614399, 522240), CutVerdict::AtFloor},
        {"92160AboveTheMinimum", downloadrules::cutVerdict(614399, 522239), CutVerdict::Good},
        {"MinimumPlusRoomWrapsNegative", downloadrules::cutVerdict(1, INT_MAX), CutVerdict::Good},
    };
    for (const auto& row : verdicts) {
        EXPECT_EQ(static_cast<int>(row.got), static_cast<int>(row.expected)) << row.name;
    }
    const struct {
        const char* name;
        int32_t got, expected;
    } lowered[] = {
        {"FifthAboveTheStep", downloadrules::loweredBitrate(700000, 4, 30720, 102400), 560000},
        {"ThreeTenthsWhenWorse", downloadrules::loweredBitrate(700000, 5, 30720, 102400), 490000},
        {"StepAboveTheFifth", downloadrules::loweredBitrate(300000, 4, 92160, 102400), 207840},
        {"NeverBelowTheFloor", downloadrules::loweredBitrate(150000, 4, 92160, 102400), 102400},
        {"StepAloneForOtherCodes", downloadrules::loweredBitrate(300000, 2, 30720, 102400), 269280},
        {"WrapsAt32Bits", downloadrules::loweredBitrate(INT_MIN, 4, 92160, 102400), 2147391488},
    };
    for (const auto& row : lowered) {
        EXPECT_EQ(row.got, row.expected) << row.name;
    }
    EXPECT_EQ(downloadrules::cutStep(1), 92160);
    EXPECT_EQ(downloadrules::cutStep(2), 46080);
    EXPECT_EQ(downloadrules::cutStep(3), 30720);
}

// The peers a cut weighs, in ascending uid order, with the memory of the cycle and the speaker.
struct CutScene {
    std::vector<downloadrules::CutCandidate> peers;
    std::set<uint64_t> memory;
    uint64_t speakerUid = 0;

    CutScene& peer(uint64_t uid, int32_t bitrate, int32_t minBitrate = 0) {
        peers.push_back({uid, bitrate, minBitrate, false});
        return *this;
    }
    CutScene& twoStreamPeer(uint64_t uid, int32_t bitrate, int32_t minBitrate = 0) {
        peers.push_back({uid, bitrate, minBitrate, true});
        return *this;
    }
    CutScene& alreadyCut(std::set<uint64_t> uids) {
        memory = std::move(uids);
        return *this;
    }
    CutScene& speaker(uint64_t uid) {
        speakerUid = uid;
        return *this;
    }
    CutSelection select() const { return downloadrules::selectCut(peers, memory, speakerUid, 3); }
};
CutScene cutAmong() {
    return {};
}

const char* verdictName(CutVerdict verdict) {
    switch (verdict) {
        case CutVerdict::WellAbove:
            return "well above";
        case CutVerdict::NoFloor:
            return "no floor";
        case CutVerdict::AtFloor:
            return "at floor";
        case CutVerdict::Good:
            return "good";
    }
    return "?";
}

// Picks, flags and every verdict asked for, as one readable line.
std::string show(const CutScene& scene, const CutSelection& selection) {
    std::string out = "picked";
    for (uint64_t uid : selection.picked) {
        out += " " + std::to_string(uid);
    }
    out += selection.everyPeerCut ? "; every peer cut" : "";
    out += selection.restartCycle ? "; new cycle" : "";
    out += "; checked";
    for (const downloadrules::CutCheck& check : selection.checks) {
        out += " " + std::to_string(scene.peers[check.candidate].uid) + " " + verdictName(check.verdict) + ",";
    }
    return out;
}

struct CutCase {
    const char* name;
    CutScene scene;
    std::string expected;
};

class CutSelectionRules : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutSelectionRules, PickPeersAndSayWhatTheyChecked) {
    EXPECT_EQ(show(GetParam().scene, GetParam().scene.select()), GetParam().expected);
}

constexpr int32_t kWellAbove = 700000;
INSTANTIATE_TEST_SUITE_P(
    Cuts, CutSelectionRules,
    ::testing::Values(
        CutCase{"UpToThreeThatMayBeCut",
                cutAmong().peer(10, kWellAbove).peer(20, kWellAbove).peer(30, kWellAbove).peer(40, kWellAbove),
                "picked 10 20 30; checked 10 well above, 20 well above, 30 well above,"},
        CutCase{"PeersCutThisCycleWait",
                cutAmong()
                    .peer(10, kWellAbove)
                    .peer(20, kWellAbove)
                    .peer(30, kWellAbove)
                    .peer(40, kWellAbove)
                    .alreadyCut({10, 20, 30}),
                "picked 40; checked 40 well above,"},
        CutCase{"EveryPeerCutStartsANewCycle",
                cutAmong().peer(10, kWellAbove).peer(20, kWellAbove).alreadyCut({10, 20}),
                "picked 10 20; every peer cut; new cycle; checked 10 well above, 20 well above,"},
        CutCase{"OnlyTheCountsOfMemoryAndPeersAreCompared",
                cutAmong().peer(20, kWellAbove).peer(30, kWellAbove).alreadyCut({10, 20}),
                "picked 20 30; every peer cut; new cycle; checked 20 well above, 30 well above,"},
        CutCase{"TheSpeakerIsSparedAndNotChecked",
                cutAmong().peer(10, kWellAbove).peer(20, kWellAbove).peer(30, kWellAbove).speaker(20),
                "picked 10 30; checked 10 well above, 30 well above,"},
        CutCase{"ElseEveryTwoStreamPeer", cutAmong().peer(10, 300000).twoStreamPeer(20, 300000, 250000),
                "picked 20; checked 10 no floor, 20 at floor,"},
        CutCase{"ElseTheSpeaker", cutAmong().peer(10, 300000).peer(20, 300000).speaker(20),
                "picked 20; checked 10 no floor,"},
        CutCase{"ElseANewCycleSparingNobody", cutAmong().peer(10, kWellAbove).peer(20, 300000).alreadyCut({10}),
                "picked 10; new cycle; checked 20 no floor, 10 well above, 20 no floor,"},
        CutCase{"ASpeakerWhoLeftIsNotPicked", cutAmong().peer(10, 300000).peer(20, 300000).speaker(30),
                "picked; new cycle; checked 10 no floor, 20 no floor, 10 no floor, 20 no floor,"}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

}  // namespace

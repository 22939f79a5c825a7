#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/KTRMgr.h"
#include "support/LogCapture.h"

using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

using Lines = std::vector<std::string>;
using Streams = std::vector<VideoStreamInfo>;
using Peers = std::map<uint64_t, Streams>;
using Asked = std::map<uint64_t, int>;  // uid -> requested bitrate

VideoStreamInfo stream(int bitrate, int maxbitrate = 0, int minbitrate = 0) {
    return VideoStreamInfo{1, 0, 640, 480, 15, bitrate, maxbitrate, minbitrate};
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

struct ChoiceCase {
    int known, score, dt, users, sharing, speaking;  // known: reported again after its first choice
    Streams streams;
    int upper, chosen;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << '{' << c.known << ", " << c.score << ", " << c.dt << ", " << c.users << ", " << c.sharing << ", "
        << c.speaking << ", " << c.streams.size() << " streams}";
}

class PeerChoice : public Download, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(PeerChoice, ChoosesUpperOrLowerStream) {
    const ChoiceCase& c = GetParam();
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
    EXPECT_EQ(log.take().back(), "I [KTRDLPolicy::addPeer]: ktr download policy add peer, choose upper=" +
                                     std::to_string(c.upper) + ", uid=10, bitrate=" + std::to_string(c.chosen));
}

// A two-stream peer's streams; a stream good to raise (to 330720); one outside the increase range; one good to cut
// without a message (to 491520 by a fifth); streams whose minimum decides how a cut is served.
const VideoStreamInfo kHi = stream(716800), kLo = stream(204800), kGood = stream(300000, 512000);
const VideoStreamInfo kFar = stream(2097153), kCut = stream(614400), kMin200 = stream(300000, 0, 200000);
const VideoStreamInfo kUpper = stream(716800, 1024000, 512000), kMin250 = stream(300000, 0, 250000);

// clang-format off
INSTANTIATE_TEST_SUITE_P(Download, PeerChoice, ::testing::ValuesIn(std::vector<ChoiceCase>{
    // {known, score, dt, users, sharing, speaking, streams, upper, chosen bitrate}
    {0, 86, 4, 3, 1, 1, {kLo, kHi}, 1, 716800},  {0, 85, 0, 1, 0, 0, {kHi, kLo}, 0, 204800},
    {0, 86, 0, 4, 0, 0, {kLo, kHi}, 0, 204800},  {0, 86, 1, 1, 0, 0, {kLo, kHi}, 0, 204800},
    {0, 86, 0, 1, 0, 0, {kHi, kLo, kLo}, 1, 0},  {1, 86, 1, 2, 0, 0, {kHi, kLo}, 1, 716800},
    {1, 86, 0, 3, 0, 0, {kHi, kLo}, 0, 204800},  {1, 86, 0, 2, 1, 0, {kHi, kLo}, 0, 204800},
    {1, 86, 0, 2, 0, 1, {kHi, kLo}, 0, 204800},  {1, 85, 0, 1, 0, 0, {kHi, kLo}, 0, 204800}}));
// clang-format on

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

struct AdjustCase {
    std::string name;
    int status;
    Peers peers;
    std::vector<Asked> rounds;                   // the requests of successive adjustments
    Lines says;                                  // what isGoodToInc, isGoodToDec and the memory of cut peers log
    uint64_t speaker = 0, self = 1, leaves = 0;  // leaves: removed after the second adjustment
    int lower = 0;                               // two-stream peers were given their lower stream
};

void PrintTo(const AdjustCase& c, std::ostream* os) {
    *os << c.name << ", status " << c.status << ", speaker " << c.speaker;
}

class Adjustment : public Download, public ::testing::WithParamInterface<AdjustCase> {};

TEST_P(Adjustment, AsksForTheExpectedBitratesAndSaysWhy) {
    const AdjustCase& c = GetParam();
    mgr.setDLNetStatus(1, c.lower ? 85 : 100, 0, 0);
    subscribe(c.peers);
    mgr.init(c.self, 0);
    mgr.setSpeaker(c.speaker != 0, c.speaker);
    Lines says;
    for (size_t round = 0; round < c.rounds.size(); ++round) {
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
        EXPECT_EQ(asked, c.rounds[round]) << "round " << round;
    }
    EXPECT_EQ(says, c.says);
}

// Peer 10 with the given streams, alone; bitrate 0: no request.
AdjustCase lone(int status, const Streams& streams, int bitrate, int lower = 0) {
    return {"lone peer", status, {{10, streams}}, {bitrate == 0 ? Asked{} : each({10}, bitrate)}, {}, 0, 1, 0, lower};
}

Peers duo(const VideoStreamInfo& peer10, const VideoStreamInfo& peer20) {
    return {{10, {peer10}}, {20, {peer20}}};
}

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

// clang-format off
INSTANTIATE_TEST_SUITE_P(Download, Adjustment, ::testing::ValuesIn(std::vector<AdjustCase>{
    // A lone peer is raised by 30720 within 30720..2097152, or cut by a fifth (4) or 3 tenths (5), at least
    // 92160 and not below the floor 102400; 32-bit bitrates wrap.
    lone(2, {stream(30719)}, 0),     lone(3, {stream(30720)}, 61440),      lone(2, {stream(2097152)}, 2127872),
    lone(4, {stream(102400)}, 102400), lone(4, {stream(INT_MAX)}, 2147391487), lone(4, {stream(INT_MIN)}, 2147391488),
    // Below the chosen stream's minimum a two-stream peer is asked for its lower stream as reported, when the
    // chosen stream lies in the lower stream's class; a single stream for the cut bitrate.
    lone(4, {kUpper, stream(204800, 0, 180000)}, 204800, 1), lone(4, {stream(300000, 0, 290000)}, 207840),
    lone(4, {stream(300000, 0, 290000), stream(260000)}, 260000), lone(4, {stream(530000, 0, 512000), kLo}, 0),
    lone(4, {kUpper, stream(150000, 0, 102400)}, 102400, 1),
    // Equal bitrates: upper is the second stream, lower the first.
    lone(4, {kMin250, kMin200}, 207840), lone(4, {kMin200, kMin250}, 207840, 1),
    // Cuts rotate over the peers; the speaker is spared while anybody else can be cut.
    {"ThreePeers", 5, each({10, 20, 30}, kCuts), {each({10, 20, 30}, 430080), each({10, 20, 30}, 430080)}, {kReset}},
    {"TwoPeers", 4, each({10, 20}, kCuts), {each({10, 20}, 491520), each({10, 20}, 491520)}, {kReset}},
    {"FourPeers", 4, each({10, 20, 30, 40}, kCuts),
     {each({10, 20, 30}, 491520), each({40}, 491520), each({10, 20, 30}, 491520)}, {kReset}},
    {"DepartedPeer", 4, each({10, 20, 30, 40, 50}, kCuts), {each({10, 20, 30}, 491520), each({40, 50}, 491520),
     each({20, 30, 40}, 491520), each({50}, 491520)}, {}, 0, 1, 10},
    {"SpeakerSpared", 4, each({10, 20, 30}, kCuts),
     {each({10, 30}, 491520), each({20}, 491520), each({10, 30}, 491520)}, {kReset}, 20},
    {"TwoStreamPeers", 4, each({10, 20, 30, 40}, Streams{kUpper, stream(300000)}),
     {each({10, 20, 30, 40}, 240000), each({10, 20, 30, 40}, 240000)}, {kReset}, 20},
    // The speaker is raised first; the peer at the drawn index joins when it and every peer before it may rise.
    {"RulesPickTheLowest", 2, each({10, 20, 30}, kGoods), {each({10, 30}, 330720)}, {inc(10, 300000, 512000, 0)}},
    {"EmptyLowest", 2, {{10, {}}, {20, kGoods}, {30, kGoods}}, {{}}, {}},
    {"EmptyLowest", 2, {{10, {}}, {20, kGoods}, {30, kGoods}}, {each({20}, 330720)}, {inc(20, 300000, 512000, 1)}, 20},
    {"TwoStreamPeers", 2, {{10, {kHi, kLo}}, {20, {kHi, kLo}}, {30, {kHi}}}, {each({10, 20, 30}, 747520)}, {}},
    {"DrawAlone", 2, each({10, 20, 30, 40}, Streams{stream(700000)}), {each({40}, 730720)}, {}},
    // isGoodToInc: room for one step under the maximum (the definition's when 0), at most 600000; the local
    // user is never served first. Peer 20 lies outside the increase range: only 10 is judged, nothing is drawn.
    {"Inc", 2, duo(stream(600000, 630720), kFar), {each({10}, 630720)}, {inc(10, 600000, 630720, 0)}},
    {"Inc", 2, duo(stream(600000, 630719), kFar), {{}}, {full(600000, 630719, 0)}},
    {"Inc", 2, duo(stream(300000), kFar), {each({10}, 330720)}, {inc(10, 300000, 512000, 0)}},
    {"Inc", 2, duo(stream(600001, 1000000), kFar), {{}}, {}}, {"Inc", 2, duo(kGood, kFar), {{}}, {}, 10, 10},
    {"Inc", 2, duo(stream(0), kFar), {{}}, {full(0, 512000, 1)}, 10},
    {"Inc", 2, duo(stream(500000, 512000), kFar), {{}}, {full(500000, 512000, 1)}, 10},
    // isGoodToDec: at least 614400, or room for 92160 above a minimum that is not 0; the speaker 20 is spared.
    {"Dec", 4, duo(stream(614400, 0, 600000), kCut), {each({10}, 491520)}, {}, 20},
    {"Dec", 4, duo(stream(300000), kCut), {each({20}, 491520)}, {}, 20},
    {"Dec", 4, duo(stream(614399, 0, 522240), kCut), {each({20}, 491520)}, {kAtMin + "614399, maxBitrate=522240"}, 20},
    {"Dec", 4, duo(stream(614399, 0, 522239), kCut), {each({10}, 491520)}, {kCanCut + "614399, maxBitrate=522239"}, 20},
    // The minimum + 92160 wraps negative.
    {"Dec", 4, duo(stream(1, 0, INT_MAX), kCut), {each({10}, 102400)}, {kCanCut + "1, maxBitrate=2147483647"}, 20}}));
// clang-format on

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

}  // namespace

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/KTRMgr.h"
#include "support/LogCapture.h"

using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

using Lines = std::vector<std::string>;
using Uids = std::set<uint64_t>;
using Peers = std::map<uint64_t, std::vector<VideoStreamInfo>>;

VideoStreamInfo stream(int bitrate, int maxbitrate = 0, int minbitrate = 0, int width = 640, int height = 480) {
    return VideoStreamInfo{1, 0, width, height, 15, bitrate, maxbitrate, minbitrate};
}

KTRUserInfo user(uint64_t uid, uint16_t dt = 0) {
    return KTRUserInfo{uid, 0, dt, ""};
}

bool same(const VideoStreamInfo& a, const VideoStreamInfo& b) {
    return a.channel == b.channel && a.dft == b.dft && a.width == b.width && a.height == b.height && a.fps == b.fps &&
           a.bitrate == b.bitrate && a.maxbitrate == b.maxbitrate && a.minbitrate == b.minbitrate;
}

std::string s(long long value) {
    return std::to_string(value);
}

Lines join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// The lines of the given tags, each line whole.
Lines tagged(const Lines& lines, std::initializer_list<std::string> tags) {
    Lines kept;
    for (const std::string& line : lines) {
        for (const std::string& tag : tags) {
            if (line.compare(2, tag.size() + 2, "[" + tag + "]") == 0) {
                kept.push_back(line);
            }
        }
    }
    return kept;
}

// The definition classes of the built-in table as a request carries them.
struct Dft {
    int width;
    int height;
    int maxbitrate;
    int minbitrate;
};
const Dft k240P{320, 240, 256000, 102400};
const Dft k480P{640, 480, 512000, 245760};
const Dft k720P{1080, 720, 1024000, 512000};

std::string chose(bool upper, int bitrate) {
    return "I [KTRDLPolicy::addPeer]: ktr download policy add peer, choose upper=" + s(upper) +
           ", uid=10, bitrate=" + s(bitrate);
}
const std::string kClear = "I [KTRDLPolicy::clear]: ktrdk: clear download policy selects.";
const std::string kNew10 = "I [KTRDLPolicy::addPeer]: ktr add new peer, uid=10";
const std::string kUpperWhy10 =
    "I [KTRDLPolicy::addPeer]: ktr add peer, choose uppper because net=good AND users<=3, peer=10";
const std::string kIncFailed = "E [KTRDLPolicy::realAdjust]: ktr download policy, select inc uids failed";
const std::string kReset =
    "I [KTRDLPolicy::selectDecPeers]: all the user in list has been selected, reset and reloop again.";

std::string goodToInc(uint64_t uid, int bitrate, int maxBitrate, bool speaker) {
    return "I [KTRDLPolicy::isGoodToInc]: user's bitrate is good to inc, peer=" + s(uid) + ", bitrate=" + s(bitrate) +
           ", maxBitrate=" + s(maxBitrate) + ", isSpeaker=" + s(speaker);
}
std::string reachMax(uint64_t uid, int bitrate, int maxBitrate, bool speaker) {
    return "I [KTRDLPolicy::isGoodToInc]: user's bitrate reach the maxBitrate, not increase any more, peer=" + s(uid) +
           ",  bitrate=" + s(bitrate) + ", maxBitrate=" + s(maxBitrate) + ",isSpeaker=" + s(speaker);
}
std::string goodToDec(uint64_t uid, int bitrate, int minBitrate) {
    return "I [KTRDLPolicy::isGoodToDec]: user's bitrate is good to dec, peer=" + s(uid) + ", bitrate=" + s(bitrate) +
           ", maxBitrate=" + s(minBitrate);
}
std::string reachMin(uint64_t uid, int bitrate, int minBitrate) {
    return "I [KTRDLPolicy::isGoodToDec]: user's bitrate reach the minBitrate, peer=" + s(uid) +
           ", bitrate=" + s(bitrate) + ", maxBitrate=" + s(minBitrate);
}
std::string dftWarning(int bitrate) {
    return "W [KTRDFTMap::getDftInfoByBitrate]: ktr dft find definition info failed, bitrate=" + s(bitrate);
}

// Seeds rand() and remembers its next two values: which index the policy's draw picks, and how many
// draws happened since.
class RandProbe {
public:
    explicit RandProbe(unsigned seed) {
        std::srand(seed);
        m_first = std::rand();
        m_second = std::rand();
        std::srand(seed);
    }
    size_t pick(size_t peers) const { return static_cast<size_t>(m_first) % peers; }
    int draws() const {
        const int next = std::rand();
        return next == m_first ? 0 : next == m_second ? 1 : -1;
    }

private:
    int m_first = 0;
    int m_second = 0;
};

// Drives the download road through the manager, as the host does.
class Download : public ::testing::Test {
protected:
    Download() { mgr.init(1, 0); }

    // Reports every peer, then lists them all, so that each one is new to the policy.
    void subscribe(const Peers& peers) {
        std::vector<KTRUserInfo> users;
        for (const auto& peer : peers) {
            mgr.addPeerReport(peer.first, peer.second);
            users.push_back(user(peer.first));
        }
        mgr.setUsers(users);
        log.take();
    }

    // One adjustment under the given download estimate; answers the lines it logged.
    Lines adjust(int status, int score = 90, int bitrate = 0, int maxBitrate = 0) {
        m_net = "net_status=" + s(status) + ", net_score=" + s(score) + ", bitrate=" + s(bitrate) +
                ", max_bitrate=" + s(maxBitrate);
        mgr.setDLNetStatus(status, score, bitrate, maxBitrate);
        log.take();
        changed = mgr.adjustDLPolicy(1, requests);
        return log.take();
    }

    // The lines that open an adjustment with peers in the registry (after adjust()).
    Lines opening(int peerCount) const {
        return {"I [KTRDLPolicy::adjust]: ktrsdk: download adjust peerCount=" + s(peerCount),
                "I [KTRDLPolicy::realAdjust]: ktrsdk: real adjust download policy, current " + m_net};
    }
    std::string asked(uint64_t uid, int width, int height, int bitrate, int maxbitrate, int minbitrate) const {
        return "I [KTRDLPolicy::realAdjust]: video select request: uid=" + s(uid) + ", width=" + s(width) +
               ", height=" + s(height) + ", bitrate=" + s(bitrate) + ", maxbitrate=" + s(maxbitrate) +
               ", minbitrate=" + s(minbitrate) + ", " + m_net;
    }
    std::string asked(uint64_t uid, const Dft& d, int bitrate) const {
        return asked(uid, d.width, d.height, bitrate, d.maxbitrate, d.minbitrate);
    }
    // The lines of peers that are all good to cut, and their requests.
    Lines cut(std::initializer_list<uint64_t> uids, int bitrate, int minBitrate, const Dft& d, int cutTo) const {
        Lines lines;
        for (uint64_t uid : uids) {
            lines.push_back(goodToDec(uid, bitrate, minBitrate));
        }
        for (uint64_t uid : uids) {
            lines.push_back(asked(uid, d, cutTo));
        }
        return lines;
    }
    Uids requested() const {
        Uids uids;
        for (const auto& entry : requests) {
            uids.insert(entry.first);
        }
        return uids;
    }

    KTRMgr mgr;
    LogCapture log;
    std::map<uint64_t, VideoStreamInfo> requests;
    bool changed = false;

private:
    std::string m_net;
};

// --- peer choice -----------------------------------------------------------------------------

struct ChoiceCase {
    const char* name;
    bool known;  // reported again after being listed, rather than listed after its report
    int score;
    int dt;
    int users;  // records of uid 10 with distinct device types: each counts as a user
    bool sharing;
    bool speaking;
    std::vector<int> bitrates;
    Lines expected;  // the policy's lines after "addPeer"
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class PeerChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(PeerChoice, ChoosesUpperOrLowerStream) {
    const ChoiceCase& c = GetParam();
    LogCapture log;
    KTRMgr mgr;
    mgr.init(1, c.dt);
    mgr.setDLNetStatus(1, c.score, 0, 0);
    mgr.setSharing(c.sharing, 30);
    mgr.setSpeaker(c.speaking, 30);
    std::vector<KTRUserInfo> users;
    for (int dt = 0; dt < c.users; ++dt) {
        users.push_back(user(10, static_cast<uint16_t>(dt)));
    }
    std::vector<VideoStreamInfo> streams;
    for (int bitrate : c.bitrates) {
        streams.push_back(stream(bitrate));
    }
    log.take();
    if (c.known) {
        mgr.setUsers(users);
        log.take();
        mgr.addPeerReport(10, streams);
    } else {
        mgr.addPeerReport(10, streams);
        log.take();
        mgr.setUsers(users);
    }
    Lines expected = c.known ? Lines{} : Lines{kClear};
    expected.push_back("I [KTRDLPolicy::addPeer]: ktrsdk: addPeer uid=10, infos.size(" + s(streams.size()) + ")");
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(tagged(log.take(), {"KTRDLPolicy::clear", "KTRDLPolicy::addPeer", "KTRDLPolicy::chooseUpper"}), expected);
}

const std::string kBigger10 =
    "I [KTRDLPolicy::addPeer]: ktr add peer, choose lower because bigger bitrate>300K, peer=10";
const std::string kNotTwo =
    "E [KTRDLPolicy::chooseUpper]: error occured, infos.size() must equal to 2, check the biz ahead.";
const std::string kInvalid =
    "E [KTRDLPolicy::addPeer]: ToDo: ktr add peer, invalid peer stream info added, may have a bug here.";

// clang-format off: one case per row
INSTANTIATE_TEST_SUITE_P(
    Download, PeerChoice,
    ::testing::Values(
        ChoiceCase{"NewGoodNetThreeUsers",
                   false,
                   86,
                   0,
                   3,
                   true,
                   true,
                   {716800, 204800},
                   {kNew10, kUpperWhy10, chose(true, 716800)}},
        ChoiceCase{"NewScore85", false, 85, 0, 1, false, false, {716800, 204800}, {kNew10, chose(false, 204800)}},
        ChoiceCase{"NewFourUsers", false, 86, 0, 4, false, false, {204800, 716800}, {kNew10, chose(false, 204800)}},
        ChoiceCase{"NewDt1Above300K",
                   false,
                   86,
                   1,
                   1,
                   false,
                   false,
                   {100000, 307201},
                   {kNew10, kBigger10, chose(false, 100000)}},
        ChoiceCase{"NewDt1At300K", false, 86, 1, 1, false, false, {307200, 204800}, {kNew10, chose(false, 204800)}},
        ChoiceCase{
            "NewDt4", false, 86, 4, 2, false, false, {204800, 716800}, {kNew10, kUpperWhy10, chose(true, 716800)}},
        ChoiceCase{"NewThreeStreamsUpper",
                   false,
                   86,
                   0,
                   1,
                   false,
                   false,
                   {716800, 204800, 100000},
                   {kNew10, kUpperWhy10, kNotTwo, kInvalid, chose(true, 0)}},
        ChoiceCase{"NewThreeStreamsLower",
                   false,
                   85,
                   0,
                   1,
                   false,
                   false,
                   {716800, 204800, 100000},
                   {kNew10, chose(false, 204800)}},
        ChoiceCase{"KnownTwoUsers", true, 86, 0, 2, false, false, {716800, 204800}, {chose(true, 716800)}},
        ChoiceCase{"KnownThreeUsers", true, 86, 0, 3, false, false, {716800, 204800}, {chose(false, 204800)}},
        ChoiceCase{"KnownSharing", true, 86, 0, 2, true, false, {716800, 204800}, {chose(false, 204800)}},
        ChoiceCase{"KnownSpeaking", true, 86, 0, 2, false, true, {716800, 204800}, {chose(false, 204800)}},
        ChoiceCase{"KnownScore85", true, 85, 0, 1, false, false, {716800, 204800}, {chose(false, 204800)}},
        ChoiceCase{"KnownDt1", true, 86, 1, 1, false, false, {716800, 204800}, {chose(true, 716800)}}));
// clang-format on

TEST_F(Download, BookkeepingRefusesTheLocalUserAndRebuildsOnEverySetUsers) {
    mgr.init(5, 0);
    mgr.addPeerReport(10, {stream(716800), stream(204800)});
    mgr.addPeerReport(20, {stream(300000)});
    log.take();
    mgr.setUsers({user(5), user(10), user(20), user(30)});
    mgr.setUsers({user(10)});
    mgr.removeUser(user(10));
    mgr.removeUser(user(40));
    Uids hd, ld;
    mgr.getHDUids(hd, ld);
    EXPECT_EQ(log.take(),
              (Lines{kClear, "E [KTRPeerMgr::getPeer]: ktr get peer failed, uid=5",
                     "I [KTRDLPolicy::addPeer]: ktrsdk: addPeer uid=5, infos.size(0)",
                     "E [KTRDLPolicy::addPeer]: should not add myself. uid=5",
                     "I [KTRDLPolicy::addPeer]: ktrsdk: addPeer uid=10, infos.size(2)", kNew10, chose(false, 204800),
                     "I [KTRDLPolicy::addPeer]: ktrsdk: addPeer uid=20, infos.size(1)",
                     "E [KTRPeerMgr::getPeer]: ktr get peer failed, uid=30",
                     "I [KTRDLPolicy::addPeer]: ktrsdk: addPeer uid=30, infos.size(0)", kClear,
                     "I [KTRDLPolicy::addPeer]: ktrsdk: addPeer uid=10, infos.size(2)", kNew10, kUpperWhy10,
                     chose(true, 716800), "I [KTRDLPolicy::removePeer]: removePeer, uid=10",
                     "I [KTRDLPolicy::removePeer]: removePeer, uid=40",
                     "I [KTRDLPolicy::getHDUids]: ktrsdk: get hd uids  m_mapSelects.size(0)"}));
    EXPECT_TRUE(hd.empty() && ld.empty());
}

TEST_F(Download, SplitsPeersByTheDefinitionClassTheyReceive) {
    const VideoStreamInfo upper = stream(716800), lower = stream(204800);
    mgr.addPeerReport(10, {upper, lower});
    mgr.addPeerReport(20, {lower, upper});
    mgr.addPeerReport(30, {stream(300000), stream(260000)});
    mgr.setUsers({user(10), user(20), user(30)});  // three users on a good estimate: every peer on its upper stream
    mgr.setDLNetStatus(1, 85, 0, 0);
    mgr.addPeerReport(20, {lower, upper});
    Uids hd{999}, ld{998};
    log.take();
    mgr.getHDUids(hd, ld);
    EXPECT_EQ(log.take(), Lines{"I [KTRDLPolicy::getHDUids]: ktrsdk: get hd uids  m_mapSelects.size(3)"});
    EXPECT_EQ(hd, (Uids{10, 999}));
    EXPECT_EQ(ld, (Uids{20, 30, 998})) << "30's upper stream lies in its lower stream's class";

    mgr.addPeerReport(40, {stream(300000)});
    mgr.addPeerReport(60, {upper, lower});
    mgr.setUsers({user(40), user(50), user(60)});
    hd.clear();
    ld.clear();
    log.take();
    mgr.getHDUids(hd, ld);
    EXPECT_EQ(log.take(), Lines{"I [KTRDLPolicy::getHDUids]: ktrsdk: get hd uids  m_mapSelects.size(3)"})
        << "peers with fewer than two streams are not classified";
    EXPECT_EQ(hd, (Uids{40, 50}));
    EXPECT_EQ(ld, (Uids{60}));
    mgr.clearPeerReports();
    mgr.getHDUids(hd, ld);
    EXPECT_EQ(hd, (Uids{40, 50, 60})) << "the registry no longer knows 60's streams";
}

TEST_F(Download, EqualBitratesGiveUpperTheSecondStreamAndLowerTheFirst) {
    mgr.addPeerReport(10, {stream(300000, 400000), stream(300000, 500000)});
    mgr.addPeerReport(20, {stream(300000, 512000)});
    for (const auto& scoreAndMax : {std::pair<int, int>{86, 500000}, std::pair<int, int>{85, 400000}}) {
        mgr.setDLNetStatus(1, scoreAndMax.first, 0, 0);
        mgr.setUsers({user(10), user(20)});
        EXPECT_EQ(tagged(adjust(2), {"KTRDLPolicy::isGoodToInc"}),
                  Lines{goodToInc(10, 300000, scoreAndMax.second, false)})
            << "score " << scoreAndMax.first;
    }
}

// --- adjustment ------------------------------------------------------------------------------

TEST_F(Download, RefusesToAdjustWithoutReportedPeers) {
    mgr.setUsers({user(10)});
    requests[7] = stream(1);
    EXPECT_EQ(adjust(2), Lines{"E [KTRDLPolicy::adjust]: ktr download policy, adjust failed, no peer!!!"});
    EXPECT_FALSE(changed);
    EXPECT_TRUE(requests.empty());

    mgr.setUsers({});
    mgr.addPeerReport(20, {stream(300000)});  // reported, but not a listed user
    Lines lines = adjust(3);
    EXPECT_EQ(
        lines,
        join({opening(1),
              {"E [KTRDLPolicy::selectIncPeers]: ktr select inc peers failed, m_mapPeerInfos.size==0", kIncFailed}}));
    lines = adjust(5);
    EXPECT_EQ(lines, join({opening(1),
                           {"E [KTRDLPolicy::selectDecPeers]: ktr select dec peers failed, m_mapPeerInfos.size==0",
                            "E [KTRDLPolicy::realAdjust]: ktr download policy, select dec uids failed"}}));
    EXPECT_FALSE(changed);
}

class QuietNetStatus : public Download, public ::testing::WithParamInterface<int> {};

TEST_P(QuietNetStatus, AsksForNothing) {
    subscribe({{10, {stream(300000)}}});
    const Lines lines = adjust(GetParam());
    Lines expected = opening(1);
    if (GetParam() == 1) {
        expected.push_back(
            "I [KTRDLPolicy::realAdjust]: the current net_status == tarn::video::VIDEO_NET_ESTIMAT_NORMAL, work fine, "
            "don't need to adjust.");
    }
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(requests.empty());
}

INSTANTIATE_TEST_SUITE_P(Download, QuietNetStatus, ::testing::Values(1, 0, 6, -1, INT_MAX));

struct GuardCase {
    int status, score, bitrate, maxBitrate;
    std::string stop;  // the line that stops the increase; empty when it proceeds
};

void PrintTo(const GuardCase& c, std::ostream* os) {
    *os << "status " << c.status << " score " << c.score << " bitrate " << c.bitrate << " max " << c.maxBitrate;
}

class IncreaseGuard : public Download, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(IncreaseGuard, StopsOnLowScoreOrFullNetwork) {
    const GuardCase& c = GetParam();
    subscribe({{10, {stream(300000, 512000, 245760)}}});
    const Lines lines = adjust(c.status, c.score, c.bitrate, c.maxBitrate);
    EXPECT_EQ(lines, join({opening(1), {c.stop.empty() ? asked(10, k480P, 330720) : c.stop}}));
}

std::string scoreStop(int score) {
    return "I [KTRDLPolicy::realAdjust]: don't ajudt when score(" + s(score) + ")<85!";
}
std::string bitrateStop(int bitrate, int maxBitrate) {
    return "I [KTRDLPolicy::realAdjust]: ktrsdk: don't adjust when bitrate(" + s(bitrate) + ")>=max_bitrate(" +
           s(maxBitrate) + ")!!!";
}

INSTANTIATE_TEST_SUITE_P(
    Download, IncreaseGuard,
    ::testing::Values(GuardCase{2, 85, 0, 0, scoreStop(85)}, GuardCase{3, INT_MIN, 0, 0, scoreStop(INT_MIN)},
                      GuardCase{2, 86, 0, 0, ""}, GuardCase{3, 86, 0, 0, ""},
                      GuardCase{2, 90, 950, 1000, bitrateStop(950, 1000)}, GuardCase{2, 90, 949, 1000, ""},
                      GuardCase{2, 90, 950, 1001, ""}, GuardCase{3, 90, 4000000, 0, ""},
                      GuardCase{3, 90, 3145729, 7000000, bitrateStop(3145729, 7000000)},
                      GuardCase{3, 90, 3145728, 7000000, ""}, GuardCase{2, 90, -95, -100, bitrateStop(-95, -100)},
                      GuardCase{2, 90, -96, -100, ""}, GuardCase{2, 90, INT_MIN, INT_MIN, ""},
                      GuardCase{2, 90, INT_MAX, INT_MAX, bitrateStop(INT_MAX, INT_MAX)}));

struct LoneCase {
    int status;
    int bitrate;
    Dft dft;
    int asked;  // 0: no request
    bool warns;
};

void PrintTo(const LoneCase& c, std::ostream* os) {
    *os << "status " << c.status << " bitrate " << c.bitrate;
}

class LonePeer : public Download, public ::testing::WithParamInterface<LoneCase> {};

TEST_P(LonePeer, IsRaisedByAStepOrCutToTheFloor) {
    const LoneCase& c = GetParam();
    subscribe({{10, {stream(c.bitrate, 0, 500000)}}});
    const RandProbe probe(11);
    const Lines lines = adjust(c.status, 90, 400000, 800000);
    Lines expected = opening(1);
    if (c.warns) {
        expected.push_back(dftWarning(c.asked));
    }
    expected.push_back(c.asked == 0 ? kIncFailed : asked(10, c.dft, c.asked));
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(probe.draws(), 0) << "a single peer is chosen without a draw";
}

INSTANTIATE_TEST_SUITE_P(
    Download, LonePeer,
    ::testing::Values(LoneCase{2, 30719, k240P, 0, false}, LoneCase{2, 30720, k240P, 61440, false},
                      LoneCase{3, 481279, k480P, 511999, false}, LoneCase{2, 481280, k720P, 512000, false},
                      LoneCase{2, 2097152, k720P, 2127872, false}, LoneCase{2, 2097153, k240P, 0, false},
                      LoneCase{2, INT_MIN, k240P, 0, false}, LoneCase{4, 1024000, k720P, 819200, false},
                      LoneCase{5, 1024000, k720P, 716800, false}, LoneCase{4, 460800, k480P, 368640, false},
                      LoneCase{5, 460800, k480P, 322560, false}, LoneCase{5, 4000000, k720P, 2800000, false},
                      LoneCase{4, 194561, k240P, 102401, false}, LoneCase{4, 194560, k240P, 102400, false},
                      LoneCase{4, 102400, k240P, 102400, false}, LoneCase{5, 0, k240P, 102400, false},
                      LoneCase{4, INT_MAX, k480P, 2147391487, true}, LoneCase{5, INT_MAX, k480P, 2147391487, true},
                      LoneCase{4, INT_MIN, k480P, 2147391488, true},
                      LoneCase{4, 107374183, k480P, 107282023, true},  // b × 20 wraps negative
                      LoneCase{5, 71582789, k480P, 71490629, true}));  // b × 30 wraps negative

// --- increase selection ----------------------------------------------------------------------

const std::vector<uint64_t> kUids{10, 20, 30, 40};

TEST_F(Download, SpeakerIsRaisedFirstAndADrawnPeerJoins) {
    const VideoStreamInfo good = stream(300000, 512000);
    subscribe({{10, {good}}, {20, {good}}, {30, {good}}});
    for (bool speaking : {true, false}) {
        mgr.setSpeaker(speaking, 20);
        const RandProbe probe(speaking ? 3 : 4);
        const Lines lines = adjust(2);
        Lines expected = join({opening(3), {goodToInc(20, 300000, 512000, true)}});
        for (uint64_t uid : Uids{20, kUids[probe.pick(3)]}) {
            expected.push_back(asked(uid, k480P, 330720));
        }
        EXPECT_EQ(lines, expected) << "speaking " << speaking;
        EXPECT_EQ(probe.draws(), 1);
    }
}

TEST_F(Download, LocalSpeakerIsNeitherRaisedFirstNorByTheRules) {
    const VideoStreamInfo good = stream(300000, 512000);
    subscribe({{10, {good}}, {20, {good}}});
    mgr.init(10, 0);  // the local user now has a chosen stream
    mgr.setSpeaker(true, 10);
    const RandProbe probe(5);
    const Lines lines = adjust(2);
    Lines expected = join({opening(2), {goodToInc(20, 300000, 512000, false)}});
    for (uint64_t uid : Uids{20, kUids[probe.pick(2)]}) {
        expected.push_back(asked(uid, k480P, 330720));
    }
    EXPECT_EQ(lines, expected);
}

TEST_F(Download, PeerWithoutStreamsAtTheLowestUidEndsTheIncrease) {
    const VideoStreamInfo good = stream(300000, 512000);
    subscribe({{10, {}}, {20, {good}}, {30, {good}}});
    const RandProbe probe(7);
    Lines lines = adjust(2);
    EXPECT_EQ(lines, join({opening(3), {kIncFailed}}));
    EXPECT_EQ(probe.draws(), 0);

    mgr.setSpeaker(true, 30);
    std::set<size_t> picks;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const RandProbe drawn(seed);
        picks.insert(drawn.pick(3));
        lines = adjust(2);
        EXPECT_EQ(lines, join({opening(3), {goodToInc(30, 300000, 512000, true), asked(30, k480P, 330720)}}))
            << "the draw walks from uid 10 and stops there, seed " << seed;
        EXPECT_EQ(drawn.draws(), 1);
    }
    EXPECT_GT(picks.size(), 1u) << "the seeds should draw more than one index";
}

TEST_F(Download, FallbackTakesEveryTwoStreamPeerWhenNoneIsGood) {
    const std::vector<VideoStreamInfo> twoStreams{stream(716800, 1024000), stream(204800)};
    subscribe({{10, twoStreams}, {20, twoStreams}, {30, {stream(700000, 1024000)}}});
    for (unsigned seed = 1; seed <= 4; ++seed) {
        const RandProbe probe(seed);
        const Lines lines = adjust(2);
        Lines expected = opening(3);
        for (uint64_t uid : Uids{10, 20, kUids[probe.pick(3)]}) {
            expected.push_back(asked(uid, k720P, uid == 30 ? 730720 : 747520));
        }
        EXPECT_EQ(lines, expected) << "bitrates above 600000 are not good, without a message; seed " << seed;
    }
}

TEST_F(Download, DrawAloneRaisesThePeerAtTheDrawnIndex) {
    const VideoStreamInfo full = stream(500000, 512000);
    subscribe({{10, {full}}, {20, {full}}, {30, {full}}, {40, {full}}});
    for (unsigned seed = 1; seed <= 8; ++seed) {
        const RandProbe probe(seed);
        const Lines lines = adjust(2);
        Lines expected = opening(4);
        for (uint64_t uid : kUids) {
            expected.push_back(reachMax(uid, 500000, 512000, false));
        }
        expected.push_back(asked(kUids[probe.pick(4)], k720P, 530720));
        EXPECT_EQ(lines, expected) << "seed " << seed;
        EXPECT_EQ(probe.draws(), 1) << "seed " << seed;
    }
}

struct IncTestCase {
    uint64_t speaker;
    VideoStreamInfo peer10;
    VideoStreamInfo peer20;
    Lines expected;  // the test's lines and the definition map's
};

void PrintTo(const IncTestCase& c, std::ostream* os) {
    *os << "speaker " << c.speaker << " peer 10 at " << c.peer10.bitrate << " max " << c.peer10.maxbitrate
        << ", peer 20 at " << c.peer20.bitrate << " max " << c.peer20.maxbitrate;
}

class GoodToInc : public Download, public ::testing::WithParamInterface<IncTestCase> {};

TEST_P(GoodToInc, NeedsRoomForOneStepUnderTheMaximum) {
    const IncTestCase& c = GetParam();
    subscribe({{10, {c.peer10}}, {20, {c.peer20}}});
    mgr.setSpeaker(true, c.speaker);
    EXPECT_EQ(tagged(adjust(2), {"KTRDLPolicy::isGoodToInc", "KTRDFTMap::getDftInfoByBitrate"}), c.expected);
}

const VideoStreamInfo kGood20 = stream(300000, 512000);
const std::string kGood20Line = goodToInc(20, 300000, 512000, false);

INSTANTIATE_TEST_SUITE_P(
    Download, GoodToInc,
    ::testing::Values(
        IncTestCase{0, stream(600000, 630720), kGood20, {goodToInc(10, 600000, 630720, false)}},
        IncTestCase{0, stream(600000, 630719), kGood20, {reachMax(10, 600000, 630719, false), kGood20Line}},
        IncTestCase{0, stream(600001, 1000000), kGood20, {kGood20Line}},
        IncTestCase{0, stream(512000, 542720), kGood20, {goodToInc(10, 512000, 542720, false)}},
        IncTestCase{0, stream(512000, 542719), kGood20, {reachMax(10, 512000, 542719, false), kGood20Line}},
        IncTestCase{0, stream(300000, 0), kGood20, {goodToInc(10, 300000, 512000, false)}},
        IncTestCase{0, stream(500000, 0), kGood20, {reachMax(10, 500000, 512000, false), kGood20Line}},
        IncTestCase{0, stream(30720, 0), kGood20, {goodToInc(10, 30720, 256000, false)}},
        IncTestCase{0, stream(30720, INT_MIN), kGood20, {reachMax(10, 30720, INT_MIN, false), kGood20Line}},
        IncTestCase{20, kGood20, kGood20, {goodToInc(20, 300000, 512000, true)}},
        IncTestCase{20,
                    kGood20,
                    stream(0, 0),
                    {dftWarning(0), reachMax(20, 0, 512000, true), goodToInc(10, 300000, 512000, false)}},
        IncTestCase{
            20, kGood20, stream(-1, 0), {reachMax(20, -1, 256000, true), goodToInc(10, 300000, 512000, false)}}));

// --- decrease selection ----------------------------------------------------------------------

TEST_F(Download, ThreePeersAreCutTogetherThenTheCycleRestarts) {
    const VideoStreamInfo peer = stream(358400, 512000, 245760);
    subscribe({{10, {peer}}, {20, {peer}}, {30, {peer}}});
    Lines lines = adjust(5, 40);
    EXPECT_EQ(lines, join({opening(3), cut({10, 20, 30}, 358400, 245760, k480P, 250880)})) << "30 % beats 30720";
    EXPECT_TRUE(changed);
    lines = adjust(5, 40);
    EXPECT_EQ(lines, join({opening(3), {kReset}, cut({10, 20, 30}, 358400, 245760, k480P, 250880)}));
    EXPECT_FALSE(changed);
}

TEST_F(Download, TwoPeersShareTheStepAndRestartEveryTime) {
    const VideoStreamInfo peer = stream(150000, 0, 50000);
    subscribe({{10, {peer}}, {20, {peer}}});
    Lines lines = adjust(4);
    EXPECT_EQ(lines, join({opening(2), cut({10, 20}, 150000, 50000, k240P, 103920)})) << "46080 beats 20 %";
    lines = adjust(4);
    EXPECT_EQ(lines, join({opening(2), {kReset}, cut({10, 20}, 150000, 50000, k240P, 103920)}));
}

TEST_F(Download, FourPeersRotateThroughTheMemory) {
    const VideoStreamInfo peer = stream(358400, 512000, 245760);
    subscribe({{10, {peer}}, {20, {peer}}, {30, {peer}}, {40, {peer}}});
    Lines lines = adjust(4);
    EXPECT_EQ(lines, join({opening(4), cut({10, 20, 30}, 358400, 245760, k480P, 286720)}));
    lines = adjust(4);
    EXPECT_EQ(lines, join({opening(4), cut({40}, 358400, 245760, k480P, 266240)}))
        << "three remembered of four: no reset; 40 alone takes the whole step";
    lines = adjust(4);
    EXPECT_EQ(lines, join({opening(4), {kReset}, cut({10, 20, 30}, 358400, 245760, k480P, 286720)}));
}

TEST_F(Download, DepartedPeerKeepsTheMemoryUntilNobodyIsLeftToPick) {
    const VideoStreamInfo peer = stream(358400, 512000, 245760);
    subscribe({{10, {peer}}, {20, {peer}}, {30, {peer}}});
    adjust(4);
    mgr.removeUser(user(10));
    Lines lines = adjust(4);
    EXPECT_EQ(lines, join({opening(2), cut({20, 30}, 358400, 245760, k480P, 286720)}))
        << "three remembered, two present: the memory starts over";
    lines = adjust(4);
    EXPECT_EQ(lines, join({opening(2), {kReset}, cut({20, 30}, 358400, 245760, k480P, 286720)}));
}

TEST_F(Download, SpeakerIsSparedFromTheCutWhileOthersCanBeCut) {
    const VideoStreamInfo peer = stream(358400, 512000, 245760);
    subscribe({{10, {peer}}, {20, {peer}}, {30, {peer}}});
    mgr.setSpeaker(true, 20);
    Lines lines = adjust(4);
    EXPECT_EQ(lines, join({opening(3), cut({10, 30}, 358400, 245760, k480P, 286720)}));
    lines = adjust(4);
    EXPECT_EQ(lines, join({opening(3), {asked(20, k480P, 266240)}})) << "the others are remembered: the speaker's turn";
    lines = adjust(4);
    EXPECT_EQ(lines, join({opening(3), {kReset}, cut({10, 30}, 358400, 245760, k480P, 286720)}));
}

TEST_F(Download, SpeakerIsCutWhenNobodyElseCanBe) {
    subscribe({{10, {stream(200000, 0, 150000)}}, {20, {stream(358400, 512000, 245760)}}, {30, {stream(300000)}}});
    mgr.setSpeaker(true, 20);
    const Lines lines = adjust(4);
    EXPECT_EQ(lines, join({opening(3), {reachMin(10, 200000, 150000), asked(20, k480P, 266240)}}))
        << "nobody else is good to cut; a minbitrate of 0 is never good and says nothing";
}

TEST_F(Download, TwoStreamPeersAreCutRegardlessOfCountMemoryAndSpeaker) {
    mgr.initStreamInfosForDft({VideoStreamInfo{1, 0, 320, 240, 15, 200000, 256000, 10000}});  // floor 10000
    mgr.setDLNetStatus(1, 85, 0, 0);
    const std::vector<VideoStreamInfo> twoStreams{stream(716800, 1024000, 512000), stream(100000, 150000, 0)};
    subscribe({{10, twoStreams}, {20, twoStreams}, {30, twoStreams}, {40, twoStreams}});
    mgr.setSpeaker(true, 20);
    const Lines lines = adjust(4);
    Lines expected = opening(4);
    for (uint64_t uid : kUids) {
        expected.push_back(asked(uid, 320, 240, 76960, 256000, 10000));  // the step 92160 / 4 beats 20 %
    }
    EXPECT_EQ(lines, expected);
}

struct DecTestCase {
    int bitrate;
    int minbitrate;
    std::string line;  // empty: the test says nothing
    bool good;
};

void PrintTo(const DecTestCase& c, std::ostream* os) {
    *os << "bitrate " << c.bitrate << " min " << c.minbitrate;
}

class GoodToDec : public Download, public ::testing::WithParamInterface<DecTestCase> {};

TEST_P(GoodToDec, NeedsRoomAboveTheMinimum) {
    const DecTestCase& c = GetParam();
    subscribe({{10, {stream(c.bitrate, 0, c.minbitrate)}}, {20, {stream(358400, 512000, 245760)}}});
    mgr.setSpeaker(true, 20);  // picked only when 10 is not good
    const Lines lines = tagged(adjust(4), {"KTRDLPolicy::isGoodToDec"});
    EXPECT_EQ(lines, c.line.empty() ? Lines{} : Lines{c.line});
    EXPECT_EQ(requested(), Uids{c.good ? 10u : 20u});
}

INSTANTIATE_TEST_SUITE_P(
    Download, GoodToDec,
    ::testing::Values(DecTestCase{614400, 600000, "", true},
                      DecTestCase{614399, 522240, reachMin(10, 614399, 522240), false},
                      DecTestCase{614399, 522239, goodToDec(10, 614399, 522239), true},
                      DecTestCase{300000, 0, "", false}, DecTestCase{-5, 10, reachMin(10, -5, 10), false},
                      DecTestCase{300000, INT_MAX - 1000, goodToDec(10, 300000, INT_MAX - 1000), true},  // wraps
                      DecTestCase{1000, INT_MIN, goodToDec(10, 1000, INT_MIN), true}));

struct FallbackCase {
    const char* name;
    int score;  // at the choice: 85 gives the lower stream, 100 the upper
    std::vector<VideoStreamInfo> streams;
    VideoStreamInfo expected;  // bitrate 0: no request
};

void PrintTo(const FallbackCase& c, std::ostream* os) {
    *os << c.name;
}

class LowerStreamFallback : public Download, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(LowerStreamFallback, ServesACutBelowTheChosenMinimum) {
    const FallbackCase& c = GetParam();
    mgr.setDLNetStatus(1, c.score, 0, 0);
    subscribe({{10, c.streams}});
    const Lines lines = adjust(4);
    const VideoStreamInfo& e = c.expected;
    if (e.bitrate == 0) {
        EXPECT_EQ(lines, opening(1));
        EXPECT_TRUE(requests.empty());
        return;
    }
    EXPECT_EQ(lines, join({opening(1), {asked(10, e.width, e.height, e.bitrate, e.maxbitrate, e.minbitrate)}}));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(same(requests[10], e)) << "fps " << requests[10].fps << " dft " << requests[10].dft;
}

const VideoStreamInfo kLower240{1, 3, 320, 240, 15, 204800, 256000, 180000};

INSTANTIATE_TEST_SUITE_P(
    Download, LowerStreamFallback,
    ::testing::Values(
        FallbackCase{"ChosenLowerAskedAsReported", 85, {stream(716800, 1024000, 512000), kLower240}, kLower240},
        FallbackCase{"UpperInTheLowerClass",
                     100,
                     {stream(300000, 400000, 290000, 640, 360), stream(260000, 300000, 250000, 480, 270)},
                     stream(260000, 300000, 250000, 480, 270)},
        FallbackCase{"UpperInAnotherClass",
                     100,
                     {stream(530000, 1024000, 512000), stream(204800, 256000, 102400)},
                     VideoStreamInfo{}},
        FallbackCase{"FloorReachesTheMinimum",
                     85,
                     {stream(716800, 1024000, 512000), stream(102400, 256000, 102400)},
                     VideoStreamInfo{1, 0, 320, 240, 15, 102400, 256000, 102400}},
        FallbackCase{"SingleStreamBelowItsMinimum",
                     100,
                     {stream(300000, 512000, 290000)},
                     VideoStreamInfo{1, 0, 320, 240, 15, 207840, 256000, 102400}}));

// --- change flag -----------------------------------------------------------------------------

TEST_F(Download, ChangeFlagComparesCountsAndUids) {
    const VideoStreamInfo peer = stream(358400, 512000, 245760);
    mgr.addPeerReport(20, {peer});
    subscribe({{10, {peer}}});
    adjust(4);
    EXPECT_TRUE(changed) << "one request after none";
    mgr.setUsers({user(20)});
    adjust(4);
    EXPECT_TRUE(changed) << "as many requests, another peer";
    adjust(4);
    EXPECT_FALSE(changed);
    adjust(1);
    EXPECT_TRUE(changed) << "none after one";
    adjust(0);
    EXPECT_FALSE(changed);
}

TEST_F(Download, ChangeFlagComparesBitratesOfTheSamePeer) {
    // Each report is raised by one step: 330720, 330720, 300000, 330719, 361439, 330720.
    const std::vector<std::pair<int, bool>> reports{{300000, true},  {300000, false}, {269280, true},
                                                    {299999, false}, {330719, true},  {300000, false}};
    for (const auto& report : reports) {
        subscribe({{10, {stream(report.first)}}});
        adjust(2);
        EXPECT_EQ(changed, report.second) << "peer at " << report.first;
    }
}

TEST_F(Download, ChangeFlagMeasuresTheDistanceWithoutWrapping) {
    mgr.setDLNetStatus(1, 85, 0, 0);  // the lower stream is chosen
    subscribe({{10, {VideoStreamInfo{1, 0, 1, 1, 1, INT_MIN, 0, INT_MAX}, stream(0)}}});
    adjust(4, 85);
    EXPECT_EQ(requests[10].bitrate, INT_MIN) << "below its minimum the lower stream is asked as reported";
    mgr.addPeerReport(10, {VideoStreamInfo{1, 0, 1, 1, 1, INT_MAX, 0, INT_MAX}, stream(INT_MAX)});
    adjust(4, 85);
    EXPECT_EQ(requests[10].bitrate, INT_MAX);
    EXPECT_TRUE(changed) << "INT_MAX and INT_MIN lie 2^32 - 1 apart";
}

TEST_F(Download, RefusedAdjustmentKeepsTheLastRequests) {
    subscribe({{10, {stream(358400, 512000, 245760)}}});
    adjust(4);
    mgr.clearPeerReports();
    adjust(4);
    EXPECT_FALSE(changed);
    mgr.addPeerReport(10, {stream(358400, 512000, 245760)});
    adjust(4);
    EXPECT_FALSE(changed) << "compared with the result before the refused adjustment";
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/KTRMgr.h"
#include "core/KTRNetMgr.h"
#include "core/KTRPeerMgr.h"
#include "core/KTRSceneInfo.h"
#include "support/LogCapture.h"

using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

VideoStreamInfo stream(int width, int height, int bitrate) {
    return VideoStreamInfo{1, 0, width, height, 15, bitrate, bitrate, bitrate};
}

KTRUserInfo user(uint64_t uid, uint16_t dt, const std::string& ext = "") {
    return KTRUserInfo{uid, 0, dt, ext};
}

// --- manager ---------------------------------------------------------------------------------

TEST(Manager, InitLogsAndSetsTheLocalUser) {
    LogCapture log;
    KTRMgr mgr;
    mgr.init(18446744073709551615ull, -3);
    EXPECT_EQ(log.take(), std::vector<std::string>{"I [KTRMgr::init]: ktr init, uid=18446744073709551615, dt=-3"});
    EXPECT_EQ(mgr.sceneInfo().getUid(), 18446744073709551615ull);
    EXPECT_EQ(mgr.sceneInfo().getDt(), -3);
}

TEST(Manager, UserLinesStartOnceTheSceneHoldsFifteenUsers) {
    LogCapture log;
    KTRMgr mgr;
    mgr.init(1, 0);
    for (uint64_t uid = 100; uid < 114; ++uid) {
        mgr.addUser(user(uid, 0));
    }
    mgr.addUser(user(114, 2));
    EXPECT_EQ(log.take().size(), 1u) << "only init logged: the scene held 14 users before the 15th";
    mgr.addUser(user(115, 7));
    mgr.removeUser(user(115, 7));
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRMgr::addUser]: ktr add user, uid=115, dt=7",
                              "I [KTRMgr::removeUser]: ktr remove user, uid=115, dt=7",
                              "I [KTRDLPolicy::removePeer]: removePeer, uid=115",
                          }));
    mgr.removeUser(user(114, 2));
    EXPECT_EQ(log.take().size(), 2u) << "15 users before this removal; the download policy logs too";
    mgr.removeUser(user(113, 0));
    EXPECT_EQ(log.take().size(), 1u) << "14 users before this removal; only the download policy logs";
    EXPECT_EQ(mgr.sceneInfo().getUserCount(), 13u);
}

TEST(Manager, PeerReportOfTheLocalUserIsRefused) {
    LogCapture log;
    KTRMgr mgr;
    mgr.init(42, 0);
    mgr.addPeerReport(42, {stream(640, 480, 300000)});
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRMgr::init]: ktr init, uid=42, dt=0",
                              "W [KTRMgr::addPeerReport]: can not add myself as a peer, uid=42",
                          }));
    EXPECT_EQ(mgr.peerMgr().getPeerCount(), 0u);
}

TEST(Manager, PeerReportLogsEveryStreamAndStoresTheList) {
    KTRMgr mgr;
    LogCapture log;
    mgr.addPeerReport(7, {stream(1280, 720, 900000), stream(320, 180, 150000)});
    mgr.addPeerReport(8, {});
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRMgr::addPeerReport]: krt add peer report, peer=7, width=1280, height=720, "
                              "bitrate=900000",
                              "I [KTRMgr::addPeerReport]: krt add peer report, peer=7, width=320, height=180, "
                              "bitrate=150000",
                          }));
    EXPECT_EQ(mgr.peerMgr().getPeerCount(), 2u);
    EXPECT_TRUE(mgr.peerMgr().hasMultiStreams(7));
    mgr.clearPeerReports();
    EXPECT_EQ(mgr.peerMgr().getPeerCount(), 0u);
}

TEST(Manager, SharingAndSpeakerAreLoggedAndStored) {
    LogCapture log;
    KTRMgr mgr;
    mgr.setSharing(true, 9);
    mgr.setSpeaker(false, 10);
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRMgr::setSharing]: ktr set sharing, sharing=1, uid=9",
                              "I [KTRMgr::setSpeaker]: ktr set speaker, speaker=0, uid=10",
                          }));
    EXPECT_TRUE(mgr.sceneInfo().isSharing());
    EXPECT_FALSE(mgr.sceneInfo().isSpeaking());
    EXPECT_EQ(mgr.sceneInfo().getSpeakerUid(), 10u);
}

TEST(Manager, RemoveUserDropsThePeerByUidButTheSceneRecordOnlyByUidAndDt) {
    KTRMgr mgr;
    mgr.init(1, 0);
    mgr.addUser(user(5, 2));
    mgr.addPeerReport(5, {stream(640, 480, 300000)});
    mgr.removeUser(user(5, 3));
    EXPECT_EQ(mgr.peerMgr().getPeerCount(), 0u);
    EXPECT_EQ(mgr.sceneInfo().getUserCount(), 1u);
}

TEST(Manager, SetUsersReplacesTheSubscriptionListAndFetchesUnknownPeers) {
    KTRMgr mgr;
    mgr.addPeerReport(3, {stream(640, 480, 300000)});
    LogCapture log;
    mgr.setUsers({user(3, 1), user(0, 1), user(4, 1)});
    EXPECT_TRUE(mgr.sceneInfo().isSubUser(0)) << "uid 0 is stored in the scene";
    EXPECT_TRUE(mgr.sceneInfo().isSubUser(3));
    EXPECT_FALSE(mgr.sceneInfo().isSubUser(5));
    const std::vector<std::string> lines = log.take();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "E [KTRPeerMgr::getPeer]: ktr get peer failed, uid=4"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "E [KTRPeerMgr::getPeer]: ktr get peer failed, uid=0"), 0);
}

TEST(Manager, SetUsersAddsEachListedPeerToTheDownloadPolicyOnce) {
    KTRMgr mgr;
    mgr.init(1, 0);
    mgr.addPeerReport(6, {stream(640, 480, 300000)});
    LogCapture log;
    mgr.setUsers({user(6, 1), user(0, 1), user(6, 2)});
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRDLPolicy::clear]: ktrdk: clear download policy selects.",
                              "I [KTRDLPolicy::addPeer]: ktrsdk: addPeer uid=6, infos.size(1)",
                          }))
        << "uid 6 once for two device types; uid 0 never";
}

// --- scene -----------------------------------------------------------------------------------

TEST(Scene, UsersAreIdentifiedByUidAndDeviceType) {
    KTRSceneInfo scene;
    scene.addUser(user(0, 1));
    EXPECT_EQ(scene.getUserCount(), 0u) << "uid 0 is the local user before init";
    scene.addUser(user(5, 1, "first"));
    scene.addUser(user(5, 1, "second"));
    EXPECT_EQ(scene.getUserCount(), 1u);
    scene.addUser(user(5, 2));
    EXPECT_EQ(scene.getUserCount(), 2u);
    scene.removeUser(user(5, 3));
    EXPECT_EQ(scene.getUserCount(), 2u);
    scene.removeUser(user(5, 1, "other ext"));
    EXPECT_EQ(scene.getUserCount(), 1u);
}

TEST(Scene, SubscriptionListIsIndependentOfTheUserSet) {
    KTRSceneInfo scene;
    scene.setUid(9);
    scene.addUser(user(5, 1));
    scene.setUsers({user(9, 1), user(6, 4), user(6, 5), user(6, 4)});
    EXPECT_EQ(scene.getSubUserCount(), 3u) << "the local uid is kept; the first (uid, dt) record wins";
    EXPECT_TRUE(scene.isSubUser(6));
    EXPECT_TRUE(scene.isSubUser(9));
    EXPECT_FALSE(scene.isSubUser(5));
    scene.setUsers({});
    EXPECT_FALSE(scene.isSubUser(6));
    EXPECT_EQ(scene.getUserCount(), 1u);
}

TEST(Scene, SelfTestsCompareWithTheCurrentLocalUid) {
    KTRSceneInfo scene;
    scene.setUid(3);
    scene.setSharing(false, 3);
    EXPECT_FALSE(scene.isSelfSharing());
    scene.setSharing(true, 3);
    EXPECT_TRUE(scene.isSelfSharing());
    scene.setSpeaker(true, 3);
    EXPECT_TRUE(scene.isSelfSpeaking());
    scene.setUid(4);
    EXPECT_FALSE(scene.isSelfSharing());
    EXPECT_FALSE(scene.isSelfSpeaking());
    EXPECT_TRUE(scene.isSharing());
}

TEST(Scene, OtherUserWithDeviceType1IgnoresTheLocalUid) {
    KTRSceneInfo scene;
    scene.addUser(user(7, 1));  // added before init made 7 the local user
    scene.addUser(user(8, 4));
    scene.setUid(7);
    EXPECT_FALSE(scene.hasOtherUserWithDt1());
    scene.addUser(user(9, 1));
    EXPECT_TRUE(scene.hasOtherUserWithDt1());
}

// --- network estimates -----------------------------------------------------------------------

TEST(NetEstimate, DefaultsAndGoodScoreThreshold) {
    KTRNetMgr net(false);
    EXPECT_EQ(net.getNetStatus(), 1);
    EXPECT_EQ(net.getScore(), 100);
    EXPECT_EQ(net.getBitrate(), 300000);
    EXPECT_EQ(net.getMaxBitrate(), 0);
    EXPECT_TRUE(net.isGoodNet());
    net.set(4, 85, -1, 2147483647);
    EXPECT_FALSE(net.isGoodNet());
    net.set(4, 86, -1, 2147483647);
    EXPECT_TRUE(net.isGoodNet());
    LogCapture log;
    KTRNetMgr(true).dump();
    net.dump();
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRNetMgr::dump]: ktr net mgr dump, upload=1, net_status=1, score=100, "
                              "bitrate=300000, max_bitrate=0",
                              "I [KTRNetMgr::dump]: ktr net mgr dump, upload=0, net_status=4, score=86, "
                              "bitrate=-1, max_bitrate=2147483647",
                          }));
}

// --- peer registry ---------------------------------------------------------------------------

struct LowerStreamCase {
    std::vector<int> bitrates;
    size_t expectedIndex;
};

void PrintTo(const LowerStreamCase& c, std::ostream* os) {
    *os << "bitrates";
    for (int b : c.bitrates) {
        *os << " " << b;
    }
}

class PeerLowerStream : public ::testing::TestWithParam<LowerStreamCase> {};

TEST_P(PeerLowerStream, LooksAtTheFirstTwoStreamsOnly) {
    const LowerStreamCase& c = GetParam();
    KTRPeerMgr peers(nullptr);
    std::vector<VideoStreamInfo> streams;
    for (size_t i = 0; i < c.bitrates.size(); ++i) {
        streams.push_back(stream(static_cast<int>(i) + 1, 0, c.bitrates[i]));
    }
    peers.setPeerInfos(11, streams);
    VideoStreamInfo out{};
    EXPECT_TRUE(peers.getPeerSvc(11, out));
    EXPECT_EQ(out.width, static_cast<int>(c.expectedIndex) + 1);
    EXPECT_EQ(peers.hasMultiStreams(11), c.bitrates.size() > 1);
}

INSTANTIATE_TEST_SUITE_P(Registry, PeerLowerStream,
                         ::testing::Values(LowerStreamCase{{500}, 0}, LowerStreamCase{{500, 100}, 1},
                                           LowerStreamCase{{100, 500}, 0}, LowerStreamCase{{300, 300}, 0},
                                           LowerStreamCase{{500, 400, 1}, 1}, LowerStreamCase{{-5, 7}, 0}));

TEST(PeerRegistry, UnknownPeerLogsAndLeavesTheOutputAlone) {
    KTRPeerMgr peers(nullptr);
    LogCapture log;
    std::vector<VideoStreamInfo> list{stream(1, 1, 1)};
    VideoStreamInfo out = stream(2, 2, 2);
    EXPECT_FALSE(peers.getPeer(12, list));
    EXPECT_FALSE(peers.getPeerSvc(12, out));
    EXPECT_FALSE(peers.hasMultiStreams(12));
    peers.removePeer(12);
    peers.clear();
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(out.width, 2);
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "E [KTRPeerMgr::getPeer]: ktr get peer failed, uid=12",
                              "E [KTRPeerMgr::getPeerSvc]: ktr get peer failed, uid=12",
                          }));
}

TEST(PeerRegistry, NewReportReplacesTheOldListEntirely) {
    KTRPeerMgr peers(nullptr);
    peers.setPeerInfos(3, {stream(1, 1, 1), stream(2, 2, 2)});
    peers.setPeerInfos(3, {});
    std::vector<VideoStreamInfo> list{stream(9, 9, 9)};
    EXPECT_TRUE(peers.getPeer(3, list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(peers.getPeerCount(), 1u);
    EXPECT_FALSE(peers.hasMultiStreams(3));
}

}  // namespace

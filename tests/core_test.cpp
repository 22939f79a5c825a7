#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/KTRMgr.h"
#include "core/KTRNetMgr.h"
#include "core/KTRPeerMgr.h"
#include "core/KTRSceneInfo.h"
#include "support/LogCapture.h"
#include "support/Records.h"

using tarn::video::VideoStreamInfo;
using Lines = std::vector<std::string>;

namespace {

VideoStreamInfo stream(int width, int height, int bitrate) {
    return camera(width, height).fps(15).bitrate(bitrate).between(bitrate, bitrate);
}

TEST(Manager, EventsAreLoggedAndTheLocalUserCannotBeAPeer) {
    LogCapture log;
    KTRMgr mgr;
    mgr.init(18446744073709551615ull, -3);
    mgr.setSharing(true, 9);
    mgr.setSpeaker(false, 10);
    mgr.addPeerReport(18446744073709551615ull, {stream(640, 480, 300000)});
    mgr.addPeerReport(7, {stream(1280, 720, 900000), stream(320, 180, 150000)});
    mgr.addPeerReport(8, {});
    EXPECT_EQ(log.take(),
              (Lines{"I [KTRMgr::init]: ktr init, uid=18446744073709551615, dt=-3",
                     "I [KTRMgr::setSharing]: ktr set sharing, sharing=1, uid=9",
                     "I [KTRMgr::setSpeaker]: ktr set speaker, speaker=0, uid=10",
                     "W [KTRMgr::addPeerReport]: can not add myself as a peer, uid=18446744073709551615",
                     "I [KTRMgr::addPeerReport]: krt add peer report, peer=7, width=1280, height=720, bitrate=900000",
                     "I [KTRMgr::addPeerReport]: krt add peer report, peer=7, width=320, height=180, bitrate=150000"}));
    EXPECT_EQ(mgr.peerMgr().getPeerCount(), 2u) << "7 and 8 (empty list), not the local user";
    EXPECT_EQ(mgr.sceneInfo().getSpeakerUid(), 10u);
    mgr.clearPeerReports();
    EXPECT_EQ(mgr.peerMgr().getPeerCount(), 0u);
}

TEST(Manager, UserLinesStartOnceTheSceneHoldsFifteenUsers) {
    KTRMgr mgr;
    mgr.init(1, 0);
    for (uint64_t uid = 100; uid < 114; ++uid) {
        mgr.addUser(user(uid, 0));
    }
    LogCapture log;
    mgr.addUser(user(114, 2));
    EXPECT_EQ(log.take(), Lines{}) << "14 users before";
    mgr.addUser(user(115, 7));
    mgr.removeUser(user(115, 7));
    EXPECT_EQ(log.take(), (Lines{"I [KTRMgr::addUser]: ktr add user, uid=115, dt=7",
                                 "I [KTRMgr::removeUser]: ktr remove user, uid=115, dt=7",
                                 "I [KTRDLPolicy::removePeer]: removePeer, uid=115"}));
    mgr.removeUser(user(114, 2));
    mgr.removeUser(user(113, 0));
    EXPECT_EQ(log.take().size(), 3u) << "15 users before the first removal, 14 before the second";
}

TEST(Manager, RemoveUserDropsThePeerByUidAndTheSceneRecordByUidAndDt) {
    KTRMgr mgr;
    mgr.addUser(user(5, 2));
    mgr.addPeerReport(5, {stream(640, 480, 300000)});
    mgr.removeUser(user(5, 3));
    EXPECT_EQ(mgr.peerMgr().getPeerCount(), 0u);
    EXPECT_EQ(mgr.sceneInfo().getUserCount(), 1u);
}

TEST(Manager, SetUsersAddsEachListedPeerOnceAndNeverUidZero) {
    KTRMgr mgr;
    mgr.init(1, 0);
    mgr.addPeerReport(6, {stream(640, 480, 300000)});
    LogCapture log;
    mgr.setUsers({user(6, 1), user(0, 1), user(6, 2), user(4, 1)});
    EXPECT_EQ(log.take(), (Lines{"I [KTRDLPolicy::clear]: ktrdk: clear download policy selects.",
                                 "I [KTRDLPolicy::addPeer]: ktrsdk: addPeer uid=6, infos.size(1)",
                                 "E [KTRPeerMgr::getPeer]: ktr get peer failed, uid=4",
                                 "I [KTRDLPolicy::addPeer]: ktrsdk: addPeer uid=4, infos.size(0)"}));
    EXPECT_TRUE(mgr.sceneInfo().isSubUser(0)) << "uid 0 is kept in the scene";
}

TEST(Scene, UsersAreIdentifiedByUidAndDeviceType) {
    KTRSceneInfo scene;
    scene.addUser(user(0, 1));
    EXPECT_EQ(scene.getUserCount(), 0u) << "uid 0 is the local user before init";
    scene.addUser(user(5, 1, "first"));
    scene.addUser(user(5, 1, "second"));
    scene.addUser(user(5, 2));
    EXPECT_EQ(scene.getUserCount(), 2u);
    scene.removeUser(user(5, 3));
    scene.removeUser(user(5, 1, "other ext"));
    EXPECT_EQ(scene.getUserCount(), 1u);

    scene.setUid(9);
    scene.setUsers({user(9, 1), user(6, 4), user(6, 5), user(6, 4)});
    EXPECT_EQ(scene.getSubUserCount(), 3u) << "the local uid is kept; the first (uid, dt) record wins";
    EXPECT_TRUE(scene.isSubUser(6) && scene.isSubUser(9) && !scene.isSubUser(5));
    scene.setUsers({});
    EXPECT_FALSE(scene.isSubUser(6));
    EXPECT_EQ(scene.getUserCount(), 1u) << "the subscription list is independent of the user set";
}

TEST(Scene, SelfTestsCompareWithTheCurrentLocalUid) {
    KTRSceneInfo scene;
    scene.addUser(user(3, 1));  // before init makes 3 the local user
    scene.setUid(3);
    scene.setSharing(false, 3);
    EXPECT_FALSE(scene.isSelfSharing());
    scene.setSharing(true, 3);
    scene.setSpeaker(true, 3);
    EXPECT_TRUE(scene.isSelfSharing() && scene.isSelfSpeaking());
    EXPECT_FALSE(scene.hasOtherUserWithDt1());
    scene.setUid(4);
    EXPECT_FALSE(scene.isSelfSharing() || scene.isSelfSpeaking());
    EXPECT_TRUE(scene.hasOtherUserWithDt1());
}

TEST(NetEstimate, IsGoodAboveScore85AndDumpsItsDefaults) {
    KTRNetMgr net(false);
    EXPECT_TRUE(net.isGoodNet());
    net.set(4, 85, -1, 2147483647);
    EXPECT_FALSE(net.isGoodNet());
    net.set(4, 86, -1, 2147483647);
    EXPECT_TRUE(net.isGoodNet());
    LogCapture log;
    KTRNetMgr(false).dump();
    KTRNetMgr(true).dump();
    EXPECT_EQ(log.take(),
              (Lines{"I [KTRNetMgr::dump]: ktr net mgr dump, upload=0, net_status=1, score=100, bitrate=300000, "
                     "max_bitrate=0",
                     "I [KTRNetMgr::dump]: ktr net mgr dump, upload=1, net_status=1, score=100, bitrate=300000, "
                     "max_bitrate=0"}));
}

// A peer's published bitrates, in its order, and which stream (numbered from 1) is its lower one.
struct LowerStreamCase {
    std::string name;
    std::vector<int> bitrates;
    int lower = 0;
    LowerStreamCase publishes(std::vector<int> rates) const { return {name, std::move(rates), lower}; }
    LowerStreamCase lowerIs(int number) const { return {name, bitrates, number}; }
};

LowerStreamCase peer(const std::string& name) {
    return {name, {}, 0};
}

void PrintTo(const LowerStreamCase& c, std::ostream* os) {
    for (int b : c.bitrates) {
        *os << b << " ";
    }
}

class PeerLowerStream : public ::testing::TestWithParam<LowerStreamCase> {};

TEST_P(PeerLowerStream, IsTheLowerOfTheFirstTwoAndTheFirstOnATie) {
    const LowerStreamCase& c = GetParam();
    KTRPeerMgr peers;
    std::vector<VideoStreamInfo> streams;
    for (int b : c.bitrates) {
        streams.push_back(stream(static_cast<int>(streams.size()) + 1, 0, b));  // the width numbers the stream
    }
    peers.setPeerInfos(11, streams);
    VideoStreamInfo out{};
    EXPECT_TRUE(peers.getPeerSvc(11, out));
    EXPECT_EQ(out.width, c.lower);
    EXPECT_EQ(peers.hasMultiStreams(11), c.bitrates.size() > 1);
}

INSTANTIATE_TEST_SUITE_P(Registry, PeerLowerStream,
                         ::testing::Values(peer("OnlyStreamIsTheLower").publishes({500}).lowerIs(1),
                                           peer("CheaperSecondIsTheLower").publishes({500, 100}).lowerIs(2),
                                           peer("CheaperFirstIsTheLower").publishes({100, 500}).lowerIs(1),
                                           peer("TieGoesToTheFirst").publishes({300, 300}).lowerIs(1),
                                           peer("ThirdStreamIsNotCompared").publishes({500, 400, 1}).lowerIs(2),
                                           peer("NegativeBitrateIsTheLower").publishes({-5, 7}).lowerIs(1)),
                         [](const auto& row) { return row.param.name; });

TEST(PeerRegistry, UnknownPeerLogsOnceAndLeavesTheOutputAlone) {
    KTRPeerMgr peers;
    peers.setPeerInfos(3, {stream(1, 1, 1), stream(2, 2, 2)});
    peers.setPeerInfos(3, {});
    ASSERT_NE(peers.getPeer(3), nullptr);
    EXPECT_TRUE(peers.getPeer(3)->empty()) << "a new report replaces the old list entirely";
    LogCapture log;
    VideoStreamInfo out = stream(2, 2, 2);
    EXPECT_FALSE(peers.getPeer(12) != nullptr || peers.getPeerSvc(12, out) || peers.hasMultiStreams(12));
    EXPECT_EQ(out.width, 2);
    EXPECT_EQ(log.take(), (Lines{"E [KTRPeerMgr::getPeer]: ktr get peer failed, uid=12",
                                 "E [KTRPeerMgr::getPeerSvc]: ktr get peer failed, uid=12"}));
}

}  // namespace

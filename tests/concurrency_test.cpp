// Several threads on one instance, and threads on instances of their own. Run under ThreadSanitizer by
// the test command; here it checks that nothing deadlocks and no event is lost.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "IKTRSDK.h"
#include "support/LogCapture.h"

using tarn::video::IKTRSDK;
using tarn::video::KTRConfig;
using tarn::video::KTRSDKFactory;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

constexpr int kThreads = 4;
constexpr int kCallsPerThread = 1500;

struct Sdk {
    IKTRSDK* sdk = KTRSDKFactory::createKTRSDK();
    ~Sdk() { KTRSDKFactory::releaseKTRSDK(sdk); }
    IKTRSDK& operator*() const { return *sdk; }
};

const std::vector<VideoStreamInfo> kTwoStreams{{1, 0, 1280, 720, 30, 716800, 1024000, 512000},
                                               {1, 0, 320, 240, 15, 204800, 256000, 102400}};

// One call of each of the 19 operations, chosen by op, with arguments drawn from random.
void callOperation(IKTRSDK& sdk, int op, std::mt19937& random) {
    std::uniform_int_distribution<int> small(0, 7);
    std::uniform_int_distribution<int> bitrate(-1000, 3500000);
    const uint64_t uid = static_cast<uint64_t>(small(random));
    switch (op) {
        case 0:
            sdk.init(uid, small(random));
            break;
        case 1:
            sdk.setSceneType(small(random));
            break;
        case 2: {
            KTRConfig config;
            config.forceHD = small(random) == 0;
            sdk.setConfig(config);
            break;
        }
        case 3:
            sdk.addUser(KTRUserInfo{uid, 0, static_cast<uint16_t>(small(random)), "x"});
            break;
        case 4:
            sdk.removeUser(KTRUserInfo{uid, 0, static_cast<uint16_t>(small(random)), ""});
            break;
        case 5:
            sdk.setUsers({KTRUserInfo{uid, 0, 8, ""}, KTRUserInfo{uid + 1, 0, 1, ""}});
            break;
        case 6:
            sdk.setSharing(small(random) < 2, uid);
            break;
        case 7:
            sdk.setSpeaker(small(random) < 4, uid);
            break;
        case 8: {
            std::map<uint64_t, VideoStreamInfo> requests;
            sdk.adjustDLPolicy(1, requests);
            break;
        }
        case 9: {
            std::vector<VideoStreamInfo> streams;
            sdk.adjustULPolicy(small(random) == 0 ? 2 : 1, streams);
            break;
        }
        case 10: {
            std::set<uint64_t> hd, ld;
            sdk.getHDUids(hd, ld);
            break;
        }
        case 11:
            sdk.addSelectReq(640, 480, 20, bitrate(random));
            break;
        case 12:
            sdk.clearSelectReqs();
            break;
        case 13:
            sdk.addPeerReport(uid, kTwoStreams);
            break;
        case 14:
            sdk.clearPeerReports();
            break;
        case 15:
            sdk.setULNetStatus(small(random) % 6, 80 + small(random), bitrate(random), bitrate(random));
            break;
        case 16:
            sdk.setDLNetStatus(small(random) % 6, 80 + small(random), bitrate(random), bitrate(random));
            break;
        case 17:
            sdk.initStreamInfosForDft({VideoStreamInfo{1, 0, 640, 360, 20, 358400, 512000, 245760}});
            break;
        case 18: {
            VideoStreamInfo out{};
            sdk.getDftInfoByBitrate(bitrate(random), out);
            break;
        }
    }
}

void discard(xlog::Level, const char*, void*) {}

TEST(Concurrency, ThreadsShareOneInstanceWithoutLosingEvents) {
    xlog::setSink(&discard, nullptr);
    Sdk sdk;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&sdk, t] {
            std::mt19937 random(static_cast<unsigned>(t));
            std::uniform_int_distribution<int> op(0, 18);
            for (int i = 0; i < kCallsPerThread; ++i) {
                callOperation(*sdk, op(random), random);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    // Every thread reports its own peers at once; the registry must end up with all of them.
    (*sdk).clearPeerReports();
    (*sdk).init(0, 0);
    threads.clear();
    constexpr int kPeersPerThread = 50;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&sdk, t] {
            for (int i = 0; i < kPeersPerThread; ++i) {
                (*sdk).addPeerReport(1000u + static_cast<uint64_t>(t * kPeersPerThread + i), kTwoStreams);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    LogCapture log;
    std::map<uint64_t, VideoStreamInfo> requests;
    (*sdk).setDLNetStatus(0, 0, 0, 0);
    (*sdk).adjustDLPolicy(1, requests);
    const std::vector<std::string> lines = log.take();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "I [KTRDLPolicy::adjust]: ktrsdk: download adjust peerCount=" +
                                 std::to_string(kThreads * kPeersPerThread));
}

// The upload decisions of a fixed sequence of events; no random pick takes part.
std::vector<std::vector<int>> uploadDecisions(IKTRSDK& sdk, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> bitrate(50000, 1100000);
    std::vector<std::vector<int>> decisions;
    sdk.init(1, 8);
    for (int i = 0; i < 300; ++i) {
        sdk.addSelectReq(640, 480, 20, bitrate(random));
        if (i % 4 == 3) {
            std::vector<VideoStreamInfo> streams;
            const bool changed = sdk.adjustULPolicy(1, streams);
            std::vector<int> decision{changed ? 1 : 0};
            for (const VideoStreamInfo& s : streams) {
                decision.push_back(s.bitrate);
                decision.push_back(s.dft);
            }
            decisions.push_back(decision);
            sdk.clearSelectReqs();
        }
        if (i % 50 == 10) {
            sdk.addUser(KTRUserInfo{static_cast<uint64_t>(100 + i), 0, 8, ""});
        }
    }
    return decisions;
}

TEST(Concurrency, InstancesOnTheirOwnThreadsDecideAsAlone) {
    xlog::setSink(&discard, nullptr);
    std::vector<std::vector<std::vector<int>>> alone(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        Sdk sdk;
        alone[t] = uploadDecisions(*sdk, static_cast<unsigned>(t));
    }
    std::vector<std::vector<std::vector<int>>> together(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&together, t] {
            Sdk sdk;
            together[t] = uploadDecisions(*sdk, static_cast<unsigned>(t));
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(together[t], alone[t]) << "thread " << t;
    }
}

}  // namespace

// Several threads on one instance, and threads on instances of their own. Run under ThreadSanitizer by
// the test command; here it checks that nothing deadlocks and no event is lost.
#include <gtest/gtest.h>

#include <atomic>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "IKTRSDK.h"
#include "support/LogCapture.h"
#include "support/Records.h"

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

const std::vector<VideoStreamInfo> kTwoStreams{camera(1280, 720).fps(30).bitrate(716800).between(512000, 1024000),
                                               camera(320, 240).fps(15).bitrate(204800).between(102400, 256000)};

using Operation = void (*)(IKTRSDK&, std::mt19937&);

int small(std::mt19937& random) {
    return std::uniform_int_distribution<int>(0, 7)(random);
}
int bitrate(std::mt19937& random) {
    return std::uniform_int_distribution<int>(-1000, 3500000)(random);
}
uint64_t uid(std::mt19937& random) {
    return static_cast<uint64_t>(small(random));
}
// The uid is drawn before the device type.
KTRUserInfo drawnUser(std::mt19937& random, const char* ext) {
    const uint64_t id = uid(random);
    return user(id, static_cast<uint16_t>(small(random)), ext);
}

// Each of the 19 operations, with arguments drawn from the generator.
const Operation kOperations[] = {
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.init(uid(r), small(r)); },
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.setSceneType(small(r)); },
    [](IKTRSDK& sdk, std::mt19937& r) {
        KTRConfig c;
        c.forceHD = small(r) == 0;
        sdk.setConfig(c);
    },
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.addUser(drawnUser(r, "x")); },
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.removeUser(drawnUser(r, "")); },
    [](IKTRSDK& sdk, std::mt19937& r) {
        const uint64_t u = uid(r);
        sdk.setUsers({user(u, 8), user(u + 1, 1)});
    },
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.setSharing(small(r) < 2, uid(r)); },
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.setSpeaker(small(r) < 4, uid(r)); },
    [](IKTRSDK& sdk, std::mt19937&) {
        std::map<uint64_t, VideoStreamInfo> m;
        sdk.adjustDLPolicy(1, m);
    },
    [](IKTRSDK& sdk, std::mt19937& r) {
        std::vector<VideoStreamInfo> v;
        sdk.adjustULPolicy(small(r) ? 1 : 2, v);
    },
    [](IKTRSDK& sdk, std::mt19937&) {
        std::set<uint64_t> hd, ld;
        sdk.getHDUids(hd, ld);
    },
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.addSelectReq(640, 480, 20, bitrate(r)); },
    [](IKTRSDK& sdk, std::mt19937&) { sdk.clearSelectReqs(); },
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.addPeerReport(uid(r), kTwoStreams); },
    [](IKTRSDK& sdk, std::mt19937&) { sdk.clearPeerReports(); },
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.setULNetStatus(small(r) % 6, 80 + small(r), bitrate(r), bitrate(r)); },
    [](IKTRSDK& sdk, std::mt19937& r) { sdk.setDLNetStatus(small(r) % 6, 80 + small(r), bitrate(r), bitrate(r)); },
    [](IKTRSDK& sdk, std::mt19937&) {
        sdk.initStreamInfosForDft({camera(640, 360).fps(20).bitrate(358400).between(245760, 512000)});
    },
    [](IKTRSDK& sdk, std::mt19937& r) {
        VideoStreamInfo out{};
        sdk.getDftInfoByBitrate(bitrate(r), out);
    },
};

void discard(xlog::Level, const char*, void*) {}

// Runs body(t) for t = 0 .. kThreads - 1, each on a thread of its own, all at once.
template <typename Body>
void onThreads(const Body& body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(body, t);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

TEST(Concurrency, ThreadsShareOneInstanceWithoutLosingEvents) {
    xlog::setSink(&discard, nullptr);
    Sdk sdk;
    onThreads([&sdk](int t) {
        std::mt19937 random(static_cast<unsigned>(t));
        std::uniform_int_distribution<size_t> op(0, std::size(kOperations) - 1);
        for (int i = 0; i < kCallsPerThread; ++i) {
            kOperations[op(random)](*sdk, random);
        }
    });

    // Every thread reports its own peers at once; the registry must end up with all of them.
    (*sdk).clearPeerReports();
    (*sdk).init(0, 0);
    constexpr int kPeersPerThread = 50;
    onThreads([&sdk](int t) {
        for (int i = 0; i < kPeersPerThread; ++i) {
            (*sdk).addPeerReport(1000u + static_cast<uint64_t>(t * kPeersPerThread + i), kTwoStreams);
        }
    });
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
            sdk.addUser(user(static_cast<uint64_t>(100 + i), 8));
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
    onThreads([&together](int t) {
        Sdk sdk;
        together[t] = uploadDecisions(*sdk, static_cast<unsigned>(t));
    });
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(together[t], alone[t]) << "thread " << t;
    }
}

}  // namespace

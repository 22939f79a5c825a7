// Fails the n-th allocation, for every n across a realistic meeting, and checks that the failure reaches
// the host as std::bad_alloc, that the instance stays usable, and that it stays consistent: once the host
// repeats the failed call, every later decision is the one of a run without failures. Leaks are caught by
// LeakSanitizer in the sanitizer build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "IKTRSDK.h"
#include "support/Records.h"
#include "xlog/logsdk.h"

namespace {

// Allocation counting is armed only while a scenario step runs.
bool g_armed = false;
long g_allocations = 0;
long g_failAt = 0;  // 0: never fail

void* allocate(std::size_t size) {
    if (g_armed && ++g_allocations == g_failAt) {
        throw std::bad_alloc();
    }
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

using tarn::video::IKTRSDK;
using tarn::video::KTRConfig;
using tarn::video::KTRSDKFactory;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

// The answers of the question steps, flattened so that two runs compare with ==.
using Decisions = std::vector<std::vector<long long>>;

// Ends the armed part of a step once the library call returned: the test's own bookkeeping must not fail.
void disarm() {
    g_armed = false;
}
using Step = std::function<void(IKTRSDK&, Decisions&)>;

std::vector<long long> flatten(bool changed, const std::vector<VideoStreamInfo>& streams) {
    std::vector<long long> row{changed};
    for (const VideoStreamInfo& s : streams) {
        const auto fields = fieldsOf(s);
        row.insert(row.end(), fields.begin(), fields.end());
    }
    return row;
}

Step upload(int channel) {
    return [channel](IKTRSDK& sdk, Decisions& decisions) {
        std::vector<VideoStreamInfo> streams;
        const bool changed = sdk.adjustULPolicy(channel, streams);
        disarm();
        decisions.push_back(flatten(changed, streams));
    };
}

// Seeds the runtime's generator first, so that a repeated call draws the same random pick.
Step download(unsigned seed) {
    return [seed](IKTRSDK& sdk, Decisions& decisions) {
        std::srand(seed);
        std::map<uint64_t, VideoStreamInfo> requests;
        const bool changed = sdk.adjustDLPolicy(1, requests);
        disarm();
        std::vector<long long> row{changed};
        for (const auto& request : requests) {
            row.push_back(static_cast<long long>(request.first));
            const auto fields = fieldsOf(request.second);
            row.insert(row.end(), fields.begin(), fields.end());
        }
        decisions.push_back(row);
    };
}

Step hdld() {
    return [](IKTRSDK& sdk, Decisions& decisions) {
        std::set<uint64_t> hd;
        std::set<uint64_t> ld;
        sdk.getHDUids(hd, ld);
        disarm();
        std::vector<long long> row(hd.begin(), hd.end());
        row.push_back(-1);
        row.insert(row.end(), ld.begin(), ld.end());
        decisions.push_back(row);
    };
}

std::vector<VideoStreamInfo> twoStreams(int high) {
    return {camera(1280, 720).fps(30).bitrate(high).between(512000, 1024000),
            camera(320, 240).fps(15).bitrate(204800).between(102400, 256000)};
}

KTRUserInfo member(uint64_t uid, uint16_t dt) {
    return user(uid, dt, std::string(40, 'u'));  // long enough to allocate
}

std::vector<Step> meeting() {
    return {
        [](IKTRSDK& sdk, Decisions&) { sdk.init(1, 8); },
        [](IKTRSDK& sdk, Decisions&) {
            sdk.initStreamInfosForDft({camera(320, 180).fps(15).bitrate(153600).between(92160, 204800),
                                       share(1280, 720).fps(10).bitrate(1000000).between(500000, 2000000)});
        },
        [](IKTRSDK& sdk, Decisions&) { sdk.addUser(member(2, 8)); },
        [](IKTRSDK& sdk, Decisions&) { sdk.addUser(member(3, 1)); },
        [](IKTRSDK& sdk, Decisions&) { sdk.addUser(member(4, 4)); },
        [](IKTRSDK& sdk, Decisions&) {
            sdk.setUsers({member(2, 8), member(3, 1), member(4, 4), member(4, 8)});
        },
        [](IKTRSDK& sdk, Decisions&) { sdk.addPeerReport(2, twoStreams(716800)); },
        [](IKTRSDK& sdk, Decisions&) { sdk.addPeerReport(3, twoStreams(1024000)); },
        [](IKTRSDK& sdk, Decisions&) {
            sdk.addPeerReport(4, {camera(640, 480).fps(20).bitrate(358400).between(245760, 512000)});
        },
        [](IKTRSDK& sdk, Decisions&) { sdk.addPeerReport(5, twoStreams(614400)); },
        hdld(),
        [](IKTRSDK& sdk, Decisions&) { sdk.addSelectReq(320, 240, 15, 204800); },
        [](IKTRSDK& sdk, Decisions&) { sdk.addSelectReq(1280, 720, 30, 716800); },
        [](IKTRSDK& sdk, Decisions&) { sdk.addSelectReq(640, 480, 20, 3000000); },
        upload(1),
        upload(2),
        [](IKTRSDK& sdk, Decisions&) { sdk.setSpeaker(true, 1); },
        upload(1),
        [](IKTRSDK& sdk, Decisions&) { sdk.setDLNetStatus(4, 50, 800000, 900000); },
        download(11),
        download(12),
        [](IKTRSDK& sdk, Decisions&) { sdk.setDLNetStatus(5, 40, 500000, 900000); },
        download(13),
        [](IKTRSDK& sdk, Decisions&) { sdk.setSpeaker(true, 3); },
        [](IKTRSDK& sdk, Decisions&) { sdk.setDLNetStatus(2, 95, 400000, 2000000); },
        download(14),
        download(15),
        [](IKTRSDK& sdk, Decisions&) {
            sdk.setUsers({member(2, 8), member(3, 1)});
        },
        [](IKTRSDK& sdk, Decisions&) { sdk.setSharing(true, 1); },
        upload(1),
        [](IKTRSDK& sdk, Decisions&) { sdk.removeUser(member(3, 1)); },
        [](IKTRSDK& sdk, Decisions&) { sdk.clearSelectReqs(); },
        [](IKTRSDK& sdk, Decisions&) {
            KTRConfig config;
            config.forceHD = true;
            sdk.setConfig(config);
        },
        upload(1),
        hdld(),
        download(16),
        [](IKTRSDK& sdk, Decisions&) { sdk.clearPeerReports(); },
        download(17),
        [](IKTRSDK& sdk, Decisions&) {
            VideoStreamInfo out{};
            sdk.getDftInfoByBitrate(600000, out);
        },
    };
}

struct MeetingRun {
    Decisions decisions;
    int failedStep = -1;  // -1: the armed allocation was never reached
};

// Runs the meeting on a new instance with allocation failAt failing (0: none); the failed step is
// repeated once, as a host that caught std::bad_alloc would.
MeetingRun runMeeting(long failAt) {
    MeetingRun run;
    IKTRSDK* sdk = KTRSDKFactory::createKTRSDK();
    g_allocations = 0;
    g_failAt = failAt;
    const std::vector<Step> steps = meeting();
    for (size_t i = 0; i < steps.size(); ++i) {
        Decisions answer;
        g_armed = true;
        try {
            steps[i](*sdk, answer);
        } catch (const std::bad_alloc&) {
            g_armed = false;
            run.failedStep = static_cast<int>(i);
            answer.clear();
            steps[i](*sdk, answer);
        }
        g_armed = false;
        run.decisions.insert(run.decisions.end(), answer.begin(), answer.end());
    }
    KTRSDKFactory::releaseKTRSDK(sdk);
    return run;
}

void discard(xlog::Level, const char*, void*) {}

TEST(AllocationFailure, EveryFailureSurfacesAndLaterDecisionsStayConsistent) {
    xlog::setSink(&discard, nullptr);
    const MeetingRun reference = runMeeting(0);
    ASSERT_GT(reference.decisions.size(), 10u);
    long failAt = 1;
    for (;; ++failAt) {
        const MeetingRun run = runMeeting(failAt);
        if (run.failedStep < 0) {
            break;
        }
        ASSERT_EQ(run.decisions, reference.decisions)
            << "allocation " << failAt << " failed in step " << run.failedStep;
    }
    EXPECT_GT(failAt, 100) << "the meeting should allocate often enough to exercise every step";
}

TEST(AllocationFailure, CreationFailsCleanly) {
    for (long failAt = 1;; ++failAt) {
        g_allocations = 0;
        g_failAt = failAt;
        g_armed = true;
        IKTRSDK* sdk = nullptr;
        try {
            sdk = KTRSDKFactory::createKTRSDK();
        } catch (const std::bad_alloc&) {
            g_armed = false;
            continue;
        }
        g_armed = false;
        ASSERT_NE(sdk, nullptr);
        KTRSDKFactory::releaseKTRSDK(sdk);
        EXPECT_GT(failAt, 5) << "every sub-object allocates";
        break;
    }
}

}  // namespace

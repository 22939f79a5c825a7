// Cost of every host operation, measured as a host sees it: through the public interface, with the
// host's own xlog functions in one of two modes. "discard" returns at once without formatting; "format"
// formats every line into a buffer, as a real logger must. Floors: the uncontended lock and unlock of
// a std::mutex, plus formatting the lines an operation writes; tools/bench_report.py relates each
// operation to its floor.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "IKTRSDK.h"

using tarn::video::IKTRSDK;
using tarn::video::KTRConfig;
using tarn::video::KTRSDKFactory;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

bool g_format = false;
char g_line[1024];

int formatLine(const char* format, va_list args) {
    return g_format ? std::vsnprintf(g_line, sizeof g_line, format, args) : 0;
}

// Formats like the loggers do, for the floors.
int formatFloor(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(g_line, sizeof g_line, format, args);
    va_end(args);
    return n;
}

}  // namespace

// The host's logger: interposes on liblogsdk.so.
namespace xlog {
#define BENCH_WRITER(name)                      \
    int name(const char* format, ...) {         \
        va_list args;                           \
        va_start(args, format);                 \
        const int n = formatLine(format, args); \
        va_end(args);                           \
        return n;                               \
    }
BENCH_WRITER(logi)
BENCH_WRITER(logw)
BENCH_WRITER(loge)
}  // namespace xlog

namespace {

const std::vector<VideoStreamInfo> kTwoStreams{{1, 0, 1280, 720, 30, 716800, 1024000, 512000},
                                               {1, 0, 320, 240, 15, 204800, 256000, 102400}};
constexpr uint64_t kLocalUid = 1;
constexpr uint64_t kFirstPeer = 1000;

std::vector<KTRUserInfo> usersOf(int64_t count) {
    std::vector<KTRUserInfo> users;
    for (int64_t i = 0; i < count; ++i) {
        users.push_back(KTRUserInfo{kFirstPeer + static_cast<uint64_t>(i), 0, 8, ""});
    }
    return users;
}

// An instance in a meeting with count remote users, all subscribed, each publishing two streams.
struct Meeting {
    IKTRSDK* sdk = KTRSDKFactory::createKTRSDK();
    std::vector<KTRUserInfo> users;

    explicit Meeting(int64_t count) : users(usersOf(count)) {
        sdk->init(kLocalUid, 8);
        for (const KTRUserInfo& user : users) {
            sdk->addUser(user);
            sdk->addPeerReport(user.uid, kTwoStreams);
        }
        sdk->setUsers(users);
    }
    ~Meeting() { KTRSDKFactory::releaseKTRSDK(sdk); }
    Meeting(const Meeting&) = delete;
    Meeting& operator=(const Meeting&) = delete;
};

void setMode(bool format) {
    g_format = format;
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int n : {4, 16, 256, 1024, 8192}) {
        b->Arg(n);
    }
    b->Complexity();
}

// --- floors ----------------------------------------------------------------------------------

void BM_floor_lock(benchmark::State& state) {
    std::mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_floor_lock);

// The lines of setUsers for n users that each publish two streams.
void BM_floor_setUsers(benchmark::State& state) {
    std::mutex mutex;
    const int64_t n = state.range(0);
    for (auto _ : state) {
        std::lock_guard<std::mutex> lock(mutex);
        formatFloor("[%s]: ktrdk: clear download policy selects.", "KTRDLPolicy::clear");
        for (int64_t i = 0; i < n; ++i) {
            const unsigned long long uid = kFirstPeer + static_cast<unsigned long long>(i);
            formatFloor("[%s]: ktrsdk: addPeer uid=%llu, infos.size(%d)", "KTRDLPolicy::addPeer", uid, 2);
            formatFloor("[%s]: ktr add new peer, uid=%llu", "KTRDLPolicy::addPeer", uid);
            if (n <= 3) {
                formatFloor("[%s]: ktr add peer, choose uppper because net=good AND users<=3, peer=%llu",
                            "KTRDLPolicy::addPeer", uid);
            }
            formatFloor("[%s]: ktr download policy add peer, choose upper=%d, uid=%llu, bitrate=%d",
                        "KTRDLPolicy::addPeer", n <= 3 ? 1 : 0, uid, n <= 3 ? 716800 : 204800);
        }
    }
    state.SetComplexityN(n);
}
BENCHMARK(BM_floor_setUsers)->Apply(sizes);

// The lines of a report of two streams from a known, subscribed peer.
void BM_floor_addPeerReport(benchmark::State& state) {
    std::mutex mutex;
    const unsigned long long uid = kFirstPeer;
    for (auto _ : state) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const VideoStreamInfo& s : kTwoStreams) {
            formatFloor("[%s]: krt add peer report, peer=%llu, width=%d, height=%d, bitrate=%d",
                        "KTRMgr::addPeerReport", uid, s.width, s.height, s.bitrate);
        }
        formatFloor("[%s]: ktrsdk: addPeer uid=%llu, infos.size(%d)", "KTRDLPolicy::addPeer", uid, 2);
        formatFloor("[%s]: ktr download policy add peer, choose upper=%d, uid=%llu, bitrate=%d", "KTRDLPolicy::addPeer",
                    0, uid, 204800);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_floor_addPeerReport)->Apply(sizes);

// The lines of removing all n users one by one (the removal itself is logged while 15 or more are left).
void BM_floor_removeUser(benchmark::State& state) {
    std::mutex mutex;
    const int64_t n = state.range(0);
    for (auto _ : state) {
        for (int64_t i = 0; i < n; ++i) {
            std::lock_guard<std::mutex> lock(mutex);
            const unsigned long long uid = kFirstPeer + static_cast<unsigned long long>(i);
            if (n - i >= 15) {
                formatFloor("[%s]: ktr remove user, uid=%llu, dt=%d", "KTRMgr::removeUser", uid, 8);
            }
            formatFloor("[%s]: removePeer, uid=%llu", "KTRDLPolicy::removePeer", uid);
        }
    }
    state.SetComplexityN(n);
}
BENCHMARK(BM_floor_removeUser)->Apply(sizes);

// --- operations that depend on the meeting's size --------------------------------------------

void BM_setUsers(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(state.range(0));
    for (auto _ : state) {
        meeting.sdk->setUsers(meeting.users);
    }
    state.SetComplexityN(state.range(0));
}

void BM_addPeerReport(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(state.range(0));
    size_t next = 0;
    for (auto _ : state) {
        meeting.sdk->addPeerReport(meeting.users[next].uid, kTwoStreams);
        next = (next + 1) % meeting.users.size();
    }
    state.SetComplexityN(state.range(0));
}

// Removes all n users one by one; only the removals are timed, the meeting is rebuilt after each round.
void BM_removeUser(benchmark::State& state, bool format) {
    setMode(format);
    const int64_t n = state.range(0);
    Meeting meeting(n);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const KTRUserInfo& user : meeting.users) {
            meeting.sdk->removeUser(user);
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        for (const KTRUserInfo& user : meeting.users) {
            meeting.sdk->addUser(user);
            meeting.sdk->addPeerReport(user.uid, kTwoStreams);
        }
        meeting.sdk->setUsers(meeting.users);
    }
    state.SetComplexityN(n);
}

void BM_getHDUids(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(state.range(0));
    for (auto _ : state) {
        std::set<uint64_t> hd;
        std::set<uint64_t> ld;
        meeting.sdk->getHDUids(hd, ld);
        benchmark::DoNotOptimize(hd);
    }
    state.SetComplexityN(state.range(0));
}

// Net status 2 raises one peer, 4 and 5 cut up to three.
void BM_adjustDLPolicy(benchmark::State& state, bool format, int netStatus) {
    setMode(format);
    Meeting meeting(state.range(0));
    meeting.sdk->setDLNetStatus(netStatus, 95, 400000, 4000000);
    for (auto _ : state) {
        std::map<uint64_t, VideoStreamInfo> requests;
        benchmark::DoNotOptimize(meeting.sdk->adjustDLPolicy(1, requests));
    }
    state.SetComplexityN(state.range(0));
}

// The camera decision for 0 to 8 select requests in a meeting of three.
void BM_adjustULPolicy(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(2);
    const int64_t requests = state.range(0);
    for (int64_t i = 0; i < requests; ++i) {
        meeting.sdk->addSelectReq(640, 480, 20, static_cast<int>(102400 + 110000 * i));
    }
    for (auto _ : state) {
        std::vector<VideoStreamInfo> streams;
        benchmark::DoNotOptimize(meeting.sdk->adjustULPolicy(1, streams));
    }
}

// --- operations of constant cost -------------------------------------------------------------

void BM_getDftInfoByBitrate(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(4);
    int bitrate = 0;
    for (auto _ : state) {
        VideoStreamInfo out{};
        meeting.sdk->getDftInfoByBitrate(102400 + (bitrate++ & 0xFFFFF), out);
        benchmark::DoNotOptimize(out);
    }
}

void BM_setDLNetStatus(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(4);
    int score = 0;
    for (auto _ : state) {
        meeting.sdk->setDLNetStatus(2, score++ & 127, 400000, 800000);
    }
}

// Requests accumulate until the host clears them; clearing once per 256 keeps the list short.
void BM_addSelectReq(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(4);
    int count = 0;
    for (auto _ : state) {
        meeting.sdk->addSelectReq(640, 480, 20, 358400);
        if ((++count & 255) == 0) {
            meeting.sdk->clearSelectReqs();
        }
    }
}

void BM_smallEvents(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(4);
    KTRConfig config;
    const KTRUserInfo extra{99, 0, 8, ""};
    for (auto _ : state) {
        meeting.sdk->setSceneType(3);
        meeting.sdk->setConfig(config);
        meeting.sdk->setSharing(false, 0);
        meeting.sdk->setSpeaker(true, kFirstPeer);
        meeting.sdk->setULNetStatus(1, 90, 500000, 900000);
        meeting.sdk->addUser(extra);
        meeting.sdk->clearSelectReqs();
    }
}

void BM_initStreamInfosForDft(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(4);
    const std::vector<VideoStreamInfo> table{{1, 0, 640, 360, 20, 358400, 512000, 245760},
                                             {2, 0, 1280, 720, 10, 800000, 1500000, 200000}};
    for (auto _ : state) {
        meeting.sdk->initStreamInfosForDft(table);
    }
}

void BM_clearPeerReports(benchmark::State& state, bool format) {
    setMode(format);
    Meeting meeting(4);
    for (auto _ : state) {
        meeting.sdk->clearPeerReports();
    }
}

}  // namespace

// Every operation runs once per logger mode, each mode a family of its own so that the fitted
// complexity is per mode: "setUsers/discard/1024", "setUsers/format/1024".
int main(int argc, char** argv) {
    for (bool format : {false, true}) {
        const std::string mode = format ? "/format" : "/discard";
        benchmark::RegisterBenchmark(("setUsers" + mode).c_str(), BM_setUsers, format)->Apply(sizes);
        benchmark::RegisterBenchmark(("addPeerReport" + mode).c_str(), BM_addPeerReport, format)->Apply(sizes);
        benchmark::RegisterBenchmark(("removeUser" + mode).c_str(), BM_removeUser, format)
            ->Apply(sizes)
            ->UseManualTime();
        benchmark::RegisterBenchmark(("getHDUids" + mode).c_str(), BM_getHDUids, format)->Apply(sizes);
        for (int netStatus : {2, 4, 5}) {
            benchmark::RegisterBenchmark(("adjustDLPolicy" + std::to_string(netStatus) + mode).c_str(),
                                         BM_adjustDLPolicy, format, netStatus)
                ->Apply(sizes);
        }
        benchmark::RegisterBenchmark(("adjustULPolicy" + mode).c_str(), BM_adjustULPolicy, format)->DenseRange(0, 8);
        benchmark::RegisterBenchmark(("getDftInfoByBitrate" + mode).c_str(), BM_getDftInfoByBitrate, format);
        benchmark::RegisterBenchmark(("setDLNetStatus" + mode).c_str(), BM_setDLNetStatus, format);
        benchmark::RegisterBenchmark(("addSelectReq" + mode).c_str(), BM_addSelectReq, format);
        benchmark::RegisterBenchmark(("smallEvents" + mode).c_str(), BM_smallEvents, format);
        benchmark::RegisterBenchmark(("initStreamInfosForDft" + mode).c_str(), BM_initStreamInfosForDft, format);
        benchmark::RegisterBenchmark(("clearPeerReports" + mode).c_str(), BM_clearPeerReports, format);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

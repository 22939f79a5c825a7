// Cost of every host operation, measured as a host sees it: through the public interface, with the
// host's own xlog functions in one of two modes. "discard" returns at once without formatting; "format"
// formats every line into a buffer, as a real logger must. Floors: the uncontended lock and unlock of
// a std::mutex, plus formatting the lines an operation writes, which a third mode records from one call
// of the operation (each line's format and arguments as the library passed them);
// tools/bench_report.py relates each operation to its floor.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "IKTRSDK.h"

using tarn::video::IKTRSDK;
using tarn::video::KTRConfig;
using tarn::video::KTRSDKFactory;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

enum class LoggerMode { Discard, Format, Record };

// One argument of a recorded line: the library's formats convert with %d, %llu and %s only.
using Argument = std::variant<int, unsigned long long, std::string>;

struct RecordedLine {
    const char* format;  // the library's own, valid while the library is loaded
    std::vector<Argument> arguments;
};

// The most arguments a recorded line may have; each one more multiplies the formatting code by three.
constexpr size_t kMaxArguments = 5;

LoggerMode g_mode = LoggerMode::Discard;
char g_line[1024];
std::vector<RecordedLine> g_recorded;

[[noreturn]] void cannotRecord(const char* format, const char* why) {
    std::fprintf(stderr, "ktrsdk_bench: cannot record the line \"%s\": %s\n", format, why);
    std::abort();
}

// Reads the arguments of format's conversions, in order.
std::vector<Argument> readArguments(const char* format, va_list args) {
    std::vector<Argument> arguments;
    for (const char* c = std::strchr(format, '%'); c != nullptr; c = std::strchr(c, '%')) {
        ++c;
        if (*c == '%') {
            ++c;
        } else if (*c == 'd') {
            arguments.emplace_back(va_arg(args, int));
            ++c;
        } else if (*c == 's') {
            arguments.emplace_back(std::string(va_arg(args, const char*)));
            ++c;
        } else if (std::strncmp(c, "llu", 3) == 0) {
            arguments.emplace_back(va_arg(args, unsigned long long));
            c += 3;
        } else {
            cannotRecord(format, "a conversion other than %d, %llu and %s");
        }
    }
    if (arguments.size() > kMaxArguments) {
        cannotRecord(format, "more arguments than kMaxArguments");
    }
    return arguments;
}

int writeLine(const char* format, va_list args) {
    switch (g_mode) {
        case LoggerMode::Discard:
            return 0;
        case LoggerMode::Format:
            return std::vsnprintf(g_line, sizeof g_line, format, args);
        case LoggerMode::Record:
            g_recorded.push_back(RecordedLine{format, readArguments(format, args)});
            return 0;
    }
    return 0;
}

// Formats like the loggers do, for the floors.
int formatFloor(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(g_line, sizeof g_line, format, args);
    va_end(args);
    return n;
}

const char* passed(const std::string& text) {
    return text.c_str();
}
template <typename Number>
Number passed(Number number) {
    return number;
}

// Formats a recorded line in one call, with its arguments as the library passed them: each step appends
// the next argument with its own type.
template <typename... Values>
int formatRecorded(const RecordedLine& line, Values... values) {
    constexpr size_t given = sizeof...(Values);
    if (given == line.arguments.size()) {
        return formatFloor(line.format, values...);
    }
    if constexpr (given < kMaxArguments) {
        return std::visit([&](const auto& next) { return formatRecorded(line, values..., passed(next)); },
                          line.arguments[given]);
    }
    return -1;  // readArguments refuses longer lines
}

}  // namespace

// The host's logger: interposes on liblogsdk.so.
namespace xlog {
#define BENCH_WRITER(name)                     \
    int name(const char* format, ...) {        \
        va_list args;                          \
        va_start(args, format);                \
        const int n = writeLine(format, args); \
        va_end(args);                          \
        return n;                              \
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
    g_mode = format ? LoggerMode::Format : LoggerMode::Discard;
}

// The lines that call writes, recorded from the library.
template <typename Call>
std::vector<RecordedLine> linesOf(Call call) {
    g_mode = LoggerMode::Record;
    call();
    g_mode = LoggerMode::Discard;
    std::vector<RecordedLine> lines;
    lines.swap(g_recorded);
    return lines;
}

void formatAll(const std::vector<RecordedLine>& lines) {
    for (const RecordedLine& line : lines) {
        formatRecorded(line);
    }
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
    setMode(false);
    const int64_t n = state.range(0);
    Meeting meeting(n);
    const std::vector<RecordedLine> lines = linesOf([&] { meeting.sdk->setUsers(meeting.users); });
    std::mutex mutex;
    for (auto _ : state) {
        std::lock_guard<std::mutex> lock(mutex);
        formatAll(lines);
    }
    state.SetComplexityN(n);
}
BENCHMARK(BM_floor_setUsers)->Apply(sizes);

// The lines of a report of two streams from a known, subscribed peer.
void BM_floor_addPeerReport(benchmark::State& state) {
    setMode(false);
    Meeting meeting(state.range(0));
    const std::vector<RecordedLine> lines =
        linesOf([&] { meeting.sdk->addPeerReport(meeting.users.front().uid, kTwoStreams); });
    std::mutex mutex;
    for (auto _ : state) {
        std::lock_guard<std::mutex> lock(mutex);
        formatAll(lines);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_floor_addPeerReport)->Apply(sizes);

// The lines of removing all n users one by one, one lock per call.
void BM_floor_removeUser(benchmark::State& state) {
    setMode(false);
    const int64_t n = state.range(0);
    Meeting meeting(n);
    std::vector<std::vector<RecordedLine>> calls;
    for (const KTRUserInfo& user : meeting.users) {
        calls.push_back(linesOf([&] { meeting.sdk->removeUser(user); }));
    }
    std::mutex mutex;
    for (auto _ : state) {
        for (const std::vector<RecordedLine>& lines : calls) {
            std::lock_guard<std::mutex> lock(mutex);
            formatAll(lines);
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

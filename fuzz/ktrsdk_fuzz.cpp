// Fuzz target: reads its input as a sequence of interface calls on several instances, with arbitrary
// arguments, exactly as a host could make them. Built for libFuzzer with Clang; the same entry point runs
// the stored corpus in the ordinary test suite (see fuzz_replay.cpp).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "IKTRSDK.h"
#include "xlog/logsdk.h"

using tarn::video::IKTRSDK;
using tarn::video::KTRConfig;
using tarn::video::KTRSDKFactory;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

constexpr size_t kInstances = 3;
constexpr size_t kMaxCalls = 4096;
constexpr size_t kMaxListLength = 12;

// Values at which the policies change their minds, so that short inputs reach every branch.
constexpr int32_t kInterestingInts[] = {0,
                                        1,
                                        -1,
                                        2,
                                        4,
                                        5,
                                        85,
                                        86,
                                        30720,
                                        92160,
                                        102400,
                                        204800,
                                        245760,
                                        300000,
                                        307200,
                                        358400,
                                        512000,
                                        600000,
                                        614400,
                                        716800,
                                        1024000,
                                        2097152,
                                        3072000,
                                        3145728,
                                        std::numeric_limits<int32_t>::min(),
                                        std::numeric_limits<int32_t>::max()};

// Takes bytes from the front of the input; returns zeros once it runs out.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_size == 0; }

    uint8_t byte() {
        if (m_size == 0) {
            return 0;
        }
        --m_size;
        return *m_data++;
    }

    template <typename T>
    T raw() {
        uint8_t bytes[sizeof(T)] = {};
        for (uint8_t& b : bytes) {
            b = byte();
        }
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    // Mostly a threshold the policies care about, sometimes any 32-bit value.
    int32_t int32() {
        const uint8_t choice = byte();
        if (choice < 160) {
            const int32_t base = kInterestingInts[choice % (sizeof kInterestingInts / sizeof kInterestingInts[0])];
            const int32_t nudge = static_cast<int32_t>(byte() % 3) - 1;
            return static_cast<int32_t>(static_cast<uint32_t>(base) + static_cast<uint32_t>(nudge));
        }
        return raw<int32_t>();
    }

    // Mostly one of a few uids so that events meet each other, sometimes any 64-bit value.
    uint64_t uid() {
        const uint8_t choice = byte();
        if (choice < 200) {
            return choice % 8;
        }
        return choice < 230 ? std::numeric_limits<uint64_t>::max() - (choice % 2) : raw<uint64_t>();
    }

    bool flag() { return (byte() & 1) != 0; }

    size_t length() { return byte() % (kMaxListLength + 1); }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// Where the golden-file driver has every call, answer and line written; null while fuzzing.
std::FILE* g_trace = nullptr;

void traceRecord(const VideoStreamInfo& r) {
    std::fprintf(g_trace, " [%d %d %d %d %d %d %d %d]", r.channel, r.dft, r.width, r.height, r.fps, r.bitrate,
                 r.maxbitrate, r.minbitrate);
}

void traceAnswer(bool changed, const std::vector<VideoStreamInfo>& records) {
    if (g_trace != nullptr) {
        std::fprintf(g_trace, "  answer %d", changed ? 1 : 0);
        for (const VideoStreamInfo& record : records) {
            traceRecord(record);
        }
        std::fputc('\n', g_trace);
    }
}

void traceRequests(bool changed, const std::map<uint64_t, VideoStreamInfo>& requests) {
    if (g_trace != nullptr) {
        std::fprintf(g_trace, "  answer %d", changed ? 1 : 0);
        for (const auto& request : requests) {
            std::fprintf(g_trace, " %llu", static_cast<unsigned long long>(request.first));
            traceRecord(request.second);
        }
        std::fputc('\n', g_trace);
    }
}

void traceUids(const char* name, const std::set<uint64_t>& uids) {
    std::fprintf(g_trace, "  %s", name);
    for (uint64_t uid : uids) {
        std::fprintf(g_trace, " %llu", static_cast<unsigned long long>(uid));
    }
    std::fputc('\n', g_trace);
}

// Four values read in order: the reads happen in the braced list, whatever the compiler's order of
// evaluating a call's arguments, so that an input means the same calls in every build.
using Quad = std::array<int32_t, 4>;

Quad readQuad(ByteReader& in) {
    return Quad{in.int32(), in.int32(), in.int32(), in.int32()};
}

VideoStreamInfo readStream(ByteReader& in) {
    VideoStreamInfo info{};
    info.channel = in.flag() ? in.int32() : 1 + (in.byte() % 3);
    info.dft = in.int32();
    info.width = in.int32();
    info.height = in.flag() ? in.int32() : static_cast<int32_t>((in.byte() % 7) * 180);
    info.fps = in.int32();
    info.bitrate = in.int32();
    info.maxbitrate = in.int32();
    info.minbitrate = in.int32();
    return info;
}

std::vector<VideoStreamInfo> readStreams(ByteReader& in) {
    std::vector<VideoStreamInfo> streams(in.length());
    for (VideoStreamInfo& info : streams) {
        info = readStream(in);
    }
    return streams;
}

KTRUserInfo readUser(ByteReader& in) {
    KTRUserInfo user;
    user.uid = in.uid();
    user.attr = in.raw<uint16_t>();
    user.dt = in.flag() ? in.raw<uint16_t>() : static_cast<uint16_t>(in.byte() % 9);
    user.ext = std::string(in.byte() % 40, 'e');
    return user;
}

void call(IKTRSDK& sdk, ByteReader& in) {
    const int operation = in.byte() % 19;
    if (g_trace != nullptr) {
        std::fprintf(g_trace, "call %d\n", operation);
    }
    switch (operation) {
        case 0: {
            const uint64_t uid = in.uid();
            const int dt = in.flag() ? in.int32() : in.byte() % 9;
            sdk.init(uid, dt);
            break;
        }
        case 1:
            sdk.setSceneType(in.int32());
            break;
        case 2: {
            KTRConfig config;
            config.forceHD = in.flag();
            config.auxFlag = in.flag();
            config.auxBitrate1 = in.int32();
            config.auxBitrate2 = in.int32();
            sdk.setConfig(config);
            break;
        }
        case 3:
            sdk.addUser(readUser(in));
            break;
        case 4:
            sdk.removeUser(readUser(in));
            break;
        case 5: {
            std::vector<KTRUserInfo> users(in.length());
            for (KTRUserInfo& user : users) {
                user = readUser(in);
            }
            sdk.setUsers(users);
            break;
        }
        case 6: {
            const bool sharing = in.flag();
            sdk.setSharing(sharing, in.uid());
            break;
        }
        case 7: {
            const bool speaking = in.flag();
            sdk.setSpeaker(speaking, in.uid());
            break;
        }
        case 8: {
            std::map<uint64_t, VideoStreamInfo> requests;
            if (in.flag()) {
                requests[in.uid()] = readStream(in);  // the host's leftovers are emptied first
            }
            const bool changed = sdk.adjustDLPolicy(in.int32(), requests);
            traceRequests(changed, requests);
            break;
        }
        case 9: {
            std::vector<VideoStreamInfo> streams;
            if (in.flag()) {
                streams.push_back(readStream(in));  // kept in front of the decision
            }
            const bool changed = sdk.adjustULPolicy(in.flag() ? 2 : in.int32(), streams);
            traceAnswer(changed, streams);
            break;
        }
        case 10: {
            std::set<uint64_t> hd{in.uid()};
            std::set<uint64_t> ld;
            sdk.getHDUids(hd, ld);
            if (g_trace != nullptr) {
                traceUids("hd", hd);
                traceUids("ld", ld);
            }
            break;
        }
        case 11: {
            const Quad q = readQuad(in);
            sdk.addSelectReq(q[0], q[1], q[2], q[3]);
            break;
        }
        case 12:
            sdk.clearSelectReqs();
            break;
        case 13: {
            const uint64_t uid = in.uid();
            sdk.addPeerReport(uid, readStreams(in));
            break;
        }
        case 14:
            sdk.clearPeerReports();
            break;
        case 15: {
            const Quad q = readQuad(in);
            sdk.setULNetStatus(q[0], q[1], q[2], q[3]);
            break;
        }
        case 16: {
            const int status = in.flag() ? in.int32() : in.byte() % 7;
            const Quad q = {status, in.int32(), in.int32(), in.int32()};
            sdk.setDLNetStatus(q[0], q[1], q[2], q[3]);
            break;
        }
        case 17:
            sdk.initStreamInfosForDft(readStreams(in));
            break;
        case 18: {
            VideoStreamInfo out{};
            sdk.getDftInfoByBitrate(in.int32(), out);
            traceAnswer(false, {out});
            break;
        }
    }
}

void takeLine(xlog::Level level, const char* line, void*) {
    if (g_trace != nullptr) {
        std::fprintf(g_trace, "  %s %s\n", xlog::levelMark(level), line);
    }
}

}  // namespace

// The golden-file driver's switch: every call, answer and line goes to file (null: nothing is written).
extern "C" void ktrsdkFuzzTraceTo(std::FILE* file) {
    g_trace = file;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xlog::setSink(&takeLine, nullptr);  // lines are still formatted, only printed when traced
    if (g_trace != nullptr) {
        std::fprintf(g_trace, "== an input of %zu bytes\n", size);
    }
    ByteReader in(data, size);
    IKTRSDK* instances[kInstances] = {};
    for (size_t calls = 0; calls < kMaxCalls && !in.empty(); ++calls) {
        IKTRSDK*& sdk = instances[in.byte() % kInstances];
        if (sdk == nullptr) {
            sdk = KTRSDKFactory::createKTRSDK();
        }
        if (in.byte() == 0xFF) {  // a host may release and create again at any time
            KTRSDKFactory::releaseKTRSDK(sdk);
            sdk = nullptr;
            continue;
        }
        call(*sdk, in);
    }
    for (IKTRSDK* sdk : instances) {
        KTRSDKFactory::releaseKTRSDK(sdk);
    }
    return 0;
}

// A host's view of the library: its own copy of the interface declarations (written from the record
// tables, not from include/), its own xlog functions, and nothing but libktrsdk.so to link against.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "support/RecordLayout.h"

namespace tarn {
namespace video {

struct VideoStreamInfo {
    int channel, dft, width, height, fps, bitrate, maxbitrate, minbitrate;
};

struct KTRUserInfo {
    unsigned long long uid;
    unsigned short attr;
    unsigned short dt;
    std::string ext;
};

struct KTRConfig {
    bool forceHD = false;
    bool auxFlag = false;
    int auxBitrate1 = 1572864;
    int auxBitrate2 = 3145728;
};

struct IKTRSDK {
    virtual void init(uint64_t, int) = 0;
    virtual void setSceneType(int) = 0;
    virtual void setConfig(const KTRConfig&) = 0;
    virtual void addUser(const KTRUserInfo&) = 0;
    virtual void removeUser(const KTRUserInfo&) = 0;
    virtual void setUsers(const std::vector<KTRUserInfo>&) = 0;
    virtual void setSharing(bool, uint64_t) = 0;
    virtual void setSpeaker(bool, uint64_t) = 0;
    virtual bool adjustDLPolicy(int, std::map<uint64_t, VideoStreamInfo>&) = 0;
    virtual bool adjustULPolicy(int, std::vector<VideoStreamInfo>&) = 0;
    virtual void getHDUids(std::set<uint64_t>&, std::set<uint64_t>&) = 0;
    virtual void addSelectReq(int, int, int, int) = 0;
    virtual void clearSelectReqs() = 0;
    virtual void addPeerReport(uint64_t, const std::vector<VideoStreamInfo>&) = 0;
    virtual void clearPeerReports() = 0;
    virtual void setULNetStatus(int, int, int, int) = 0;
    virtual void setDLNetStatus(int, int, int, int) = 0;
    virtual void initStreamInfosForDft(const std::vector<VideoStreamInfo>&) = 0;
    virtual void getDftInfoByBitrate(int, VideoStreamInfo&) = 0;
    virtual ~IKTRSDK() {}
};

class KTRSDKFactory {
public:
    static IKTRSDK* createKTRSDK();
    static void releaseKTRSDK(IKTRSDK* sdk);
};

}  // namespace video
}  // namespace tarn

class ProtoMyInfo {
public:
    ProtoMyInfo() = default;
    ProtoMyInfo(const ProtoMyInfo&);
    ProtoMyInfo& operator=(const ProtoMyInfo&);
    void clearAssistInfo();
    std::string getAssistInfo() const;
    unsigned int getEnv() const;

    long long a1 = 11, a2 = 12;
    int a3 = 13;
    short a4 = 14;
    long long a5 = 15;
    char a6 = 16, a7 = 17;
    std::string s8, s9, s10, s11, s12, s13, s14, s15, s16;
    int a17 = 18;
    std::string s18;
    short a19 = 19;
    std::string s20;
    short a21 = 21;
    std::string s22, s23, s24;
    std::string assist;
    unsigned int env = 0;
    int a27 = 27, a28 = 28, a29 = 29, a30 = 30;
    std::string s31;
    int a32 = 32;
    std::string s33, s34;
    long long a35 = 35, a36 = 36;
};

namespace {

std::mutex g_linesMutex;
std::vector<std::string> g_lines;

int record(const char* level, const char* format, va_list args) {
    char line[1024];
    const int length = std::vsnprintf(line, sizeof line, format, args);
    std::lock_guard<std::mutex> lock(g_linesMutex);
    g_lines.push_back(std::string(level) + line);
    return length;
}

std::vector<std::string> takeLines() {
    std::lock_guard<std::mutex> lock(g_linesMutex);
    std::vector<std::string> lines;
    lines.swap(g_lines);
    return lines;
}

}  // namespace

// The host's own logger: the library's lines must arrive here, not in liblogsdk.so.
namespace xlog {
#define HOST_WRITER(name, level)                   \
    int name(const char* format, ...) {            \
        va_list args;                              \
        va_start(args, format);                    \
        const int n = record(level, format, args); \
        va_end(args);                              \
        return n;                                  \
    }
HOST_WRITER(logi, "I ")
HOST_WRITER(logw, "W ")
HOST_WRITER(loge, "E ")
}  // namespace xlog

namespace {

using tarn::video::IKTRSDK;
using tarn::video::KTRSDKFactory;
using tarn::video::VideoStreamInfo;

TEST(Host, ReceivesTheLibraryLinesInItsOwnLogger) {
    takeLines();
    IKTRSDK* first = KTRSDKFactory::createKTRSDK();
    IKTRSDK* second = KTRSDKFactory::createKTRSDK();
    first->init(77, 8);
    second->init(78, 1);
    first->setSharing(true, 78);
    second->setSpeaker(true, 77);
    first->addPeerReport(77, {});
    second->addPeerReport(77, {VideoStreamInfo{1, 0, 320, 240, 15, 204800, 256000, 102400}});
    VideoStreamInfo out{};
    first->getDftInfoByBitrate(0, out);
    KTRSDKFactory::releaseKTRSDK(first);
    KTRSDKFactory::releaseKTRSDK(second);
    EXPECT_EQ(out.width, 640);
    EXPECT_EQ(takeLines(), (std::vector<std::string>{
                               "I [KTRMgr::init]: ktr init, uid=77, dt=8",
                               "I [KTRMgr::init]: ktr init, uid=78, dt=1",
                               "I [KTRMgr::setSharing]: ktr set sharing, sharing=1, uid=78",
                               "I [KTRMgr::setSpeaker]: ktr set speaker, speaker=1, uid=77",
                               "W [KTRMgr::addPeerReport]: can not add myself as a peer, uid=77",
                               "I [KTRMgr::addPeerReport]: krt add peer report, peer=77, width=320, height=240, "
                               "bitrate=204800",
                               "W [KTRDFTMap::getDftInfoByBitrate]: ktr dft find definition info failed, bitrate=0",
                           }));
}

// The host's own check that its copy matches; the library's layouts are asserted in sdk_test.cpp alone.
static_assert(sizeof(ProtoMyInfo) == layout::onThisPlatform(688, 520), "the host's record has the library's size");
static_assert(offsetof(ProtoMyInfo, assist) == layout::onThisPlatform(512, 384) &&
                  offsetof(ProtoMyInfo, env) == layout::onThisPlatform(544, 408),
              "the host's record has the library's layout");

TEST(Host, CopiesAndReadsProtoMyInfoThroughTheLibrary) {
    ProtoMyInfo source;
    source.assist = std::string(100, 'x');  // long enough to need its own storage
    source.s8 = "short";
    source.env = 0xFFFFFFFFu;
    source.a36 = -36;

    ProtoMyInfo copy(source);
    source.assist[0] = 'y';
    source.s8.clear();
    EXPECT_EQ(copy.getAssistInfo(), std::string(100, 'x'));
    EXPECT_EQ(copy.s8, "short");
    EXPECT_EQ(copy.getEnv(), 4294967295u);
    EXPECT_EQ(copy.a36, -36);
    EXPECT_EQ(copy.a27 + copy.a30, 57);

    ProtoMyInfo target;
    target = copy;
    ProtoMyInfo& alias = target;
    target = alias;
    EXPECT_EQ(target.getAssistInfo(), std::string(100, 'x'));
    EXPECT_EQ(target.s8, "short");

    const size_t capacity = target.assist.capacity();
    target.clearAssistInfo();
    EXPECT_EQ(target.getAssistInfo(), "");
    EXPECT_EQ(target.assist.capacity(), capacity);
    EXPECT_EQ(target.s8, "short");
    target.clearAssistInfo();
    EXPECT_EQ(target.getAssistInfo(), "");
}

}  // namespace

// A stand-in build for the diff tests. It exports the same factory as libktrsdk.so and forwards every call
// to the real build (loaded from KTR_REAL_LIBRARY), except one answer in one situation: once the host has
// set scene type 7, adjustDLPolicy reports the opposite of whether the download requests changed. The
// library's own sources stay as they are.
//
// For the sweep tests it also fails on demand, in the process whose command line contains a given text (a
// sweep's run names its trace there): KTR_STANDIN_FAULTS="ACTION=TEXT,..." with ACTION one of
//   crash          abort when the host creates the library
//   hang           never return from that creation
//   garbage        print a line that is not a summary on standard output, then go on as usual
//   kill-parent    SIGKILL the parent (the sweep) when the library is created: before the run did anything
//   kill-parent-late  the same when the host releases it: the run's simulation has ended, its summary not
//                  yet printed
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "IKTRSDK.h"

namespace {

using tarn::video::IKTRSDK;
using tarn::video::KTRConfig;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

constexpr int kAlteringSceneType = 7;
constexpr const char* kCreateSymbol = "_ZN4tarn5video13KTRSDKFactory12createKTRSDKEv";
constexpr const char* kReleaseSymbol = "_ZN4tarn5video13KTRSDKFactory13releaseKTRSDKEPNS0_7IKTRSDKE";

struct RealBuild {
    IKTRSDK* (*create)() = nullptr;
    void (*release)(IKTRSDK*) = nullptr;
};

// Loaded once and kept for the life of the process, as a host keeps the library it loads.
const RealBuild& realBuild() {
    static const RealBuild build = [] {
        void* handle = dlopen(KTR_REAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            std::fprintf(stderr, "ktrsdk_altered: cannot load %s: %s\n", KTR_REAL_LIBRARY, dlerror());
            std::abort();
        }
        RealBuild loaded;
        loaded.create = reinterpret_cast<IKTRSDK* (*)()>(dlsym(handle, kCreateSymbol));
        loaded.release = reinterpret_cast<void (*)(IKTRSDK*)>(dlsym(handle, kReleaseSymbol));
        if (loaded.create == nullptr || loaded.release == nullptr) {
            std::fprintf(stderr, "ktrsdk_altered: %s lacks the factory\n", KTR_REAL_LIBRARY);
            std::abort();
        }
        return loaded;
    }();
    return build;
}

// This process's command line, its arguments joined by blanks.
std::string commandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (char& c : line) {
        c = c == '\0' ? ' ' : c;
    }
    return line;
}

// Whether KTR_STANDIN_FAULTS asks for the action in this process.
bool faultRequested(const std::string& action) {
    const char* faults = std::getenv("KTR_STANDIN_FAULTS");
    if (faults == nullptr) {
        return false;
    }
    const std::string text = std::string(",") + faults + ",";
    const std::string command = commandLine();
    const std::string key = "," + action + "=";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const size_t start = at + key.size();
        const std::string target = text.substr(start, text.find(',', start) - start);
        if (!target.empty() && command.find(target) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void faultOnCreate() {
    if (faultRequested("crash")) {
        std::abort();
    }
    while (faultRequested("hang")) {
        pause();
    }
    if (faultRequested("garbage")) {
        static const char kGarbage[] = "this is not a summary\n";
        if (write(STDOUT_FILENO, kGarbage, sizeof kGarbage - 1) < 0) {
            std::abort();
        }
    }
    if (faultRequested("kill-parent")) {
        kill(getppid(), SIGKILL);
    }
}

class AlteredSdk : public IKTRSDK {
public:
    AlteredSdk() : m_real(realBuild().create()) {}
    ~AlteredSdk() override { realBuild().release(m_real); }
    AlteredSdk(const AlteredSdk&) = delete;
    AlteredSdk& operator=(const AlteredSdk&) = delete;

    void init(uint64_t uid, int dt) override { m_real->init(uid, dt); }
    void setSceneType(int sceneType) override {
        m_altering = m_altering || sceneType == kAlteringSceneType;
        m_real->setSceneType(sceneType);
    }
    void setConfig(const KTRConfig& config) override { m_real->setConfig(config); }
    void addUser(const KTRUserInfo& user) override { m_real->addUser(user); }
    void removeUser(const KTRUserInfo& user) override { m_real->removeUser(user); }
    void setUsers(const std::vector<KTRUserInfo>& users) override { m_real->setUsers(users); }
    void setSharing(bool sharing, uint64_t uid) override { m_real->setSharing(sharing, uid); }
    void setSpeaker(bool speaking, uint64_t uid) override { m_real->setSpeaker(speaking, uid); }
    bool adjustDLPolicy(int channel, std::map<uint64_t, VideoStreamInfo>& result) override {
        const bool changed = m_real->adjustDLPolicy(channel, result);
        return m_altering ? !changed : changed;
    }
    bool adjustULPolicy(int channel, std::vector<VideoStreamInfo>& result) override {
        return m_real->adjustULPolicy(channel, result);
    }
    void getHDUids(std::set<uint64_t>& hdUids, std::set<uint64_t>& ldUids) override {
        m_real->getHDUids(hdUids, ldUids);
    }
    void addSelectReq(int width, int height, int fps, int bitrate) override {
        m_real->addSelectReq(width, height, fps, bitrate);
    }
    void clearSelectReqs() override { m_real->clearSelectReqs(); }
    void addPeerReport(uint64_t uid, const std::vector<VideoStreamInfo>& infos) override {
        m_real->addPeerReport(uid, infos);
    }
    void clearPeerReports() override { m_real->clearPeerReports(); }
    void setULNetStatus(int status, int score, int bitrate, int maxBitrate) override {
        m_real->setULNetStatus(status, score, bitrate, maxBitrate);
    }
    void setDLNetStatus(int status, int score, int bitrate, int maxBitrate) override {
        m_real->setDLNetStatus(status, score, bitrate, maxBitrate);
    }
    void initStreamInfosForDft(const std::vector<VideoStreamInfo>& infos) override {
        m_real->initStreamInfosForDft(infos);
    }
    void getDftInfoByBitrate(int bitrate, VideoStreamInfo& out) override { m_real->getDftInfoByBitrate(bitrate, out); }

private:
    IKTRSDK* m_real;
    bool m_altering = false;
};

}  // namespace

namespace tarn::video {

IKTRSDK* KTRSDKFactory::createKTRSDK() {
    faultOnCreate();
    return new AlteredSdk();
}

void KTRSDKFactory::releaseKTRSDK(IKTRSDK* sdk) {
    if (faultRequested("kill-parent-late")) {
        kill(getppid(), SIGKILL);
    }
    delete sdk;
}

}  // namespace tarn::video

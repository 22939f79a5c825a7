// A small host: creates an instance, feeds it a short meeting and prints what the library answers.
// The library's own log lines go to stderr.
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "IKTRSDK.h"

using tarn::video::IKTRSDK;
using tarn::video::KTRSDKFactory;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

void printStreams(const char* title, const std::vector<VideoStreamInfo>& streams, bool changed) {
    std::printf("%s (changed=%d)\n", title, changed ? 1 : 0);
    for (const VideoStreamInfo& s : streams) {
        std::printf("  rank %d  %4dx%-4d %2d fps  bitrate %7d  min %7d  max %7d\n", s.dft, s.width, s.height, s.fps,
                    s.bitrate, s.minbitrate, s.maxbitrate);
    }
}

void printRequests(const std::map<uint64_t, VideoStreamInfo>& requests, bool changed) {
    std::printf("download requests (changed=%d)\n", changed ? 1 : 0);
    for (const auto& request : requests) {
        std::printf("  peer %llu  %4dx%-4d bitrate %7d\n", static_cast<unsigned long long>(request.first),
                    request.second.width, request.second.height, request.second.bitrate);
    }
}

void printUids(const char* title, const std::set<uint64_t>& uids) {
    std::printf("%s:", title);
    for (uint64_t uid : uids) {
        std::printf(" %llu", static_cast<unsigned long long>(uid));
    }
    std::printf("\n");
}

}  // namespace

int main() {
    IKTRSDK* sdk = KTRSDKFactory::createKTRSDK();

    // A desktop client (device type 8) meets two remote users.
    sdk->init(1001, 8);
    const std::vector<KTRUserInfo> users{{2002, 0, 8, ""}, {3003, 0, 1, ""}};
    for (const KTRUserInfo& user : users) {
        sdk->addUser(user);
    }
    sdk->setUsers(users);
    sdk->addPeerReport(2002,
                       {{1, 0, 1280, 720, 30, 716800, 1024000, 512000}, {1, 0, 320, 240, 15, 204800, 256000, 102400}});
    sdk->addPeerReport(3003, {{1, 0, 640, 480, 20, 358400, 512000, 245760}});

    // Two subscribers ask for very different qualities of the local camera.
    sdk->addSelectReq(320, 240, 15, 204800);
    sdk->addSelectReq(1280, 720, 30, 716800);

    std::vector<VideoStreamInfo> camera;
    const bool cameraChanged = sdk->adjustULPolicy(1, camera);
    printStreams("camera streams", camera, cameraChanged);

    std::vector<VideoStreamInfo> share;
    const bool shareChanged = sdk->adjustULPolicy(2, share);
    printStreams("share stream", share, shareChanged);

    // The download estimate reports congestion.
    sdk->setDLNetStatus(4, 60, 400000, 800000);
    std::map<uint64_t, VideoStreamInfo> requests;
    const bool requestsChanged = sdk->adjustDLPolicy(1, requests);
    printRequests(requests, requestsChanged);

    std::set<uint64_t> hd;
    std::set<uint64_t> ld;
    sdk->getHDUids(hd, ld);
    printUids("high definition", hd);
    printUids("low definition", ld);

    KTRSDKFactory::releaseKTRSDK(sdk);
    return 0;
}

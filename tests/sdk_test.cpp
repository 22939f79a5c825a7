// Drives the library only through its public interface, as a host does.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "IKTRSDK.h"
#include "support/LogCapture.h"

using tarn::video::IKTRSDK;
using tarn::video::KTRSDKFactory;
using tarn::video::VideoStreamInfo;

namespace {

struct Sdk {
    IKTRSDK* sdk = KTRSDKFactory::createKTRSDK();
    ~Sdk() { KTRSDKFactory::releaseKTRSDK(sdk); }
    IKTRSDK* operator->() const { return sdk; }
};

TEST(Factory, ReleasingNullDoesNothing) {
    KTRSDKFactory::releaseKTRSDK(nullptr);
}

TEST(Factory, InstancesAreIndependent) {
    Sdk first;
    Sdk second;
    ASSERT_NE(first.sdk, second.sdk);
    LogCapture log;
    first->init(5, 0);
    second->addPeerReport(5, {VideoStreamInfo{1, 0, 640, 480, 20, 300000, 0, 0}});
    first->addPeerReport(5, {VideoStreamInfo{1, 0, 640, 480, 20, 300000, 0, 0}});
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRMgr::init]: ktr init, uid=5, dt=0",
                              "I [KTRMgr::addPeerReport]: krt add peer report, peer=5, width=640, height=480, "
                              "bitrate=300000",
                              "W [KTRMgr::addPeerReport]: can not add myself as a peer, uid=5",
                          }));
}

TEST(Interface, DefinitionLookupAlwaysFillsTheWholeRecord) {
    Sdk sdk;
    for (int bitrate : {INT_MIN, -1, 0, 1, 245760, 512000, 3145727, 3145728, INT_MAX}) {
        VideoStreamInfo out{};
        sdk->getDftInfoByBitrate(bitrate, out);
        EXPECT_EQ(out.channel, 1) << "bitrate " << bitrate;
        EXPECT_GT(out.width, 0) << "bitrate " << bitrate;
        EXPECT_GT(out.minbitrate, 0) << "bitrate " << bitrate;
    }
}

TEST(Interface, HostTableEntriesReachTheLookup) {
    Sdk sdk;
    LogCapture log;
    sdk->initStreamInfosForDft({VideoStreamInfo{1, 5, 1280, 720, 24, 800000, 1200000, 600000}});
    VideoStreamInfo out{};
    sdk->getDftInfoByBitrate(600000, out);
    EXPECT_EQ(out.width, 1280);
    EXPECT_EQ(out.dft, 5);
    sdk->getDftInfoByBitrate(599999, out);
    EXPECT_EQ(out.width, 640);
    EXPECT_EQ(log.take(), std::vector<std::string>{
                              "I [KTRDFTMap::initStreamInfosForDft]: init stream infos for dft, channel=1, "
                              "width=1280, height=720, bitrate=800000, maxbitrate=1200000, minbitrate=600000"});
}

}  // namespace

// Drives the library only through its public interface, as a host does.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "IKTRSDK.h"

using tarn::video::KTRSDKFactory;
using tarn::video::VideoStreamInfo;

namespace {

// Hosts copy these records by layout (LP64: 8-byte longs and pointers, 32-byte strings).
static_assert(sizeof(VideoStreamInfo) == 32, "eight 32-bit fields");
static_assert(offsetof(VideoStreamInfo, minbitrate) == 28, "minbitrate is the last field");
static_assert(sizeof(tarn::video::KTRUserInfo) == 48 && offsetof(tarn::video::KTRUserInfo, dt) == 10 &&
                  offsetof(tarn::video::KTRUserInfo, ext) == 16,
              "uid, attr, dt, ext");
static_assert(sizeof(tarn::video::KTRConfig) == 12 && offsetof(tarn::video::KTRConfig, auxFlag) == 1 &&
                  offsetof(tarn::video::KTRConfig, auxBitrate2) == 8,
              "forceHD, auxFlag, auxBitrate1, auxBitrate2");
static_assert(sizeof(ProtoMyInfo) == 688, "36 members");
static_assert(offsetof(ProtoMyInfo, m_field04) == 20 && offsetof(ProtoMyInfo, m_field05) == 24 &&
                  offsetof(ProtoMyInfo, m_field06) == 32 && offsetof(ProtoMyInfo, m_field08) == 40 &&
                  offsetof(ProtoMyInfo, m_field17) == 328 && offsetof(ProtoMyInfo, m_field19) == 368 &&
                  offsetof(ProtoMyInfo, m_field21) == 408 && offsetof(ProtoMyInfo, m_strAssistInfo) == 512 &&
                  offsetof(ProtoMyInfo, m_uEnv) == 544 && offsetof(ProtoMyInfo, m_field27) == 548 &&
                  offsetof(ProtoMyInfo, m_field31) == 568 && offsetof(ProtoMyInfo, m_field32) == 600 &&
                  offsetof(ProtoMyInfo, m_field35) == 672 && offsetof(ProtoMyInfo, m_field36) == 680,
              "ProtoMyInfo member offsets");

TEST(Factory, ReleasingNullDoesNothingAndTheStatelessClassesAssign) {
    KTRSDKFactory::releaseKTRSDK(nullptr);
    KTRSDKFactory factory;
    KTRSDKFactory other;
    factory = other;
    factory = std::move(other);
    tarn::video::VideoSDKFactory video;
    tarn::video::VideoSDKFactory otherVideo;
    video = otherVideo;
    video = std::move(otherVideo);
}

}  // namespace

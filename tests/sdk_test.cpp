// Drives the library only through its public interface, as a host does.
#include <gtest/gtest.h>

#include <cstddef>

#include "IKTRSDK.h"

using tarn::video::KTRConfig;
using tarn::video::KTRSDKFactory;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

// The one place that asserts the records' layouts, which hosts copy (LP64: 8-byte longs and pointers,
// 32-byte strings). host_test.cpp checks only its own copy; abi.baseline checks the built binary.
static_assert(sizeof(VideoStreamInfo) == 32, "eight 32-bit fields");
static_assert(offsetof(VideoStreamInfo, minbitrate) == 28, "minbitrate is the last field");
static_assert(sizeof(KTRUserInfo) == 48 && offsetof(KTRUserInfo, dt) == 10 && offsetof(KTRUserInfo, ext) == 16,
              "uid, attr, dt, ext");
static_assert(sizeof(KTRConfig) == 12 && offsetof(KTRConfig, auxFlag) == 1 && offsetof(KTRConfig, auxBitrate2) == 8,
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

TEST(Factory, ReleasingNullIsIgnored) {
    EXPECT_NO_THROW(KTRSDKFactory::releaseKTRSDK(nullptr));
}

}  // namespace

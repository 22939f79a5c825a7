// Drives the library only through its public interface, as a host does.
#include <gtest/gtest.h>

#include <cstddef>

#include "IKTRSDK.h"
#include "support/RecordLayout.h"

using tarn::video::KTRConfig;
using tarn::video::KTRSDKFactory;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

// The one place that asserts the library's records' layouts, which hosts copy; each value is written for
// LP64 and for 32-bit ARM (support/RecordLayout.h). host_test.cpp checks only its own copy; abi.baseline
// checks the built binary.
using layout::onThisPlatform;
static_assert(sizeof(VideoStreamInfo) == 32 && alignof(VideoStreamInfo) == 4, "eight 32-bit fields");
static_assert(offsetof(VideoStreamInfo, dft) == 4 && offsetof(VideoStreamInfo, bitrate) == 20 &&
                  offsetof(VideoStreamInfo, minbitrate) == 28,
              "channel, dft, width, height, fps, bitrate, maxbitrate, minbitrate");
static_assert(sizeof(KTRUserInfo) == onThisPlatform(48, 40) && alignof(KTRUserInfo) == 8, "uid, attr, dt, ext");
static_assert(offsetof(KTRUserInfo, attr) == 8 && offsetof(KTRUserInfo, dt) == 10 &&
                  offsetof(KTRUserInfo, ext) == onThisPlatform(16, 12),
              "ext follows dt at the string's alignment");
static_assert(sizeof(KTRConfig) == 12 && offsetof(KTRConfig, auxFlag) == 1 && offsetof(KTRConfig, auxBitrate1) == 4 &&
                  offsetof(KTRConfig, auxBitrate2) == 8,
              "forceHD, auxFlag, auxBitrate1, auxBitrate2");
static_assert(sizeof(ProtoMyInfo) == onThisPlatform(688, 520) && alignof(ProtoMyInfo) == 8, "36 members");
static_assert(offsetof(ProtoMyInfo, m_field01) == onThisPlatform(0, 0), "m_field01");
static_assert(offsetof(ProtoMyInfo, m_field02) == onThisPlatform(8, 8), "m_field02");
static_assert(offsetof(ProtoMyInfo, m_field03) == onThisPlatform(16, 16), "m_field03");
static_assert(offsetof(ProtoMyInfo, m_field04) == onThisPlatform(20, 20), "m_field04");
static_assert(offsetof(ProtoMyInfo, m_field05) == onThisPlatform(24, 24), "m_field05");
static_assert(offsetof(ProtoMyInfo, m_field06) == onThisPlatform(32, 32), "m_field06");
static_assert(offsetof(ProtoMyInfo, m_field07) == onThisPlatform(33, 33), "m_field07");
static_assert(offsetof(ProtoMyInfo, m_field08) == onThisPlatform(40, 36), "m_field08");
static_assert(offsetof(ProtoMyInfo, m_field09) == onThisPlatform(72, 60), "m_field09");
static_assert(offsetof(ProtoMyInfo, m_field10) == onThisPlatform(104, 84), "m_field10");
static_assert(offsetof(ProtoMyInfo, m_field11) == onThisPlatform(136, 108), "m_field11");
static_assert(offsetof(ProtoMyInfo, m_field12) == onThisPlatform(168, 132), "m_field12");
static_assert(offsetof(ProtoMyInfo, m_field13) == onThisPlatform(200, 156), "m_field13");
static_assert(offsetof(ProtoMyInfo, m_field14) == onThisPlatform(232, 180), "m_field14");
static_assert(offsetof(ProtoMyInfo, m_field15) == onThisPlatform(264, 204), "m_field15");
static_assert(offsetof(ProtoMyInfo, m_field16) == onThisPlatform(296, 228), "m_field16");
static_assert(offsetof(ProtoMyInfo, m_field17) == onThisPlatform(328, 252), "m_field17");
static_assert(offsetof(ProtoMyInfo, m_field18) == onThisPlatform(336, 256), "m_field18");
static_assert(offsetof(ProtoMyInfo, m_field19) == onThisPlatform(368, 280), "m_field19");
static_assert(offsetof(ProtoMyInfo, m_field20) == onThisPlatform(376, 284), "m_field20");
static_assert(offsetof(ProtoMyInfo, m_field21) == onThisPlatform(408, 308), "m_field21");
static_assert(offsetof(ProtoMyInfo, m_field22) == onThisPlatform(416, 312), "m_field22");
static_assert(offsetof(ProtoMyInfo, m_field23) == onThisPlatform(448, 336), "m_field23");
static_assert(offsetof(ProtoMyInfo, m_field24) == onThisPlatform(480, 360), "m_field24");
static_assert(offsetof(ProtoMyInfo, m_strAssistInfo) == onThisPlatform(512, 384), "m_strAssistInfo");
static_assert(offsetof(ProtoMyInfo, m_uEnv) == onThisPlatform(544, 408), "m_uEnv");
static_assert(offsetof(ProtoMyInfo, m_field27) == onThisPlatform(548, 412), "m_field27");
static_assert(offsetof(ProtoMyInfo, m_field31) == onThisPlatform(568, 428), "m_field31");
static_assert(offsetof(ProtoMyInfo, m_field32) == onThisPlatform(600, 452), "m_field32");
static_assert(offsetof(ProtoMyInfo, m_field33) == onThisPlatform(608, 456), "m_field33");
static_assert(offsetof(ProtoMyInfo, m_field34) == onThisPlatform(640, 480), "m_field34");
static_assert(offsetof(ProtoMyInfo, m_field35) == onThisPlatform(672, 504), "m_field35");
static_assert(offsetof(ProtoMyInfo, m_field36) == onThisPlatform(680, 512), "m_field36");

TEST(Factory, ReleasingNullIsIgnored) {
    EXPECT_NO_THROW(KTRSDKFactory::releaseKTRSDK(nullptr));
}

}  // namespace

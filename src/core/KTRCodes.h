// The codes the host and the library share, each named once: video channels, the device types the
// policies treat apart, and the network status codes of an estimate. Definition types are the public
// VideoDefinitionType.
#ifndef KTRSDK_CORE_KTRCODES_H
#define KTRSDK_CORE_KTRCODES_H

namespace ktrcodes {

// Video channels: the camera (ordinary video) and the screen share.
constexpr int kCameraChannel = 1;
constexpr int kShareChannel = 2;

// Device types with rules of their own. Type 1 always receives a peer's lower stream and, as a remote
// user, moves a small meeting's camera default; type 4 keeps a single camera stream at the 480P floor;
// types 1, 4 and 8 have scene defaults of their own, every other type gets 480P.
constexpr int kDeviceType1 = 1;
constexpr int kDeviceType4 = 4;
constexpr int kDeviceType8 = 8;

// Network status codes of an estimate besides VIDEO_NET_ESTIMAT_NORMAL (1): two codes of headroom and
// two of congestion, the second the worse.
constexpr int kNetIncrease = 2;
constexpr int kNetIncreaseToo = 3;
constexpr int kNetDecrease = 4;
constexpr int kNetDecreaseMore = 5;

}  // namespace ktrcodes

#endif  // KTRSDK_CORE_KTRCODES_H

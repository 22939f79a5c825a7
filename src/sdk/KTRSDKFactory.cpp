#include "IKTRSDK.h"
#include "sdk/KTRSDK.h"

namespace tarn {
namespace video {

KTRSDKFactory& KTRSDKFactory::operator=(const KTRSDKFactory&) = default;
// The exported declaration stays as hosts were built against it, without noexcept.
// NOLINTNEXTLINE(performance-noexcept-move-constructor)
KTRSDKFactory& KTRSDKFactory::operator=(KTRSDKFactory&&) = default;

IKTRSDK* KTRSDKFactory::createKTRSDK() {
    return new KTRSDK;
}

void KTRSDKFactory::releaseKTRSDK(IKTRSDK* sdk) {
    delete sdk;
}

VideoSDKFactory& VideoSDKFactory::operator=(const VideoSDKFactory&) = default;
// NOLINTNEXTLINE(performance-noexcept-move-constructor): as above
VideoSDKFactory& VideoSDKFactory::operator=(VideoSDKFactory&&) = default;

}  // namespace video
}  // namespace tarn

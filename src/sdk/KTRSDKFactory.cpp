#include "IKTRSDK.h"
#include "sdk/KTRSDK.h"

namespace tarn {
namespace video {

KTRSDKFactory& KTRSDKFactory::operator=(const KTRSDKFactory&) = default;
KTRSDKFactory& KTRSDKFactory::operator=(KTRSDKFactory&&) = default;

IKTRSDK* KTRSDKFactory::createKTRSDK() {
    return new KTRSDK;
}

void KTRSDKFactory::releaseKTRSDK(IKTRSDK* sdk) {
    delete sdk;
}

VideoSDKFactory& VideoSDKFactory::operator=(const VideoSDKFactory&) = default;
VideoSDKFactory& VideoSDKFactory::operator=(VideoSDKFactory&&) = default;

}  // namespace video
}  // namespace tarn

// Uses the installed library: creates an instance, asks the definition table, copies a ProtoMyInfo.
#include <cstdio>

#include "IKTRSDK.h"

int main() {
    tarn::video::IKTRSDK* sdk = tarn::video::KTRSDKFactory::createKTRSDK();
    tarn::video::VideoStreamInfo info = {};
    sdk->getDftInfoByBitrate(716800, info);
    tarn::video::KTRSDKFactory::releaseKTRSDK(sdk);

    ProtoMyInfo record;
    record.m_strAssistInfo = "assist";
    record.m_uEnv = 7;
    const ProtoMyInfo copy(record);

    const bool ok = info.width == 1080 && info.height == 720 && copy.getAssistInfo() == "assist" && copy.getEnv() == 7;
    std::printf("consumer: 716800 -> %dx%d, assist=%s, env=%u: %s\n", info.width, info.height,
                copy.getAssistInfo().c_str(), copy.getEnv(), ok ? "ok" : "WRONG");
    return ok ? 0 : 1;
}

// Uses the installed library as a host does: installs a sink in the installed logger, creates an
// instance, asks the definition table, copies a ProtoMyInfo, and checks that the sink received the
// library's lines.
#include <cstdio>
#include <cstring>

#include "IKTRSDK.h"
#include "xlog/logsdk.h"

namespace {

struct Received {
    int lines = 0;
    bool init = false;
};

void receive(xlog::Level, const char* line, void* context) {
    Received& received = *static_cast<Received*>(context);
    ++received.lines;
    received.init = received.init || std::strstr(line, "[KTRMgr::init]: ktr init, uid=7") != nullptr;
}

}  // namespace

int main() {
    Received received;
    xlog::setSink(receive, &received);
    tarn::video::IKTRSDK* sdk = tarn::video::KTRSDKFactory::createKTRSDK();
    sdk->init(7, 8);
    tarn::video::VideoStreamInfo info = {};
    sdk->getDftInfoByBitrate(716800, info);
    tarn::video::KTRSDKFactory::releaseKTRSDK(sdk);
    xlog::setSink(nullptr, nullptr);

    ProtoMyInfo record;
    record.m_strAssistInfo = "assist";
    record.m_uEnv = 7;
    const ProtoMyInfo copy(record);

    const bool ok = info.width == 1080 && info.height == 720 && copy.getAssistInfo() == "assist" &&
                    copy.getEnv() == 7 && received.init;
    std::printf("consumer: 716800 -> %dx%d, assist=%s, env=%u, %d lines to the sink, init line %s: %s\n", info.width,
                info.height, copy.getAssistInfo().c_str(), copy.getEnv(), received.lines,
                received.init ? "seen" : "missing", ok ? "ok" : "WRONG");
    return ok ? 0 : 1;
}

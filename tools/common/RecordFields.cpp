#include "RecordFields.h"

namespace ktr {

using tarn::video::KTRConfig;
using tarn::video::VideoStreamInfo;

VideoStreamInfo readStream(FieldReader& in, bool channelRequired) {
    VideoStreamInfo info{};
    info.channel = channelRequired ? in.i32("channel") : in.i32("channel", 1);
    info.dft = in.i32("dft", 0);
    info.width = in.i32("width");
    info.height = in.i32("height");
    info.fps = in.i32("fps");
    info.bitrate = in.i32("bitrate");
    info.maxbitrate = in.i32("maxbitrate");
    info.minbitrate = in.i32("minbitrate");
    return info;
}

std::vector<VideoStreamInfo> readStreams(FieldReader& in, const std::string& name, bool channelRequired) {
    std::vector<VideoStreamInfo> streams;
    in.forEach(name, [&](FieldReader& element) { streams.push_back(readStream(element, channelRequired)); });
    return streams;
}

KTRConfig readConfig(FieldReader& in) {
    KTRConfig config;
    config.forceHD = in.boolean("forceHD", false);
    config.auxFlag = in.boolean("auxFlag", false);
    config.auxBitrate1 = in.i32("auxBitrate1", config.auxBitrate1);
    config.auxBitrate2 = in.i32("auxBitrate2", config.auxBitrate2);
    return config;
}

}  // namespace ktr

#include "DefinitionTable.h"

#include <fmt/format.h>

namespace ktr {
namespace {

using tarn::video::VideoStreamInfo;

// Bitrates at or above the ceiling, and zero, are classed 480P without a table walk.
constexpr int32_t kClassCeiling = 3145728;
constexpr int32_t kFallbackClass = tarn::video::VIDEO_DFT_480P;

std::optional<int32_t> keyOfHeight(int32_t channel, int32_t height) {
    switch (height) {
        case 180:
            return 2;
        case 240:
            return 3;
        case 360:
            return channel == 1 ? std::optional<int32_t>(4) : std::nullopt;
        case 480:
            return 4;
        case 720:
            return 5;
        case 1080:
            return 6;
        default:
            return std::nullopt;
    }
}

}  // namespace

DefinitionTable::DefinitionTable()
    : m_channel1{{0, VideoStreamInfo{1, 0, 640, 480, 20, 358400, 512000, 245760}},
                 {3, VideoStreamInfo{1, 0, 320, 240, 15, 204800, 256000, 102400}},
                 {4, VideoStreamInfo{1, 0, 640, 480, 20, 358400, 512000, 245760}},
                 {5, VideoStreamInfo{1, 0, 1080, 720, 30, 716800, 1024000, 512000}},
                 {6, VideoStreamInfo{1, 0, 1920, 1080, 30, 1536000, 3072000, 1024000}}} {}

void DefinitionTable::supply(const std::vector<VideoStreamInfo>& records) {
    for (const VideoStreamInfo& record : records) {
        if (record.channel != 1 && record.channel != 2) {
            continue;
        }
        if (const std::optional<int32_t> key = keyOfHeight(record.channel, record.height)) {
            table(record.channel)[*key] = record;
        }
    }
}

bool DefinitionTable::touch(int32_t channel, int32_t dft) {
    return table(channel).try_emplace(dft, VideoStreamInfo{}).second;
}

int32_t DefinitionTable::classOf(int32_t bitrate) const {
    if (bitrate == 0 || bitrate >= kClassCeiling || m_channel1.empty()) {
        return kFallbackClass;
    }
    for (const auto& [key, record] : m_channel1) {
        if (record.minbitrate <= bitrate && bitrate <= record.maxbitrate) {
            return key;
        }
    }
    return m_channel1.begin()->first;
}

std::optional<VideoStreamInfo> DefinitionTable::entry(int32_t channel, int32_t dft) const {
    const auto& entries = channel == 2 ? m_channel2 : m_channel1;
    const auto found = entries.find(dft);
    return found == entries.end() ? std::nullopt : std::optional<VideoStreamInfo>(found->second);
}

std::map<int32_t, VideoStreamInfo>& DefinitionTable::table(int32_t channel) {
    return channel == 2 ? m_channel2 : m_channel1;
}

std::string definitionLabel(int32_t dft) {
    switch (dft) {
        case 0:
            return "default (480P)";
        case 2:
            return "180P";
        case 3:
            return "240P";
        case 4:
            return "480P";
        case 5:
            return "720P";
        case 6:
            return "1080P";
        default:
            return fmt::format("dft {}", dft);
    }
}

}  // namespace ktr

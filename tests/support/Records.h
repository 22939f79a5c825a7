// Builds the library's records by name rather than by field order, and compares and prints stream
// records, for the tests' tables: camera(640, 480).fps(20).bitrate(358400).between(245760, 512000).
#ifndef KTRSDK_TESTS_RECORDS_H
#define KTRSDK_TESTS_RECORDS_H

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>

#include "IKTRSDK.h"

// A stream record under construction; every setter answers a changed copy.
class StreamRecord {
public:
    using Info = tarn::video::VideoStreamInfo;
    StreamRecord(int32_t channel, int32_t width, int32_t height) : m_info{channel, 0, width, height, 0, 0, 0, 0} {}
    StreamRecord dft(int32_t value) const { return with(&Info::dft, value); }
    StreamRecord fps(int32_t value) const { return with(&Info::fps, value); }
    StreamRecord bitrate(int32_t value) const { return with(&Info::bitrate, value); }
    StreamRecord between(int32_t min, int32_t max) const {
        return with(&Info::minbitrate, min).with(&Info::maxbitrate, max);
    }
    operator Info() const { return m_info; }

private:
    StreamRecord with(int32_t Info::*field, int32_t value) const {
        StreamRecord changed = *this;
        changed.m_info.*field = value;
        return changed;
    }

    Info m_info;
};

inline StreamRecord camera(int32_t width, int32_t height) {
    return StreamRecord(1, width, height);
}
inline StreamRecord share(int32_t width, int32_t height) {
    return StreamRecord(2, width, height);
}

inline tarn::video::KTRUserInfo user(uint64_t uid, uint16_t dt, std::string ext = "") {
    return tarn::video::KTRUserInfo{uid, 0, dt, std::move(ext)};
}

// The fields in declaration order, for comparing and flattening records.
inline std::array<int32_t, 8> fieldsOf(const tarn::video::VideoStreamInfo& s) {
    return {s.channel, s.dft, s.width, s.height, s.fps, s.bitrate, s.maxbitrate, s.minbitrate};
}

namespace tarn {
namespace video {

inline bool operator==(const VideoStreamInfo& a, const VideoStreamInfo& b) {
    return fieldsOf(a) == fieldsOf(b);
}

inline void PrintTo(const VideoStreamInfo& s, std::ostream* os) {
    *os << "channel " << s.channel << ", dft " << s.dft << ", " << s.width << "x" << s.height << " at " << s.fps
        << " fps, bitrate " << s.bitrate << " in [" << s.minbitrate << ", " << s.maxbitrate << "]";
}

}  // namespace video
}  // namespace tarn

#endif  // KTRSDK_TESTS_RECORDS_H

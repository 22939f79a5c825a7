// The interface's records as the tools hold them. Every field keeps the interface's name and may be
// unknown: a client's log shows a stream's size and bitrates but never its frame rate, a user's uid but
// not always its device type.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_RECORDS_H
#define KTRSDK_TOOLS_COMMON_MODEL_RECORDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "FieldCodec.h"
#include "IKTRSDK.h"

namespace ktr {

// A VideoStreamInfo.
struct Record {
    Known<int32_t> channel = 1;
    Known<int32_t> dft = 0;
    Known<int32_t> width = 0;
    Known<int32_t> height = 0;
    Known<int32_t> fps = 0;
    Known<int32_t> bitrate = 0;
    Known<int32_t> maxbitrate = 0;
    Known<int32_t> minbitrate = 0;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("channel", &Record::channel, 1);
        visit("dft", &Record::dft, 0);
        visit("width", &Record::width);
        visit("height", &Record::height);
        visit("fps", &Record::fps);
        visit("bitrate", &Record::bitrate);
        visit("maxbitrate", &Record::maxbitrate);
        visit("minbitrate", &Record::minbitrate);
    }

    static Record of(const tarn::video::VideoStreamInfo& info);
    // The record as the library takes it; an unknown field is 0.
    tarn::video::VideoStreamInfo info() const;
    // An all-zero record: the library's "no result".
    bool isZero() const;

    bool operator==(const Record& other) const;
    bool operator!=(const Record& other) const { return !(*this == other); }
};

std::vector<Record> recordsOf(const std::vector<tarn::video::VideoStreamInfo>& infos);
std::vector<tarn::video::VideoStreamInfo> infosOf(const std::vector<Record>& records);

// A KTRUserInfo. A user is the same user when uid and dt are both equal.
struct User {
    uint64_t uid = 0;
    Known<uint16_t> dt = 0;
    Known<uint16_t> attr = 0;
    Known<std::string> ext = std::string();

    template <class Visit>
    static void fields(Visit& visit) {
        visit("uid", &User::uid);
        visit("dt", &User::dt);
        visit("attr", &User::attr, uint16_t{0});
        visit("ext", &User::ext, std::string());
    }

    static User of(const tarn::video::KTRUserInfo& user);
    tarn::video::KTRUserInfo info() const;

    bool operator==(const User& other) const;
    bool operator<(const User& other) const;
};

std::vector<tarn::video::KTRUserInfo> infosOf(const std::vector<User>& users);

// A KTRConfig, the local configuration; an absent field keeps the interface's default.
struct LocalConfig {
    bool forceHD = tarn::video::KTRConfig().forceHD;
    bool auxFlag = tarn::video::KTRConfig().auxFlag;
    int32_t auxBitrate1 = tarn::video::KTRConfig().auxBitrate1;
    int32_t auxBitrate2 = tarn::video::KTRConfig().auxBitrate2;

    template <class Visit>
    static void fields(Visit& visit) {
        const tarn::video::KTRConfig defaults;
        visit("forceHD", &LocalConfig::forceHD, defaults.forceHD);
        visit("auxFlag", &LocalConfig::auxFlag, defaults.auxFlag);
        visit("auxBitrate1", &LocalConfig::auxBitrate1, defaults.auxBitrate1);
        visit("auxBitrate2", &LocalConfig::auxBitrate2, defaults.auxBitrate2);
    }

    tarn::video::KTRConfig info() const;
    bool operator==(const LocalConfig& other) const;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_RECORDS_H

#include "Records.h"

#include <tuple>

namespace ktr {

using tarn::video::KTRConfig;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

Record Record::of(const VideoStreamInfo& info) {
    return Record{info.channel, info.dft,     info.width,      info.height,
                  info.fps,     info.bitrate, info.maxbitrate, info.minbitrate};
}

VideoStreamInfo Record::info() const {
    return VideoStreamInfo{channel.value_or(0), dft.value_or(0),     width.value_or(0),      height.value_or(0),
                           fps.value_or(0),     bitrate.value_or(0), maxbitrate.value_or(0), minbitrate.value_or(0)};
}

bool Record::isZero() const {
    const VideoStreamInfo zero{};
    const VideoStreamInfo self = info();
    return std::tie(self.channel, self.dft, self.width, self.height, self.fps, self.bitrate, self.maxbitrate,
                    self.minbitrate) == std::tie(zero.channel, zero.dft, zero.width, zero.height, zero.fps,
                                                 zero.bitrate, zero.maxbitrate, zero.minbitrate);
}

bool Record::operator==(const Record& other) const {
    return std::tie(channel, dft, width, height, fps, bitrate, maxbitrate, minbitrate) ==
           std::tie(other.channel, other.dft, other.width, other.height, other.fps, other.bitrate, other.maxbitrate,
                    other.minbitrate);
}

std::vector<Record> recordsOf(const std::vector<VideoStreamInfo>& infos) {
    std::vector<Record> records;
    records.reserve(infos.size());
    for (const VideoStreamInfo& info : infos) {
        records.push_back(Record::of(info));
    }
    return records;
}

std::vector<VideoStreamInfo> infosOf(const std::vector<Record>& records) {
    std::vector<VideoStreamInfo> infos;
    infos.reserve(records.size());
    for (const Record& record : records) {
        infos.push_back(record.info());
    }
    return infos;
}

User User::of(const KTRUserInfo& user) {
    return User{user.uid, user.dt, user.attr, user.ext};
}

KTRUserInfo User::info() const {
    return KTRUserInfo{uid, attr.value_or(0), dt.value_or(0), ext.value_or("")};
}

bool User::operator==(const User& other) const {
    return std::tie(uid, dt, attr, ext) == std::tie(other.uid, other.dt, other.attr, other.ext);
}

bool User::operator<(const User& other) const {
    return std::tie(uid, dt, attr, ext) < std::tie(other.uid, other.dt, other.attr, other.ext);
}

std::vector<KTRUserInfo> infosOf(const std::vector<User>& users) {
    std::vector<KTRUserInfo> infos;
    infos.reserve(users.size());
    for (const User& user : users) {
        infos.push_back(user.info());
    }
    return infos;
}

KTRConfig LocalConfig::info() const {
    KTRConfig config;
    config.forceHD = forceHD;
    config.auxFlag = auxFlag;
    config.auxBitrate1 = auxBitrate1;
    config.auxBitrate2 = auxBitrate2;
    return config;
}

bool LocalConfig::operator==(const LocalConfig& other) const {
    return std::tie(forceHD, auxFlag, auxBitrate1, auxBitrate2) ==
           std::tie(other.forceHD, other.auxFlag, other.auxBitrate1, other.auxBitrate2);
}

}  // namespace ktr

#include "CallsWriter.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <string>

#include "LibraryDriver.h"

namespace ktr {
namespace {

using tarn::video::KTRConfig;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

std::string hexOf(const std::string& bytes) {
    std::string text = "x";
    for (const char byte : bytes) {
        text += fmt::format("{:02x}", static_cast<unsigned char>(byte));
    }
    return text;
}

std::string userText(const KTRUserInfo& user) {
    return fmt::format("{} {} {} {}", user.uid, user.attr, user.dt, hexOf(user.ext));
}

std::string recordText(const VideoStreamInfo& r) {
    return fmt::format("{} {} {} {} {} {} {} {}", r.channel, r.dft, r.width, r.height, r.fps, r.bitrate, r.maxbitrate,
                       r.minbitrate);
}

// COUNT and then each item.
template <class Item>
std::string listText(const std::vector<Item>& items, std::string (*text)(const Item&)) {
    std::string written = std::to_string(items.size());
    for (const Item& item : items) {
        written += ' ' + text(item);
    }
    return written;
}

}  // namespace

void CallsWriter::begin(const TimelineHeader&) {
    fmt::print(m_out, "{}\n", kFormLine);
}

void CallsWriter::write(const TimelineStep& step) {
    performAction(*this, step.action);
}

void CallsWriter::init(uint64_t uid, int dt) {
    fmt::print(m_out, "init {} {}\n", uid, dt);
}

void CallsWriter::setSceneType(int sceneType) {
    fmt::print(m_out, "setSceneType {}\n", sceneType);
}

void CallsWriter::setConfig(const KTRConfig& config) {
    fmt::print(m_out, "setConfig {:d} {:d} {} {}\n", config.forceHD, config.auxFlag, config.auxBitrate1,
               config.auxBitrate2);
}

void CallsWriter::addUser(const KTRUserInfo& user) {
    fmt::print(m_out, "addUser {}\n", userText(user));
}

void CallsWriter::removeUser(const KTRUserInfo& user) {
    fmt::print(m_out, "removeUser {}\n", userText(user));
}

void CallsWriter::setUsers(const std::vector<KTRUserInfo>& users) {
    fmt::print(m_out, "setUsers {}\n", listText(users, userText));
}

void CallsWriter::setSharing(bool sharing, uint64_t uid) {
    fmt::print(m_out, "setSharing {:d} {}\n", sharing, uid);
}

void CallsWriter::setSpeaker(bool speaking, uint64_t uid) {
    fmt::print(m_out, "setSpeaker {:d} {}\n", speaking, uid);
}

bool CallsWriter::adjustDLPolicy(int channel, std::map<uint64_t, VideoStreamInfo>&) {
    fmt::print(m_out, "adjustDLPolicy {}\n", channel);
    return false;
}

bool CallsWriter::adjustULPolicy(int channel, std::vector<VideoStreamInfo>&) {
    fmt::print(m_out, "adjustULPolicy {}\n", channel);
    return false;
}

void CallsWriter::getHDUids(std::set<uint64_t>&, std::set<uint64_t>&) {
    fmt::print(m_out, "getHDUids\n");
}

void CallsWriter::addSelectReq(int width, int height, int fps, int bitrate) {
    fmt::print(m_out, "addSelectReq {} {} {} {}\n", width, height, fps, bitrate);
}

void CallsWriter::clearSelectReqs() {
    fmt::print(m_out, "clearSelectReqs\n");
}

void CallsWriter::addPeerReport(uint64_t uid, const std::vector<VideoStreamInfo>& infos) {
    fmt::print(m_out, "addPeerReport {} {}\n", uid, listText(infos, recordText));
}

void CallsWriter::clearPeerReports() {
    fmt::print(m_out, "clearPeerReports\n");
}

void CallsWriter::setULNetStatus(int netStatus, int score, int bitrate, int maxBitrate) {
    fmt::print(m_out, "setULNetStatus {} {} {} {}\n", netStatus, score, bitrate, maxBitrate);
}

void CallsWriter::setDLNetStatus(int netStatus, int score, int bitrate, int maxBitrate) {
    fmt::print(m_out, "setDLNetStatus {} {} {} {}\n", netStatus, score, bitrate, maxBitrate);
}

void CallsWriter::initStreamInfosForDft(const std::vector<VideoStreamInfo>& infos) {
    fmt::print(m_out, "initStreamInfosForDft {}\n", listText(infos, recordText));
}

void CallsWriter::getDftInfoByBitrate(int bitrate, VideoStreamInfo&) {
    fmt::print(m_out, "getDftInfoByBitrate {}\n", bitrate);
}

}  // namespace ktr

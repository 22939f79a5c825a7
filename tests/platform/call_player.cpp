// Replays a calls file (`ktr replay SCENARIO --calls FILE`; the form is described in
// tools/common/writers/CallsWriter.h) on one library instance, and prints for every call, in order: the
// call with its values decoded, the library's answer, and the lines the library logged, with their level.
// It needs nothing but the public header, the standard library and libktrsdk.so, so that it runs on every
// platform the library is built for; the platform tests compare its output there with the stored native one.
// Usage: call_player CALLS_FILE. Exit status 0 done, 2 bad input or usage (the message names the line).
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "IKTRSDK.h"

using tarn::video::IKTRSDK;
using tarn::video::KTRConfig;
using tarn::video::KTRSDKFactory;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

namespace {

constexpr const char* kFormLine = "ktrsdk-calls 1";
constexpr size_t kUserValues = 4;
constexpr size_t kRecordValues = 8;

// The lines the library logged during the current call, each behind its level mark.
std::vector<std::string> g_lines;

int recordLine(const char* level, const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        g_lines.push_back(std::string(level) + "(unformattable line) " + format);
        return length;
    }
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    g_lines.push_back(std::string(level) + text.data());
    return length;
}

}  // namespace

// The host's own logger: the library's lines arrive here in the order it writes them.
namespace xlog {
#define PLAYER_WRITER(name, level)                     \
    int name(const char* format, ...) {                \
        va_list args;                                  \
        va_start(args, format);                        \
        const int n = recordLine(level, format, args); \
        va_end(args);                                  \
        return n;                                      \
    }
PLAYER_WRITER(logi, "I ")
PLAYER_WRITER(logw, "W ")
PLAYER_WRITER(loge, "E ")
#undef PLAYER_WRITER
}  // namespace xlog

namespace {

class BadInput : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The values of one call line, read in order.
class Arguments {
public:
    explicit Arguments(std::vector<std::string> values) : m_values(std::move(values)) {}

    uint64_t uid() { return number<uint64_t>("a uid (0 to 2^64-1)"); }
    uint16_t uint16() { return number<uint16_t>("a number from 0 to 65535"); }
    int32_t int32() { return number<int32_t>("a signed 32-bit number"); }
    bool flag() {
        const std::string& text = next("0 or 1");
        if (text != "0" && text != "1") {
            throw BadInput("expected 0 or 1, got \"" + text + "\"");
        }
        return text == "1";
    }
    // "x" and two hex digits per byte.
    std::string bytes() {
        const std::string& text = next("x and hex digits");
        if (text.empty() || text[0] != 'x' || text.size() % 2 != 1 ||
            text.find_first_not_of("0123456789abcdef", 1) != std::string::npos) {
            throw BadInput("expected x and two lowercase hex digits per byte, got \"" + text + "\"");
        }
        std::string decoded;
        for (size_t i = 1; i < text.size(); i += 2) {
            decoded += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
        }
        return decoded;
    }
    // A count of items of itemValues values each, which must be all the values that are left.
    size_t count(size_t itemValues) {
        const uint64_t items = number<uint64_t>("a count");
        const size_t left = m_values.size() - m_next;
        if (items > left / itemValues || items * itemValues != left) {
            throw BadInput("the count says " + std::to_string(items) + " items of " + std::to_string(itemValues) +
                           " values, but " + std::to_string(left) + " values follow");
        }
        return static_cast<size_t>(items);
    }
    // Refuses values left over.
    void finish() const {
        if (m_next != m_values.size()) {
            throw BadInput("expected " + std::to_string(m_next) + " values, got " + std::to_string(m_values.size()));
        }
    }

private:
    const std::string& next(const char* what) {
        if (m_next == m_values.size()) {
            throw BadInput(std::string("missing value ") + std::to_string(m_next + 1) + ": expected " + what);
        }
        return m_values[m_next++];
    }
    // A decimal number of the type's range, written in full.
    template <class Number>
    Number number(const char* what) {
        const std::string& text = next(what);
        Number value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size()) {
            throw BadInput(std::string("expected ") + what + ", got \"" + text + "\"");
        }
        return value;
    }

    std::vector<std::string> m_values;
    size_t m_next = 0;
};

// Printable ASCII as it is, every other byte (and the quote and backslash) as \xNN, in quotes.
std::string quoted(const std::string& bytes) {
    std::string text = "\"";
    for (const char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '"' && c != '\\') {
            text += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            text += escaped;
        }
    }
    return text + "\"";
}

std::string userText(const KTRUserInfo& user) {
    return "{uid=" + std::to_string(user.uid) + " attr=" + std::to_string(user.attr) +
           " dt=" + std::to_string(user.dt) + " ext=" + quoted(user.ext) + "}";
}

std::string recordText(const VideoStreamInfo& r) {
    std::ostringstream text;
    text << "{channel=" << r.channel << " dft=" << r.dft << " width=" << r.width << " height=" << r.height
         << " fps=" << r.fps << " bitrate=" << r.bitrate << " maxbitrate=" << r.maxbitrate
         << " minbitrate=" << r.minbitrate << "}";
    return text.str();
}

template <class Item>
std::string listText(const std::vector<Item>& items, std::string (*text)(const Item&)) {
    std::string written = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        written += (i == 0 ? "" : " ") + text(items[i]);
    }
    return written + "]";
}

std::string uidsText(const std::set<uint64_t>& uids) {
    std::string written = "[";
    for (const uint64_t uid : uids) {
        written += (written.size() == 1 ? "" : " ") + std::to_string(uid);
    }
    return written + "]";
}

KTRUserInfo readUser(Arguments& in) {
    KTRUserInfo user;
    user.uid = in.uid();
    user.attr = in.uint16();
    user.dt = in.uint16();
    user.ext = in.bytes();
    return user;
}

VideoStreamInfo readRecord(Arguments& in) {
    VideoStreamInfo r{};
    for (int32_t* field : {&r.channel, &r.dft, &r.width, &r.height, &r.fps, &r.bitrate, &r.maxbitrate, &r.minbitrate}) {
        *field = in.int32();
    }
    return r;
}

template <class Item>
std::vector<Item> readList(Arguments& in, size_t itemValues, Item (*read)(Arguments&)) {
    std::vector<Item> items(in.count(itemValues));
    for (Item& item : items) {
        item = read(in);
    }
    return items;
}

// The four numbers of an estimate or a select request, named.
std::string fourText(const char* const names[4], const int32_t values[4]) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text += std::string(i == 0 ? "" : " ") + names[i] + "=" + std::to_string(values[i]);
    }
    return text;
}

// One call: reads its values (all of them before anything is done), performs it, and returns what it
// prints: the decoded call and the answer's lines.
using Call = std::string (*)(Arguments& in, IKTRSDK& sdk);

std::string init(Arguments& in, IKTRSDK& sdk) {
    const uint64_t uid = in.uid();
    const int32_t dt = in.int32();
    in.finish();
    sdk.init(uid, dt);
    return "init uid=" + std::to_string(uid) + " dt=" + std::to_string(dt) + "\n";
}

std::string setSceneType(Arguments& in, IKTRSDK& sdk) {
    const int32_t value = in.int32();
    in.finish();
    sdk.setSceneType(value);
    return "setSceneType value=" + std::to_string(value) + "\n";
}

std::string setConfig(Arguments& in, IKTRSDK& sdk) {
    KTRConfig config;
    config.forceHD = in.flag();
    config.auxFlag = in.flag();
    config.auxBitrate1 = in.int32();
    config.auxBitrate2 = in.int32();
    in.finish();
    sdk.setConfig(config);
    return "setConfig forceHD=" + std::to_string(config.forceHD) + " auxFlag=" + std::to_string(config.auxFlag) +
           " auxBitrate1=" + std::to_string(config.auxBitrate1) + " auxBitrate2=" + std::to_string(config.auxBitrate2) +
           "\n";
}

std::string addUser(Arguments& in, IKTRSDK& sdk) {
    const KTRUserInfo user = readUser(in);
    in.finish();
    sdk.addUser(user);
    return "addUser " + userText(user) + "\n";
}

std::string removeUser(Arguments& in, IKTRSDK& sdk) {
    const KTRUserInfo user = readUser(in);
    in.finish();
    sdk.removeUser(user);
    return "removeUser " + userText(user) + "\n";
}

std::string setUsers(Arguments& in, IKTRSDK& sdk) {
    const std::vector<KTRUserInfo> users = readList(in, kUserValues, readUser);
    sdk.setUsers(users);
    return "setUsers " + listText(users, userText) + "\n";
}

template <void (IKTRSDK::*kOperation)(bool, uint64_t)>
std::string flagAndUid(const char* call, const char* flagName, Arguments& in, IKTRSDK& sdk) {
    const bool on = in.flag();
    const uint64_t uid = in.uid();
    in.finish();
    (sdk.*kOperation)(on, uid);
    return std::string(call) + " " + flagName + "=" + std::to_string(on) + " uid=" + std::to_string(uid) + "\n";
}

std::string setSharing(Arguments& in, IKTRSDK& sdk) {
    return flagAndUid<&IKTRSDK::setSharing>("setSharing", "sharing", in, sdk);
}

std::string setSpeaker(Arguments& in, IKTRSDK& sdk) {
    return flagAndUid<&IKTRSDK::setSpeaker>("setSpeaker", "speaking", in, sdk);
}

std::string addPeerReport(Arguments& in, IKTRSDK& sdk) {
    const uint64_t uid = in.uid();
    const std::vector<VideoStreamInfo> streams = readList(in, kRecordValues, readRecord);
    sdk.addPeerReport(uid, streams);
    return "addPeerReport uid=" + std::to_string(uid) + " " + listText(streams, recordText) + "\n";
}

std::string clearPeerReports(Arguments& in, IKTRSDK& sdk) {
    in.finish();
    sdk.clearPeerReports();
    return "clearPeerReports\n";
}

template <void (IKTRSDK::*kOperation)(int, int, int, int)>
std::string fourNumbers(const char* call, const char* const names[4], Arguments& in, IKTRSDK& sdk) {
    int32_t values[4];
    for (int32_t& value : values) {
        value = in.int32();
    }
    in.finish();
    (sdk.*kOperation)(values[0], values[1], values[2], values[3]);
    return std::string(call) + " " + fourText(names, values) + "\n";
}

constexpr const char* kSelectNames[4] = {"width", "height", "fps", "bitrate"};
constexpr const char* kEstimateNames[4] = {"status", "score", "bitrate", "maxBitrate"};

std::string addSelectReq(Arguments& in, IKTRSDK& sdk) {
    return fourNumbers<&IKTRSDK::addSelectReq>("addSelectReq", kSelectNames, in, sdk);
}

std::string clearSelectReqs(Arguments& in, IKTRSDK& sdk) {
    in.finish();
    sdk.clearSelectReqs();
    return "clearSelectReqs\n";
}

std::string setULNetStatus(Arguments& in, IKTRSDK& sdk) {
    return fourNumbers<&IKTRSDK::setULNetStatus>("setULNetStatus", kEstimateNames, in, sdk);
}

std::string setDLNetStatus(Arguments& in, IKTRSDK& sdk) {
    return fourNumbers<&IKTRSDK::setDLNetStatus>("setDLNetStatus", kEstimateNames, in, sdk);
}

std::string initStreamInfosForDft(Arguments& in, IKTRSDK& sdk) {
    const std::vector<VideoStreamInfo> streams = readList(in, kRecordValues, readRecord);
    sdk.initStreamInfosForDft(streams);
    return "initStreamInfosForDft " + listText(streams, recordText) + "\n";
}

std::string changedText(bool changed) {
    return changed ? "  changed=true\n" : "  changed=false\n";
}

std::string adjustULPolicy(Arguments& in, IKTRSDK& sdk) {
    const int32_t channel = in.int32();
    in.finish();
    std::vector<VideoStreamInfo> streams;
    std::string text = "adjustULPolicy channel=" + std::to_string(channel) + "\n";
    text += changedText(sdk.adjustULPolicy(channel, streams));
    for (const VideoStreamInfo& stream : streams) {
        text += "  stream " + recordText(stream) + "\n";
    }
    return text;
}

std::string adjustDLPolicy(Arguments& in, IKTRSDK& sdk) {
    const int32_t channel = in.int32();
    in.finish();
    std::map<uint64_t, VideoStreamInfo> requests;
    std::string text = "adjustDLPolicy channel=" + std::to_string(channel) + "\n";
    text += changedText(sdk.adjustDLPolicy(channel, requests));
    for (const auto& [uid, request] : requests) {
        text += "  request uid=" + std::to_string(uid) + " " + recordText(request) + "\n";
    }
    return text;
}

std::string getHDUids(Arguments& in, IKTRSDK& sdk) {
    in.finish();
    std::set<uint64_t> hd;
    std::set<uint64_t> ld;
    sdk.getHDUids(hd, ld);
    return "getHDUids\n  hd=" + uidsText(hd) + "\n  ld=" + uidsText(ld) + "\n";
}

std::string getDftInfoByBitrate(Arguments& in, IKTRSDK& sdk) {
    const int32_t bitrate = in.int32();
    in.finish();
    VideoStreamInfo row{};
    sdk.getDftInfoByBitrate(bitrate, row);
    return "getDftInfoByBitrate bitrate=" + std::to_string(bitrate) + "\n  row " + recordText(row) + "\n";
}

const std::map<std::string, Call>& calls() {
    static const std::map<std::string, Call> kCalls{
        {"init", init},
        {"setSceneType", setSceneType},
        {"setConfig", setConfig},
        {"addUser", addUser},
        {"removeUser", removeUser},
        {"setUsers", setUsers},
        {"setSharing", setSharing},
        {"setSpeaker", setSpeaker},
        {"addPeerReport", addPeerReport},
        {"clearPeerReports", clearPeerReports},
        {"addSelectReq", addSelectReq},
        {"clearSelectReqs", clearSelectReqs},
        {"setULNetStatus", setULNetStatus},
        {"setDLNetStatus", setDLNetStatus},
        {"initStreamInfosForDft", initStreamInfosForDft},
        {"adjustULPolicy", adjustULPolicy},
        {"adjustDLPolicy", adjustDLPolicy},
        {"getHDUids", getHDUids},
        {"getDftInfoByBitrate", getDftInfoByBitrate},
    };
    return kCalls;
}

// The line's values split at blanks; the first is the call's name.
std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

std::string perform(const std::string& line, IKTRSDK& sdk) {
    std::vector<std::string> words = wordsOf(line);
    if (words.empty()) {
        throw BadInput("an empty line, where a call was expected");
    }
    const auto call = calls().find(words[0]);
    if (call == calls().end()) {
        throw BadInput("unknown call \"" + words[0] + "\"");
    }
    Arguments arguments(std::vector<std::string>(words.begin() + 1, words.end()));
    g_lines.clear();
    std::string text = call->second(arguments, sdk);
    for (const std::string& logged : g_lines) {
        text += "  " + logged + "\n";
    }
    return text;
}

// Releases the instance however the replay ends.
class Instance {
public:
    Instance() : m_sdk(KTRSDKFactory::createKTRSDK()) {}
    ~Instance() { KTRSDKFactory::releaseKTRSDK(m_sdk); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    IKTRSDK& sdk() { return *m_sdk; }

private:
    IKTRSDK* m_sdk;
};

void play(std::istream& in, const std::string& path) {
    std::string line;
    if (!std::getline(in, line) || line != kFormLine) {
        throw BadInput(path + ":1: expected the form line \"" + std::string(kFormLine) + "\", got \"" + line + "\"");
    }
    Instance instance;
    for (size_t number = 2; std::getline(in, line); ++number) {
        try {
            std::cout << number << ": " << perform(line, instance.sdk());
        } catch (const BadInput& error) {
            throw BadInput(path + ":" + std::to_string(number) + ": " + error.what());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: call_player CALLS_FILE\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 2;
    }
    try {
        play(in, argv[1]);
    } catch (const BadInput& error) {
        std::cout.flush();
        std::cerr << error.what() << "\n";
        return 2;
    }
    return 0;
}

#include "Meeting.h"

#include <fmt/format.h>

#include "DuplicateKeyFinder.h"
#include "FieldPlace.h"
#include "InputFile.h"
#include "MeetingParser.h"

namespace ktr::sim {
namespace {

using json = JsonValue;
using tarn::video::VideoStreamInfo;

// The device type of phone-class clients, which publish a smaller upper stream.
constexpr uint16_t kPhoneClassDeviceType = 1;
// Rows of the built-in definition table: channel, dft, width, height, fps, bitrate, maxbitrate, minbitrate.
constexpr VideoStreamInfo kUpper720p = {1, 0, 1280, 720, 30, 716800, 1024000, 512000};
constexpr VideoStreamInfo kUpper480p = {1, 0, 640, 480, 20, 358400, 512000, 245760};
constexpr VideoStreamInfo kLower240p = {1, 0, 320, 240, 15, 204800, 256000, 102400};
// The deepest objects and arrays a meeting has: document, peers, peer, streams and a stream (or
// select_requests, a set, requests and a request).
constexpr size_t kMeetingDepth = 5;
const char* const kDuplicateKey = "duplicate key; write each field once";

json parseDocument(const std::string& text, const std::string& fileName) {
    DuplicateKeyFinder parser(kMeetingDepth);
    json document;
    try {
        document = parser.parse(text);
    } catch (const json::exception& error) {  // parse_error, or out_of_range for a number beyond double
        throw InputError(fmt::format("{}: not valid JSON: {}", fileName, error.what()));
    }
    if (!parser.duplicates().empty()) {
        const JsonPath& first = parser.duplicates().front();
        throw InputError(FieldPlace(fileName, "").describe(jsonPathText(first.begin(), first.end()), kDuplicateKey));
    }
    return document;
}

}  // namespace

Meeting parseMeeting(const std::string& text, const std::string& fileName) {
    return MeetingParser(fileName).read(parseDocument(text, fileName));
}

std::vector<VideoStreamInfo> defaultStreams(uint16_t dt) {
    if (dt == kPhoneClassDeviceType) {
        return {kUpper480p, kLower240p};
    }
    return {kUpper720p, kLower240p};
}

}  // namespace ktr::sim

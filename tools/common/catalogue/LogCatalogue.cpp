#include "LogCatalogue.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <utility>

#include "KTRLogFormats.h"
#include "LogLineMatcher.h"
#include "LogPattern.h"

namespace ktr {
namespace {

LogLevel levelOf(ktrlog::Level level) {
    switch (level) {
        case ktrlog::Level::Info:
            return LogLevel::Info;
        case ktrlog::Level::Warning:
            return LogLevel::Warning;
        case ktrlog::Level::Error:
            return LogLevel::Error;
    }
    throw std::logic_error("unknown log level");
}

// The library's format with the names of its fields and what its line means.
template <typename Format>
LogFormat entry(std::vector<std::string_view> fields, std::string_view explanation) {
    return {Format::id, levelOf(Format::level), Format::tag, Format::text, std::move(fields), explanation};
}

// One entry for every format of the library's (ktrlog::AllFormats), in the same order; the catalogue test
// checks that.
std::vector<LogFormat> buildCatalogue() {
    return {
        entry<ktrlog::MgrInit>(
            {"uid", "dt"},
            "the local user is {uid} on device type {dt}: the camera's scene default, the 480P floor of a single "
            "stream (type 4) and the lower stream for new peers (type 1) follow from it"),
        entry<ktrlog::MgrAddUser>(
            {"uid", "dt"},
            "user {uid} on device type {dt} joins a meeting that already has 15 or more remote users (smaller meetings "
            "log no joins): it counts toward the meeting size that sets the camera's scene default"),
        entry<ktrlog::MgrRemoveUser>({"uid", "dt"},
                                     "user {uid} on device type {dt} leaves a meeting of 15 or more remote users: its "
                                     "stream report and its download choice are dropped"),
        entry<ktrlog::MgrSetSharing>(
            {"sharing", "uid"},
            "sharing={sharing} (1 on, 0 off) for user {uid}: while anyone shares, the camera's scene default drops on "
            "device types 1, 4 and 8 and peers reported again stay on their lower stream; while the local user shares, "
            "the camera publishes at most one stream"),
        entry<ktrlog::MgrSetSpeaker>(
            {"speaker", "uid"},
            "speaker={speaker} (1 speaking, 0 not) for user {uid}: a speaking local user gets a higher camera default "
            "and the 480P floor, another speaker lowers the camera default, and the download adjustment raises {uid} "
            "first and cuts it last even after speaker=0"),
        entry<ktrlog::MgrAddSelectReq>(
            {"widht", "height", "fps", "bitrate"},
            "a subscriber asks for the local camera at {widht}x{height}, {fps} fps, {bitrate} bps: only the bitrate "
            "counts; it is kept between the 240P minimum and the 720P maximum and merged with the other requests at "
            "the next upload decision"),
        entry<ktrlog::MgrAddPeerReportSelf>(
            {"uid"}, "the host reported the local user {uid} as a remote peer: the report is ignored"),
        entry<ktrlog::MgrAddPeerReportStream>(
            {"peer", "width", "height", "bitrate"},
            "peer {peer} publishes a {width}x{height} stream at {bitrate} bps (one line per stream): the report is "
            "stored, and for a user in the received-users list the download choice is made again"),
        entry<ktrlog::NetDump>({"upload", "net_status", "score", "bitrate", "max_bitrate"},
                               "diagnostic dump of a network estimate, upload={upload} (0 is the download one): status "
                               "{net_status}, score {score}, {bitrate} bps of at most {max_bitrate}"),
        entry<ktrlog::PeerGetPeerMissing>({"uid"},
                                          "the user list names {uid}, whose streams were never reported: it starts "
                                          "with no stream until its peer report arrives"),
        entry<ktrlog::PeerGetPeerSvcMissing>({"uid"},
                                             "the lower stream of {uid} was asked for, but the peer has no stream "
                                             "report: its chosen stream is compared with an empty stream"),
        entry<ktrlog::DftByBitrateOutOfRange>(
            {"bitrate"},
            "bitrate {bitrate} is 0 or 3M and above, outside every definition class: it is classed as 480P"),
        entry<ktrlog::DftByBitrateEmptyMap>({"bitrate"},
                                            "the definition table is empty, so bitrate {bitrate} is classed as 480P"),
        entry<ktrlog::DftInfoByBitrateOutOfRange>(
            {"bitrate"}, "bitrate {bitrate} is 0 or 3M and above: the 480P stream's parameters are used for it"),
        entry<ktrlog::DftInfoByBitrateEmptyMap>(
            {"bitrate"}, "the definition table is empty: bitrate {bitrate} gets an empty (all zero) 480P stream"),
        entry<ktrlog::DftInfoByDft>(
            {"channel", "dft", "bitrate", "maxbitrate", "minbitrate", "width", "height"},
            "the table's stream for definition {dft} on channel {channel} is {width}x{height} at {bitrate} bps (range "
            "{minbitrate} to {maxbitrate}); all zero means the table has no such entry and an empty stream is used"),
        entry<ktrlog::DftMaxByDftInvalid>({"dft"},
                                          "definition {dft} is not in the table: the 720P maximum is used instead"),
        entry<ktrlog::DftMinByDftInvalid>({"dft"},
                                          "definition {dft} is not in the table: the 240P minimum is used instead"),
        entry<ktrlog::DftInit>(
            {"channel", "width", "height", "bitrate", "maxbitrate", "minbitrate"},
            "the host defines a stream of channel {channel} at {width}x{height}, {bitrate} bps in {minbitrate} to "
            "{maxbitrate}: it replaces the table entry of its height (180, 240, 360 or 480, 720, 1080 lines; 360 only "
            "on channel 1), and any other height or channel is ignored"),
        entry<ktrlog::DftDump>({"dft", "width", "height", "fps", "min_bitrate", "max_bitrate"},
                               "diagnostic dump: definition {dft} is {width}x{height} at {fps} fps with bitrates "
                               "{min_bitrate} to {max_bitrate}"),
        entry<ktrlog::SelectAmendMin>({"req.bitrate", "minBitrate", "maxBitrate"},
                                      "a subscriber asked for {req.bitrate} bps, below the 240P minimum {minBitrate}: "
                                      "the request is raised to {minBitrate}"),
        entry<ktrlog::SelectAmendMax>({"req.bitrate", "minBitrate", "maxBitrate"},
                                      "a subscriber asked for {req.bitrate} bps, above the 720P maximum {maxBitrate} "
                                      "(a negative bitrate counts as above): the request is lowered to {maxBitrate}"),
        entry<ktrlog::SelectCalculateMinBitrate>(
            {"width", "height", "bitrate", "minbitrate", "maxbitrate", "channel", "dft"},
            "a stream about to be published, {width}x{height} at {bitrate} bps up to {maxbitrate}, gets the floor "
            "{minbitrate}: the 240P minimum, or while the local user speaks the 480P minimum (a stream below 720P then "
            "becomes the 480P stream); force-HD leaves it as it was (channel {channel}, definition field {dft})"),
        entry<ktrlog::SelectAdjustRequestsResult>(
            {"width", "height", "bitrate", "maxbitrate", "minbitrate"},
            "the merged select requests ask the camera for {width}x{height} at {bitrate} bps (range {minbitrate} to "
            "{maxbitrate}), before the scene's ceiling is applied"),
        entry<ktrlog::SelectAdjust2TooFew>({"size"},
                                           "the two-request merge found {size} requests and yields no stream (a guard "
                                           "the upload decision never reaches)"),
        entry<ktrlog::SelectAdjust2SameDft>({"brt1", "brt2", "ret"},
                                            "two subscribers ask for {brt1} and {brt2} bps, in the same definition "
                                            "class: one stream at the lower, {ret} bps, serves both"),
        entry<ktrlog::SelectAdjust2DifferentDft>(
            {"brt1", "brt2"},
            "two subscribers ask for {brt1} and {brt2} bps, in different definition classes: both are published when "
            "one is at least twice the other, or 1.33 times and 100K above it, otherwise only the lower one"),
        entry<ktrlog::SelectAdjust3TooFew>({"size"},
                                           "the three-request merge found {size} requests and yields no stream (a "
                                           "guard the upload decision never reaches)"),
        entry<ktrlog::SelectAdjust3AllAbove240P>({"brt1", "brt2", "brt3", "ret"},
                                                 "three subscribers ask for {brt1}, {brt2} and {brt3} bps, none in "
                                                 "240P: one stream at the lowest, {ret} bps, serves all"),
        entry<ktrlog::SelectAdjust3All240P>({"brt1", "brt2", "brt3", "result"},
                                            "three subscribers ask for {brt1}, {brt2} and {brt3} bps, all in 240P: one "
                                            "stream at the lowest, {result} bps, serves all"),
        entry<ktrlog::SelectAdjust3Two>({"brt1", "brt2", "brt3", "ret1", "ret2"},
                                        "three subscribers ask for {brt1}, {brt2} and {brt3} bps with the lowest in "
                                        "240P: two streams, {ret1} and {ret2} bps (the middle request serves the upper "
                                        "two when it shares the highest one's class and lies far from the lowest)"),
        entry<ktrlog::SelectAdjust4TooFew>({"size"},
                                           "the four-request merge found {size} requests and yields no stream (a guard "
                                           "the upload decision never reaches)"),
        entry<ktrlog::SelectAdjust4AllAbove240P>({"brt1", "brt2", "brt3", "brt4", "ret"},
                                                 "four subscribers ask for {brt1}, {brt2}, {brt3} and {brt4} bps, none "
                                                 "in 240P: one stream at the lowest, {ret} bps, serves all"),
        entry<ktrlog::SelectAdjust4All240P>({"brt1", "brt2", "brt3", "brt4", "ret"},
                                            "four subscribers ask for {brt1}, {brt2}, {brt3} and {brt4} bps, all in "
                                            "240P: one stream at the lowest, {ret} bps, serves all"),
        entry<ktrlog::SelectAdjust4Two>(
            {"brt1", "brt2", "brt3", "ret4", "ret1", "ret2"},
            "four subscribers ask for {brt1}, {brt2}, {brt3} and {ret4} bps (the fourth printed as ret4); the lowest "
            "and the third-lowest are twice, or 1.33 times and 100K, apart: two streams, {ret1} and {ret2} bps"),
        entry<ktrlog::SelectAdjust4AllClose>(
            {"brt1", "brt2", "brt3", "brt4", "ret"},
            "four subscribers ask for {brt1}, {brt2}, {brt3} and {brt4} bps; the lowest and the third-lowest are "
            "neither twice nor 1.33 times and 100K apart: one stream at the lowest, {ret} bps, serves all"),
        entry<ktrlog::SelectAdjust5TooFew>({"size"},
                                           "the five-request merge found {size} requests and yields no stream (a guard "
                                           "the upload decision never reaches)"),
        entry<ktrlog::SelectAdjust5AllAbove240P>({"brt1", "brt2", "brt3", "brt4", "brt5", "ret"},
                                                 "five subscribers ask for {brt1}, {brt2}, {brt3}, {brt4} and {brt5} "
                                                 "bps, none in 240P: one stream at the lowest, {ret} bps, serves all"),
        entry<ktrlog::SelectAdjust5All240P>({"brt1", "brt2", "brt3", "brt4", "brt5", "ret"},
                                            "five subscribers ask for {brt1}, {brt2}, {brt3}, {brt4} and {brt5} bps, "
                                            "all in 240P: one stream at the lowest, {ret} bps, serves all"),
        entry<ktrlog::SelectAdjust5Two>(
            {"brt1", "brt2", "brt3", "brt4", "brt5", "ret1", "ret2"},
            "five subscribers ask for {brt1}, {brt2}, {brt3}, {brt4} and {brt5} bps; the lowest and the top one (the "
            "fourth-lowest, or the highest when the fourth-lowest is 240P) are 1.33 times or 100K apart: two streams, "
            "{ret1} and {ret2} bps"),
        entry<ktrlog::SelectAdjust5AllClose>(
            {"brt1", "brt2", "brt3", "brt4", "brt5", "ret"},
            "five subscribers ask for {brt1}, {brt2}, {brt3}, {brt4} and {brt5} bps; the lowest and the top one are "
            "less than 1.33 times and less than 100K apart: one stream at the lowest, {ret} bps, serves all"),
        entry<ktrlog::SelectAdjustOthersTooFew>({"size"},
                                                "the merge for six or more requests found {size} and yields no stream "
                                                "(a guard the upload decision never reaches)"),
        entry<ktrlog::SelectAdjustOthersSameDft>(
            {"brt1", "brt_last", "ret1", "ret"},
            "six or more subscribers: only the first and the last request count, and {brt1} and {brt_last} bps (the "
            "lower and the higher of the two) share a definition class: one stream at {ret} bps serves all"),
        entry<ktrlog::SelectDumpStart>({}, "diagnostic dump of the collected select requests begins"),
        entry<ktrlog::SelectDumpRequest>({"width", "height", "fps", "bitrate"},
                                         "a collected select request: {width}x{height}, {fps} fps, {bitrate} bps"),
        entry<ktrlog::SelectDumpStop>({}, "the dump of the collected select requests ends"),
        entry<ktrlog::UlShare>(
            {"channel", "bitrate"},
            "the share stream is published as the share table's 720P entry on channel {channel} at {bitrate} bps (0 "
            "until the host defines a 720-line share stream), and the share decision always reports a change"),
        entry<ktrlog::UlForceHD>({},
                                 "force-HD is configured: the camera publishes the 720P stream, whatever the scene and "
                                 "the subscribers' requests"),
        entry<ktrlog::UlDefaultDefinition>(
            {"dt", "users", "sharing", "self_sharing", "speaking", "self_speaking"},
            "the camera's scene default is chosen for device type {dt} with {users} users (the local one included), "
            "sharing {sharing} (local {self_sharing}), speaking {speaking} (local {self_speaking}): types 1, 4 and 8 "
            "go lower while someone shares, someone else speaks or the meeting grows, every other type gets 480P"),
        entry<ktrlog::UlDumpInfosStart>({}, "diagnostic dump of a list of streams begins"),
        entry<ktrlog::UlDumpInfosStream>({"width", "height", "fps", "bitrate"},
                                         "a listed stream: {width}x{height}, {fps} fps, {bitrate} bps"),
        entry<ktrlog::UlDumpInfosStop>({}, "the dump of the list of streams ends"),
        entry<ktrlog::UlDumpMapStart>({}, "diagnostic dump of the streams by user begins"),
        entry<ktrlog::UlDumpMapStream>({"uid", "width", "height", "fps", "bitrate"},
                                       "the stream of user {uid}: {width}x{height}, {fps} fps, {bitrate} bps"),
        entry<ktrlog::UlDumpMapStop>({}, "the dump of the streams by user ends"),
        entry<ktrlog::UlLargeMeeting>(
            {"width", "height", "bitrate", "maxbitrate", "minbitrate", "speaker", "userCount"},
            "more than 4 users ({userCount}) and nobody local speaking: the scene default for this device type is "
            "published, {width}x{height} at {bitrate} bps (held at its minimum above 6 users, capped at its own "
            "bitrate with 5 or 6); subscribers' requests are ignored (speaker {speaker})"),
        entry<ktrlog::UlCeiling>(
            {"selected", "default"},
            "a merged stream of {selected} bps is above the scene default's maximum {default} bps: the scene default "
            "stream is published in its place at {default} bps, with the default's resolution"),
        entry<ktrlog::UlResult>(
            {"width", "height", "bitrate", "maxbitrate", "minbitrate"},
            "the camera publishes {width}x{height} at {bitrate} bps (range {minbitrate} to {maxbitrate}); an svc line "
            "after it adds a second stream, and the higher of the two is ranked first"),
        entry<ktrlog::UlResultSvc>({"width", "height", "bitrate", "maxbitrate", "minbitrate"},
                                   "the camera also publishes a second stream, {width}x{height} at {bitrate} bps "
                                   "(range {minbitrate} to {maxbitrate})"),
        entry<ktrlog::DlAddPeer>(
            {"uid", "infos.size"},
            "peer {uid} enters the download choice with {infos.size} reported streams: none leaves it without a "
            "stream, one is received as it is, two or more let the policy choose the upper or the lower one"),
        entry<ktrlog::DlAddPeerSelf>({"uid"},
                                     "the local user {uid} was offered as a download peer: refused, nothing changes"),
        entry<ktrlog::DlAddPeerNew>(
            {"uid"},
            "peer {uid} reports two or more streams and had no choice yet: it gets the upper one only with a good "
            "download estimate (score above 85), a local device type other than 1 and at most 3 received users"),
        entry<ktrlog::DlAddPeerInvalid>(
            {},
            "the stream chosen for the peer has bitrate 0 (an upper choice among three or more streams, or a stream "
            "reported at 0): the peer keeps it and the download adjustment cannot raise it"),
        entry<ktrlog::DlAddPeerChosen>({"upper", "uid", "bitrate"},
                                       "peer {uid} is received at {bitrate} bps; upper={upper} (1: its upper stream, "
                                       "0: its lower one); a peer reported again gets the upper one only with a good "
                                       "estimate, nobody sharing or speaking and fewer than 3 received users"),
        entry<ktrlog::DlAddPeerLowerBigBitrate>({"peer"},
                                                "peer {peer} publishes a stream above 300K, but on local device type 1 "
                                                "a new peer always gets its lower stream"),
        entry<ktrlog::DlAddPeerUpperGood>({"peer"},
                                          "new peer {peer}: the download estimate is good (score above 85) and at most "
                                          "3 users are received, so its upper stream is received"),
        entry<ktrlog::DlChooseUpperSize>({},
                                         "the upper stream can only be chosen between exactly two reported streams: a "
                                         "peer with three or more gets an empty stream (bitrate 0)"),
        entry<ktrlog::DlRemovePeer>({"uid"},
                                    "user {uid} left: its download choice is dropped, while the cut rotation and the "
                                    "last requests still remember it"),
        entry<ktrlog::DlClear>({},
                               "the host sets the received-users list anew: every download choice is dropped and each "
                               "listed user is chosen again as a new peer"),
        entry<ktrlog::DlGetHDUids>({"size"},
                                   "the host asks which of the {size} received peers are in high and which in low "
                                   "definition: a peer is low when it publishes two or more streams and its chosen "
                                   "stream is in its lower stream's definition class, otherwise high"),
        entry<ktrlog::DlAdjustNoPeer>({},
                                      "download adjustment with no peer report stored: no request, the answer is "
                                      "'unchanged' and the last requests are kept"),
        entry<ktrlog::DlAdjustPeerCount>({"peerCount"},
                                         "download adjustment with {peerCount} peers holding a stream report"),
        entry<ktrlog::DlRealAdjustEstimate>(
            {"net_status", "net_score", "bitrate", "max_bitrate"},
            "the download estimate for this adjustment: status {net_status} (1 normal; 2 or 3 headroom, raise one "
            "peer; 4 or 5 congestion, cut up to three; any other, nothing), score {net_score}, {bitrate} bps of at "
            "most {max_bitrate} (0: no maximum known)"),
        entry<ktrlog::DlRealAdjustLowScore>(
            {"score"}, "headroom reported but the score {score} is not above 85: no peer is raised"),
        entry<ktrlog::DlRealAdjustNearMax>({"bitrate", "max_bitrate"},
                                           "headroom reported but the download already runs at {bitrate} bps, 95 % or "
                                           "more of its maximum {max_bitrate} or above 3M: no peer is raised"),
        entry<ktrlog::DlRealAdjustNormal>({}, "the download estimate is normal (status 1): no peer is raised or cut"),
        entry<ktrlog::DlRealAdjustRequest>(
            {"uid", "width", "height", "bitrate", "maxbitrate", "minbitrate", "net_status", "net_score", "net_bitrate",
             "max_bitrate"},
            "peer {uid} is asked for {width}x{height} at {bitrate} bps (range {minbitrate} to {maxbitrate}) under "
            "estimate status {net_status}, score {net_score}, {net_bitrate} bps of at most {max_bitrate}"),
        entry<ktrlog::DlRealAdjustNoInc>({},
                                         "headroom reported but no peer was picked to rise (peers are searched in uid "
                                         "order, and a chosen stream outside 30K to 2M ends the search): no request"),
        entry<ktrlog::DlRealAdjustNoDec>({},
                                         "congestion reported but no peer was picked to cut (no peer has a download "
                                         "choice, or none is 90K above its minimum): no request"),
        entry<ktrlog::DlUpperBitrateOver2M>(
            {}, "the peer picked to rise already receives more than 2M: it gets no request"),
        entry<ktrlog::DlLowerBitrateMissing>({"user", "size"},
                                             "peer {user} was picked to cut but is not among the {size} peers with a "
                                             "download choice: it gets no request"),
        entry<ktrlog::DlSelectIncEmpty>({}, "no peer has a download choice, so none can be raised"),
        entry<ktrlog::DlSelectDecEmpty>({}, "no peer has a download choice, so none can be cut"),
        entry<ktrlog::DlSelectDecReset>({},
                                        "as many peers have been cut in this rotation as there are peers: the rotation "
                                        "starts again, so peers already cut can be cut again"),
        entry<ktrlog::DlIsGoodToIncGood>({"peer", "bitrate", "maxBitrate", "isSpeaker"},
                                         "peer {peer} at {bitrate} bps is at least 30K below its maximum {maxBitrate}: "
                                         "it may be raised (speaker: {isSpeaker})"),
        entry<ktrlog::DlIsGoodToIncMax>({"peer", "bitrate", "maxBitrate", "isSpeaker"},
                                        "peer {peer} at {bitrate} bps is less than 30K below its maximum {maxBitrate}, "
                                        "or has no bitrate: it is not raised (speaker: {isSpeaker})"),
        entry<ktrlog::DlIsGoodToDecMin>({"peer", "bitrate", "maxBitrate"},
                                        "peer {peer} at {bitrate} bps is less than 90K above its minimum {maxBitrate} "
                                        "(printed as maxBitrate): it is spared from this cut"),
        entry<ktrlog::DlIsGoodToDecGood>({"peer", "bitrate", "maxBitrate"},
                                         "peer {peer} at {bitrate} bps is 90K or more above its minimum {maxBitrate} "
                                         "(printed as maxBitrate): it may be cut"),
    };
}

// The position of field among the entry's fields, which must be printed by conversion.
size_t fieldIndex(const ParsedLine& line, std::string_view field, LogPattern::Conversion conversion) {
    const LogPattern* pattern = line.format == nullptr ? nullptr : LogLineMatcher::instance().patternOf(*line.format);
    if (pattern != nullptr) {
        const std::vector<std::string_view>& fields = line.format->fields;
        const std::vector<LogPattern::Conversion>& conversions = pattern->conversions();
        const size_t count = std::min({fields.size(), conversions.size(), line.values.size()});
        for (size_t i = 0; i < count; ++i) {
            if (fields[i] == field && conversions[i] == conversion) {
                return i;
            }
        }
    }
    throw std::out_of_range("no such field in the log line: " + std::string(field));
}

template <typename Number>
Number parseNumber(const std::string& text) {
    Number value{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        throw std::out_of_range("not a number in the log line: " + text);
    }
    return value;
}

}  // namespace

int64_t ParsedLine::integer(std::string_view field) const {
    return parseNumber<int64_t>(values[fieldIndex(*this, field, LogPattern::Conversion::Int32)]);
}

uint64_t ParsedLine::uid(std::string_view field) const {
    return parseNumber<uint64_t>(values[fieldIndex(*this, field, LogPattern::Conversion::Uint64)]);
}

std::string ParsedLine::print() const {
    return format == nullptr ? std::string() : LogLineMatcher::instance().print(*format, values);
}

bool ParsedLine::isUid(size_t index) const {
    const LogPattern* pattern = format == nullptr ? nullptr : LogLineMatcher::instance().patternOf(*format);
    return pattern != nullptr && index < pattern->conversions().size() &&
           pattern->conversions()[index] == LogPattern::Conversion::Uint64;
}

std::string ParsedLine::explanation() const {
    if (format == nullptr) {
        return std::string();
    }
    const std::string_view text = format->explanation;
    std::string filled;
    size_t position = 0;
    while (position < text.size()) {
        const size_t open = text.find('{', position);
        const size_t close = open == std::string_view::npos ? open : text.find('}', open);
        if (close == std::string_view::npos) {
            break;
        }
        filled.append(text.substr(position, open - position));
        const std::string_view name = text.substr(open + 1, close - open - 1);
        size_t field = 0;
        while (field < format->fields.size() && format->fields[field] != name) {
            ++field;
        }
        // A placeholder without a field stays as it is, so that the catalogue test finds it.
        filled.append(field < values.size() ? std::string_view(values[field]) : text.substr(open, close - open + 1));
        position = close + 1;
    }
    filled.append(text.substr(position));
    return filled;
}

const std::vector<LogFormat>& logCatalogue() {
    static const std::vector<LogFormat> catalogue = buildCatalogue();
    return catalogue;
}

const LogFormat& logFormat(std::string_view id) {
    const LogFormat* format = LogLineMatcher::instance().find(id);
    if (format == nullptr) {
        throw std::out_of_range("unknown log format id: " + std::string(id));
    }
    return *format;
}

const LogFormat* findLogFormat(std::string_view id) {
    return LogLineMatcher::instance().find(id);
}

std::optional<ParsedLine> parseLogLine(std::string_view text, std::optional<LogLevel> level) {
    std::vector<std::string_view> values;
    const LogFormat* format = LogLineMatcher::instance().match(text, level, values);
    if (format == nullptr) {
        return std::nullopt;
    }
    return ParsedLine{format, std::vector<std::string>(values.begin(), values.end())};
}

std::vector<ParsedLine> parseLogLineAll(std::string_view text, std::optional<LogLevel> level) {
    std::vector<ParsedLine> parsed;
    for (const auto& [format, values] : LogLineMatcher::instance().matchAll(text, level)) {
        parsed.push_back(ParsedLine{format, std::vector<std::string>(values.begin(), values.end())});
    }
    return parsed;
}

}  // namespace ktr

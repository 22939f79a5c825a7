#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "InputFile.h"
#include "Meeting.h"
#include "PeerMix.h"

namespace {

using ktr::Micros;
using ktr::sim::Meeting;
using ktr::sim::MeetingPeer;
using tarn::video::VideoStreamInfo;

const char* const kFile = "meeting.json";
constexpr Micros kSecond = 1000000;

// A ten-minute meeting of local user 1 with the given top-level fields.
std::string meetingWith(const std::string& fields) {
    return R"({"local": {"uid": 1, "dt": 8}, "duration_s": 600, )" + fields + "}";
}

// The parser's message for input it refuses; empty when it accepts the input.
std::string errorOf(const std::string& json) {
    try {
        ktr::sim::parseMeeting(json, kFile);
    } catch (const ktr::InputError& error) {
        return error.what();
    }
    return "";
}

// Large enough that work growing with the square of a list's length would not finish.
constexpr size_t kLongList = 1000000;

// A list of empty objects, kLongList long.
std::string longListOfObjects() {
    std::string list = "{}";
    for (size_t i = 1; i < kLongList; ++i) {
        list += ", {}";
    }
    return "[" + list + "]";
}

std::string tooManyPeers() {
    std::string peers;
    for (int uid = 2; uid <= 10002; ++uid) {
        peers += (peers.empty() ? "" : ", ") + ("{\"uid\": " + std::to_string(uid) + "}");
    }
    return meetingWith(R"("peers": [)" + peers + "]");
}

struct BadInputCase {
    const char* what;
    std::string json;
    std::string message;
};

void PrintTo(const BadInputCase& c, std::ostream* os) {
    *os << c.what;
}

class MeetingBadInput : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(MeetingBadInput, NamesTheFileTheFieldAndTheProblem) {
    EXPECT_EQ(errorOf(GetParam().json), GetParam().message);
}

const char* const kTopFields =
    "comment, conference, config, definitions, description, duration_s, host, link, local, name, peers, "
    "select_requests, "
    "sharing, speakers";

INSTANTIATE_TEST_SUITE_P(
    Fields, MeetingBadInput,
    ::testing::Values(
        BadInputCase{"top level not an object", "[]", "meeting.json: expected an object, got array"},
        BadInputCase{"no local user", R"({"duration_s": 600})", R"(meeting.json: field "local": missing)"},
        BadInputCase{"no duration", R"({"local": {"uid": 1}})", R"(meeting.json: field "duration_s": missing)"},
        BadInputCase{"repeated key", R"({"local": {"uid": 1, "uid": 2}, "duration_s": 600})",
                     R"(meeting.json: field "local.uid": duplicate key; write each field once)"},
        BadInputCase{"unknown top-level field", meetingWith(R"("speaker": [])"),
                     std::string(R"(meeting.json: field "speaker": unknown field; did you mean "speakers"? )") +
                         "valid fields: " + kTopFields},
        BadInputCase{
            "unknown link field", meetingWith(R"("link": {"base_rtt_s": 0.05})"),
            R"(meeting.json: field "link.base_rtt_s": unknown field; did you mean "base_rtt_ms"? valid fields: base_rtt_ms, comment, downlink_buffer_bytes, key_frame_factor, key_frame_interval_s, uplink_buffer_bytes)"},
        BadInputCase{"comment not text", meetingWith(R"("comment": 3)"),
                     R"(meeting.json: field "comment": expected a string, got 3)"},
        BadInputCase{"comment of a request not text",
                     meetingWith(R"("select_requests": [{"at_s": 0, "requests": [{"comment": true}]}])"),
                     R"(meeting.json: field "select_requests[0].requests[0].comment": expected a string, got boolean)"},
        BadInputCase{"peer device type beyond 16 bits", meetingWith(R"("peers": [{"uid": 2, "dt": 70000}])"),
                     R"(meeting.json: field "peers[0].dt": expected an integer from 0 to 65535, got 70000)"},
        BadInputCase{
            "request wider than 32 bits",
            meetingWith(
                R"("select_requests": [{"at_s": 0, "requests": [{"width": 2147483648, "height": 1, "fps": 1, "bitrate": 1}]}])"),
            R"(meeting.json: field "select_requests[0].requests[0].width": expected an integer from -2147483648 to 2147483647, got 2147483648)"},
        BadInputCase{
            "definition without a channel",
            meetingWith(
                R"("definitions": [{"width": 1, "height": 1, "fps": 1, "bitrate": 1, "maxbitrate": 1, "minbitrate": 1}])"),
            R"(meeting.json: field "definitions[0].channel": missing)"},
        BadInputCase{"config field of the wrong type", meetingWith(R"("config": {"forceHD": 1})"),
                     R"(meeting.json: field "config.forceHD": expected true or false, got 1)"},
        BadInputCase{
            "peers neither list nor object", meetingWith(R"("peers": "many")"),
            R"(meeting.json: field "peers": expected a list of peers or an object with count and mix, got string "many")"},
        BadInputCase{"a very long list, read at once",
                     meetingWith(R"("select_requests": [{"at_s": 0, "requests": )" + longListOfObjects() + "}]"),
                     R"(meeting.json: field "select_requests[0].requests[0].width": missing)"},
        BadInputCase{
            "speakers neither list nor object", meetingWith(R"("speakers": 3)"),
            R"(meeting.json: field "speakers": expected a list of speaker turns or a talk-spurt model object, got 3)"}));

INSTANTIATE_TEST_SUITE_P(
    TimesAndModelParameters, MeetingBadInput,
    ::testing::Values(
        BadInputCase{"no duration at all", R"({"local": {"uid": 1}, "duration_s": 0})",
                     R"(meeting.json: field "duration_s": expected a number from 0.001 to 86400, got 0)"},
        BadInputCase{"longer than a day", R"({"local": {"uid": 1}, "duration_s": 86401})",
                     R"(meeting.json: field "duration_s": expected a number from 0.001 to 86400, got 86401)"},
        BadInputCase{"time as text", R"({"local": {"uid": 1}, "duration_s": "600"})",
                     R"(meeting.json: field "duration_s": expected a number from 0.001 to 86400, got string "600")"},
        BadInputCase{"estimate interval 0", meetingWith(R"("host": {"estimate_interval_s": 0})"),
                     R"(meeting.json: field "host.estimate_interval_s": expected a number from 0.001 to 86400, got 0)"},
        BadInputCase{
            "negative request delay", meetingWith(R"("host": {"request_delay_s": -0.2})"),
            R"(meeting.json: field "host.request_delay_s": expected a number from 0 to 86400, got the number -0.2)"},
        BadInputCase{
            "negative report delay", meetingWith(R"("host": {"report_delay_s": -0.5})"),
            R"(meeting.json: field "host.report_delay_s": expected a number from 0 to 86400, got the number -0.5)"},
        BadInputCase{
            "report interval neither off nor long enough", meetingWith(R"("host": {"report_interval_s": 0.0001})"),
            R"(meeting.json: field "host.report_interval_s": expected 0 (off) or a number from 0.001 to 86400, got the number 0.0001)"},
        BadInputCase{
            "empty download buffer", meetingWith(R"("link": {"downlink_buffer_bytes": 0})"),
            R"(meeting.json: field "link.downlink_buffer_bytes": expected an integer from 1 to 1000000000, got 0)"},
        BadInputCase{
            "fractional upload buffer", meetingWith(R"("link": {"uplink_buffer_bytes": 1500.5})"),
            R"(meeting.json: field "link.uplink_buffer_bytes": expected an integer from 1 to 1000000000, got the number 1500.5)"},
        BadInputCase{
            "key frames smaller than frames", meetingWith(R"("link": {"key_frame_factor": 0.5})"),
            R"(meeting.json: field "link.key_frame_factor": expected a number from 1 to 100, got the number 0.5)"},
        BadInputCase{"negative round trip", meetingWith(R"("link": {"base_rtt_ms": -1})"),
                     R"(meeting.json: field "link.base_rtt_ms": expected a number from 0 to 10000, got -1)"},
        BadInputCase{
            "misspelt talk model", meetingWith(R"("speakers": {"model": "talk_spurt"})"),
            R"(meeting.json: field "speakers.model": unknown model "talk_spurt"; did you mean "talk_spurts"? valid models: talk_spurts)"},
        BadInputCase{
            "talk model without its name", meetingWith(R"("speakers": {"mean_spurt_s": 3})"),
            R"(meeting.json: field "speakers.model": missing; it names the model of who speaks when, "talk_spurts")"},
        BadInputCase{
            "local share above 1", meetingWith(R"("speakers": {"model": "talk_spurts", "local_share": 1.5})"),
            R"(meeting.json: field "speakers.local_share": expected a number from 0 to 1, got the number 1.5)"},
        BadInputCase{
            "spurts shorter than speech", meetingWith(R"("speakers": {"model": "talk_spurts", "mean_spurt_s": 0.01})"),
            R"(meeting.json: field "speakers.mean_spurt_s": expected a number from 0.1 to 86400, got the number 0.01)"},
        BadInputCase{
            "two request sets at once",
            meetingWith(R"("select_requests": [{"at_s": 10, "requests": []}, {"at_s": 10.0, "requests": []}])"),
            R"(meeting.json: field "select_requests[1].at_s": select_requests[0] starts at 10 s too)"},
        BadInputCase{
            "request set after the end", meetingWith(R"("select_requests": [{"at_s": 600.5, "requests": []}])"),
            R"(meeting.json: field "select_requests[0].at_s": expected a number from 0 to 600, got the number 600.5)"}));

INSTANTIATE_TEST_SUITE_P(
    Peers, MeetingBadInput,
    ::testing::Values(
        BadInputCase{
            "local uid 0", R"({"local": {"uid": 0}, "duration_s": 600})",
            R"(meeting.json: field "local.uid": 0 is nobody to the library; the local user needs another uid)"},
        BadInputCase{"peer uid 0", meetingWith(R"("peers": [{"uid": 0}])"),
                     R"(meeting.json: field "peers[0].uid": 0 is nobody to the library; a peer needs another uid)"},
        BadInputCase{"peer with the local uid", meetingWith(R"("peers": [{"uid": 1}])"),
                     R"(meeting.json: field "peers[0].uid": 1 is the local user's uid)"},
        BadInputCase{"two peers with one uid", meetingWith(R"("peers": [{"uid": 2}, {"uid": 3}, {"uid": 2}])"),
                     R"(meeting.json: field "peers[2].uid": 2 is already the uid of peers[0])"},
        BadInputCase{"leaves before joining",
                     meetingWith(R"("peers": [{"uid": 2}, {"uid": 3, "join_s": 20, "leave_s": 10}])"),
                     R"(meeting.json: field "peers[1].leave_s": leaves at 10 s, not after joining at 20 s)"},
        BadInputCase{"leaves when joining", meetingWith(R"("peers": [{"uid": 2, "join_s": 20.5, "leave_s": 20.5}])"),
                     R"(meeting.json: field "peers[0].leave_s": leaves at 20.5 s, not after joining at 20.5 s)"},
        BadInputCase{"leaves after the end", meetingWith(R"("peers": [{"uid": 2, "leave_s": 601}])"),
                     R"(meeting.json: field "peers[0].leave_s": expected a number from 0 to 600, got 601)"},
        BadInputCase{"joins at the end", meetingWith(R"("peers": [{"uid": 2, "join_s": 600}])"),
                     R"(meeting.json: field "peers[0].join_s": joins at 600 s, not before the meeting ends at 600 s)"},
        BadInputCase{
            "stream without frames",
            meetingWith(
                R"("peers": [{"uid": 2, "streams": [{"width": 640, "height": 480, "fps": 0, "bitrate": 1, "maxbitrate": 1, "minbitrate": 1}]}])"),
            R"(meeting.json: field "peers[0].streams[0].fps": expected an integer from 1 to 120, got 0)"},
        BadInputCase{
            "stream faster than a camera",
            meetingWith(
                R"("peers": [{"uid": 2, "streams": [{"width": 640, "height": 480, "fps": 121, "bitrate": 1, "maxbitrate": 1, "minbitrate": 1}]}])"),
            R"(meeting.json: field "peers[0].streams[0].fps": expected an integer from 1 to 120, got 121)"},
        BadInputCase{
            "stream without bits",
            meetingWith(
                R"("peers": [{"uid": 2, "streams": [{"width": 640, "height": 480, "fps": 15, "bitrate": 0, "maxbitrate": 1, "minbitrate": 1}]}])"),
            R"(meeting.json: field "peers[0].streams[0].bitrate": expected an integer from 1 to 2147483647, got 0)"},
        BadInputCase{"more than 10000 peers listed", tooManyPeers(),
                     R"(meeting.json: field "peers": 10001 peers; a meeting has at most 10000)"},
        BadInputCase{"more than 10000 peers counted", meetingWith(R"("peers": {"count": 10001, "mix": {"8": 1}})"),
                     R"(meeting.json: field "peers.count": expected an integer from 1 to 10000, got 10001)"},
        BadInputCase{"group without peers", meetingWith(R"("peers": {"count": 0, "mix": {"8": 1}})"),
                     R"(meeting.json: field "peers.count": expected an integer from 1 to 10000, got 0)"},
        BadInputCase{"shares short of 1", meetingWith(R"("peers": {"count": 3, "mix": {"8": 0.5, "1": 0.4}})"),
                     R"(meeting.json: field "peers.mix": the shares sum to 0.9, not 1)"},
        BadInputCase{"share of nothing", meetingWith(R"("peers": {"count": 3, "mix": {"8": 1, "1": 0}})"),
                     R"(meeting.json: field "peers.mix.1": expected a share above 0, got 0)"},
        BadInputCase{"negative share", meetingWith(R"("peers": {"count": 3, "mix": {"1": -0.5, "8": 1.5}})"),
                     R"(meeting.json: field "peers.mix.1": expected a number from 0 to 1, got the number -0.5)"},
        BadInputCase{"mix without device types", meetingWith(R"("peers": {"count": 3, "mix": {"comment": "none"}})"),
                     R"(meeting.json: field "peers.mix": expected at least one device type and its share)"},
        BadInputCase{"device type as a word", meetingWith(R"("peers": {"count": 3, "mix": {"eight": 1}})"),
                     R"(meeting.json: field "peers.mix.eight": expected a device type from 0 to 65535 as the key)"},
        BadInputCase{"device type with a leading zero", meetingWith(R"("peers": {"count": 3, "mix": {"08": 1}})"),
                     R"(meeting.json: field "peers.mix.08": expected a device type from 0 to 65535 as the key)"},
        BadInputCase{"device type beyond 16 bits", meetingWith(R"("peers": {"count": 3, "mix": {"65536": 1}})"),
                     R"(meeting.json: field "peers.mix.65536": expected a device type from 0 to 65535 as the key)"},
        BadInputCase{
            "group uids over the local uid",
            R"({"local": {"uid": 5}, "duration_s": 600, "peers": {"count": 10, "mix": {"8": 1}}})",
            R"(meeting.json: field "peers.first_uid": the group's uids 2 to 11 include the local user's uid 5)"},
        BadInputCase{
            "group uids from 0", meetingWith(R"("peers": {"count": 2, "mix": {"8": 1}, "first_uid": 0})"),
            R"(meeting.json: field "peers.first_uid": 0 is nobody to the library; the group needs uids from 1 on)"},
        BadInputCase{
            "group uids past the largest",
            meetingWith(R"("peers": {"count": 2, "mix": {"8": 1}, "first_uid": 18446744073709551615})"),
            R"(meeting.json: field "peers.first_uid": 2 peers from uid 18446744073709551615 pass the largest uid)"},
        BadInputCase{"join wave past the end",
                     meetingWith(R"("peers": {"count": 2, "mix": {"8": 1}, "join_s": 500, "join_over_s": 200})"),
                     R"(meeting.json: field "peers.join_over_s": expected a number from 0 to 100, got 200)"},
        BadInputCase{"group joins at the end", meetingWith(R"("peers": {"count": 2, "mix": {"8": 1}, "join_s": 600})"),
                     R"(meeting.json: field "peers.join_s": joins at 600 s, not before the meeting ends at 600 s)"},
        BadInputCase{"leave of a uid outside the group",
                     meetingWith(R"("peers": {"count": 3, "mix": {"8": 1}, "leaves": [{"uid": 9, "leave_s": 10}]})"),
                     R"(meeting.json: field "peers.leaves[0].uid": 9 is not the uid of a peer of the group (2 to 4))"},
        BadInputCase{
            "two leaves of one peer",
            meetingWith(
                R"("peers": {"count": 3, "mix": {"8": 1}, "leaves": [{"uid": 3, "leave_s": 10}, {"uid": 3, "leave_s": 20}]})"),
            R"(meeting.json: field "peers.leaves[1].uid": peer 3 already leaves in peers.leaves[0])"},
        // Four peers join over 100 s: at 0, 25, 50 and 75 s; uid 5 is the fourth.
        BadInputCase{
            "leaves before the wave brings it",
            meetingWith(
                R"("peers": {"count": 4, "mix": {"8": 1}, "join_over_s": 100, "leaves": [{"uid": 5, "leave_s": 60}]})"),
            R"(meeting.json: field "peers.leaves[0].leave_s": leaves at 60 s, not after joining at 75 s)"}));

INSTANTIATE_TEST_SUITE_P(
    TurnsAndShares, MeetingBadInput,
    ::testing::Values(
        BadInputCase{"speaker nobody knows",
                     meetingWith(R"("peers": [{"uid": 2}], "speakers": [{"uid": 9, "start_s": 0, "end_s": 10}])"),
                     R"(meeting.json: field "speakers[0].uid": 9 is neither the local user's uid nor a peer's)"},
        BadInputCase{
            "speaker before joining",
            meetingWith(
                R"("peers": [{"uid": 2, "join_s": 100}], "speakers": [{"uid": 2, "start_s": 50, "end_s": 150}])"),
            R"(meeting.json: field "speakers[0].uid": peer 2 is in the meeting from 100 s to 600 s, not from 50 s to 150 s)"},
        BadInputCase{
            "sharer after leaving",
            meetingWith(
                R"("peers": [{"uid": 2, "leave_s": 300}], "sharing": [{"uid": 2, "start_s": 200, "end_s": 300.5}])"),
            R"(meeting.json: field "sharing[0].uid": peer 2 is in the meeting from 0 s to 300 s, not from 200 s to 300.5 s)"},
        BadInputCase{
            "turns that overlap",
            meetingWith(
                R"("peers": [{"uid": 2}], "speakers": [{"uid": 1, "start_s": 0, "end_s": 40}, {"uid": 2, "start_s": 30, "end_s": 50}])"),
            R"(meeting.json: field "speakers[1].start_s": starts at 30 s, before speakers[0] ends at 40 s)"},
        // Sorted by start, the second turn written comes first: the first one written overlaps it.
        BadInputCase{
            "turns that overlap, written out of order",
            meetingWith(
                R"("peers": [{"uid": 2}], "speakers": [{"uid": 2, "start_s": 30, "end_s": 50}, {"uid": 1, "start_s": 0, "end_s": 40}])"),
            R"(meeting.json: field "speakers[0].start_s": starts at 30 s, before speakers[1] ends at 40 s)"},
        BadInputCase{
            "share periods that start together",
            meetingWith(
                R"("sharing": [{"uid": 1, "start_s": 100, "end_s": 110}, {"uid": 1, "start_s": 100, "end_s": 120}])"),
            R"(meeting.json: field "sharing[1].start_s": starts at 100 s, before sharing[0] ends at 110 s)"},
        BadInputCase{"share period without length",
                     meetingWith(R"("sharing": [{"uid": 1, "start_s": 20, "end_s": 20}])"),
                     R"(meeting.json: field "sharing[0].end_s": ends at 20 s, not after starting at 20 s)"},
        BadInputCase{"share period past the end",
                     meetingWith(R"("sharing": [{"uid": 1, "start_s": 20, "end_s": 700}])"),
                     R"(meeting.json: field "sharing[0].end_s": expected a number from 0 to 600, got 700)"}));

// The JSON parser's own words follow the file name: where the text breaks off, or the number it cannot hold.
TEST(MeetingParser, RefusesTextThatIsNotJsonNamingTheFileAndWhere) {
    const std::map<std::string, std::string> detailOfText{{"{\n\"local\": ", "line 2"},
                                                          {R"({"duration_s": 1e999})", "1e999"}};
    for (const auto& [text, detail] : detailOfText) {
        const std::string message = errorOf(text);
        EXPECT_EQ(message.rfind("meeting.json: not valid JSON: ", 0), 0u) << message;
        EXPECT_NE(message.find(detail), std::string::npos) << message;
    }
}

// What a meeting that gives only the local user and the duration holds.
TEST(MeetingParser, FillsEveryAbsentFieldWithItsDefault) {
    const Meeting meeting = ktr::sim::parseMeeting(R"({"local": {"uid": 7}, "duration_s": 90.5})", kFile);
    EXPECT_EQ(meeting.name, kFile);
    EXPECT_EQ(meeting.description, "");
    EXPECT_EQ(meeting.localUid, 7u);
    EXPECT_EQ(meeting.localDt, 8);
    EXPECT_EQ(meeting.duration, 90500000);
    EXPECT_TRUE(meeting.peers.empty());
    EXPECT_TRUE(meeting.speakers.empty());
    EXPECT_FALSE(meeting.talkModel);
    EXPECT_TRUE(meeting.sharing.empty());
    EXPECT_TRUE(meeting.selectRequests.empty());
    EXPECT_TRUE(meeting.definitions.empty());
    EXPECT_FALSE(meeting.config);
    EXPECT_EQ(meeting.host.estimateInterval, 100000);
    EXPECT_EQ(meeting.host.downloadAdjustInterval, 1000000);
    EXPECT_EQ(meeting.host.uploadCheckInterval, 1000000);
    EXPECT_EQ(meeting.host.requestDelay, 200000);
    EXPECT_EQ(meeting.host.reportDelay, 100000);
    EXPECT_FALSE(meeting.conference);
    EXPECT_EQ(meeting.host.reportInterval, 0);
    EXPECT_EQ(meeting.link.baseRtt, 50000);
    EXPECT_EQ(meeting.link.downlinkBufferBytes, 150000);
    EXPECT_EQ(meeting.link.uplinkBufferBytes, 150000);
    EXPECT_EQ(meeting.link.keyFrameFactor, 1.0);
    EXPECT_EQ(meeting.link.keyFrameInterval, 0);
}

TEST(MeetingParser, TalkModelKeepsTheDefaultsOfTheFieldsItOmits) {
    const Meeting meeting =
        ktr::sim::parseMeeting(meetingWith(R"("speakers": {"model": "talk_spurts", "mean_pause_s": 2.5})"), kFile);
    ASSERT_TRUE(meeting.talkModel);
    EXPECT_TRUE(meeting.speakers.empty());
    EXPECT_EQ(meeting.talkModel->meanSpurtS, 4.0);
    EXPECT_EQ(meeting.talkModel->meanPauseS, 2.5);
    EXPECT_EQ(meeting.talkModel->localShare, 0.0);
    EXPECT_EQ(meeting.talkModel->seed, 1u);
}

bool sameStream(const VideoStreamInfo& a, const VideoStreamInfo& b) {
    return a.channel == b.channel && a.dft == b.dft && a.width == b.width && a.height == b.height && a.fps == b.fps &&
           a.bitrate == b.bitrate && a.maxbitrate == b.maxbitrate && a.minbitrate == b.minbitrate;
}

// channel, dft, width, height, fps, bitrate, maxbitrate, minbitrate
const VideoStreamInfo k720p{1, 0, 1280, 720, 30, 716800, 1024000, 512000};
const VideoStreamInfo k480p{1, 0, 640, 480, 20, 358400, 512000, 245760};
const VideoStreamInfo k240p{1, 0, 320, 240, 15, 204800, 256000, 102400};

TEST(DefaultStreams, PhonesPublish480pAndOthers720pAboveTheSame240p) {
    const std::map<uint16_t, std::vector<VideoStreamInfo>> expected{
        {0, {k720p, k240p}}, {1, {k480p, k240p}}, {4, {k720p, k240p}}, {8, {k720p, k240p}}, {65535, {k720p, k240p}}};
    for (const auto& [dt, streams] : expected) {
        const std::vector<VideoStreamInfo> actual = ktr::sim::defaultStreams(dt);
        ASSERT_EQ(actual.size(), streams.size()) << "dt " << dt;
        for (size_t i = 0; i < streams.size(); ++i) {
            EXPECT_TRUE(sameStream(actual[i], streams[i])) << "dt " << dt << " stream " << i;
        }
    }
}

TEST(MeetingParser, ReadsEveryFieldConvertingSecondsAndMilliseconds) {
    const Meeting meeting = ktr::sim::parseMeeting(R"({
        "name": "all fields", "description": "every field once", "comment": "ignored",
        "local": {"uid": 10, "dt": 1, "comment": "ignored", "downlink": "constant:3mbps", "uplink": "lte.trace"},
        "duration_s": 120,
        "peers": [
            {"uid": 30, "dt": 1, "join_s": 1.5, "leave_s": 100.25, "uplink": "constant:500kbps"},
            {"uid": 20, "streams": [{"width": 960, "height": 540, "fps": 25, "bitrate": 600000, "maxbitrate": 800000,
                                     "minbitrate": 400000, "dft": 4, "comment": "one stream only"}]}
        ],
        "speakers": [{"uid": 20, "start_s": 50, "end_s": 60}, {"uid": 10, "start_s": 2, "end_s": 50}],
        "sharing": [{"uid": 30, "start_s": 10, "end_s": 100.25}],
        "select_requests": [
            {"at_s": 60, "requests": []},
            {"at_s": 0.5, "requests": [{"width": 640, "height": 480, "fps": 20, "bitrate": 358400}]}
        ],
        "definitions": [{"channel": 2, "dft": 5, "width": 1280, "height": 720, "fps": 10, "bitrate": 1,
                         "maxbitrate": 2, "minbitrate": 3}],
        "config": {"forceHD": true},
        "conference": true,
        "host": {"estimate_interval_s": 0.05, "download_adjust_interval_s": 2, "upload_check_interval_s": 0.5,
                 "request_delay_s": 0, "report_delay_s": 0.25, "report_interval_s": 5},
        "link": {"base_rtt_ms": 12.5, "downlink_buffer_bytes": 30000, "uplink_buffer_bytes": 1,
                 "key_frame_factor": 4, "key_frame_interval_s": 2.5}
    })",
                                                   kFile);
    EXPECT_EQ(meeting.name, "all fields");
    EXPECT_EQ(meeting.description, "every field once");
    EXPECT_EQ(meeting.localUid, 10u);
    EXPECT_EQ(meeting.localDt, 1);
    EXPECT_EQ(meeting.localLinks.downlink, "constant:3mbps");
    EXPECT_EQ(meeting.localLinks.uplink, "lte.trace");
    EXPECT_EQ(meeting.duration, 120 * kSecond);

    // Peers in ascending uid, whatever the order written.
    ASSERT_EQ(meeting.peers.size(), 2u);
    const MeetingPeer& written = meeting.peers[0];
    EXPECT_EQ(written.uid, 20u);
    EXPECT_EQ(written.dt, 8);
    EXPECT_EQ(written.join, 0);
    EXPECT_FALSE(written.leave);
    EXPECT_EQ(written.links.downlink, "");
    EXPECT_EQ(written.links.uplink, "");
    ASSERT_EQ(written.streams.size(), 1u);
    EXPECT_TRUE(sameStream(written.streams[0], VideoStreamInfo{1, 4, 960, 540, 25, 600000, 800000, 400000}));
    const MeetingPeer& phone = meeting.peers[1];
    EXPECT_EQ(phone.uid, 30u);
    EXPECT_EQ(phone.dt, 1);
    EXPECT_EQ(phone.join, 1500000);
    EXPECT_EQ(phone.leave, std::optional<Micros>(100250000));
    EXPECT_EQ(phone.links.downlink, "");
    EXPECT_EQ(phone.links.uplink, "constant:500kbps");
    ASSERT_EQ(phone.streams.size(), 2u);
    EXPECT_TRUE(sameStream(phone.streams[0], k480p));
    EXPECT_TRUE(sameStream(phone.streams[1], k240p));

    // Turns sorted by start.
    ASSERT_EQ(meeting.speakers.size(), 2u);
    EXPECT_EQ(meeting.speakers[0].uid, 10u);
    EXPECT_EQ(meeting.speakers[0].start, 2 * kSecond);
    EXPECT_EQ(meeting.speakers[0].end, 50 * kSecond);
    EXPECT_EQ(meeting.speakers[1].uid, 20u);
    EXPECT_FALSE(meeting.talkModel);
    ASSERT_EQ(meeting.sharing.size(), 1u);
    EXPECT_EQ(meeting.sharing[0].uid, 30u);
    EXPECT_EQ(meeting.sharing[0].end, 100250000);

    ASSERT_EQ(meeting.selectRequests.size(), 2u);
    EXPECT_EQ(meeting.selectRequests[0].at, 500000);
    ASSERT_EQ(meeting.selectRequests[0].requests.size(), 1u);
    EXPECT_EQ(meeting.selectRequests[0].requests[0].width, 640);
    EXPECT_EQ(meeting.selectRequests[0].requests[0].bitrate, 358400);
    EXPECT_EQ(meeting.selectRequests[1].at, 60 * kSecond);
    EXPECT_TRUE(meeting.selectRequests[1].requests.empty());

    ASSERT_EQ(meeting.definitions.size(), 1u);
    EXPECT_TRUE(sameStream(meeting.definitions[0], VideoStreamInfo{2, 5, 1280, 720, 10, 1, 2, 3}));
    ASSERT_TRUE(meeting.config);
    EXPECT_TRUE(meeting.config->forceHD);
    EXPECT_FALSE(meeting.config->auxFlag);
    EXPECT_EQ(meeting.config->auxBitrate1, tarn::video::KTRConfig().auxBitrate1);

    EXPECT_EQ(meeting.host.estimateInterval, 50000);
    EXPECT_EQ(meeting.host.downloadAdjustInterval, 2 * kSecond);
    EXPECT_EQ(meeting.host.uploadCheckInterval, 500000);
    EXPECT_EQ(meeting.host.requestDelay, 0);
    EXPECT_EQ(meeting.host.reportDelay, 250000);
    EXPECT_TRUE(meeting.conference);
    EXPECT_EQ(meeting.host.reportInterval, 5 * kSecond);
    EXPECT_EQ(meeting.link.baseRtt, 12500);
    EXPECT_EQ(meeting.link.downlinkBufferBytes, 30000);
    EXPECT_EQ(meeting.link.uplinkBufferBytes, 1);
    EXPECT_EQ(meeting.link.keyFrameFactor, 4.0);
    EXPECT_EQ(meeting.link.keyFrameInterval, 2500000);
}

// Turns and share periods may touch; a peer may speak up to the moment it leaves.
TEST(MeetingParser, AcceptsSpansThatTouchAndSpansToALeave) {
    const Meeting meeting = ktr::sim::parseMeeting(meetingWith(R"("peers": [{"uid": 2, "join_s": 10, "leave_s": 30}],
                       "speakers": [{"uid": 2, "start_s": 10, "end_s": 30}, {"uid": 1, "start_s": 30, "end_s": 600}],
                       "sharing": [{"uid": 1, "start_s": 0, "end_s": 10}, {"uid": 2, "start_s": 10, "end_s": 30}])"),
                                                   kFile);
    EXPECT_EQ(meeting.speakers.size(), 2u);
    EXPECT_EQ(meeting.sharing.size(), 2u);
}

struct MixCase {
    const char* what;
    int64_t count;
    std::map<uint16_t, double> shares;
    std::map<uint16_t, int> seats;  // worked out by hand
};

void PrintTo(const MixCase& c, std::ostream* os) {
    *os << c.what;
}

class MixExpansion : public ::testing::TestWithParam<MixCase> {};

TEST_P(MixExpansion, GivesTheSeatsLeftToTheLargestRemainders) {
    const std::vector<uint16_t> deviceTypes = ktr::sim::expandMix(GetParam().count, GetParam().shares);
    ASSERT_EQ(deviceTypes.size(), static_cast<size_t>(GetParam().count));
    EXPECT_TRUE(std::is_sorted(deviceTypes.begin(), deviceTypes.end()));
    std::map<uint16_t, int> seats;
    for (uint16_t dt : deviceTypes) {
        ++seats[dt];
    }
    EXPECT_EQ(seats, GetParam().seats);
}

INSTANTIATE_TEST_SUITE_P(
    LargestRemainder, MixExpansion,
    ::testing::Values(
        // 9.6 and 14.4: 9 and 14, the seat left to the remainder 0.6.
        MixCase{"one seat left", 24, {{8, 0.6}, {1, 0.4}}, {{1, 10}, {8, 14}}},
        // 14.4, 7.2 and 2.4: 14, 7 and 2, the seat left to 0.4 of type 1 before 0.4 of type 8 (computed as
        // 14.399999999999999 and 2.4000000000000004).
        MixCase{
            "equal remainders, the lower type first", 24, {{1, 0.6}, {4, 0.3}, {8, 0.1}}, {{1, 15}, {4, 7}, {8, 2}}},
        // 2.5 and 2.5.
        MixCase{"halves", 5, {{1, 0.5}, {8, 0.5}}, {{1, 3}, {8, 2}}},
        // 2.333331, 2.333331 and 2.333338: the highest type has the largest remainder.
        MixCase{"largest remainder over the lower type",
                7,
                {{1, 0.333333}, {4, 0.333333}, {8, 0.333334}},
                {{1, 2}, {4, 2}, {8, 3}}},
        // 28.999999999999996 is 29 whole seats, 71 the rest.
        MixCase{"quota just below a whole number", 100, {{1, 0.29}, {8, 0.71}}, {{1, 29}, {8, 71}}},
        MixCase{"a type whose quota is below one seat", 3, {{1, 0.1}, {8, 0.9}}, {{8, 3}}},
        MixCase{"one type", 10000, {{4, 1.0}}, {{4, 10000}}}));

TEST(MeetingParser, ExpandsAGroupIntoPeersByUidDeviceTypeAndJoinWave) {
    const Meeting meeting = ktr::sim::parseMeeting(
        meetingWith(R"("peers": {"count": 5, "mix": {"8": 0.5, "1": 0.5, "comment": "halves"}, "first_uid": 100,
                                 "join_s": 10, "join_over_s": 100, "leaves": [{"uid": 103, "leave_s": 500}]})"),
        kFile);
    // 2.5 seats each: the lower device type takes the seat left and the first uids.
    const std::vector<uint16_t> deviceTypes{1, 1, 1, 8, 8};
    // Five peers over 100 s from 10 s: one every 20 s.
    const std::vector<Micros> joins{10 * kSecond, 30 * kSecond, 50 * kSecond, 70 * kSecond, 90 * kSecond};
    ASSERT_EQ(meeting.peers.size(), 5u);
    for (size_t i = 0; i < meeting.peers.size(); ++i) {
        const MeetingPeer& peer = meeting.peers[i];
        EXPECT_EQ(peer.uid, 100 + i);
        EXPECT_EQ(peer.dt, deviceTypes[i]) << "peer " << peer.uid;
        EXPECT_EQ(peer.join, joins[i]) << "peer " << peer.uid;
        EXPECT_EQ(peer.leave, peer.uid == 103 ? std::optional<Micros>(500 * kSecond) : std::nullopt);
        ASSERT_EQ(peer.streams.size(), 2u);
        EXPECT_TRUE(sameStream(peer.streams[0], peer.dt == 1 ? k480p : k720p)) << "peer " << peer.uid;
    }
}

TEST(MeetingParser, GroupStartsAtUid2AndJoinsAtOnceByDefault) {
    const Meeting meeting = ktr::sim::parseMeeting(meetingWith(R"("peers": {"count": 3, "mix": {"4": 1}})"), kFile);
    ASSERT_EQ(meeting.peers.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(meeting.peers[i].uid, 2 + i);
        EXPECT_EQ(meeting.peers[i].dt, 4);
        EXPECT_EQ(meeting.peers[i].join, 0);
        EXPECT_FALSE(meeting.peers[i].leave);
    }
}

Meeting bundled(const std::string& name) {
    const std::string path = std::string(KTR_MEETING_DIR) + "/" + name;
    return ktr::sim::parseMeeting(ktr::readInputFile(path), name);
}

TEST(BundledMeetings, EveryFileParsesAndDescribesItself) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KTR_MEETING_DIR)) {
        SCOPED_TRACE(entry.path().string());
        const Meeting meeting = bundled(entry.path().filename().string());
        EXPECT_FALSE(meeting.description.empty());
        ++files;
    }
    EXPECT_EQ(files, 3);
}

TEST(BundledMeetings, OneToOnePhoneIsAPhoneAndADesktopWithASchedule) {
    const Meeting meeting = bundled("one-to-one-phone.json");
    EXPECT_EQ(meeting.localDt, 1);
    EXPECT_EQ(meeting.duration, 600 * kSecond);
    ASSERT_EQ(meeting.peers.size(), 1u);
    EXPECT_EQ(meeting.peers[0].dt, 8);
    EXPECT_FALSE(meeting.speakers.empty());
    EXPECT_FALSE(meeting.talkModel);
    EXPECT_FALSE(meeting.selectRequests.empty());
}

TEST(BundledMeetings, TeamMeetingIsEightPeopleWithTalkSpurtsAShareAndTwoRequestChanges) {
    const Meeting meeting = bundled("team-meeting.json");
    EXPECT_EQ(meeting.localDt, 8);
    EXPECT_EQ(meeting.duration, 1800 * kSecond);
    EXPECT_EQ(meeting.peers.size(), 7u);
    EXPECT_TRUE(meeting.talkModel);
    EXPECT_EQ(meeting.sharing.size(), 1u);
    EXPECT_EQ(meeting.selectRequests.size(), 3u);
}

// 24 peers of 0.6 x 8, 0.3 x 1 and 0.1 x 4: quotas 14.4, 7.2 and 2.4, the seat left to type 4 (0.4 ties
// with type 8, the lower type first): uids 2-8 type 1, 9-11 type 4, 12-25 type 8.
TEST(BundledMeetings, LargeMeetingIsTwentyFivePeopleJoiningInAWave) {
    const Meeting meeting = bundled("large-meeting.json");
    EXPECT_EQ(meeting.duration, 3600 * kSecond);
    ASSERT_EQ(meeting.peers.size(), 24u);
    std::map<uint16_t, std::vector<uint64_t>> uidsByType;
    int leaving = 0;
    for (const MeetingPeer& peer : meeting.peers) {
        uidsByType[peer.dt].push_back(peer.uid);
        leaving += peer.leave ? 1 : 0;
    }
    EXPECT_EQ(uidsByType[1], (std::vector<uint64_t>{2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(uidsByType[4], (std::vector<uint64_t>{9, 10, 11}));
    EXPECT_EQ(uidsByType[8].size(), 14u);
    EXPECT_EQ(uidsByType[8].front(), 12u);
    EXPECT_EQ(meeting.peers.back().join, 115 * kSecond);  // the 24th of a wave over 120 s: 23 x 5 s
    EXPECT_EQ(leaving, 3);
    EXPECT_TRUE(meeting.talkModel);
    EXPECT_EQ(meeting.sharing.size(), 2u);
}

}  // namespace

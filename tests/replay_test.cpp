#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Replayer.h"
#include "Scenario.h"

namespace {

struct BadInputCase {
    const char* what;
    std::string json;
    std::string message;
};

void PrintTo(const BadInputCase& c, std::ostream* os) {
    *os << c.what;
}

class ScenarioBadInput : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(ScenarioBadInput, NamesTheFileTheStepAndTheField) {
    const BadInputCase& c = GetParam();
    try {
        ktr::parseScenario(c.json, "meeting.json");
        FAIL() << "accepted " << c.json;
    } catch (const ktr::ScenarioError& error) {
        EXPECT_EQ(error.what(), c.message);
    }
}

std::string withSteps(const std::string& steps) {
    return R"({"local": {"uid": 1, "dt": 8}, "steps": [)" + steps + "]}";
}

INSTANTIATE_TEST_SUITE_P(
    Parser, ScenarioBadInput,
    ::testing::Values(
        BadInputCase{"unknown step", withSteps(R"({"step": "upload"}, {"step": "dance"})"),
                     R"(meeting.json: step 2: field "step": unknown step "dance")"},
        BadInputCase{
            "step without a name", withSteps(R"({"uid": 3})"),
            R"(meeting.json: step 1: field "step": missing; it names the event or question, e.g. "addUser" or "upload")"},
        BadInputCase{"missing field", withSteps(R"({"step": "addUser", "uid": 3})"),
                     R"(meeting.json: step 1 (addUser): field "dt": missing)"},
        BadInputCase{"wrong type", withSteps(R"({"step": "sharing", "sharing": "yes", "uid": 3})"),
                     R"(meeting.json: step 1 (sharing): field "sharing": expected true or false, got string "yes")"},
        BadInputCase{
            "int32 too large",
            withSteps(R"({"step": "selectRequest", "width": 1, "height": 1, "fps": 1, "bitrate": 2147483648})"),
            R"(meeting.json: step 1 (selectRequest): field "bitrate": expected an integer from -2147483648 to 2147483647, got 2147483648)"},
        BadInputCase{
            "int32 too small", withSteps(R"({"step": "definitionOf", "bitrate": -2147483649})"),
            R"(meeting.json: step 1 (definitionOf): field "bitrate": expected an integer from -2147483648 to 2147483647, got -2147483649)"},
        BadInputCase{
            "fraction", withSteps(R"({"step": "definitionOf", "bitrate": 1.5})"),
            R"(meeting.json: step 1 (definitionOf): field "bitrate": expected an integer from -2147483648 to 2147483647, got the number 1.5)"},
        BadInputCase{
            "negative uid", withSteps(R"({"step": "speaker", "speaking": true, "uid": -1})"),
            R"(meeting.json: step 1 (speaker): field "uid": expected an integer from 0 to 18446744073709551615, got -1)"},
        BadInputCase{
            "device type beyond 16 bits", withSteps(R"({"step": "removeUser", "uid": 3, "dt": 65536})"),
            R"(meeting.json: step 1 (removeUser): field "dt": expected an integer from 0 to 65535, got 65536)"},
        BadInputCase{
            "nested field",
            withSteps(
                R"({"step": "peerReport", "uid": 3, "streams": [{"width": 1, "height": 1, "fps": 1, "bitrate": 1, "maxbitrate": 1, "minbitrate": 1}, {"width": 1}]})"),
            R"(meeting.json: step 1 (peerReport): field "streams[1].height": missing)"},
        BadInputCase{"misspelt field", withSteps(R"({"step": "upload", "chanel": 2})"),
                     R"(meeting.json: step 1 (upload): field "chanel": unknown field)"},
        BadInputCase{"step not an object", withSteps(R"(3)"), R"(meeting.json: step 1: expected an object, got 3)"},
        BadInputCase{"no local user", R"({"steps": []})", R"(meeting.json: field "local": missing)"},
        BadInputCase{
            "local uid of the wrong type", R"({"local": {"uid": "1", "dt": 1}, "steps": []})",
            R"(meeting.json: field "local.uid": expected an integer from 0 to 18446744073709551615, got string "1")"},
        BadInputCase{"steps not a list", R"({"local": {"uid": 1, "dt": 1}, "steps": {}})",
                     R"(meeting.json: field "steps": expected an array of steps)"},
        BadInputCase{"not JSON", R"({"local": )",
                     "meeting.json: not valid JSON: [json.exception.parse_error.101] parse error at line 1, column 11: "
                     "syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal"}));

TEST(ScenarioParser, ReadsEveryFieldAtTheEdgesOfItsWidth) {
    const ktr::Scenario scenario = ktr::parseScenario(
        withSteps(R"({"step": "addUser", "uid": 18446744073709551615, "dt": 65535, "attr": 7, "ext": "x"},
                     {"step": "downloadNet", "status": -2147483648, "score": 2147483647, "bitrate": 0, "maxBitrate": 1},
                     {"step": "share"})"),
        "edges.json");
    ASSERT_EQ(scenario.steps.size(), 4u);
    const auto& user = std::get<ktr::AddUser>(scenario.steps[1].action).user;
    EXPECT_EQ(user.uid, 18446744073709551615ull);
    EXPECT_EQ(user.dt, 65535);
    EXPECT_EQ(user.ext, "x");
    const auto& estimate = std::get<ktr::NetEstimate>(scenario.steps[2].action);
    EXPECT_FALSE(estimate.upload);
    EXPECT_EQ(estimate.status, -2147483648);
    EXPECT_EQ(std::get<ktr::AskUpload>(scenario.steps[3].action).channel, 2);
}

}  // namespace

namespace {

using replay::Answer;
using replay::DownloadAnswer;
using replay::HdLdAnswer;
using replay::UploadAnswer;
using tarn::video::VideoStreamInfo;

std::vector<int> fields(const VideoStreamInfo& s) {
    return {s.channel, s.dft, s.width, s.height, s.fps, s.bitrate, s.maxbitrate, s.minbitrate};
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The bundled 1:1 call, worked out by hand from the policy rules.
TEST(ReplayScenario, OneToOneCallOnAPhone) {
    const std::string path = std::string(KTR_SCENARIO_DIR) + "/one-to-one-phone.json";
    const ktr::Scenario scenario = ktr::parseScenario(readFile(path), path);
    const std::vector<replay::StepOutcome> outcomes = replay::replayScenario(scenario);
    ASSERT_EQ(outcomes.size(), 14u);

    // The peer was known (with no streams) before its report, the estimate is good and one user is
    // subscribed: it is received on its upper stream, which lies in another class than its lower one.
    const auto& split = std::get<HdLdAnswer>(outcomes[4].answer);
    EXPECT_EQ(split.hd, std::set<uint64_t>{2002});
    EXPECT_TRUE(split.ld.empty());

    // Phone, two users, nobody speaking: the 480P default; the one request (358400) is published as it is.
    const auto& camera = std::get<UploadAnswer>(outcomes[6].answer);
    EXPECT_TRUE(camera.changed);
    ASSERT_EQ(camera.streams.size(), 1u);
    EXPECT_EQ(fields(camera.streams[0]), (std::vector<int>{1, 1, 640, 480, 20, 358400, 358400, 102400}));

    // Headroom raises the lone peer by one step (716800 + 30720) with the 720P record.
    const auto& raised = std::get<DownloadAnswer>(outcomes[8].answer);
    EXPECT_TRUE(raised.changed);
    ASSERT_EQ(raised.requests.count(2002), 1u);
    EXPECT_EQ(fields(raised.requests.at(2002)), (std::vector<int>{1, 0, 1080, 720, 30, 747520, 1024000, 512000}));

    // Congestion (status 4) cuts a fifth of 716800, more than the 92160 step: 573440, still 720P.
    const auto& cut = std::get<DownloadAnswer>(outcomes[10].answer);
    EXPECT_TRUE(cut.changed) << "same peer, bitrate moved by far more than 30720";
    EXPECT_EQ(cut.requests.at(2002).bitrate, 573440);

    // Speaking lifts the stream to the whole 480P record: same bitrate, so no change is reported.
    const auto& speaking = std::get<UploadAnswer>(outcomes[12].answer);
    EXPECT_FALSE(speaking.changed);
    EXPECT_EQ(fields(speaking.streams.at(0)), (std::vector<int>{1, 1, 640, 480, 20, 358400, 512000, 245760}));

    // No share table was supplied: an all-zero share record, always reported as changed.
    const auto& share = std::get<UploadAnswer>(outcomes[13].answer);
    EXPECT_TRUE(share.changed);
    EXPECT_EQ(fields(share.streams.at(0)), fields(VideoStreamInfo{}));
}

}  // namespace

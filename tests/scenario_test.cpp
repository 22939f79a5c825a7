#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "HostSettings.h"
#include "InputFile.h"
#include "Scenario.h"
#include "ScenarioWriter.h"

namespace {

const char* const kFile = "meeting.json";

std::string withSteps(const std::string& steps) {
    return R"({"local": {"uid": 1, "dt": 8}, "steps": [)" + steps + "]}";
}

// Large enough that work growing with the square of the number of steps would not finish.
constexpr size_t kManySteps = 1000000;

std::string manyEmptySteps() {
    std::string steps = "{}";
    for (size_t i = 1; i < kManySteps; ++i) {
        steps += ", {}";
    }
    return steps;
}

// The parser's message for input it refuses; empty when it accepts the input.
std::string errorOf(const std::string& json) {
    try {
        ktr::parseScenario(json, kFile);
    } catch (const ktr::ScenarioError& error) {
        return error.what();
    }
    return "";
}

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
    EXPECT_EQ(errorOf(GetParam().json), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Parser, ScenarioBadInput,
    ::testing::Values(
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
        BadInputCase{"step not an object", withSteps(R"(3)"), R"(meeting.json: step 1: expected an object, got 3)"},
        BadInputCase{
            "the first of very many steps without a name", withSteps(manyEmptySteps()),
            R"(meeting.json: step 1: field "step": missing; it names the event or question, e.g. "addUser" or "upload")"},
        BadInputCase{"negative time", withSteps(R"({"step": "hdld", "time_s": -1})"),
                     R"(meeting.json: step 1 (hdld): field "time_s": expected a number from 0 to 31536000, got -1)"},
        BadInputCase{
            "time beyond a year", withSteps(R"({"step": "hdld", "time_s": 31536001})"),
            R"(meeting.json: step 1 (hdld): field "time_s": expected a number from 0 to 31536000, got 31536001)"},
        BadInputCase{
            "time as text", withSteps(R"({"step": "hdld", "time_s": "1"})"),
            R"(meeting.json: step 1 (hdld): field "time_s": expected a number from 0 to 31536000, got string "1")"},
        BadInputCase{"time going back", withSteps(R"({"step": "hdld", "time_s": 2}, {"step": "hdld", "time_s": 1.5})"),
                     R"(meeting.json: step 2 (hdld): field "time_s": 1.5 s is before the previous step's time 2 s)"},
        BadInputCase{"untimed step then an earlier time",
                     withSteps(R"({"step": "hdld", "time_s": 2}, {"step": "hdld"}, {"step": "hdld", "time_s": 2.5})"),
                     R"(meeting.json: step 3 (hdld): field "time_s": 2.5 s is before the previous step's time 3 s)"},
        BadInputCase{"no local user", R"({"steps": []})", R"(meeting.json: field "local": missing)"},
        BadInputCase{
            "local uid of the wrong type", R"({"local": {"uid": "1", "dt": 1}, "steps": []})",
            R"(meeting.json: field "local.uid": expected an integer from 0 to 18446744073709551615, got string "1")"},
        BadInputCase{"steps not a list", R"({"local": {"uid": 1, "dt": 1}, "steps": {}})",
                     R"(meeting.json: field "steps": expected an array of steps)"},
        BadInputCase{"not JSON", R"({"local": )",
                     "meeting.json: not valid JSON: [json.exception.parse_error.101] parse error at line 1, column 11: "
                     "syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal"},
        BadInputCase{
            "number beyond double", R"({"local": {"uid": 1e999, "dt": 8}, "steps": []})",
            "meeting.json: not valid JSON: [json.exception.out_of_range.406] number overflow parsing '1e999'"}));

const char* const kAllSteps =
    "addUser, clearPeerReports, clearSelectRequests, config, definitionOf, definitions, download, downloadNet, "
    "hdld, init, peerReport, removeUser, sceneType, selectRequest, setUsers, share, sharing, speaker, upload, "
    "uploadNet";

// Unknown names: the nearest valid one when it is close, and always the valid ones.
INSTANTIATE_TEST_SUITE_P(
    Suggestions, ScenarioBadInput,
    ::testing::Values(
        BadInputCase{
            "field one letter short", withSteps(R"({"step": "upload", "chanel": 2})"),
            R"(meeting.json: step 1 (upload): field "chanel": unknown field; did you mean "channel"? valid fields: channel, comment, time_s)"},
        BadInputCase{
            "step with two letters swapped", withSteps(R"({"step": "upload"}, {"step": "uplaod"})"),
            std::string(R"(meeting.json: step 2: field "step": unknown step "uplaod"; did you mean "upload"? )") +
                "valid steps: " + kAllSteps},
        BadInputCase{
            "step like none", withSteps(R"({"step": "upload"}, {"step": "dance"})"),
            std::string(R"(meeting.json: step 2: field "step": unknown step "dance"; valid steps: )") + kAllSteps},
        BadInputCase{
            "two names equally close: the first in order", withSteps(R"({"step": "config", "auxBitrate": 1})"),
            R"(meeting.json: step 1 (config): field "auxBitrate": unknown field; did you mean "auxBitrate1"? valid fields: auxBitrate1, auxBitrate2, auxFlag, comment, forceHD, time_s)"},
        BadInputCase{
            "field of a stream, optional ones listed",
            withSteps(
                R"({"step": "peerReport", "uid": 3, "streams": [{"width": 1, "with": 1, "height": 1, "fps": 1, "bitrate": 1, "maxbitrate": 1, "minbitrate": 1}]})"),
            R"(meeting.json: step 1 (peerReport): field "streams[0].with": unknown field; did you mean "width"? valid fields: bitrate, channel, dft, fps, height, maxbitrate, minbitrate, width)"},
        BadInputCase{
            "field of the document", R"({"local": {"uid": 1, "dt": 8}, "steps": [], "descripton": "x"})",
            R"(meeting.json: field "descripton": unknown field; did you mean "description"? valid fields: comment, description, local, name, steps)"},
        BadInputCase{
            "required field given in an older spelling",
            withSteps(R"({"step": "downloadNet", "status": 1, "score": 1, "bitrate": 1, "maxBitrate": 1})"),
            R"(meeting.json: step 1 (downloadNet): field "max_bitrate": missing; "maxBitrate" given: did you mean "max_bitrate"?)"},
        BadInputCase{"field of the local user like none", R"({"local": {"uid": 1, "dt": 8, "device": 8}, "steps": []})",
                     R"(meeting.json: field "local.device": unknown field; valid fields: comment, dt, uid)"}));

// A comment that is not text is refused wherever it stands.
INSTANTIATE_TEST_SUITE_P(
    Comments, ScenarioBadInput,
    ::testing::Values(BadInputCase{"document", R"({"comment": 1, "local": {"uid": 1, "dt": 8}, "steps": []})",
                                   R"(meeting.json: field "comment": expected a string, got 1)"},
                      BadInputCase{"local user", R"({"local": {"uid": 1, "dt": 8, "comment": ["a"]}, "steps": []})",
                                   R"(meeting.json: field "local.comment": expected a string, got array)"},
                      BadInputCase{
                          "event", withSteps(R"({"step": "addUser", "uid": 2, "dt": 8, "comment": false})"),
                          R"(meeting.json: step 1 (addUser): field "comment": expected a string, got boolean)"},
                      BadInputCase{"question", withSteps(R"({"step": "hdld", "comment": null})"),
                                   R"(meeting.json: step 1 (hdld): field "comment": expected a string, got null)"}));

// Every step with the least it needs: the fields that are its input.
const std::vector<std::pair<std::string, std::string>> kMinimalSteps{
    {"init", R"({"uid": 5, "dt": 4})"},
    {"sceneType", R"({"value": 1})"},
    {"config", R"({})"},
    {"addUser", R"({"uid": 2, "dt": 8})"},
    {"removeUser", R"({"uid": 2, "dt": 8})"},
    {"setUsers", R"({"users": [{"uid": 2, "dt": 8}]})"},
    {"sharing", R"({"sharing": true, "uid": 2})"},
    {"speaker", R"({"speaking": false, "uid": 2})"},
    {"peerReport", R"({"uid": 2, "streams": []})"},
    {"clearPeerReports", R"({})"},
    {"selectRequest", R"({"width": 640, "height": 480, "fps": 15, "bitrate": 358400})"},
    {"clearSelectRequests", R"({})"},
    {"uploadNet", R"({"status": 1, "score": 90, "bitrate": 1, "max_bitrate": 2})"},
    {"downloadNet", R"({"status": 1, "score": 90, "bitrate": 1, "max_bitrate": 2})"},
    {"definitions", R"({"streams": []})"},
    {"upload", R"({})"},
    {"share", R"({})"},
    {"download", R"({})"},
    {"hdld", R"({})"},
    {"definitionOf", R"({"bitrate": 1})"},
};

TEST(ScenarioComments, AcceptedEverywhereAndLeftOutOfTheInput) {
    for (const auto& [name, fields] : kMinimalSteps) {
        nlohmann::json step = nlohmann::json::parse(fields);
        step["step"] = name;
        step["comment"] = "why this step is here";
        const std::string json =
            R"({"comment": "a", "local": {"uid": 1, "dt": 8, "comment": "b"}, "steps": [)" + step.dump() + "]}";
        SCOPED_TRACE(json);
        const ktr::Scenario scenario = ktr::parseScenario(json, kFile);
        step.erase("comment");
        const ktr::Scenario plain =
            ktr::parseScenario(R"({"local": {"uid": 1, "dt": 8}, "steps": [)" + step.dump() + "]}", kFile);
        ASSERT_EQ(scenario.steps.size(), 2u);
        EXPECT_TRUE(scenario.steps[0].action == ktr::Action(ktr::Init{1, 8}));
        EXPECT_EQ(scenario.steps[1].name, name);
        EXPECT_TRUE(scenario.steps[1].action == plain.steps[1].action);
    }
}

TEST(ScenarioParser, ReadsEveryFieldAtTheEdgesOfItsWidth) {
    const ktr::Scenario scenario = ktr::parseScenario(
        withSteps(R"({"step": "addUser", "uid": 18446744073709551615, "dt": 65535, "attr": 7, "ext": "x"},
                     {"step": "downloadNet", "status": -2147483648, "score": 2147483647, "bitrate": 0, "max_bitrate": 1},
                     {"step": "share"})"),
        "edges.json");
    ASSERT_EQ(scenario.steps.size(), 4u);
    const ktr::User& user = std::get<ktr::AddUser>(scenario.steps[1].action);
    EXPECT_EQ(user.uid, 18446744073709551615ull);
    EXPECT_EQ(user.dt, 65535);
    EXPECT_EQ(user.ext, "x");
    const auto& estimate = std::get<ktr::NetEstimate>(scenario.steps[2].action);
    EXPECT_FALSE(estimate.upload);
    EXPECT_EQ(estimate.status, -2147483648);
    EXPECT_EQ(std::get<ktr::AskUpload>(scenario.steps[3].action).channel, 2);
}

// Warnings change nothing: the step keeps the last value of a repeated key and a suspicious value as written.
TEST(ScenarioParser, SuspiciousInputIsKeptAsWritten) {
    const ktr::Scenario scenario = ktr::parseScenario(
        withSteps(R"({"step": "selectRequest", "width": -1, "height": 480, "fps": 15, "bitrate": 1, "bitrate": 2})"),
        kFile);
    ASSERT_EQ(scenario.steps.size(), 2u);
    const auto& request = std::get<ktr::SelectRequest>(scenario.steps[1].action);
    EXPECT_EQ(request.width, -1);
    EXPECT_EQ(request.bitrate, 2);
    EXPECT_EQ(scenario.warnings.size(), 2u);
}

// A step's time is its time_s, or one second after the previous step (the local user's init is at 0).
TEST(ScenarioParser, StepsTakeTheirTimeOrOneSecondAfterThePrevious) {
    struct Case {
        const char* what;
        std::string steps;
        std::vector<double> times;
    };
    for (const Case& c : {
             Case{"no times", R"({"step": "hdld"}, {"step": "hdld"}, {"step": "hdld"})", {0, 1, 2, 3}},
             Case{"every time",
                  R"({"step": "hdld", "time_s": 0}, {"step": "hdld", "time_s": 0.1},
                                  {"step": "hdld", "time_s": 0.1})",
                  {0, 0, 0.1, 0.1}},
             Case{"some times",
                  R"({"step": "hdld", "time_s": 12.25}, {"step": "hdld"}, {"step": "hdld", "time_s": 13.5},
                                 {"step": "hdld"})",
                  {0, 12.25, 13.25, 13.5, 14.5}},
         }) {
        const ktr::Scenario scenario = ktr::parseScenario(withSteps(c.steps), kFile);
        std::vector<double> times;
        for (const ktr::Step& step : scenario.steps) {
            times.push_back(step.time);
        }
        EXPECT_EQ(times, c.times) << c.what;
    }
}

// A step written with its time reads back with it, and without one it reads back one second on.
TEST(ScenarioWriter, WritesTheTimeOfAStepThatHasOne) {
    std::ostringstream out;
    ktr::ScenarioWriter writer(out, "timed", "", ktr::Init{1, 8});
    writer.write(ktr::AskHdLd{}, "", 0.1);
    writer.write(ktr::AskHdLd{}, "", 1234.567891);
    writer.write(ktr::AskHdLd{});
    writer.finish();
    const ktr::Scenario scenario = ktr::parseScenario(out.str(), kFile);
    ASSERT_EQ(scenario.steps.size(), 4u);
    EXPECT_EQ(scenario.steps[1].time, 0.1);
    EXPECT_EQ(scenario.steps[2].time, 1234.567891);
    EXPECT_EQ(scenario.steps[3].time, 1235.567891);
}

TEST(ScenarioParser, ItsErrorsAreInputErrors) {
    EXPECT_THROW(ktr::parseScenario("[", kFile), ktr::InputError);
}

struct LintCase {
    const char* what;
    std::string json;
    std::vector<std::string> warnings;
};

void PrintTo(const LintCase& c, std::ostream* os) {
    *os << c.what;
}

class ScenarioLint : public ::testing::TestWithParam<LintCase> {};

TEST_P(ScenarioLint, WarnsOfSuspiciousInputOnly) {
    EXPECT_EQ(ktr::parseScenario(GetParam().json, kFile).warnings, GetParam().warnings);
}

const char* const kDuplicate = "duplicate key; only its last value is used";
// Large enough that work growing with the square of the input would not finish.
constexpr size_t kDeepNesting = 100000;
constexpr size_t kManyRepeats = 100000;

std::string repeated(const std::string& text, size_t times) {
    std::string all;
    for (size_t i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}
const char* const kDefinitionStream =
    R"("channel": 1, "width": 640, "height": 480, "fps": 15, "bitrate": 1, "maxbitrate": 2, "minbitrate": 0)";

INSTANTIATE_TEST_SUITE_P(
    DuplicateKeys, ScenarioLint,
    ::testing::Values(
        LintCase{"in a step",
                 withSteps(
                     R"({"step": "upload"}, {"step": "download"}, {"step": "hdld"},
                        {"step": "selectRequest", "width": 640, "height": 480, "fps": 15, "bitrate": 1, "bitrate": 358400})"),
                 {std::string(R"(meeting.json: step 4 (selectRequest): field "bitrate": )") + kDuplicate}},
        LintCase{"in the second stream of a step",
                 withSteps(std::string(R"({"step": "definitions", "streams": [{)") + kDefinitionStream + "}, {" +
                           kDefinitionStream + R"(, "fps": 30}]})"),
                 {std::string(R"(meeting.json: step 1 (definitions): field "streams[1].fps": )") + kDuplicate}},
        LintCase{"in the local user",
                 R"({"local": {"uid": 1, "dt": 8, "dt": 8}, "steps": []})",
                 {std::string(R"(meeting.json: field "local.dt": )") + kDuplicate}},
        LintCase{"in the document",
                 R"({"name": "a", "local": {"uid": 1, "dt": 8}, "name": "b", "steps": []})",
                 {std::string(R"(meeting.json: field "name": )") + kDuplicate}},
        LintCase{"inside a value that a repeated key replaced",
                 R"({"local": {"uid": 1, "dt": 8}, "steps": [{"step": "hdld", "comment": "a", "comment": "b"}],
                     "steps": [{"step": "upload"}]})",
                 {std::string(R"(meeting.json: field "steps": )") + kDuplicate}},
        LintCase{"once however often it is repeated, even inside a deep value that is dropped",
                 R"({"comment": )" + std::string(kDeepNesting, '[') + std::string(kDeepNesting, ']') +
                     repeated(R"(, "comment": "a")", kManyRepeats) + R"(, "local": {"uid": 1, "dt": 8}, "steps": []})",
                 {std::string(R"(meeting.json: field "comment": )") + kDuplicate}},
        LintCase{"near: the same keys in two streams",
                 withSteps(std::string(R"({"step": "definitions", "streams": [{)") + kDefinitionStream + "}, {" +
                           kDefinitionStream + "}]}"),
                 {}}));

INSTANTIATE_TEST_SUITE_P(
    NetStatus, ScenarioLint,
    ::testing::Values(
        LintCase{
            "below 1 and above 5",
            withSteps(R"({"step": "downloadNet", "status": 0, "score": 90, "bitrate": 1, "max_bitrate": 2},
                         {"step": "uploadNet", "status": 6, "score": 90, "bitrate": 1, "max_bitrate": 2})"),
            {R"(meeting.json: step 1 (downloadNet): field "status": net status 0 is not one of 1 to 5; the download policy does nothing for it)",
             R"(meeting.json: step 2 (uploadNet): field "status": net status 6 is not one of 1 to 5; the download policy does nothing for it)"}},
        LintCase{"near: 1 and 5",
                 withSteps(R"({"step": "downloadNet", "status": 1, "score": 90, "bitrate": 1, "max_bitrate": 2},
                              {"step": "uploadNet", "status": 5, "score": 90, "bitrate": 1, "max_bitrate": 2})"),
                 {}}));

INSTANTIATE_TEST_SUITE_P(
    NegativeSizes, ScenarioLint,
    ::testing::Values(
        LintCase{
            "in a request, a definition, an estimate and a question",
            withSteps(
                std::string(R"({"step": "selectRequest", "width": -1, "height": 480, "fps": 15, "bitrate": 1},
                                     {"step": "definitions", "streams": [{)") +
                kDefinitionStream +
                R"(}, {"channel": 1, "width": 640, "height": 480, "fps": 15, "bitrate": 1, "maxbitrate": 2, "minbitrate": -5}]},
                         {"step": "uploadNet", "status": 1, "score": 90, "bitrate": 1, "max_bitrate": -2147483648},
                         {"step": "definitionOf", "bitrate": -1})"),
            {R"(meeting.json: step 1 (selectRequest): field "width": negative value -1; sizes, frame rates and bitrates are never below 0)",
             R"(meeting.json: step 2 (definitions): field "streams[1].minbitrate": negative value -5; sizes, frame rates and bitrates are never below 0)",
             R"(meeting.json: step 3 (uploadNet): field "max_bitrate": negative value -2147483648; sizes, frame rates and bitrates are never below 0)",
             R"(meeting.json: step 4 (definitionOf): field "bitrate": negative value -1; sizes, frame rates and bitrates are never below 0)"}},
        LintCase{
            "in a peer report",
            withSteps(
                R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}]},
                   {"step": "peerReport", "uid": 2, "streams": [{"width": 640, "height": 480, "fps": -15, "bitrate": 1, "maxbitrate": 2, "minbitrate": 0}]})"),
            {R"(meeting.json: step 2 (peerReport): field "streams[0].fps": negative value -15; sizes, frame rates and bitrates are never below 0)"}},
        LintCase{"near: zeros, and negative values of other fields and steps",
                 withSteps(R"({"step": "selectRequest", "width": 0, "height": 0, "fps": 0, "bitrate": 0},
                              {"step": "downloadNet", "status": 1, "score": 0, "bitrate": 0, "max_bitrate": 0},
                              {"step": "definitions", "streams": [{"channel": -1, "dft": -1, "width": 0, "height": 0, "fps": 0, "bitrate": 0, "maxbitrate": 0, "minbitrate": 0}]},
                              {"step": "config", "auxBitrate1": -1},
                              {"step": "download", "channel": -1})"),
                 {}}));

INSTANTIATE_TEST_SUITE_P(
    UserWithTwoDeviceTypes, ScenarioLint,
    ::testing::Values(
        LintCase{
            "added again with another device type, after removing one it did not have",
            withSteps(R"({"step": "addUser", "uid": 2, "dt": 8}, {"step": "removeUser", "uid": 2, "dt": 1},
                         {"step": "addUser", "uid": 2, "dt": 1})"),
            {R"(meeting.json: step 3 (addUser): field "dt": uid 2 already has device type 8; the scene counts it as two users)"}},
        LintCase{
            "listed twice with two device types",
            withSteps(
                R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}, {"uid": 3, "dt": 8}, {"uid": 2, "dt": 1}]})"),
            {R"(meeting.json: step 1 (setUsers): field "users[2].dt": uid 2 already has device type 8; the scene counts it as two users)"}},
        LintCase{"near: added twice alike, removed before it changes, and the local uid",
                 withSteps(R"({"step": "addUser", "uid": 2, "dt": 8}, {"step": "addUser", "uid": 2, "dt": 8},
                              {"step": "removeUser", "uid": 2, "dt": 8}, {"step": "addUser", "uid": 2, "dt": 1},
                              {"step": "addUser", "uid": 1, "dt": 4}, {"step": "addUser", "uid": 1, "dt": 1})"),
                 {}},
        LintCase{"near: listed twice alike, and listed with another type than it was added with",
                 withSteps(R"({"step": "addUser", "uid": 2, "dt": 8},
                              {"step": "setUsers", "users": [{"uid": 2, "dt": 1}, {"uid": 2, "dt": 1}]})"),
                 {}}));

INSTANTIATE_TEST_SUITE_P(
    LocalDeviceType, ScenarioLint,
    ::testing::Values(
        LintCase{
            "local user and a later init",
            R"({"local": {"uid": 1, "dt": 2}, "steps": [{"step": "init", "uid": 1, "dt": 0}]})",
            {R"(meeting.json: field "local.dt": device type 2 has no upload table (1, 4 and 8 have); the camera publishes the 480P default)",
             R"(meeting.json: step 1 (init): field "dt": device type 0 has no upload table (1, 4 and 8 have); the camera publishes the 480P default)"}},
        LintCase{"near: the types with tables, and a remote user's type",
                 R"({"local": {"uid": 1, "dt": 1}, "steps": [{"step": "init", "uid": 1, "dt": 4},
                     {"step": "addUser", "uid": 2, "dt": 2}]})",
                 {}}));

INSTANTIATE_TEST_SUITE_P(
    PeerReportOutsideTheList, ScenarioLint,
    ::testing::Values(
        LintCase{
            "before any list, for an added user, and after the list changed",
            withSteps(R"({"step": "addUser", "uid": 2, "dt": 8}, {"step": "peerReport", "uid": 2, "streams": []},
                         {"step": "setUsers", "users": [{"uid": 2, "dt": 8}]}, {"step": "setUsers", "users": [{"uid": 3, "dt": 8}]},
                         {"step": "peerReport", "uid": 2, "streams": []})"),
            {R"(meeting.json: step 2 (peerReport): field "uid": uid 2 is not in the current setUsers list; the report is stored but the download policy ignores it until a setUsers names it)",
             R"(meeting.json: step 5 (peerReport): field "uid": uid 2 is not in the current setUsers list; the report is stored but the download policy ignores it until a setUsers names it)"}},
        LintCase{"near: listed with another device type, and still listed after a removal",
                 withSteps(R"({"step": "setUsers", "users": [{"uid": 3, "dt": 8}, {"uid": 2, "dt": 1}]},
                              {"step": "removeUser", "uid": 2, "dt": 1}, {"step": "peerReport", "uid": 2, "streams": []})"),
                 {}}));

const char* const kGoodScore =
    "the download policy only asks whether it is above 85: it counts as a good network (a peer may get its upper "
    "stream, and the score holds back no raise)";
const char* const kPoorScore =
    "the download policy only asks whether it is above 85: it counts as a poor network (every peer gets its lower "
    "stream, and no raise)";

INSTANTIATE_TEST_SUITE_P(
    ScoreOutOfRange, ScenarioLint,
    ::testing::Values(
        LintCase{
            "above 100 and below 0, downloading and uploading",
            withSteps(R"({"step": "downloadNet", "status": 1, "score": 150, "bitrate": 1, "max_bitrate": 0},
                              {"step": "uploadNet", "status": 1, "score": -5, "bitrate": 1, "max_bitrate": 0},
                              {"step": "downloadNet", "status": 1, "score": -1, "bitrate": 1, "max_bitrate": 0})"),
            {std::string(R"(meeting.json: step 1 (downloadNet): field "score": score 150 is outside 0 to 100; )") +
                 kGoodScore,
             R"(meeting.json: step 2 (uploadNet): field "score": score -5 is outside 0 to 100; no decision reads the upload estimate)",
             std::string(R"(meeting.json: step 3 (downloadNet): field "score": score -1 is outside 0 to 100; )") +
                 kPoorScore}},
        LintCase{"near: 0 and 100",
                 withSteps(R"({"step": "downloadNet", "status": 1, "score": 0, "bitrate": 1, "max_bitrate": 0},
                              {"step": "uploadNet", "status": 1, "score": 100, "bitrate": 1, "max_bitrate": 0})"),
                 {}}));

const char* const kShareTable =
    R"({"step": "definitions", "streams": [{"channel": 2, "width": 1280, "height": 720, "fps": 15, "bitrate": 716800, "maxbitrate": 1024000, "minbitrate": 512000}]})";

INSTANTIATE_TEST_SUITE_P(
    UploadChannel, ScenarioLint,
    ::testing::Values(
        LintCase{
            "0 and 3",
            withSteps(R"({"step": "upload", "channel": 0}, {"step": "upload", "channel": 3})"),
            {R"(meeting.json: step 1 (upload): field "channel": channel 0 is neither 1 (camera) nor 2 (share); the library answers it with the camera decision, as channel 1, and compares it with the previous one)",
             R"(meeting.json: step 2 (upload): field "channel": channel 3 is neither 1 (camera) nor 2 (share); the library answers it with the camera decision, as channel 1, and compares it with the previous one)"}},
        LintCase{"near: 1, the default, 2, and a download's channel",
                 withSteps(std::string(kShareTable) + R"(, {"step": "upload", "channel": 1}, {"step": "upload"},
                              {"step": "upload", "channel": 2}, {"step": "download", "channel": 3})"),
                 {}}));

const char* const kShareWithoutTable =
    "share asked before any definitions record of channel 2 and height 720; the share answer is an all-zero record";

INSTANTIATE_TEST_SUITE_P(
    ShareBeforeItsTable, ScenarioLint,
    ::testing::Values(
        LintCase{
            "share and upload on channel 2, after a share record of another height",
            withSteps(
                R"({"step": "definitions", "streams": [{"channel": 2, "width": 1920, "height": 1080, "fps": 15, "bitrate": 1536000, "maxbitrate": 3072000, "minbitrate": 1024000},
                                                                  {"channel": 1, "width": 1280, "height": 720, "fps": 15, "bitrate": 716800, "maxbitrate": 1024000, "minbitrate": 512000}]},
                              {"step": "share"}, {"step": "upload", "channel": 2})"),
            {std::string("meeting.json: step 2 (share): ") + kShareWithoutTable,
             std::string("meeting.json: step 3 (upload): ") + kShareWithoutTable}},
        LintCase{"near: after a record of channel 2 and height 720",
                 withSteps(std::string(kShareTable) + R"(, {"step": "share"})"),
                 {}}));

const char* const kRequest = R"({"step": "selectRequest", "width": 640, "height": 480, "fps": 15, "bitrate": 358400})";

std::string notCleared(int step, int decision, int held) {
    return "meeting.json: step " + std::to_string(step) + " (selectRequest): no clearSelectRequests since the camera " +
           "decision of step " + std::to_string(decision) + "; the library adds this request to the " +
           std::to_string(held) + " it holds, and the next camera decision merges them all";
}

INSTANTIATE_TEST_SUITE_P(
    RequestsNotCleared, ScenarioLint,
    ::testing::Values(LintCase{"once per collection, and after a share question too",
                               withSteps(std::string(kShareTable) + ", " + kRequest +
                                         R"(, {"step": "upload"}, {"step": "upload"}, )" + kRequest + ", " + kRequest +
                                         R"(, {"step": "upload"}, {"step": "clearSelectRequests"}, )" + kRequest +
                                         R"(, {"step": "upload"}, {"step": "share"}, )" + kRequest),
                               {notCleared(5, 3, 1), notCleared(12, 10, 1)}},
                      LintCase{"near: cleared, nothing held, a share question between requests",
                               withSteps(std::string(kShareTable) + R"(, {"step": "upload"}, )" + kRequest +
                                         R"(, {"step": "share"}, )" + kRequest +
                                         R"(, {"step": "upload"}, {"step": "clearSelectRequests"}, )" + kRequest),
                               {}}));

const char* const kPeerStream =
    R"({"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 512000, "minbitrate": 245760})";

INSTANTIATE_TEST_SUITE_P(
    ThreeOrMoreStreams, ScenarioLint,
    ::testing::Values(
        LintCase{
            "three streams of a listed peer",
            withSteps(std::string(R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}]},
                              {"step": "peerReport", "uid": 2, "streams": [)") +
                      kPeerStream + ", " + kPeerStream + ", " + kPeerStream + "]}"),
            {R"(meeting.json: step 2 (peerReport): field "streams": 3 streams; the download policy chooses between the first two only: when it chooses the upper stream (download score above 85 and, for a peer it does not handle yet, a local device type other than 1 and at most 3 received users; for a peer it handles, fewer than 3 received users and nobody sharing or speaking) it stores an all-zero record as the stream received and logs an error; otherwise it receives the lower of the first two)"}},
        LintCase{"near: two streams, and three of the local user, which the library ignores",
                 withSteps(std::string(R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}, {"uid": 1, "dt": 8}]},
                              {"step": "peerReport", "uid": 2, "streams": [)") +
                           kPeerStream + ", " + kPeerStream + R"(]},
                              {"step": "peerReport", "uid": 1, "streams": [)" +
                           kPeerStream + ", " + kPeerStream + ", " + kPeerStream + "]}"),
                 {}}));

const char* const kPeerInverted =
    "the library checks neither bound and weighs the stream against each as given (a raise against maxbitrate, a cut "
    "against minbitrate)";

INSTANTIATE_TEST_SUITE_P(
    MaxBelowMin, ScenarioLint,
    ::testing::Values(
        LintCase{
            "a peer's stream, and camera, share and unknown-channel definitions",
            withSteps(
                R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}]},
                        {"step": "peerReport", "uid": 2, "streams": [{"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 512000, "minbitrate": 245760},
                                                                     {"width": 320, "height": 240, "fps": 15, "bitrate": 204800, "maxbitrate": 204800, "minbitrate": 245760}]},
                        {"step": "definitions", "streams": [{"channel": 1, "width": 640, "height": 480, "fps": 15, "bitrate": 300000, "maxbitrate": 200000, "minbitrate": 250000},
                                                           {"channel": 2, "width": 1280, "height": 720, "fps": 15, "bitrate": 716800, "maxbitrate": 512000, "minbitrate": 716800},
                                                           {"channel": 3, "width": 640, "height": 480, "fps": 15, "bitrate": 2, "maxbitrate": 1, "minbitrate": 2},
                                                           {"channel": 2, "width": 1920, "height": 1080, "fps": 15, "bitrate": 1536000, "maxbitrate": 1024000, "minbitrate": 3072000}]})"),
            {std::string(
                 R"(meeting.json: step 2 (peerReport): field "streams[1].maxbitrate": maxbitrate 204800 is below minbitrate 245760; )") +
                 kPeerInverted,
             R"(meeting.json: step 3 (definitions): field "streams[0].maxbitrate": maxbitrate 200000 is below minbitrate 250000; the camera table keeps the record as given; no bitrate lies in its range, so the lookup of a bitrate's class by range never answers this class)",
             R"(meeting.json: step 3 (definitions): field "streams[1].maxbitrate": maxbitrate 512000 is below minbitrate 716800; the share table keeps the record as given, and the share answer carries both bounds as they are)",
             R"(meeting.json: step 3 (definitions): field "streams[2].maxbitrate": maxbitrate 1 is below minbitrate 2; the library stores no record of this channel and height)",
             R"(meeting.json: step 3 (definitions): field "streams[3].maxbitrate": maxbitrate 1024000 is below minbitrate 3072000; the share table keeps the record as given; no answer reads it (the share answer is the 720-line record))"}},
        LintCase{"near: a peer's stream with no maximum stated, and equal bounds",
                 withSteps(R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}]},
                              {"step": "peerReport", "uid": 2, "streams": [{"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 0, "minbitrate": 245760}]},
                              {"step": "definitions", "streams": [{"channel": 1, "width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 358400, "minbitrate": 358400}]})"),
                 {}}));

// Input files: a scratch folder of its own for every case.
class InputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "scenario_test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_dir, ignored);
    }

    std::string write(const std::string& name, const std::string& content) const {
        const std::string path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    static std::string errorOfReading(const std::string& path) {
        try {
            ktr::readInputFile(path);
        } catch (const ktr::InputError& error) {
            return error.what();
        }
        return "";
    }

    std::filesystem::path m_dir;
};

TEST_F(InputFileTest, RefusesWhatItCannotReadNamingThePathAndTheReason) {
    const std::string missing = (m_dir / "absent.json").string();
    EXPECT_EQ(errorOfReading(missing), missing + ": no such file");
    EXPECT_EQ(errorOfReading(m_dir.string()), m_dir.string() + ": is a directory");
    const std::string inMissingFolder = (m_dir / "absent" / "meeting.json").string();
    EXPECT_EQ(errorOfReading(inMissingFolder), inMissingFolder + ": no such file");
    const std::string underAFile = write("plain.json", "{}") + "/meeting.json";
    EXPECT_EQ(errorOfReading(underAFile), underAFile + ": cannot be read: Not a directory");
}

TEST_F(InputFileTest, RefusesAFileWithoutReadPermission) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, which reads a file whatever its permission bits";
    }
    const std::string path = write("locked.json", "{}");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    EXPECT_EQ(errorOfReading(path), path + ": cannot be read: Permission denied");
}

TEST_F(InputFileTest, ReadsTheWholeFileAsItIs) {
    const std::vector<std::string> contents{"", std::string("{\"a\":\0\n1}\r\n", 11), std::string(100000, 'x') + "end"};
    for (const std::string& content : contents) {
        EXPECT_EQ(ktr::readInputFile(write("meeting.json", content)), content);
    }
}

// --- settings installed before a scenario -------------------------------------------------------------

const char* const kSettingsFile = "settings.json";
const char* const kStream =
    R"({"channel": 1, "dft": 5, "width": 1280, "height": 720, "fps": 30, "bitrate": 512000, "maxbitrate": 716800,
        "minbitrate": 358400})";

struct SettingsCase {
    const char* what;
    std::string json;
    std::string message;  // a part of it: the field the problem is in
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.what;
}

class BadSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(BadSettings, NameTheFileAndTheField) {
    std::string message = "(accepted)";
    try {
        ktr::parseHostSettings(GetParam().json, kSettingsFile);
    } catch (const ktr::InputError& error) {
        message = error.what();
    }
    EXPECT_EQ(message.rfind(kSettingsFile, 0), 0u) << message;
    EXPECT_NE(message.find(GetParam().message), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, BadSettings,
    ::testing::Values(SettingsCase{"not_json", "{\"config\": ", "not valid JSON"},
                      SettingsCase{"misspelt_config_field", R"({"config": {"forceHd": true}})", "forceHd"},
                      SettingsCase{"unknown_top_field", R"({"local": {"uid": 1}})", "local"},
                      SettingsCase{"config_not_an_object", R"({"config": true})", "config"},
                      SettingsCase{"stream_without_channel",
                                   R"({"definitions": [{"width": 1, "height": 1, "fps": 1, "bitrate": 1,
                                       "maxbitrate": 1, "minbitrate": 1}]})",
                                   "channel"},
                      SettingsCase{"bitrate_beyond_32_bits", R"({"config": {"auxBitrate1": 4294967296}})",
                                   "auxBitrate1"},
                      SettingsCase{"null_stream_field",
                                   R"({"definitions": [{"channel": 1, "width": null, "height": 1, "fps": 1,
                                       "bitrate": 1, "maxbitrate": 1, "minbitrate": 1}]})",
                                   "width"}));

TEST(HostSettings, InstalledAfterTheInitWithTheScenarioStepsKeepingTheirNumbers) {
    ktr::Scenario scenario = ktr::parseScenario(withSteps(R"({"step": "upload"}, {"step": "hdld"})"), kFile);
    const ktr::HostSettings settings = ktr::parseHostSettings(
        std::string(R"({"comment": "lean", "config": {"forceHD": true}, "definitions": [)") + kStream + "]}",
        kSettingsFile);
    ktr::installHostSettings(settings, scenario);
    std::vector<std::pair<int, std::string>> steps;
    for (const ktr::Step& step : scenario.steps) {
        steps.emplace_back(step.index, step.name);
    }
    const std::vector<std::pair<int, std::string>> expected = {
        {0, "init"}, {0, "definitions"}, {0, "config"}, {1, "upload"}, {2, "hdld"}};
    EXPECT_EQ(steps, expected);
    const auto& definitions = std::get<ktr::Definitions>(scenario.steps[1].action).streams;
    ASSERT_EQ(definitions.size(), 1u);
    EXPECT_EQ(definitions[0].bitrate, 512000);
    EXPECT_EQ(definitions[0].dft, 5);
    EXPECT_TRUE(std::get<ktr::Config>(scenario.steps[2].action).forceHD);
    EXPECT_EQ(std::get<ktr::Config>(scenario.steps[2].action).auxBitrate1, tarn::video::KTRConfig().auxBitrate1)
        << "a field the file leaves out keeps the interface's default";
}

TEST(HostSettings, WrittenByTheModelsWriterReadBackWithAnAbsentSectionStillAbsent) {
    ktr::HostSettings settings;
    settings.config = ktr::LocalConfig{};
    settings.config->forceHD = true;
    const std::string written = ktr::toJsonText(settings);
    const ktr::HostSettings reread = ktr::parseHostSettings(written, kSettingsFile);
    EXPECT_FALSE(reread.definitions) << written;
    ASSERT_TRUE(reread.config) << written;
    EXPECT_TRUE(reread.config->forceHD) << written;
}

TEST(HostSettings, AnEmptyFileInstallsNothing) {
    ktr::Scenario scenario = ktr::parseScenario(withSteps(R"({"step": "upload"})"), kFile);
    ktr::installHostSettings(ktr::parseHostSettings("{}", kSettingsFile), scenario);
    ASSERT_EQ(scenario.steps.size(), 2u);
    EXPECT_EQ(scenario.steps[1].name, "upload");
}

}  // namespace

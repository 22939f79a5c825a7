#include "Scenario.h"

#include <fmt/format.h>

#include <functional>
#include <map>
#include <set>

#include "DuplicateKeyFinder.h"
#include "FieldReader.h"
#include "NameSuggestion.h"
#include "RecordFields.h"
#include "ScenarioLint.h"

namespace ktr {
namespace {

using nlohmann::json;
using tarn::video::KTRUserInfo;

// Fields of every step that are not the step's input: its name and a free note.
const char* const kStepField = "step";
const char* const kCommentField = FieldReader::kCommentField;
// The deepest objects and arrays a scenario has: document, steps, step, streams or users, and their elements.
constexpr size_t kScenarioDepth = 5;

KTRUserInfo readUser(FieldReader& in) {
    KTRUserInfo user;
    user.uid = in.u64("uid");
    user.dt = in.u16("dt");
    user.attr = in.u16("attr", 0);
    user.ext = in.text("ext", "");
    return user;
}

Init readInit(FieldReader& in) {
    return Init{in.u64("uid"), in.i32("dt")};
}

NetEstimate readEstimate(FieldReader& in, bool upload) {
    return NetEstimate{upload, in.i32("status"), in.i32("score"), in.i32("bitrate"), in.i32("maxBitrate")};
}

using StepParser = std::function<Action(FieldReader&)>;

const std::map<std::string, StepParser>& stepParsers() {
    static const std::map<std::string, StepParser> parsers{
        {"init", [](FieldReader& in) -> Action { return readInit(in); }},
        {"sceneType", [](FieldReader& in) -> Action { return SceneType{in.i32("value")}; }},
        {"config", [](FieldReader& in) -> Action { return Config{readConfig(in)}; }},
        {"addUser", [](FieldReader& in) -> Action { return AddUser{readUser(in)}; }},
        {"removeUser", [](FieldReader& in) -> Action { return RemoveUser{readUser(in)}; }},
        {"setUsers",
         [](FieldReader& in) -> Action {
             SetUsers step;
             in.forEach("users", [&](FieldReader& user) { step.users.push_back(readUser(user)); });
             return step;
         }},
        {"sharing",
         [](FieldReader& in) -> Action {
             return Sharing{in.boolean("sharing"), in.u64("uid")};
         }},
        {"speaker",
         [](FieldReader& in) -> Action {
             return Speaker{in.boolean("speaking"), in.u64("uid")};
         }},
        {"peerReport",
         [](FieldReader& in) -> Action {
             const uint64_t uid = in.u64("uid");
             return PeerReport{uid, readStreams(in, "streams", false)};
         }},
        {"clearPeerReports", [](FieldReader&) -> Action { return ClearPeerReports{}; }},
        {"selectRequest",
         [](FieldReader& in) -> Action {
             return SelectRequest{in.i32("width"), in.i32("height"), in.i32("fps"), in.i32("bitrate")};
         }},
        {"clearSelectRequests", [](FieldReader&) -> Action { return ClearSelectRequests{}; }},
        {"uploadNet", [](FieldReader& in) -> Action { return readEstimate(in, true); }},
        {"downloadNet", [](FieldReader& in) -> Action { return readEstimate(in, false); }},
        {"definitions", [](FieldReader& in) -> Action { return Definitions{readStreams(in, "streams", true)}; }},
        {"upload", [](FieldReader& in) -> Action { return AskUpload{in.i32("channel", 1)}; }},
        {"share", [](FieldReader&) -> Action { return AskUpload{2}; }},
        {"download", [](FieldReader& in) -> Action { return AskDownload{in.i32("channel", 1)}; }},
        {"hdld", [](FieldReader&) -> Action { return AskHdLd{}; }},
        {"definitionOf", [](FieldReader& in) -> Action { return AskDefinition{in.i32("bitrate")}; }},
    };
    return parsers;
}

// The names of all steps, for messages about an unknown one.
const std::set<std::string>& stepNames() {
    static const std::set<std::string> names = [] {
        std::set<std::string> all;
        for (const auto& parser : stepParsers()) {
            all.insert(parser.first);
        }
        return all;
    }();
    return names;
}

// The fields as written, without the ones that are not the step's input.
json inputOf(const json& object) {
    json input = object;
    input.erase(kStepField);
    input.erase(kCommentField);
    return input;
}

Step parseStep(const json& object, const std::string& fileName, int index) {
    FieldReader in(object, FieldPlace(fmt::format("{}: step {}", fileName, index), ""));
    const std::string name = in.text(kStepField, "");
    if (name.empty()) {
        in.fail(kStepField, "missing; it names the event or question, e.g. \"addUser\" or \"upload\"");
    }
    const auto parser = stepParsers().find(name);
    if (parser == stepParsers().end()) {
        in.fail(kStepField, fmt::format("unknown step \"{}\"", name) + suggestName(name, stepNames(), "steps"));
    }
    FieldReader fields(object, FieldPlace::ofStep(fileName, index, name));
    fields.skip(kStepField);
    fields.text(kCommentField, "");
    Action action = parser->second(fields);
    fields.finish();
    return Step{index, name, std::move(action), inputOf(object)};
}

Step parseLocalUser(FieldReader& top, const std::string& fileName) {
    const json& object = top.child("local");
    FieldReader local(object, FieldPlace::ofStep(fileName, 0, "init"));
    local.text(kCommentField, "");
    Action action = readInit(local);
    local.finish();
    return Step{0, "init", std::move(action), inputOf(object)};
}

Scenario readScenario(const json& document, const std::string& fileName) {
    FieldReader top(document, FieldPlace(fileName, ""));
    Scenario scenario;
    scenario.name = top.text("name", fileName);
    top.text("description", "");
    top.text(kCommentField, "");
    scenario.steps.push_back(parseLocalUser(top, fileName));
    const json& steps = top.child("steps");
    if (!steps.is_array()) {
        top.fail("steps", "expected an array of steps");
    }
    int index = 1;
    for (const json& object : steps) {
        scenario.steps.push_back(parseStep(object, fileName, index++));
    }
    top.finish();
    return scenario;
}

}  // namespace

Scenario parseScenario(const std::string& text, const std::string& fileName) {
    DuplicateKeyFinder parser(kScenarioDepth);
    json document;
    try {
        document = parser.parse(text);
    } catch (const json::exception& error) {  // parse_error, or out_of_range for a number beyond double
        throw ScenarioError(fmt::format("{}: not valid JSON: {}", fileName, error.what()));
    }
    Scenario scenario = readScenario(document, fileName);
    scenario.warnings = ScenarioLint(fileName).check(scenario, parser.duplicates());
    return scenario;
}

}  // namespace ktr

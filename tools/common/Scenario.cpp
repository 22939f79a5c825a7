#include "Scenario.h"

#include <fmt/format.h>

#include <functional>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

namespace ktr {
namespace {

using nlohmann::json;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

// Reads the fields of one JSON object, checking each value against the width of the field it fills.
// Every error names the file, the step and the field's path.
class FieldReader {
public:
    FieldReader(const json& object, std::string where, std::string path)
        : m_object(object), m_where(std::move(where)), m_path(std::move(path)) {
        if (!m_object.is_object()) {
            fail(m_path.empty() ? "" : m_path, "expected an object, got " + describe(m_object));
        }
    }

    bool has(const std::string& name) const { return m_object.contains(name); }

    // The raw value of a field that another reader takes apart.
    const json& child(const std::string& name) { return field(name); }

    uint64_t u64(const std::string& name) {
        return static_cast<uint64_t>(integer(name, 0, std::numeric_limits<uint64_t>::max()));
    }
    int32_t i32(const std::string& name) {
        return static_cast<int32_t>(
            signedInteger(name, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    }
    int32_t i32(const std::string& name, int32_t fallback) { return has(name) ? i32(name) : fallback; }
    uint16_t u16(const std::string& name) {
        return static_cast<uint16_t>(integer(name, 0, std::numeric_limits<uint16_t>::max()));
    }
    uint16_t u16(const std::string& name, uint16_t fallback) { return has(name) ? u16(name) : fallback; }

    bool boolean(const std::string& name) {
        const json& value = field(name);
        if (!value.is_boolean()) {
            fail(pathOf(name), "expected true or false, got " + describe(value));
        }
        return value.get<bool>();
    }
    bool boolean(const std::string& name, bool fallback) { return has(name) ? boolean(name) : fallback; }

    std::string text(const std::string& name, const std::string& fallback) {
        if (!has(name)) {
            m_read.insert(name);
            return fallback;
        }
        const json& value = field(name);
        if (!value.is_string()) {
            fail(pathOf(name), "expected a string, got " + describe(value));
        }
        return value.get<std::string>();
    }

    // Calls read for every element of the array field name, with a reader for objects at "name[i]".
    void forEach(const std::string& name, const std::function<void(FieldReader&)>& read) {
        const json& value = field(name);
        if (!value.is_array()) {
            fail(pathOf(name), "expected an array, got " + describe(value));
        }
        for (size_t i = 0; i < value.size(); ++i) {
            FieldReader element(value[i], m_where, fmt::format("{}[{}]", pathOf(name), i));
            read(element);
            element.finish();
        }
    }

    // Refuses fields that nothing read: a misspelt name would otherwise be ignored silently.
    void finish() const {
        for (const auto& item : m_object.items()) {
            if (m_read.count(item.key()) == 0) {
                fail(pathOf(item.key()), "unknown field");
            }
        }
    }

    [[noreturn]] void fail(const std::string& path, const std::string& problem) const {
        if (path.empty()) {
            throw ScenarioError(fmt::format("{}: {}", m_where, problem));
        }
        throw ScenarioError(fmt::format("{}: field \"{}\": {}", m_where, path, problem));
    }

private:
    const json& field(const std::string& name) {
        if (!m_object.contains(name)) {
            fail(pathOf(name), "missing");
        }
        m_read.insert(name);
        return m_object.at(name);
    }

    std::string pathOf(const std::string& name) const { return m_path.empty() ? name : m_path + "." + name; }

    uint64_t integer(const std::string& name, uint64_t low, uint64_t high) {
        const json& value = field(name);
        // JSON integers without a sign parse as unsigned; negative ones never fit here.
        const bool fits = value.is_number_unsigned() && value.get<uint64_t>() >= low && value.get<uint64_t>() <= high;
        if (!fits) {
            fail(pathOf(name), fmt::format("expected an integer from {} to {}, got {}", low, high, describe(value)));
        }
        return value.get<uint64_t>();
    }

    int64_t signedInteger(const std::string& name, int64_t low, int64_t high) {
        const json& value = field(name);
        const bool fits = value.is_number_integer() &&
                          (value.is_number_unsigned() ? value.get<uint64_t>() <= static_cast<uint64_t>(high)
                                                      : value.get<int64_t>() >= low && value.get<int64_t>() <= high);
        if (!fits) {
            fail(pathOf(name), fmt::format("expected an integer from {} to {}, got {}", low, high, describe(value)));
        }
        return value.get<int64_t>();
    }

    static std::string describe(const json& value) {
        if (value.is_number_float()) {
            return "the number " + value.dump();
        }
        if (value.is_number()) {
            return value.dump();
        }
        return std::string(value.type_name()) + (value.is_string() ? " " + value.dump() : "");
    }

    const json& m_object;
    std::string m_where;
    std::string m_path;
    std::set<std::string> m_read;
};

VideoStreamInfo readStream(FieldReader& in, bool channelRequired) {
    VideoStreamInfo info{};
    info.channel = channelRequired ? in.i32("channel") : in.i32("channel", 1);
    info.dft = in.i32("dft", 0);
    info.width = in.i32("width");
    info.height = in.i32("height");
    info.fps = in.i32("fps");
    info.bitrate = in.i32("bitrate");
    info.maxbitrate = in.i32("maxbitrate");
    info.minbitrate = in.i32("minbitrate");
    return info;
}

std::vector<VideoStreamInfo> readStreams(FieldReader& in, bool channelRequired) {
    std::vector<VideoStreamInfo> streams;
    in.forEach("streams", [&](FieldReader& element) { streams.push_back(readStream(element, channelRequired)); });
    return streams;
}

KTRUserInfo readUser(FieldReader& in) {
    KTRUserInfo user;
    user.uid = in.u64("uid");
    user.dt = in.u16("dt");
    user.attr = in.u16("attr", 0);
    user.ext = in.text("ext", "");
    return user;
}

NetEstimate readEstimate(FieldReader& in, bool upload) {
    return NetEstimate{upload, in.i32("status"), in.i32("score"), in.i32("bitrate"), in.i32("maxBitrate")};
}

using StepParser = std::function<Action(FieldReader&)>;

const std::map<std::string, StepParser>& stepParsers() {
    static const std::map<std::string, StepParser> parsers{
        {"init",
         [](FieldReader& in) -> Action {
             return Init{in.u64("uid"), in.i32("dt")};
         }},
        {"sceneType", [](FieldReader& in) -> Action { return SceneType{in.i32("value")}; }},
        {"config",
         [](FieldReader& in) -> Action {
             Config step;
             step.config.forceHD = in.boolean("forceHD", false);
             step.config.auxFlag = in.boolean("auxFlag", false);
             step.config.auxBitrate1 = in.i32("auxBitrate1", step.config.auxBitrate1);
             step.config.auxBitrate2 = in.i32("auxBitrate2", step.config.auxBitrate2);
             return step;
         }},
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
             return PeerReport{uid, readStreams(in, false)};
         }},
        {"clearPeerReports", [](FieldReader&) -> Action { return ClearPeerReports{}; }},
        {"selectRequest",
         [](FieldReader& in) -> Action {
             return SelectRequest{in.i32("width"), in.i32("height"), in.i32("fps"), in.i32("bitrate")};
         }},
        {"clearSelectRequests", [](FieldReader&) -> Action { return ClearSelectRequests{}; }},
        {"uploadNet", [](FieldReader& in) -> Action { return readEstimate(in, true); }},
        {"downloadNet", [](FieldReader& in) -> Action { return readEstimate(in, false); }},
        {"definitions", [](FieldReader& in) -> Action { return Definitions{readStreams(in, true)}; }},
        {"upload", [](FieldReader& in) -> Action { return AskUpload{in.i32("channel", 1)}; }},
        {"share", [](FieldReader&) -> Action { return AskUpload{2}; }},
        {"download", [](FieldReader& in) -> Action { return AskDownload{in.i32("channel", 1)}; }},
        {"hdld", [](FieldReader&) -> Action { return AskHdLd{}; }},
        {"definitionOf", [](FieldReader& in) -> Action { return AskDefinition{in.i32("bitrate")}; }},
    };
    return parsers;
}

Step parseStep(const json& object, const std::string& fileName, int index) {
    const std::string where = fmt::format("{}: step {}", fileName, index);
    FieldReader in(object, where, "");
    const std::string name = in.text("step", "");
    if (name.empty()) {
        in.fail("step", "missing; it names the event or question, e.g. \"addUser\" or \"upload\"");
    }
    const auto parser = stepParsers().find(name);
    if (parser == stepParsers().end()) {
        in.fail("step", fmt::format("unknown step \"{}\"", name));
    }
    FieldReader fields(object, fmt::format("{} ({})", where, name), "");
    fields.text("step", "");
    Step step{index, name, parser->second(fields), object};
    fields.finish();
    return step;
}

}  // namespace

Scenario parseScenario(const std::string& text, const std::string& fileName) {
    json document;
    try {
        document = json::parse(text);
    } catch (const json::parse_error& error) {
        throw ScenarioError(fmt::format("{}: not valid JSON: {}", fileName, error.what()));
    }
    FieldReader top(document, fileName, "");
    Scenario scenario;
    scenario.name = top.text("name", fileName);
    top.text("description", "");
    FieldReader local(top.child("local"), fileName, "local");
    scenario.steps.push_back(Step{0, "init", Init{local.u64("uid"), local.i32("dt")}, top.child("local")});
    local.finish();
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

}  // namespace ktr

#include "ScenarioWriter.h"

#include <ostream>

namespace ktr {
namespace {

using nlohmann::json;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

// Texts from the host may hold any bytes: invalid UTF-8 is replaced rather than refused.
constexpr auto kErrorHandler = json::error_handler_t::replace;

json userJson(const KTRUserInfo& user) {
    return {{"uid", user.uid}, {"dt", user.dt}, {"attr", user.attr}, {"ext", user.ext}};
}

json streamJson(const VideoStreamInfo& s) {
    return {{"channel", s.channel}, {"dft", s.dft},         {"width", s.width},           {"height", s.height},
            {"fps", s.fps},         {"bitrate", s.bitrate}, {"maxbitrate", s.maxbitrate}, {"minbitrate", s.minbitrate}};
}

json streamsJson(const std::vector<VideoStreamInfo>& streams) {
    json list = json::array();
    for (const VideoStreamInfo& s : streams) {
        list.push_back(streamJson(s));
    }
    return list;
}

struct StepFields {
    json operator()(const Init& s) const { return {{"step", "init"}, {"uid", s.uid}, {"dt", s.dt}}; }
    json operator()(const SceneType& s) const { return {{"step", "sceneType"}, {"value", s.value}}; }
    json operator()(const Config& s) const {
        return {{"step", "config"},
                {"forceHD", s.config.forceHD},
                {"auxFlag", s.config.auxFlag},
                {"auxBitrate1", s.config.auxBitrate1},
                {"auxBitrate2", s.config.auxBitrate2}};
    }
    json operator()(const AddUser& s) const { return withStep("addUser", userJson(s.user)); }
    json operator()(const RemoveUser& s) const { return withStep("removeUser", userJson(s.user)); }
    json operator()(const SetUsers& s) const {
        json users = json::array();
        for (const KTRUserInfo& user : s.users) {
            users.push_back(userJson(user));
        }
        return {{"step", "setUsers"}, {"users", users}};
    }
    json operator()(const Sharing& s) const { return {{"step", "sharing"}, {"sharing", s.sharing}, {"uid", s.uid}}; }
    json operator()(const Speaker& s) const { return {{"step", "speaker"}, {"speaking", s.speaking}, {"uid", s.uid}}; }
    json operator()(const PeerReport& s) const {
        return {{"step", "peerReport"}, {"uid", s.uid}, {"streams", streamsJson(s.streams)}};
    }
    json operator()(const ClearPeerReports&) const { return {{"step", "clearPeerReports"}}; }
    json operator()(const SelectRequest& s) const {
        return {{"step", "selectRequest"},
                {"width", s.width},
                {"height", s.height},
                {"fps", s.fps},
                {"bitrate", s.bitrate}};
    }
    json operator()(const ClearSelectRequests&) const { return {{"step", "clearSelectRequests"}}; }
    json operator()(const NetEstimate& s) const {
        return {{"step", s.upload ? "uploadNet" : "downloadNet"},
                {"status", s.status},
                {"score", s.score},
                {"bitrate", s.bitrate},
                {"maxBitrate", s.maxBitrate}};
    }
    json operator()(const Definitions& s) const {
        return {{"step", "definitions"}, {"streams", streamsJson(s.streams)}};
    }
    json operator()(const AskUpload& s) const { return {{"step", "upload"}, {"channel", s.channel}}; }
    json operator()(const AskDownload& s) const { return {{"step", "download"}, {"channel", s.channel}}; }
    json operator()(const AskHdLd&) const { return {{"step", "hdld"}}; }
    json operator()(const AskDefinition& s) const { return {{"step", "definitionOf"}, {"bitrate", s.bitrate}}; }

    static json withStep(const char* name, json fields) {
        fields["step"] = name;
        return fields;
    }
};

}  // namespace

json scenarioStep(const Action& action) {
    return std::visit(StepFields{}, action);
}

std::string actionName(const Action& action) {
    return scenarioStep(action).at("step").get<std::string>();
}

ScenarioWriter::ScenarioWriter(std::ostream& out, const std::string& name, const std::string& comment,
                               const Init& local, UidRedactor* redactor)
    : m_out(out), m_redactor(redactor) {
    m_out << "{\"name\": " << json(name).dump(-1, ' ', false, kErrorHandler)
          << ",\n \"comment\": " << json(comment).dump(-1, ' ', false, kErrorHandler) << ",\n \"local\": "
          << json{{"uid", redactor != nullptr ? redactor->pseudonym(local.uid) : local.uid}, {"dt", local.dt}}.dump()
          << ",\n \"steps\": [";
}

void ScenarioWriter::write(const Action& action, const std::string& comment) {
    json step = m_redactor != nullptr ? m_redactor->json(scenarioStep(action)) : scenarioStep(action);
    if (!comment.empty()) {
        step["comment"] = comment;
    }
    m_out << (m_first ? "\n  " : ",\n  ") << step.dump(-1, ' ', false, kErrorHandler);
    m_first = false;
}

void ScenarioWriter::finish() {
    m_out << "\n]}\n";
}

}  // namespace ktr

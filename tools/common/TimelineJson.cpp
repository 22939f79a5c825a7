#include "TimelineJson.h"

namespace ktr {
namespace {

using nlohmann::json;
using tarn::video::VideoStreamInfo;

json recordsJson(const std::vector<VideoStreamInfo>& records) {
    json list = json::array();
    for (const VideoStreamInfo& record : records) {
        list.push_back(recordJson(record));
    }
    return list;
}

json usersJson(const std::set<UserKey>& users) {
    json list = json::array();
    for (const UserKey& user : users) {
        list.push_back({{"uid", user.uid}, {"dt", user.dt}});
    }
    return list;
}

json estimateJson(const EstimateState& estimate) {
    return {{"status", estimate.status},
            {"score", estimate.score},
            {"bitrate", estimate.bitrate},
            {"max_bitrate", estimate.maxBitrate}};
}

json peerJson(const PeerState& peer) {
    json object{{"uid", peer.uid},
                {"published", peer.published ? recordsJson(*peer.published) : json(nullptr)},
                {"received", peer.received}};
    if (peer.received) {
        object["choice"] = choiceName(peer.choice);
        object["chosen"] = peer.chosen ? recordJson(*peer.chosen) : json(nullptr);
        object["definition"] = definitionName(peer.definition);
    }
    return object;
}

const char* levelName(LogLevel level) {
    return level == LogLevel::Info ? "info" : level == LogLevel::Warning ? "warning" : "error";
}

// Writes null for every field the step's source does not show, at the top of the answer or in its records.
json withUnknownFields(json answer, const std::vector<std::string>& unknown) {
    for (const std::string& field : unknown) {
        if (!answer.is_object()) {
            break;
        }
        if (answer.contains(field)) {
            answer[field] = nullptr;
        } else if (answer.contains("records") && answer["records"].is_array()) {
            for (json& record : answer["records"]) {
                record[field] = nullptr;
            }
        }
    }
    return answer;
}

}  // namespace

json recordJson(const VideoStreamInfo& r) {
    return {{"width", r.width},           {"height", r.height},         {"fps", r.fps},         {"bitrate", r.bitrate},
            {"maxbitrate", r.maxbitrate}, {"minbitrate", r.minbitrate}, {"channel", r.channel}, {"dft", r.dft}};
}

json answerJson(const Answer& answer) {
    struct Visitor {
        json operator()(const std::monostate&) const { return nullptr; }
        json operator()(const UploadAnswer& a) const {
            return {{"channel", a.channel}, {"changed", a.changed}, {"records", recordsJson(a.streams)}};
        }
        json operator()(const DownloadAnswer& a) const {
            json records = json::array();
            for (const auto& [uid, request] : a.requests) {
                json record = recordJson(request);
                record["uid"] = uid;
                records.push_back(record);
            }
            return {{"changed", a.changed}, {"records", records}};
        }
        json operator()(const HdLdAnswer& a) const { return {{"hd", a.hd}, {"ld", a.ld}}; }
        json operator()(const DefinitionAnswer& a) const { return {{"records", json::array({recordJson(a.info)})}}; }
    };
    return std::visit(Visitor{}, answer);
}

json stateJson(const StateSnapshot& state) {
    const SceneState& scene = state.scene;
    json peers = json::array();
    for (const PeerState& peer : state.peers) {
        peers.push_back(peerJson(peer));
    }
    json requests = json::array();
    for (const SelectRequestState& r : state.selectRequests) {
        requests.push_back({{"width", r.width}, {"height", r.height}, {"fps", r.fps}, {"bitrate", r.bitrate}});
    }
    return {{"scene",
             {{"local_uid", scene.localUid},
              {"local_dt", scene.localDt},
              {"users", usersJson(scene.users)},
              {"received_users", usersJson(scene.received)},
              {"sharing", scene.sharing},
              {"sharer", scene.sharer},
              {"speaking", scene.speaking},
              {"speaker", scene.speaker},
              {"scene_type", scene.sceneType ? json(*scene.sceneType) : json(nullptr)},
              {"force_hd", state.forceHD}}},
            {"peers", peers},
            {"download_estimate", estimateJson(state.download)},
            {"upload_estimate", estimateJson(state.upload)},
            {"select_requests", requests}};
}

json headerJson(const TimelineHeader& header) {
    return {{"schema", kTimelineSchema},
            {"command", header.command},
            {"source", header.source},
            {"library", {{"path", header.libraryPath}, {"soname", header.librarySoname}}}};
}

json stepDetailJson(const TimelineStep& step) {
    json rules = json::array();
    for (const FiredRule& rule : step.rules) {
        rules.push_back({{"format_id", rule.format != nullptr ? json(rule.format->id) : json(nullptr)},
                         {"level", levelName(rule.level)},
                         {"explanation", rule.explanation}});
    }
    json log = json::array();
    for (const LogLine& line : step.log) {
        log.push_back(line.text);
    }
    return {{"step", step.index},
            {"time", step.time},
            {"event", step.event},
            {"input", step.input},
            {"answer", withUnknownFields(answerJson(step.answer), step.unknownAnswerFields)},
            {"rules", rules},
            {"notes", step.notes},
            {"mismatches", step.mismatches},
            {"log", log}};
}

json stepJson(const TimelineStep& step) {
    json object = stepDetailJson(step);
    object["state"] = stateJson(step.state);
    return object;
}

}  // namespace ktr

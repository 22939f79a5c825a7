#include "DiffHtml.h"

#include "DiffJson.h"
#include "HtmlReport.h"

namespace ktr::diff {
namespace {

using nlohmann::json;

constexpr int kShareChannel = 2;

// A key's value, null where the object is not one or lacks it.
json member(const json& object, const char* key) {
    return object.is_object() && object.contains(key) ? object.at(key) : json();
}

// A received peer's bitrate, as the replay's chart draws it: its chosen stream's, 0 when it is not received
// or receives nothing, null when the choice is not known.
json receivedBitrate(const json& peer) {
    if (member(peer, "received") != true || member(peer, "choice") == "none") {
        return 0;
    }
    return member(member(peer, "chosen"), "bitrate");
}

// The values the chart draws at a step, by series name: the download estimate and each peer's received
// bitrate from the state after the step, the upload streams from an upload answer.
json chartValues(const json& step) {
    json values = json::object();
    const json state = member(step, "state");
    if (state.is_object()) {
        values["estimate"] = member(member(state, "download_estimate"), "bitrate");
        const json peers = member(state, "peers");
        for (const json& peer : peers.is_array() ? peers : json::array()) {
            values["peer " + member(peer, "uid").dump()] = receivedBitrate(peer);
        }
    }
    const json answer = member(step, "answer");
    const json records = member(answer, "records");
    if (answer.contains("channel") && records.is_array()) {
        const auto bitrateOf = [&records](size_t rank) {
            return rank < records.size() ? member(records[rank], "bitrate") : json(0);
        };
        if (answer.at("channel") == kShareChannel) {
            values["share"] = bitrateOf(0);
        } else {
            values["camera 1"] = bitrateOf(0);
            values["camera 2"] = bitrateOf(1);
        }
    }
    return values;
}

// The page shows each step's input, answer and log lines, and the chart's values in place of the state.
json pageSteps(const std::vector<json>& steps) {
    json list = json::array();
    for (const json& step : steps) {
        json shown = step;
        shown["chart"] = chartValues(step);
        shown.erase("state");
        list.push_back(std::move(shown));
    }
    return list;
}

std::string pageTitle(const DiffReport& report) {
    if (report.scenarios.empty()) {
        return report.sim ? "ktr diff: " + report.sim->meeting : "ktr diff";
    }
    return report.scenarios.size() == 1 ? "ktr diff: " + report.scenarios.front().path
                                        : "ktr diff: " + std::to_string(report.scenarios.size()) + " scenarios";
}

}  // namespace

json diffPageJson(const DiffReport& report) {
    json page = json::parse(diffJson(report).dump(-1, ' ', false, json::error_handler_t::replace));
    json& scenarios = page.at("scenarios");
    for (size_t i = 0; i < report.scenarios.size(); ++i) {
        const ScenarioDiff& scenario = report.scenarios[i];
        scenarios[i]["timelines"] = json::array({pageSteps(scenario.stepsA), pageSteps(scenario.stepsB)});
    }
    return page;
}

void writeDiffHtml(std::ostream& out, const DiffReport& report) {
    writeDiffReport(out, pageTitle(report), diffPageJson(report));
}

}  // namespace ktr::diff

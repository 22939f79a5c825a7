#include "ReportChart.h"

#include <algorithm>
#include <set>

namespace ktr {
namespace {

using nlohmann::json;

constexpr int32_t kShareChannel = 2;

std::string peerName(uint64_t uid) {
    return "peer " + std::to_string(uid);
}

// A received peer's bitrate: its chosen stream's, 0 when it is not received or receives nothing, none when the
// choice is not known.
std::optional<double> receivedBitrate(const PeerState& peer) {
    if (!peer.received || peer.choice == StreamChoice::Nothing) {
        return 0.0;
    }
    if (!peer.chosen || !peer.chosen->bitrate) {
        return std::nullopt;
    }
    return *peer.chosen->bitrate;
}

const char* definitionLabel(const Known<Definition>& definition) {
    return !definition ? "" : *definition == Definition::High ? "HD" : "LD";
}

std::string hdLdLane(uint64_t uid) {
    return "HD/LD " + std::to_string(uid);
}

json optionalNumber(const std::optional<double>& value) {
    return value ? json(*value) : json(nullptr);
}

}  // namespace

void ReportChart::set(const std::string& name, const std::string& group, double x, std::optional<double> value) {
    auto [entry, added] = m_seriesIndex.try_emplace(name, m_series.size());
    if (added) {
        m_series.push_back(Series{name, group, {}, {}});
    }
    Series& series = m_series[entry->second];
    if (!series.y.empty() && series.y.back() == value) {
        return;
    }
    if (!series.x.empty() && series.x.back() == x) {
        series.y.back() = value;  // several steps at one moment: the last one holds
        return;
    }
    series.x.push_back(x);
    series.y.push_back(value);
}

void ReportChart::setLane(const std::string& name, double x, const std::string& label) {
    auto [entry, added] = m_laneIndex.try_emplace(name, m_lanes.size());
    if (added) {
        m_lanes.push_back(Lane{name, {}, "", 0});
    }
    Lane& lane = m_lanes[entry->second];
    if (lane.open == label) {
        return;
    }
    if (!lane.open.empty() && x > lane.openedAt) {
        lane.spans.emplace_back(lane.openedAt, x, lane.open);
    }
    lane.open = label;
    lane.openedAt = x;
}

void ReportChart::addStep(const TimelineStep& step) {
    const double x = m_options.stepAxis || !step.time ? step.index : *step.time;
    m_stepX.push_back(x);
    m_lastX = std::max(m_lastX, x);
    addAnswerSeries(step, x);
    if (step.state == nullptr) {
        return;
    }
    if (!m_options.sampledSeries) {
        addStateSeries(step, x);
    }
    addLanes(step, x);
}

// The published camera streams (by rank) and the share stream, from the upload answers.
void ReportChart::addAnswerSeries(const TimelineStep& step, double x) {
    const auto* upload = std::get_if<UploadAnswer>(&step.answer);
    if (upload == nullptr) {
        return;
    }
    const auto bitrateOf = [&](size_t rank) -> std::optional<double> {
        if (!upload->records) {
            return std::nullopt;
        }
        if (rank >= upload->records->size()) {
            return 0.0;
        }
        const Known<int32_t>& bitrate = (*upload->records)[rank].bitrate;
        return bitrate ? std::optional<double>(*bitrate) : std::nullopt;
    };
    if (upload->channel == kShareChannel) {
        set("share", "upload", x, bitrateOf(0));
    } else {
        set("camera 1", "upload", x, bitrateOf(0));
        set("camera 2", "upload", x, bitrateOf(1));
    }
}

// The download estimate and each peer's received bitrate, from what the step changed of the state.
void ReportChart::addStateSeries(const TimelineStep& step, double x) {
    if (m_stepX.size() == 1 || step.change.download.fields != 0) {
        set("estimate", "link", x, step.state->download.bitrate);
    }
    for (const auto& [uid, changed] : step.change.peers) {
        const auto peer = step.state->peers.find(uid);
        set(peerName(uid), "peer", x, peer == step.state->peers.end() ? 0.0 : receivedBitrate(peer->second));
    }
}

void ReportChart::addLanes(const TimelineStep& step, double x) {
    const SceneState& scene = step.state->scene;
    setLane("speaker", x, scene.speaking ? std::to_string(scene.speaker) : "");
    setLane("sharing", x, scene.sharing ? std::to_string(scene.sharer) : "");
    setLane("network", x, "status " + std::to_string(step.state->download.status));
    for (const auto& [uid, changed] : step.change.peers) {
        const auto peer = step.state->peers.find(uid);
        setLane(hdLdLane(uid), x, peer == step.state->peers.end() ? "" : definitionLabel(peer->second.definition));
    }
}

void ReportChart::addSample(double timeS, const std::string& kind, uint64_t uid, double value) {
    m_lastX = std::max(m_lastX, timeS);
    if (kind == "freeze" || kind == "switch") {
        m_markers.push_back({{"x", timeS}, {"kind", kind}, {"uid", uid}, {"series", peerName(uid)}});
    } else if (kind == "received") {
        set(peerName(uid), "peer", timeS, value);
    } else {
        set(kind, "link", timeS, value);
    }
}

json ReportChart::json() const {
    nlohmann::json series = nlohmann::json::array();
    for (const Series& s : m_series) {
        nlohmann::json y = nlohmann::json::array();
        for (const std::optional<double>& value : s.y) {
            y.push_back(optionalNumber(value));
        }
        series.push_back({{"name", s.name}, {"group", s.group}, {"x", s.x}, {"y", y}});
    }
    nlohmann::json lanes = nlohmann::json::array();
    for (const Lane& lane : m_lanes) {
        nlohmann::json spans = nlohmann::json::array();
        for (const auto& [from, to, label] : lane.spans) {
            spans.push_back({from, to, label});
        }
        if (!lane.open.empty()) {
            spans.push_back({lane.openedAt, m_lastX, lane.open});
        }
        lanes.push_back({{"name", lane.name}, {"spans", spans}});
    }
    return {{"series", series}, {"lanes", lanes}, {"markers", m_markers}, {"stepX", m_stepX}, {"end", m_lastX}};
}

}  // namespace ktr

#include "ReportChart.h"

#include <algorithm>

namespace ktr {
namespace {

using nlohmann::json;

constexpr int32_t kShareChannel = 2;

constexpr const char* kNoResult = "no result";
constexpr const char* kTotal = "all peers";

std::string peerName(uint64_t uid) {
    return "peer " + std::to_string(uid);
}

std::string requestName(uint64_t uid) {
    return "request " + std::to_string(uid);
}

std::string cameraName(size_t rank) {
    return "camera " + std::to_string(rank + 1);
}

std::optional<double> bitrateOf(const Record& stream) {
    return stream.bitrate ? std::optional<double>(*stream.bitrate) : std::nullopt;
}

// A received peer's bitrate: its chosen stream's, 0 when it is not received or receives nothing, none when the
// choice is not known.
std::optional<double> receivedBitrate(const PeerState& peer) {
    if (!peer.received || peer.choice == StreamChoice::Nothing) {
        return 0.0;
    }
    if (!peer.chosen) {
        return std::nullopt;
    }
    return bitrateOf(*peer.chosen);
}

// The camera streams by rank: the greater bitrate first, equal bitrates in the answer's order.
std::vector<Record> byRank(std::vector<Record> streams) {
    std::stable_sort(streams.begin(), streams.end(),
                     [](const Record& a, const Record& b) { return a.bitrate.value_or(0) > b.bitrate.value_or(0); });
    return streams;
}

// The library's all-zero record, its bitrate known to be 0 (a log may not show the rest).
bool isZeroStream(const Record& stream) {
    return stream.bitrate == 0 && stream.isZero();
}

// The library's "no result": records, all of them zero.
bool isNoResult(const std::vector<Record>& streams) {
    return !streams.empty() && std::all_of(streams.begin(), streams.end(), isZeroStream);
}

json optionalNumber(const std::optional<double>& value) {
    return value ? json(*value) : json(nullptr);
}

using Spans = std::vector<std::tuple<double, double, std::string>>;

// A span of a lane; one that goes on where the last one of the same label ends lengthens it.
void appendSpan(Spans& spans, double from, double to, const std::string& label) {
    if (!spans.empty() && std::get<2>(spans.back()) == label && std::get<1>(spans.back()) == from) {
        std::get<1>(spans.back()) = to;
        return;
    }
    spans.emplace_back(from, to, label);
}

json spansJson(const std::vector<std::tuple<double, double, std::string>>& spans) {
    json out = json::array();
    for (const auto& [from, to, label] : spans) {
        out.push_back({from, to, label});
    }
    return out;
}

}  // namespace

ReportChart::ReportChart(Options options)
    : m_options(options), m_classes([this](const ReceivedClasses::Span& span) { addReceivedSpan(span); }) {}

ReportChart::Series& ReportChart::seriesNamed(const std::string& name, const std::string& group) {
    auto [entry, added] = m_seriesIndex.try_emplace(name, m_series.size());
    if (added) {
        m_series.push_back(Series{name, group, {}, {}, {}});
    }
    return m_series[entry->second];
}

// A request's point carries its resolution; other series carry no text.
void ReportChart::set(const std::string& name, const std::string& group, double x, std::optional<double> value,
                      const std::string& label) {
    Series& series = seriesNamed(name, group);
    const bool labelled = group == "request";
    if (!series.y.empty() && series.y.back() == value && (!labelled || series.labels.back() == label)) {
        return;
    }
    if (!series.x.empty() && series.x.back() == x) {
        series.y.back() = value;  // several steps at one moment: the last one holds
        if (labelled) {
            series.labels.back() = label;
        }
        return;
    }
    series.x.push_back(x);
    series.y.push_back(value);
    if (labelled) {
        series.labels.push_back(label);
    }
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

void ReportChart::addMarker(double x, const std::string& kind, uint64_t uid, const std::string& series) {
    m_markers.push_back({{"x", x}, {"kind", kind}, {"uid", uid}, {"series", series}});
}

void ReportChart::addStep(const TimelineStep& step) {
    const double x = m_options.stepAxis || !step.time ? step.index : *step.time;
    m_stepX.push_back(x);
    m_lastX = std::max(m_lastX, x);
    m_classes.add(step, x);
    if (const auto* upload = std::get_if<UploadAnswer>(&step.answer)) {
        addUploadSeries(*upload, x);
    } else if (const auto* split = std::get_if<HdLdAnswer>(&step.answer)) {
        addDefinitionMarkers(*split, x);
    }
    addRequestSeries(step, x);
    if (step.state == nullptr) {
        return;
    }
    if (m_options.sampledSeries) {
        forgetSampledPeers(step, x);
    } else {
        addStateSeries(step, x);
    }
    addLanes(step, x);
}

// The published camera streams by rank, or the share stream: a stream the answer does not hold is a gap, and
// so is the library's "no result", which gets a marker.
void ReportChart::addUploadSeries(const UploadAnswer& upload, double x) {
    const std::vector<Record> streams = upload.records ? byRank(*upload.records) : std::vector<Record>();
    const bool noResult = isNoResult(streams);
    const auto bitrateAt = [&](size_t rank) {
        return !noResult && rank < streams.size() ? bitrateOf(streams[rank]) : std::nullopt;
    };
    const bool share = upload.channel == kShareChannel;
    if (noResult) {
        addMarker(x, kNoResult, 0, share ? "share" : cameraName(0));
    }
    if (share) {
        set("share", "upload", x, bitrateAt(0));
        return;
    }
    // A rank beyond the answer's streams is a series only where an earlier answer held it.
    for (size_t rank = 0; rank == 0 || rank < streams.size() || m_seriesIndex.count(cameraName(rank)) != 0; ++rank) {
        set(cameraName(rank), "upload", x, bitrateAt(rank));
    }
}

// Each peer's download request, from the answers that name it, with its resolution; none once it is gone.
void ReportChart::addRequestSeries(const TimelineStep& step, double x) {
    for (const auto& [uid, changed] : step.change.peers) {
        if (!changed && m_seriesIndex.count(requestName(uid)) != 0) {
            set(requestName(uid), "request", x, std::nullopt);
        }
    }
    const auto* download = std::get_if<DownloadAnswer>(&step.answer);
    if (download == nullptr || !download->records) {
        return;
    }
    for (const PeerRequest& request : *download->records) {
        const std::string name = requestName(request.uid);
        if (isZeroStream(request)) {
            set(name, "request", x, std::nullopt, kNoResult);
            addMarker(x, kNoResult, request.uid, name);
        } else {
            set(name, "request", x, bitrateOf(request), resolutionOf(request));
        }
    }
}

// A marker where a peer moves between HD and LD.
void ReportChart::addDefinitionMarkers(const HdLdAnswer& split, double x) {
    for (const auto& [list, label] : {std::pair(&split.hd, "HD"), std::pair(&split.ld, "LD")}) {
        if (!*list) {
            continue;
        }
        for (const uint64_t uid : **list) {
            std::string& last = m_definitions[uid];
            if (last != label) {
                last = label;
                addMarker(x, label, uid, requestName(uid));
            }
        }
    }
}

// The download estimate, each peer's chosen stream and what all peers are received at, from the state.
void ReportChart::addStateSeries(const TimelineStep& step, double x) {
    if (m_stepX.size() == 1 || step.change.download.fields != 0) {
        set("estimate", "link", x, step.state->download.bitrate);
    }
    for (const auto& [uid, changed] : step.change.peers) {
        const auto peer = step.state->peers.find(uid);
        set(peerName(uid), "peer", x, peer == step.state->peers.end() ? std::nullopt : receivedBitrate(peer->second));
    }
    set(kTotal, "total", x, m_classes.totalBitrate());
}

// A peer that has left is sampled no more: its line ends, and it no longer counts in what all peers receive.
void ReportChart::forgetSampledPeers(const TimelineStep& step, double x) {
    for (const auto& [uid, changed] : step.change.peers) {
        if (!changed && m_sampledBitrates.erase(uid) != 0) {
            set(peerName(uid), "peer", x, std::nullopt);
            set(kTotal, "total", x, sampledTotal());
        }
    }
}

double ReportChart::sampledTotal() const {
    double total = 0;
    for (const auto& [peer, bitrate] : m_sampledBitrates) {
        total += bitrate;
    }
    return total;
}

void ReportChart::addLanes(const TimelineStep& step, double x) {
    const SceneState& scene = step.state->scene;
    setLane("speaker", x, scene.speaking ? std::to_string(scene.speaker) : "");
    setLane("sharing", x, scene.sharing ? std::to_string(scene.sharer) : "");
    setLane("network", x, "status " + std::to_string(step.state->download.status));
}

// Spans of one class next to each other (on and off the lowest stream) make one span of the lane.
void ReportChart::addReceivedSpan(const ReceivedClasses::Span& span) {
    appendSpan(m_receivedSpans[span.uid], span.from, span.to, span.received.label);
}

void ReportChart::addSample(double timeS, const std::string& kind, uint64_t uid, double value) {
    m_lastX = std::max(m_lastX, timeS);
    if (kind == "freeze" || kind == "switch") {
        addMarker(timeS, kind, uid, peerName(uid));
    } else if (kind == "received") {
        set(peerName(uid), "peer", timeS, value);
        m_sampledBitrates[uid] = value;
        set(kTotal, "total", timeS, sampledTotal());
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
        if (!s.labels.empty()) {
            series.back()["labels"] = s.labels;
        }
    }
    nlohmann::json lanes = nlohmann::json::array();
    for (const Lane& lane : m_lanes) {
        nlohmann::json spans = spansJson(lane.spans);
        if (!lane.open.empty()) {
            spans.push_back({lane.openedAt, m_lastX, lane.open});
        }
        lanes.push_back({{"name", lane.name}, {"kind", "scene"}, {"spans", spans}});
    }
    auto received = m_receivedSpans;
    for (const ReceivedClasses::Span& span : m_classes.open(m_lastX)) {
        appendSpan(received[span.uid], span.from, span.to, span.received.label);
    }
    for (const auto& [uid, spans] : received) {
        lanes.push_back({{"name", peerName(uid)}, {"kind", "received"}, {"uid", uid}, {"spans", spansJson(spans)}});
    }
    return {{"series", series}, {"lanes", lanes}, {"markers", m_markers}, {"stepX", m_stepX}, {"end", m_lastX}};
}

}  // namespace ktr

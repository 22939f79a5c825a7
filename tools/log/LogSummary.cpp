#include "LogSummary.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>

namespace ktr::logs {
namespace {

using tarn::video::VideoStreamInfo;

std::string resolutionOf(const VideoStreamInfo& stream) {
    return stream.bitrate > 0 ? fmt::format("{}x{}", stream.width, stream.height) : "nothing";
}

// The lower of a peer's first two published streams (its only one alone).
std::optional<int32_t> lowestBitrate(const ktr::PeerState& peer) {
    if (!peer.published || peer.published->empty()) {
        return std::nullopt;
    }
    const auto& streams = *peer.published;
    return streams.size() == 1 ? streams[0].bitrate : std::min(streams[0].bitrate, streams[1].bitrate);
}

}  // namespace

void LogSummary::advance(double now) {
    for (auto& [uid, peer] : m_peers) {
        if (!peer.resolution.empty()) {
            peer.seconds[peer.resolution] += now - peer.since;
        }
        peer.since = now;
        if (peer.atLowest) {
            peer.longestAtLowest = std::max(peer.longestAtLowest, now - peer.lowestSince);
        }
    }
    m_last = now;
}

void LogSummary::receive(uint64_t uid, const std::string& resolution, int32_t bitrate, bool lowest, double now) {
    PeerTime& peer = m_peers[uid];
    if (peer.resolution != resolution) {
        peer.switches += peer.resolution.empty() ? 0 : 1;
        peer.resolution = resolution;
    }
    peer.bitrate = bitrate;
    if (lowest && !peer.atLowest) {
        peer.lowestSince = now;
    }
    peer.atLowest = lowest;
    peer.since = now;
}

void LogSummary::add(const ktr::TimelineStep& step) {
    m_first = m_first.value_or(step.time);
    advance(step.time);
    ++m_operations[step.event];
    for (const ktr::FiredRule& rule : step.rules) {
        if (rule.level != ktr::LogLevel::Info) {
            const std::string id = rule.format != nullptr ? std::string(rule.format->id) : "unknown line";
            ++m_troubles[fmt::format("{} {}", ktr::levelMark(rule.level), id)];
        }
    }
    // A new choice (a report, a user list) sets what a peer is received at; a request replaces it.
    if (step.event == "peerReport" || step.event == "setUsers") {
        for (const ktr::PeerState& peer : step.state.peers) {
            if (peer.received && peer.chosen) {
                const std::optional<int32_t> lowest = lowestBitrate(peer);
                receive(peer.uid, resolutionOf(*peer.chosen), peer.chosen->bitrate,
                        lowest && peer.chosen->bitrate <= *lowest, step.time);
            }
        }
    }
    if (const auto* download = std::get_if<ktr::DownloadAnswer>(&step.answer)) {
        for (const auto& [uid, request] : download->requests) {
            const auto peer = std::find_if(step.state.peers.begin(), step.state.peers.end(),
                                           [uid = uid](const ktr::PeerState& p) { return p.uid == uid; });
            const std::optional<int32_t> lowest =
                peer != step.state.peers.end() ? lowestBitrate(*peer) : std::optional<int32_t>();
            receive(uid, resolutionOf(request), request.bitrate, lowest && request.bitrate <= *lowest, step.time);
        }
    }
}

void LogSummary::finish() {
    advance(m_last);
}

nlohmann::json LogSummary::json() const {
    nlohmann::json peers = nlohmann::json::array();
    for (const auto& [uid, peer] : m_peers) {
        peers.push_back({{"uid", uid},
                         {"seconds_at_resolution", peer.seconds},
                         {"switches", peer.switches},
                         {"longest_at_lowest_s", peer.longestAtLowest}});
    }
    return {{"first_time", m_first ? nlohmann::json(*m_first) : nlohmann::json(nullptr)},
            {"last_time", m_last},
            {"operations", m_operations},
            {"warnings_and_errors", m_troubles},
            {"peers", peers}};
}

void LogSummary::write(std::ostream& out) const {
    fmt::print(out, "time span: {:.3f} s", m_first ? m_last - *m_first : 0.0);
    fmt::print(out, "\noperations:");
    for (const auto& [event, count] : m_operations) {
        fmt::print(out, " {} {}", event, count);
    }
    fmt::print(out, "\nwarnings and errors:{}\n", m_troubles.empty() ? " none" : "");
    for (const auto& [what, count] : m_troubles) {
        fmt::print(out, "  {:>6}  {}\n", count, what);
    }
    for (const auto& [uid, peer] : m_peers) {
        std::string times;
        for (const auto& [resolution, seconds] : peer.seconds) {
            times += fmt::format("{}{} {:.1f} s", times.empty() ? "" : ", ", resolution, seconds);
        }
        fmt::print(out, "peer {}: {}; {} switch(es); longest on its lowest stream {:.1f} s\n", uid,
                   times.empty() ? "no time known" : times, peer.switches, peer.longestAtLowest);
    }
}

}  // namespace ktr::logs

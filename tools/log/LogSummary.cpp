#include "LogSummary.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>

#include "LibraryLog.h"
#include "PeerStreams.h"

namespace ktr::log {
namespace {

std::string resolutionOf(const ktr::Record& stream) {
    return stream.bitrate.value_or(0) > 0 ? fmt::format("{}x{}", stream.width.value_or(0), stream.height.value_or(0))
                                          : "nothing";
}

// The bitrate of a peer's lower stream, the one the library receives when it chooses the lower.
std::optional<int32_t> lowestBitrate(const ktr::PeerState& peer) {
    if (!peer.published) {
        return std::nullopt;
    }
    const std::optional<size_t> lower = ktr::peerstreams::lower(*peer.published);
    return lower ? (*peer.published)[*lower].bitrate : std::nullopt;
}

// "W format-id" / "E format-id".
std::string troubleName(const std::pair<ktr::LogLevel, std::string_view>& trouble) {
    return fmt::format("{} {}", ktr::levelMark(trouble.first), trouble.second);
}

const ktr::PeerState* peerOf(const ktr::StateSnapshot& state, uint64_t uid) {
    const auto found = state.peers.find(uid);
    return found == state.peers.end() ? nullptr : &found->second;
}

}  // namespace

// A peer's times are added up when what it receives changes, and at the end.
void LogSummary::account(PeerTime& peer, double now) {
    if (!peer.resolution.empty()) {
        peer.seconds[peer.resolution] += now - peer.since;
    }
    peer.since = now;
    if (peer.atLowest) {
        peer.longestAtLowest = std::max(peer.longestAtLowest, now - peer.lowestSince);
    }
}

void LogSummary::receive(uint64_t uid, const std::string& resolution, int32_t bitrate, bool lowest, double now) {
    PeerTime& peer = m_peers[uid];
    if (peer.resolution == resolution && peer.atLowest == lowest) {
        peer.bitrate = bitrate;
        return;
    }
    account(peer, now);
    if (peer.resolution != resolution) {
        peer.switches += peer.resolution.empty() ? 0 : 1;
        peer.resolution = resolution;
    }
    peer.bitrate = bitrate;
    if (lowest && !peer.atLowest) {
        peer.lowestSince = now;
    }
    peer.atLowest = lowest;
}

void LogSummary::add(const ktr::TimelineStep& step) {
    // A log without time counts in steps.
    const double now = step.time.value_or(step.index);
    m_first = m_first.value_or(now);
    m_last = now;
    ++m_operations[step.event];
    for (const ktr::FiredRule& rule : step.rules) {
        if (rule.level != ktr::LogLevel::Info) {
            ++m_troubles[{rule.level, rule.line.format != nullptr ? rule.line.format->id : "unknown line"}];
        }
    }
    const ktr::StateSnapshot& state = *step.state;
    // A new choice (a report, a user list) sets what a peer is received at; a request replaces it.
    if (std::holds_alternative<ktr::PeerReport>(step.action) || std::holds_alternative<ktr::SetUsers>(step.action)) {
        for (const auto& [uid, changed] : step.change.peers) {
            const ktr::PeerState* peerState = peerOf(state, uid);
            if (peerState == nullptr) {
                continue;
            }
            const ktr::PeerState& peer = *peerState;
            if (peer.received && peer.chosen && peer.chosen->bitrate) {
                const std::optional<int32_t> lowest = lowestBitrate(peer);
                const int32_t bitrate = *peer.chosen->bitrate;
                receive(uid, resolutionOf(*peer.chosen), bitrate, lowest && bitrate <= *lowest, now);
            }
        }
    }
    if (const auto* download = std::get_if<ktr::DownloadAnswer>(&step.answer); download && download->records) {
        for (const ktr::PeerRequest& request : *download->records) {
            const ktr::PeerState* peer = peerOf(state, request.uid);
            const std::optional<int32_t> lowest = peer != nullptr ? lowestBitrate(*peer) : std::nullopt;
            const int32_t bitrate = request.bitrate.value_or(0);
            receive(request.uid, resolutionOf(request), bitrate, lowest && bitrate <= *lowest, now);
        }
    }
}

void LogSummary::finish() {
    for (auto& [uid, peer] : m_peers) {
        account(peer, m_last);
    }
}

ktr::LogSummaryReport LogSummary::report() const {
    ktr::LogSummaryReport report;
    report.timeUnit = m_timed ? "s" : "steps";
    report.firstTime = m_first;
    report.lastTime = m_last;
    report.operations = m_operations;
    for (const auto& [trouble, count] : m_troubles) {
        report.warningsAndErrors[troubleName(trouble)] = count;
    }
    for (const auto& [uid, peer] : m_peers) {
        report.peers.push_back({uid, peer.seconds, peer.switches, peer.longestAtLowest});
    }
    return report;
}

void LogSummary::write(std::ostream& out) const {
    const char* unit = m_timed ? "s" : "steps";
    fmt::print(out, "time span: {:.3f} {}", m_first ? m_last - *m_first : 0.0, unit);
    fmt::print(out, "\noperations:");
    for (const auto& [event, count] : m_operations) {
        fmt::print(out, " {} {}", event, count);
    }
    fmt::print(out, "\nwarnings and errors:{}\n", m_troubles.empty() ? " none" : "");
    for (const auto& [trouble, count] : m_troubles) {
        fmt::print(out, "  {:>6}  {}\n", count, troubleName(trouble));
    }
    for (const auto& [uid, peer] : m_peers) {
        std::string times;
        for (const auto& [resolution, seconds] : peer.seconds) {
            times += fmt::format("{}{} {:.1f} {}", times.empty() ? "" : ", ", resolution, seconds, unit);
        }
        fmt::print(out, "peer {}: {}; {} switch(es); longest on its lowest stream {:.1f} {}\n", uid,
                   times.empty() ? "no time known" : times, peer.switches, peer.longestAtLowest, unit);
    }
}

}  // namespace ktr::log

#include "LogSummary.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>

#include "LibraryLog.h"

namespace ktr::log {
namespace {

// "W format-id" / "E format-id".
std::string troubleName(const std::pair<ktr::LogLevel, std::string_view>& trouble) {
    return fmt::format("{} {}", ktr::levelMark(trouble.first), trouble.second);
}

}  // namespace

LogSummary::LogSummary(bool timed)
    : m_timed(timed), m_classes([this](const ktr::ReceivedClasses::Span& span) { count(span); }) {}

void LogSummary::count(const ktr::ReceivedClasses::Span& span) {
    PeerTime& peer = m_peers[span.uid];
    ktr::LogPeerSummary& times = peer.times;
    const double length = span.to - span.from;
    const ktr::ReceivedClass& received = span.received;
    if (received.isResolution()) {
        times.timeAtResolution[received.label] += length;
        times.switches += !peer.resolution.empty() && peer.resolution != received.label ? 1 : 0;
        peer.resolution = received.label;
    } else if (received.label == ktr::kUnknownClass) {
        times.timeUnknown += length;
    } else {
        times.timeWithNothing[received.label] += length;
    }
    if (received.atLowest) {
        // Spans of one peer follow each other: a stretch goes on while they stay on the lowest stream.
        if (peer.lowestUntil != span.from) {
            peer.lowestSince = span.from;
        }
        peer.lowestUntil = span.to;
        times.longestAtLowest = std::max(times.longestAtLowest, span.to - peer.lowestSince);
    }
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
    m_classes.add(step, now);
}

void LogSummary::finish() {
    m_classes.finish(m_last);
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
        report.peers.push_back(peer.times);
        report.peers.back().uid = uid;
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
        const ktr::LogPeerSummary& times = peer.times;
        std::string text;
        const auto add = [&](const std::string& name, double length) {
            text += fmt::format("{}{} {:.1f} {}", text.empty() ? "" : ", ", name, length, unit);
        };
        for (const auto& [resolution, length] : times.timeAtResolution) {
            add(resolution, length);
        }
        for (const auto& [reason, length] : times.timeWithNothing) {
            add("nothing (" + reason + ")", length);
        }
        if (times.timeUnknown > 0) {
            add("unknown", times.timeUnknown);
        }
        fmt::print(out, "peer {}: {}; {} switch(es); longest on its lowest stream {:.1f} {}\n", uid,
                   text.empty() ? "no time known" : text, times.switches, times.longestAtLowest, unit);
    }
}

}  // namespace ktr::log

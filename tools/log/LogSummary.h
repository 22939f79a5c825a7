// What a client's log says in short: its time span, the operations by kind, the warnings and errors by
// format, and per peer the time at each class it was received at (a resolution, or nothing and why), its
// switches and its longest stretch on its lowest stream. Built as the steps stream by, never holding them.
#ifndef KTRSDK_TOOLS_LOG_LOGSUMMARY_H
#define KTRSDK_TOOLS_LOG_LOGSUMMARY_H

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "ReceivedClasses.h"
#include "Summary.h"
#include "Timeline.h"

namespace ktr::log {

class LogSummary {
public:
    // timed: the log carries time; else durations are counted in steps.
    explicit LogSummary(bool timed);
    LogSummary(const LogSummary&) = delete;  // its classes call back into it
    LogSummary& operator=(const LogSummary&) = delete;
    void add(const ktr::TimelineStep& step);
    void finish();

    // The summary as `--summary` writes it; the reader's line counts are left to the caller.
    LogSummaryReport report() const;
    void write(std::ostream& out) const;

private:
    struct PeerTime {
        ktr::LogPeerSummary times;
        std::string resolution;  // the last resolution received ("" before any)
        double lowestSince = 0;  // where the stretch on the lowest stream that ended last began
        double lowestUntil = -1;
    };

    void count(const ktr::ReceivedClasses::Span& span);

    bool m_timed;
    std::optional<double> m_first;
    double m_last = 0;
    std::map<std::string, uint64_t> m_operations;
    std::map<std::pair<ktr::LogLevel, std::string_view>, uint64_t> m_troubles;  // by level and format id
    std::map<uint64_t, PeerTime> m_peers;
    ktr::ReceivedClasses m_classes;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LOGSUMMARY_H

// What a client's log says in short: its time span, the operations by kind, the warnings and errors by
// format, and per peer the time at each received resolution, its switches and its longest stretch on its
// lowest stream. Built as the steps stream by, never holding them.
#ifndef KTRSDK_TOOLS_LOG_LOGSUMMARY_H
#define KTRSDK_TOOLS_LOG_LOGSUMMARY_H

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "Summary.h"
#include "Timeline.h"

namespace ktr::log {

class LogSummary {
public:
    // timed: the log carries time; else durations are counted in steps.
    explicit LogSummary(bool timed) : m_timed(timed) {}
    void add(const ktr::TimelineStep& step);
    void finish();

    // The summary as `--summary` writes it; the reader's line counts are left to the caller.
    LogSummaryReport report() const;
    void write(std::ostream& out) const;

private:
    struct PeerTime {
        std::string resolution;  // what the peer is received at now ("" before anything is known)
        int32_t bitrate = 0;
        bool atLowest = false;
        double since = 0;
        double lowestSince = 0;
        std::map<std::string, double> seconds;  // per resolution
        int switches = 0;
        double longestAtLowest = 0;
    };

    void account(PeerTime& peer, double now);
    void receive(uint64_t uid, const std::string& resolution, int32_t bitrate, bool lowest, double now);

    bool m_timed;
    std::optional<double> m_first;
    double m_last = 0;
    std::map<std::string, uint64_t> m_operations;
    std::map<std::pair<ktr::LogLevel, std::string_view>, uint64_t> m_troubles;  // by level and format id
    std::map<uint64_t, PeerTime> m_peers;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LOGSUMMARY_H

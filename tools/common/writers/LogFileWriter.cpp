#include "LogFileWriter.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace ktr {
namespace {

// Step times count from midnight, 1 January 2000 (UTC).
constexpr std::time_t kClockStart = 946684800;

std::string timestamp(double seconds) {
    const int64_t ms = std::llround(std::max(0.0, seconds) * 1000.0);
    const std::time_t time = kClockStart + static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    gmtime_r(&time, &parts);
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:03}", parts.tm_year + 1900, parts.tm_mon + 1,
                       parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, ms % 1000);
}

}  // namespace

void LogFileWriter::write(const TimelineStep& step) {
    const std::string stamp = timestamp(step.time.value_or(step.index));
    for (const FiredRule& rule : step.rules) {
        fmt::print(m_out, "{} {} ktrsdk {}\n", stamp, levelMark(rule.level), rule.text);
    }
}

}  // namespace ktr

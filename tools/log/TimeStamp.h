// The time stamps that hosts put before their log lines: ISO 8601 date and time (with a zone offset or
// without), a time of day, epoch seconds (10 digits, optional fraction) or milliseconds (13 digits).
#ifndef KTRSDK_TOOLS_LOG_TIMESTAMP_H
#define KTRSDK_TOOLS_LOG_TIMESTAMP_H

#include <optional>
#include <string_view>

#include "Pcre2Pattern.h"

namespace ktr::logs {

class TimeStamp {
public:
    TimeStamp();

    // The first time stamp in text, in seconds: since the epoch (UTC) for a dated stamp or an epoch
    // number, since midnight for a time of day. Nothing when there is none or its fields are out of range.
    std::optional<double> find(std::string_view text);
    // The same for text that is one time stamp and nothing else.
    std::optional<double> parse(std::string_view text);

private:
    // The stamp's named groups, looked up once: both patterns number them alike.
    struct Groups {
        std::optional<int> year, month, day, hour, minute, second, fraction, zone, milliseconds, epoch;
    };

    std::optional<double> seconds(Pcre2Pattern& pattern) const;

    Pcre2Pattern m_search;
    Pcre2Pattern m_whole;
    Groups m_groups;
};

}  // namespace ktr::logs

#endif  // KTRSDK_TOOLS_LOG_TIMESTAMP_H

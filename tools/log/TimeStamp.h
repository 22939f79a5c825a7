// The time stamps that hosts put before their log lines: ISO 8601 date and time (with a zone offset or
// without), a time of day, epoch seconds (10 digits, optional fraction) or milliseconds (13 digits). They are
// recognised by their fixed layouts, character by character, and read in the same pass: the reader looks
// at the prefix of every line of the library.
#ifndef KTRSDK_TOOLS_LOG_TIMESTAMP_H
#define KTRSDK_TOOLS_LOG_TIMESTAMP_H

#include <cstddef>
#include <optional>
#include <string_view>

namespace ktr::log {

class TimeStamp {
public:
    struct Time {
        double seconds = 0;      // since the epoch (UTC) for a dated stamp or an epoch number, since
                                 // midnight for a time of day
        bool timeOfDay = false;  // a time without a date
    };

    // A stamp found in a text: its time (nothing when one of its fields is out of range) and where it ends.
    struct Found {
        std::optional<Time> time;
        size_t end = 0;
    };

    // The stamp that starts at position, if one does: a stamp starts at a digit with no digit before it
    // and ends before anything but a digit. At one place a date and time is preferred to a time of day,
    // and a time of day to an epoch number.
    static std::optional<Found> at(std::string_view text, size_t position);
    // The time of text that is one time stamp and nothing else.
    static std::optional<Time> parse(std::string_view text);

private:
    // "HH:MM:SS", an optional fraction and an optional zone.
    struct Clock {
        std::optional<double> seconds;  // since midnight; nothing when a field is out of range
        double zoneOffset = 0;          // seconds east of UTC
        size_t end = 0;
    };

    static std::optional<Found> dateAndTimeAt(std::string_view text, size_t position);
    static std::optional<Clock> clockAt(std::string_view text, size_t position);
    static std::optional<Found> epochAt(std::string_view text, size_t position, size_t digits);
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_TIMESTAMP_H

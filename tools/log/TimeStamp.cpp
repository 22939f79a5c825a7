#include "TimeStamp.h"

#include <array>
#include <cstdint>

namespace ktr::log {
namespace {

// The zone offsets after the sign: '9' stands for a digit, any other character for itself.
constexpr std::array<std::string_view, 3> kZoneOffsetLayouts = {"99:99", "9999", "99"};
constexpr size_t kDateLength = 11;  // "YYYY-MM-DD" and the 'T' or blank after it
constexpr size_t kClockLength = 8;  // "HH:MM:SS"
constexpr size_t kMaxFractionDigits = 9;
constexpr size_t kMillisecondDigits = 13;
constexpr size_t kEpochDigits = 10;

constexpr double kSecondsPerMinute = 60;
constexpr double kSecondsPerHour = 3600;
constexpr double kSecondsPerDay = 86400;
constexpr double kMillisecond = 0.001;
constexpr int64_t kLastHour = 23;
constexpr int64_t kLastMinute = 59;
constexpr int64_t kLastSecond = 60;  // a leap second
constexpr int64_t kLastMonth = 12;
constexpr int64_t kLastDay = 31;
constexpr std::array<double, kMaxFractionDigits + 1> kPowersOfTen = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool charAt(std::string_view text, size_t position, char c) {
    return position < text.size() && text[position] == c;
}

bool digitAt(std::string_view text, size_t position) {
    return position < text.size() && isDigit(text[position]);
}

bool decimalMarkAt(std::string_view text, size_t position) {
    return charAt(text, position, '.') || charAt(text, position, ',');
}

// Whether count characters stand in text from position on.
bool roomFor(std::string_view text, size_t position, size_t count) {
    return position <= text.size() && text.size() - position >= count;
}

// The fields of the fixed layouts are pairs of digits, checked and read without a loop.
bool isPair(const char* at) {
    return isDigit(at[0]) && isDigit(at[1]);
}

int64_t pair(const char* at) {
    return (at[0] - '0') * 10 + (at[1] - '0');
}

// The value of count digits (at most 18).
int64_t number(const char* at, size_t count) {
    int64_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value = value * 10 + (at[i] - '0');
    }
    return value;
}

// How many digits stand from position on.
size_t digitRun(std::string_view text, size_t position) {
    size_t end = position;
    while (digitAt(text, end)) {
        ++end;
    }
    return end - position;
}

// The digits after a decimal mark at position, if there are one to nine of them (a longer run is no
// fraction, and the stamp ends before its mark).
size_t fractionDigits(std::string_view text, size_t position) {
    if (!decimalMarkAt(text, position)) {
        return 0;
    }
    const size_t digits = digitRun(text, position + 1);
    return digits <= kMaxFractionDigits ? digits : 0;
}

// The fraction of one that the digits after a decimal mark write.
double fraction(const char* at, size_t count) {
    return static_cast<double>(number(at, count)) / kPowersOfTen[count];
}

// Whether the layout stands in text from position on.
bool fits(std::string_view text, size_t position, std::string_view layout) {
    if (!roomFor(text, position, layout.size())) {
        return false;
    }
    const char* at = text.data() + position;
    for (size_t i = 0; i < layout.size(); ++i) {
        if (layout[i] == '9' ? !isDigit(at[i]) : at[i] != layout[i]) {
            return false;
        }
    }
    return true;
}

// The length of the zone at position ("Z", "+02", "+0200", "-02:00"): the longest of them that no digit
// follows; 0 when there is none.
size_t zoneLength(std::string_view text, size_t position) {
    if (charAt(text, position, 'Z')) {
        return digitAt(text, position + 1) ? 0 : 1;
    }
    if (!charAt(text, position, '+') && !charAt(text, position, '-')) {
        return 0;
    }
    for (std::string_view offset : kZoneOffsetLayouts) {
        if (fits(text, position + 1, offset) && !digitAt(text, position + 1 + offset.size())) {
            return 1 + offset.size();
        }
    }
    return 0;
}

// "Z", "+02", "+0200" or "-02:00" as seconds east of UTC.
double zoneOffset(std::string_view zone) {
    if (zone.size() < 3) {
        return 0;  // "Z" or none
    }
    const double sign = zone[0] == '-' ? -1 : 1;
    const int64_t hours = pair(zone.data() + 1);
    const int64_t minutes = zone.size() > 3 ? pair(zone.data() + zone.size() - 2) : 0;
    return sign * (hours * kSecondsPerHour + minutes * kSecondsPerMinute);
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::optional<TimeStamp::Found> TimeStamp::at(std::string_view text, size_t position) {
    if (!digitAt(text, position) || (position > 0 && isDigit(text[position - 1]))) {
        return std::nullopt;
    }
    // The layouts fix how many digits stand first: four before a date's '-', two before a clock's ':'.
    if (std::optional<Found> found = dateAndTimeAt(text, position)) {
        return found;
    }
    if (const std::optional<Clock> clock = clockAt(text, position)) {
        const std::optional<Time> time = clock->seconds ? std::optional<Time>(Time{*clock->seconds, true})
                                                        : std::nullopt;  // a time of day: its zone is left as written
        return Found{time, clock->end};
    }
    const size_t digits = digitRun(text, position);
    if (digits == kMillisecondDigits || digits == kEpochDigits) {
        return epochAt(text, position, digits);
    }
    return std::nullopt;
}

std::optional<TimeStamp::Time> TimeStamp::parse(std::string_view text) {
    const std::optional<Found> found = at(text, 0);
    if (!found || found->end != text.size()) {
        return std::nullopt;
    }
    return found->time;
}

// "YYYY-MM-DD", 'T' or a blank, and the clock.
std::optional<TimeStamp::Found> TimeStamp::dateAndTimeAt(std::string_view text, size_t position) {
    if (!roomFor(text, position, kDateLength)) {
        return std::nullopt;
    }
    const char* at = text.data() + position;
    const bool date = isPair(at) && isPair(at + 2) && at[4] == '-' && isPair(at + 5) && at[7] == '-' &&
                      isPair(at + 8) && (at[10] == 'T' || at[10] == ' ');
    const std::optional<Clock> clock = date ? clockAt(text, position + kDateLength) : std::nullopt;
    if (!clock) {
        return std::nullopt;
    }
    const int64_t month = pair(at + 5);
    const int64_t day = pair(at + 8);
    if (!clock->seconds || month < 1 || month > kLastMonth || day < 1 || day > kLastDay) {
        return Found{std::nullopt, clock->end};
    }
    const double days = static_cast<double>(daysFromCivil(pair(at) * 100 + pair(at + 2), month, day));
    return Found{Time{days * kSecondsPerDay + *clock->seconds - clock->zoneOffset, false}, clock->end};
}

// "HH:MM:SS", an optional fraction after '.' or ',', an optional zone, and no digit after them.
std::optional<TimeStamp::Clock> TimeStamp::clockAt(std::string_view text, size_t position) {
    if (!roomFor(text, position, kClockLength)) {
        return std::nullopt;
    }
    const char* at = text.data() + position;
    if (!(isPair(at) && at[2] == ':' && isPair(at + 3) && at[5] == ':' && isPair(at + 6))) {
        return std::nullopt;
    }
    size_t end = position + kClockLength;
    const size_t fractional = fractionDigits(text, end);
    const double part = fractional > 0 ? fraction(text.data() + end + 1, fractional) : 0;
    end += fractional > 0 ? 1 + fractional : 0;
    if (digitAt(text, end)) {
        return std::nullopt;
    }
    const size_t zone = zoneLength(text, end);
    Clock clock{std::nullopt, zoneOffset(text.substr(end, zone)), end + zone};
    const int64_t hour = pair(at);
    const int64_t minute = pair(at + 3);
    const int64_t second = pair(at + 6);
    if (hour <= kLastHour && minute <= kLastMinute && second <= kLastSecond) {
        clock.seconds = hour * kSecondsPerHour + minute * kSecondsPerMinute + second + part;
    }
    return clock;
}

// Milliseconds: 13 digits, no decimal mark after them. Seconds: 10 digits and an optional fraction.
std::optional<TimeStamp::Found> TimeStamp::epochAt(std::string_view text, size_t position, size_t digits) {
    const char* at = text.data() + position;
    const size_t end = position + digits;
    if (digits == kMillisecondDigits) {
        if (decimalMarkAt(text, end)) {
            return std::nullopt;
        }
        return Found{Time{static_cast<double>(number(at, digits)) * kMillisecond, false}, end};
    }
    const size_t fractional = fractionDigits(text, end);
    const double part = fractional > 0 ? fraction(text.data() + end + 1, fractional) : 0;
    return Found{Time{static_cast<double>(number(at, digits)) + part, false},
                 end + (fractional > 0 ? 1 + fractional : 0)};
}

}  // namespace ktr::log

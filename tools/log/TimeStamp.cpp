#include "TimeStamp.h"

#include <array>
#include <cstdint>

namespace ktr::logs {
namespace {

// The fixed layouts: '9' stands for a digit, '?' for 'T' or a blank, any other character for itself.
constexpr std::string_view kDateLayout = "9999-99-99?";
constexpr std::string_view kTimeLayout = "99:99:99";
constexpr std::array<std::string_view, 3> kZoneOffsetLayouts = {"99:99", "9999", "99"};  // after the sign
constexpr size_t kYearDigits = 4;
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

// Whether the layout stands in text from position on.
bool fits(std::string_view text, size_t position, std::string_view layout) {
    if (position > text.size() || text.size() - position < layout.size()) {
        return false;
    }
    const char* at = text.data() + position;
    for (size_t i = 0; i < layout.size(); ++i) {
        const bool fit = layout[i] == '9'   ? isDigit(at[i])
                         : layout[i] == '?' ? at[i] == 'T' || at[i] == ' '
                                            : at[i] == layout[i];
        if (!fit) {
            return false;
        }
    }
    return true;
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

// The value of a run of at most 18 digits.
int64_t number(std::string_view digits) {
    int64_t value = 0;
    for (char digit : digits) {
        value = value * 10 + (digit - '0');
    }
    return value;
}

int64_t twoDigits(std::string_view digits) {
    return (digits[0] - '0') * 10 + (digits[1] - '0');
}

// Digits after the decimal mark as a fraction of one.
double fraction(std::string_view digits) {
    double scale = 1;
    for (size_t i = 0; i < digits.size(); ++i) {
        scale *= 10;
    }
    return static_cast<double>(number(digits)) / scale;
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

// "Z", "+02", "+0200" or "-02:00" as seconds east of UTC.
double zoneOffset(std::string_view zone) {
    if (zone == "Z") {
        return 0;
    }
    const double sign = zone[0] == '-' ? -1 : 1;
    std::string_view digits = zone.substr(1);
    const int64_t hours = twoDigits(digits);
    digits.remove_prefix(2);
    if (!digits.empty() && digits[0] == ':') {
        digits.remove_prefix(1);
    }
    const int64_t minutes = digits.empty() ? 0 : twoDigits(digits);
    return sign * (hours * kSecondsPerHour + minutes * kSecondsPerMinute);
}

}  // namespace

std::optional<TimeStamp::Found> TimeStamp::at(std::string_view text, size_t position) {
    if (!digitAt(text, position) || (position > 0 && isDigit(text[position - 1]))) {
        return std::nullopt;
    }
    const size_t digits = digitRun(text, position);
    Fields fields;
    bool found = digits == kYearDigits && dateAndTimeAt(text, position, fields);
    if (!found) {
        fields = Fields{};
        found = timeAt(text, position, fields) ||
                ((digits == kMillisecondDigits || digits == kEpochDigits) && epochAt(text, position, digits, fields));
    }
    if (!found) {
        return std::nullopt;
    }
    return Found{timeOf(fields), fields.end};
}

std::optional<TimeStamp::Time> TimeStamp::parse(std::string_view text) {
    const std::optional<Found> found = at(text, 0);
    if (!found || found->end != text.size()) {
        return std::nullopt;
    }
    return found->time;
}

// "YYYY-MM-DD" and 'T' or a blank before the time.
bool TimeStamp::dateAndTimeAt(std::string_view text, size_t position, Fields& fields) {
    if (!fits(text, position, kDateLayout) || !timeAt(text, position + kDateLayout.size(), fields)) {
        return false;
    }
    fields.year = text.substr(position, kYearDigits);
    fields.month = text.substr(position + 5, 2);
    fields.day = text.substr(position + 8, 2);
    return true;
}

// "HH:MM:SS", an optional fraction after '.' or ',', an optional zone, and no digit after them.
bool TimeStamp::timeAt(std::string_view text, size_t position, Fields& fields) {
    if (!fits(text, position, kTimeLayout)) {
        return false;
    }
    size_t end = position + kTimeLayout.size();
    const size_t digits = fractionDigits(text, end);
    if (digits > 0) {
        fields.fraction = text.substr(end + 1, digits);
        end += 1 + digits;
    }
    if (digitAt(text, end)) {
        return false;
    }
    fields.hour = text.substr(position, 2);
    fields.minute = text.substr(position + 3, 2);
    fields.second = text.substr(position + 6, 2);
    const size_t zone = zoneLength(text, end);
    fields.zone = text.substr(end, zone);
    fields.end = end + zone;
    return true;
}

// Milliseconds: 13 digits, no decimal mark after them. Seconds: 10 digits and an optional fraction.
bool TimeStamp::epochAt(std::string_view text, size_t position, size_t digits, Fields& fields) {
    if (digits == kMillisecondDigits) {
        if (decimalMarkAt(text, position + digits)) {
            return false;
        }
        fields.milliseconds = text.substr(position, digits);
        fields.end = position + digits;
        return true;
    }
    size_t end = position + digits;
    if (const size_t fractional = fractionDigits(text, end); fractional > 0) {
        end += 1 + fractional;
    }
    fields.epoch = text.substr(position, end - position);
    fields.end = end;
    return true;
}

std::optional<TimeStamp::Time> TimeStamp::timeOf(const Fields& fields) {
    if (!fields.milliseconds.empty()) {
        return Time{static_cast<double>(number(fields.milliseconds)) * kMillisecond, false};
    }
    if (!fields.epoch.empty()) {
        const size_t mark = fields.epoch.find_first_of(".,");
        const double part = mark == std::string_view::npos ? 0 : fraction(fields.epoch.substr(mark + 1));
        return Time{static_cast<double>(number(fields.epoch.substr(0, mark))) + part, false};
    }
    const int64_t hour = twoDigits(fields.hour);
    const int64_t minute = twoDigits(fields.minute);
    const int64_t second = twoDigits(fields.second);
    if (hour > kLastHour || minute > kLastMinute || second > kLastSecond) {
        return std::nullopt;
    }
    double time = hour * kSecondsPerHour + minute * kSecondsPerMinute + second + fraction(fields.fraction);
    if (fields.year.empty()) {
        return Time{time, true};  // a time of day: its zone, if any, is left as the host wrote it
    }
    const int64_t month = twoDigits(fields.month);
    const int64_t day = twoDigits(fields.day);
    if (month < 1 || month > kLastMonth || day < 1 || day > kLastDay) {
        return std::nullopt;
    }
    time += static_cast<double>(daysFromCivil(number(fields.year), month, day)) * kSecondsPerDay;
    if (!fields.zone.empty()) {
        time -= zoneOffset(fields.zone);
    }
    return Time{time, false};
}

}  // namespace ktr::logs

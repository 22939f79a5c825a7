#include "TimeStamp.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace ktr::logs {
namespace {

// Leftmost stamp wins; at one place a date and time is preferred to an epoch number.
constexpr const char* kStampPattern = R"((?<!\d)(?:(?<year>\d{4})-(?<month>\d{2})-(?<day>\d{2})[T ])?)"
                                      R"((?<hour>\d{2}):(?<minute>\d{2}):(?<second>\d{2})(?:[.,](?<fraction>\d{1,9}))?)"
                                      R"((?<zone>Z|[+-]\d{2}(?::?\d{2})?)?(?!\d))"
                                      R"(|(?<!\d)(?<milliseconds>\d{13})(?![\d.,]))"
                                      R"(|(?<!\d)(?<epoch>\d{10}(?:[.,]\d{1,9})?)(?!\d))";

constexpr double kSecondsPerMinute = 60;
constexpr double kSecondsPerHour = 3600;
constexpr double kSecondsPerDay = 86400;
constexpr double kMillisecond = 0.001;
constexpr int64_t kLastHour = 23;
constexpr int64_t kLastMinute = 59;
constexpr int64_t kLastSecond = 60;  // a leap second
constexpr int64_t kLastMonth = 12;
constexpr int64_t kLastDay = 31;

int64_t number(std::string_view digits) {
    int64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

// Digits after the decimal mark as a fraction of one.
double fraction(std::string_view digits) {
    double value = 0;
    double scale = 1;
    for (char digit : digits) {
        scale /= 10;
        value += (digit - '0') * scale;
    }
    return value;
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
    const int64_t hours = number(digits.substr(0, 2));
    digits.remove_prefix(2);
    if (!digits.empty() && digits[0] == ':') {
        digits.remove_prefix(1);
    }
    const int64_t minutes = digits.empty() ? 0 : number(digits);
    return sign * (hours * kSecondsPerHour + minutes * kSecondsPerMinute);
}

std::string wholePattern() {
    return std::string("^(?:") + kStampPattern + ")$";
}

}  // namespace

TimeStamp::TimeStamp() : m_search(kStampPattern), m_whole(wholePattern()) {
    const auto number = [this](const char* name) { return m_search.groupNumber(name); };
    m_groups = Groups{number("year"),   number("month"),    number("day"),  number("hour"),         number("minute"),
                      number("second"), number("fraction"), number("zone"), number("milliseconds"), number("epoch")};
}

std::optional<double> TimeStamp::find(std::string_view text) {
    if (!m_search.match(text)) {
        return std::nullopt;
    }
    return seconds(m_search);
}

std::optional<double> TimeStamp::parse(std::string_view text) {
    if (!m_whole.match(text)) {
        return std::nullopt;
    }
    return seconds(m_whole);
}

std::optional<double> TimeStamp::seconds(Pcre2Pattern& pattern) const {
    const auto field = [&pattern](std::optional<int> group) { return pattern.group(group); };
    const Groups& g = m_groups;
    if (const auto milliseconds = field(g.milliseconds)) {
        return static_cast<double>(number(*milliseconds)) * kMillisecond;
    }
    if (const auto epoch = field(g.epoch)) {
        const size_t mark = epoch->find_first_of(".,");
        const double part = mark == std::string_view::npos ? 0 : fraction(epoch->substr(mark + 1));
        return static_cast<double>(number(epoch->substr(0, mark))) + part;
    }
    const int64_t hour = number(*field(g.hour));
    const int64_t minute = number(*field(g.minute));
    const int64_t second = number(*field(g.second));
    if (hour > kLastHour || minute > kLastMinute || second > kLastSecond) {
        return std::nullopt;
    }
    double time = hour * kSecondsPerHour + minute * kSecondsPerMinute + second;
    if (const auto digits = field(g.fraction)) {
        time += fraction(*digits);
    }
    const auto year = field(g.year);
    if (!year) {
        return time;  // a time of day: its zone, if any, is left as the host wrote it
    }
    const int64_t month = number(*field(g.month));
    const int64_t day = number(*field(g.day));
    if (month < 1 || month > kLastMonth || day < 1 || day > kLastDay) {
        return std::nullopt;
    }
    time += static_cast<double>(daysFromCivil(number(*year), month, day)) * kSecondsPerDay;
    if (const auto zone = field(g.zone)) {
        time -= zoneOffset(*zone);
    }
    return time;
}

}  // namespace ktr::logs

#include "SyntheticTrace.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string_view>
#include <utility>

#include "InputFile.h"
#include "NameSuggestion.h"
#include "TraceText.h"
#include "Units.h"

namespace ktr::sim {
namespace {

constexpr double kBitsPerByte = 8;
constexpr double kPi = 3.14159265358979323846;
constexpr double kHighestBitsPerSecond = CapacityTrace::kHighestBytesPerSecond * kBitsPerByte;
constexpr Micros kConstantPeriod = kMicrosPerSecond;
constexpr Micros kRampStep = 100000;
constexpr Micros kShortestDuration = 1000;
constexpr Micros kMicrosPerMinute = 60 * kMicrosPerSecond;
// Far more than any useful shape needs; keeps a walk every millisecond for days from filling memory.
constexpr size_t kMostSegments = 1000000;
// Long enough that llround of any duration the text can write is defined; the shapes refuse it anyway.
constexpr double kLongestDurationToRound = 1e18;

struct Unit {
    std::string_view name;
    double scale;
};
// Longer names first: "kbps" must not be read as "k" and "bps".
constexpr Unit kRateUnits[] = {{"gbps", 1e9}, {"mbps", 1e6}, {"kbps", 1e3}, {"bps", 1}};
constexpr Unit kDurationUnits[] = {{"min", kMicrosPerMinute}, {"ms", kMicrosPerMilli}, {"s", kMicrosPerSecond}};

std::string formatRate(double bitsPerSecond) {
    for (const Unit& unit : kRateUnits) {
        if (std::fabs(bitsPerSecond) >= unit.scale) {
            return fmt::format("{}{}", bitsPerSecond / unit.scale, unit.name);
        }
    }
    return fmt::format("{}bps", bitsPerSecond);
}

std::string formatDuration(Micros duration) {
    if (duration > 0 && duration % kMicrosPerMinute == 0) {
        return fmt::format("{}min", duration / kMicrosPerMinute);
    }
    if (duration % kMicrosPerSecond == 0) {
        return fmt::format("{}s", duration / kMicrosPerSecond);
    }
    return fmt::format("{}ms", static_cast<double>(duration) / kMicrosPerMilli);
}

[[noreturn]] void refuse(const std::string& name, const std::string& value, const std::string& problem) {
    throw InputError(fmt::format("{} {}: {}", name, value, problem));
}

void requireRate(const std::string& name, double bitsPerSecond) {
    if (!(bitsPerSecond >= 0 && bitsPerSecond <= kHighestBitsPerSecond)) {
        refuse(name, formatRate(bitsPerSecond), "must be from 0 to " + formatRate(kHighestBitsPerSecond));
    }
}

void requirePositiveRate(const std::string& name, double bitsPerSecond) {
    requireRate(name, bitsPerSecond);
    if (bitsPerSecond == 0) {
        refuse(name, formatRate(bitsPerSecond), "must be above 0");
    }
}

void requireDuration(const std::string& name, Micros duration) {
    if (duration < kShortestDuration || duration > CapacityTrace::kLongestPeriod) {
        refuse(name, formatDuration(duration),
               fmt::format("must be from {} to {}", formatDuration(kShortestDuration),
                           formatDuration(CapacityTrace::kLongestPeriod)));
    }
}

void requireSegmentCount(const std::string& name, Micros duration, Micros each) {
    if (static_cast<size_t>((duration + each - 1) / each) > kMostSegments) {
        refuse(name, formatDuration(duration),
               fmt::format("more than {} steps of {}", kMostSegments, formatDuration(each)));
    }
}

// Segments of a synthetic trace under construction, each starting where the previous ends.
class SegmentList {
public:
    void add(Micros duration, double bitsPerSecond) {
        m_starts.push_back(m_end);
        m_bytesPerSecond.push_back(bitsPerSecond / kBitsPerByte);
        m_end += duration;
    }
    CapacityTrace trace(std::string label) {
        return CapacityTrace(std::move(label), true, std::move(m_starts), std::move(m_bytesPerSecond), m_end);
    }

private:
    std::vector<Micros> m_starts;
    std::vector<double> m_bytesPerSecond;
    Micros m_end = 0;
};

// Uniform in (0, 1) from the engine's bits alone, so that the walk does not depend on how a standard
// library implements its distributions.
double uniformOpen(std::mt19937_64& engine) {
    constexpr int kMantissaBits = 53;
    return (static_cast<double>(engine() >> (64 - kMantissaBits)) + 0.5) * std::ldexp(1.0, -kMantissaBits);
}

// Box-Muller.
double standardNormal(std::mt19937_64& engine) {
    const double radius = std::sqrt(-2 * std::log(uniformOpen(engine)));
    return radius * std::cos(2 * kPi * uniformOpen(engine));
}

// The text form's parts.

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t end = text.find(separator); end != std::string_view::npos; end = text.find(separator, start)) {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// A number followed by one of the units, scaled by it.
template <size_t N>
double measure(const std::string& name, std::string_view text, const Unit (&units)[N], const char* example) {
    for (const Unit& unit : units) {
        if (endsWithNoCase(text, unit.name)) {
            if (const auto number = parseDecimal(text.substr(0, text.size() - unit.name.size()))) {
                return *number * unit.scale;
            }
            break;
        }
    }
    std::string names;
    for (const Unit& unit : units) {
        names += names.empty() ? "" : ", ";
        names += unit.name;
    }
    refuse(name, quoteForMessage(text), fmt::format("expected a number and a unit ({}), e.g. {}", names, example));
}

double rateIn(const std::string& name, std::string_view text) {
    return measure(name, text, kRateUnits, "2mbps");
}

Micros durationIn(const std::string& name, std::string_view text) {
    const double micros = measure(name, text, kDurationUnits, "30s");
    return std::llround(std::clamp(micros, -kLongestDurationToRound, kLongestDurationToRound));
}

std::pair<std::string_view, std::string_view> splitPair(std::string_view text, char separator,
                                                        const std::string& problem) {
    const size_t at = text.find(separator);
    if (at == std::string_view::npos) {
        throw InputError(problem);
    }
    return {text.substr(0, at), text.substr(at + 1)};
}

std::vector<std::string_view> splitExactly(std::string_view text, char separator, size_t count,
                                           const std::string& problem) {
    std::vector<std::string_view> parts = split(text, separator);
    if (parts.size() != count) {
        throw InputError(problem);
    }
    return parts;
}

CapacityTrace parseConstant(std::string_view parameters) {
    return synthetic::constant(rateIn("rate", parameters));
}

CapacityTrace parseSteps(std::string_view parameters) {
    std::vector<synthetic::Step> list;
    for (const std::string_view item : split(parameters, ',')) {
        const std::string name = fmt::format("step {}", list.size() + 1);
        const auto [duration, rate] = splitPair(
            item, '@', fmt::format("{} {}: expected DURATION@RATE, e.g. 30s@2mbps", name, quoteForMessage(item)));
        list.push_back({durationIn(name + " duration", duration), rateIn(name + " rate", rate)});
    }
    return synthetic::steps(list);
}

CapacityTrace parseRamp(std::string_view parameters) {
    const std::string expected = "expected FROM-TO/DURATION, e.g. ramp:300kbps-3mbps/60s";
    const std::vector<std::string_view> parts = splitExactly(parameters, '/', 2, expected);
    const auto [from, to] = splitPair(parts[0], '-', expected);
    return synthetic::ramp(rateIn("from", from), rateIn("to", to), durationIn("duration", parts[1]));
}

CapacityTrace parseOutage(std::string_view parameters) {
    const std::vector<std::string_view> parts =
        splitExactly(parameters, '/', 3, "expected RATE/PERIOD/OUTAGE, e.g. outage:2mbps/30s/5s");
    return synthetic::periodicOutage(rateIn("rate", parts[0]), durationIn("period", parts[1]),
                                     durationIn("outage", parts[2]));
}

uint64_t seedIn(std::string_view text) {
    uint64_t seed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        refuse("seed", quoteForMessage(text), "expected an integer from 0 to 18446744073709551615");
    }
    return seed;
}

void setWalkOption(synthetic::Walk& walk, std::string_view option) {
    static const std::set<std::string> kOptions{"every", "for", "seed", "step"};
    const auto [key, value] =
        splitPair(option, '=', fmt::format("expected an option NAME=VALUE, got {}", quoteForMessage(option)));
    const std::string name(key);
    if (name == "seed") {
        walk.seed = seedIn(value);
    } else if (name == "step") {
        walk.stepBitsPerSecond = rateIn(name, value);
    } else if (name == "every") {
        walk.interval = durationIn(name, value);
    } else if (name == "for") {
        walk.duration = durationIn(name, value);
    } else {
        throw InputError(
            fmt::format("unknown option {}{}", quoteForMessage(key), suggestName(name, kOptions, "options")));
    }
}

CapacityTrace parseWalk(std::string_view parameters) {
    const std::string expected =
        "expected START/MIN-MAX[/seed=N][/step=RATE][/every=DURATION][/for=DURATION], "
        "e.g. walk:1.5mbps/300kbps-4mbps/seed=7";
    const std::vector<std::string_view> parts = split(parameters, '/');
    if (parts.size() < 2) {
        throw InputError(expected);
    }
    synthetic::Walk walk;
    walk.startBitsPerSecond = rateIn("start", parts[0]);
    const auto [low, high] = splitPair(parts[1], '-', expected);
    walk.minBitsPerSecond = rateIn("min", low);
    walk.maxBitsPerSecond = rateIn("max", high);
    for (size_t i = 2; i < parts.size(); ++i) {
        setWalkOption(walk, parts[i]);
    }
    return synthetic::randomWalk(walk);
}

using ShapeParser = CapacityTrace (*)(std::string_view);

const std::map<std::string, ShapeParser>& shapeParsers() {
    static const std::map<std::string, ShapeParser> kParsers{{"constant", parseConstant},
                                                             {"outage", parseOutage},
                                                             {"ramp", parseRamp},
                                                             {"steps", parseSteps},
                                                             {"walk", parseWalk}};
    return kParsers;
}

std::set<std::string> shapeNames() {
    std::set<std::string> names;
    for (const auto& [name, parser] : shapeParsers()) {
        names.insert(name);
    }
    return names;
}

CapacityTrace parseShape(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        throw InputError("expected SHAPE:PARAMETERS, e.g. constant:2mbps" + suggestName("", shapeNames(), "shapes"));
    }
    const std::string shape(text.substr(0, colon));
    const auto parser = shapeParsers().find(shape);
    if (parser == shapeParsers().end()) {
        throw InputError(
            fmt::format("unknown shape {}{}", quoteForMessage(shape), suggestName(shape, shapeNames(), "shapes")));
    }
    return parser->second(text.substr(colon + 1));
}

}  // namespace

namespace synthetic {

CapacityTrace constant(double bitsPerSecond) {
    requirePositiveRate("rate", bitsPerSecond);
    SegmentList segments;
    segments.add(kConstantPeriod, bitsPerSecond);
    return segments.trace("constant:" + formatRate(bitsPerSecond));
}

CapacityTrace steps(const std::vector<Step>& steps) {
    if (steps.empty()) {
        throw InputError("expected at least one step");
    }
    SegmentList segments;
    std::string label;
    Micros total = 0;
    bool carries = false;
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::string name = fmt::format("step {}", i + 1);
        requireDuration(name + " duration", steps[i].duration);
        requireRate(name + " rate", steps[i].bitsPerSecond);
        total += steps[i].duration;
        requireDuration("the steps' total", total);
        carries = carries || steps[i].bitsPerSecond > 0;
        segments.add(steps[i].duration, steps[i].bitsPerSecond);
        label += fmt::format("{}{}@{}", i == 0 ? "" : ",", formatDuration(steps[i].duration),
                             formatRate(steps[i].bitsPerSecond));
    }
    if (!carries) {
        throw InputError("every step's rate is 0: the trace carries nothing");
    }
    return segments.trace("steps:" + label);
}

CapacityTrace ramp(double fromBitsPerSecond, double toBitsPerSecond, Micros duration) {
    requireRate("from", fromBitsPerSecond);
    requireRate("to", toBitsPerSecond);
    requireDuration("duration", duration);
    requireSegmentCount("duration", duration, kRampStep);
    if (fromBitsPerSecond == 0 && toBitsPerSecond == 0) {
        throw InputError("from and to are 0: the trace carries nothing");
    }
    SegmentList segments;
    for (Micros start = 0; start < duration; start += kRampStep) {
        const Micros length = std::min(kRampStep, duration - start);
        const double middle =
            (static_cast<double>(start) + static_cast<double>(length) / 2) / static_cast<double>(duration);
        segments.add(length, fromBitsPerSecond + (toBitsPerSecond - fromBitsPerSecond) * middle);
    }
    return segments.trace(fmt::format("ramp:{}-{}/{}", formatRate(fromBitsPerSecond), formatRate(toBitsPerSecond),
                                      formatDuration(duration)));
}

CapacityTrace periodicOutage(double bitsPerSecond, Micros period, Micros outage) {
    requirePositiveRate("rate", bitsPerSecond);
    requireDuration("period", period);
    requireDuration("outage", outage);
    if (outage >= period) {
        refuse("outage", formatDuration(outage), "must be shorter than the period " + formatDuration(period));
    }
    SegmentList segments;
    segments.add(period - outage, bitsPerSecond);
    segments.add(outage, 0);
    return segments.trace(
        fmt::format("outage:{}/{}/{}", formatRate(bitsPerSecond), formatDuration(period), formatDuration(outage)));
}

CapacityTrace randomWalk(const Walk& walk) {
    requireRate("min", walk.minBitsPerSecond);
    requirePositiveRate("max", walk.maxBitsPerSecond);
    requireRate("step", walk.stepBitsPerSecond);
    if (walk.minBitsPerSecond > walk.maxBitsPerSecond) {
        refuse("min", formatRate(walk.minBitsPerSecond), "must not be above max " + formatRate(walk.maxBitsPerSecond));
    }
    if (!(walk.startBitsPerSecond >= walk.minBitsPerSecond && walk.startBitsPerSecond <= walk.maxBitsPerSecond)) {
        refuse("start", formatRate(walk.startBitsPerSecond),
               fmt::format("must be from min {} to max {}", formatRate(walk.minBitsPerSecond),
                           formatRate(walk.maxBitsPerSecond)));
    }
    requireDuration("every", walk.interval);
    requireDuration("for", walk.duration);
    requireSegmentCount("for", walk.duration, walk.interval);
    std::mt19937_64 engine(walk.seed);
    SegmentList segments;
    double rate = walk.startBitsPerSecond;
    for (Micros start = 0; start < walk.duration; start += walk.interval) {
        segments.add(std::min(walk.interval, walk.duration - start), rate);
        rate = std::clamp(rate + walk.stepBitsPerSecond * standardNormal(engine), walk.minBitsPerSecond,
                          walk.maxBitsPerSecond);
    }
    return segments.trace(fmt::format("walk:{}/{}-{}/seed={}/step={}/every={}/for={}",
                                      formatRate(walk.startBitsPerSecond), formatRate(walk.minBitsPerSecond),
                                      formatRate(walk.maxBitsPerSecond), walk.seed, formatRate(walk.stepBitsPerSecond),
                                      formatDuration(walk.interval), formatDuration(walk.duration)));
}

}  // namespace synthetic

CapacityTrace parseSyntheticTrace(const std::string& text) {
    try {
        return parseShape(text);
    } catch (const InputError& error) {
        throw InputError(fmt::format("synthetic trace \"{}\": {}", text, error.what()));
    }
}

}  // namespace ktr::sim

#include "TraceGenerator.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "SyntheticTrace.h"
#include "Units.h"

namespace ktr::sim {
namespace {

constexpr double kPacketBytes = 1500;
constexpr double kBitsPerMbit = 1e6;
constexpr Micros kBundledRowInterval = kMicrosPerSecond;
constexpr Micros kSixMinutes = kMicrosPerSecond * 6 * 60;
constexpr Micros kFiveMinutes = kMicrosPerSecond * 5 * 60;
constexpr const char* kMadeBy = "made by ktr_generate_traces (tools/sim/TraceGenerator.cpp); do not edit";

enum class Format { Mahimahi, Mbps };

// What one bundled file holds: a synthetic shape in its text form, written over a duration.
struct BundledShape {
    const char* fileName;
    const char* description;
    const char* shape;
    Micros duration;
    Format format;
};

const BundledShape kBundledShapes[] = {
    {"synthetic-train-walk.mahimahi", "a train journey: capacity wandering between 300 kbit/s and 4 Mbit/s",
     "walk:1.5mbps/300kbps-4mbps/seed=7/step=300kbps/every=1s/for=5min", kFiveMinutes, Format::Mahimahi},
    {"synthetic-recovery-ramp.mahimahi",
     "recovery from congestion: 300 kbit/s rising to 3 Mbit/s over 2 minutes, three times", "ramp:300kbps-3mbps/2min",
     kSixMinutes, Format::Mahimahi},
    {"synthetic-tunnel-outage.mbps", "tunnels: 2 Mbit/s with a 6 s outage every 45 s", "outage:2mbps/45s/6s",
     kSixMinutes, Format::Mbps},
    {"synthetic-office-steps.mbps", "an office network: steps between 400 kbit/s and 4 Mbit/s as others come and go",
     "steps:90s@4mbps,60s@1.2mbps,120s@2.5mbps,30s@400kbps,60s@3mbps", kSixMinutes, Format::Mbps},
};

void requireWholeMs(Micros duration, const char* what) {
    if (duration <= 0 || duration % kMicrosPerMilli != 0) {
        throw std::invalid_argument(fmt::format("{} must be a positive whole number of ms, got {} us", what, duration));
    }
}

std::string commentLines(const std::vector<std::string>& comments) {
    std::string text;
    for (const std::string& comment : comments) {
        text += "# " + comment + "\n";
    }
    return text;
}

}  // namespace

std::string mahimahiText(const CapacityTrace& trace, Micros duration, const std::vector<std::string>& comments) {
    requireWholeMs(duration, "the duration");
    const double total = trace.bytesBetween(0, duration);
    const int64_t packets = std::max<int64_t>(1, std::llround(total / kPacketBytes));
    const double packetBytes = total / static_cast<double>(packets);
    std::string text = commentLines(comments);
    for (int64_t packet = 1; packet < packets; ++packet) {
        const Micros carried = trace.timeToCarry(0, static_cast<double>(packet) * packetBytes);
        text += fmt::format("{}\n", (carried + kMicrosPerMilli - 1) / kMicrosPerMilli);
    }
    return text + fmt::format("{}\n", duration / kMicrosPerMilli);
}

std::string mbpsText(const CapacityTrace& trace, Micros duration, Micros rowInterval,
                     const std::vector<std::string>& comments) {
    requireWholeMs(duration, "the duration");
    requireWholeMs(rowInterval, "the row interval");
    if (duration % rowInterval != 0) {
        throw std::invalid_argument("the row interval must divide the duration");
    }
    std::string text = commentLines(comments);
    for (Micros start = 0; start < duration; start += rowInterval) {
        text += fmt::format("{:.3f} {:.3f}\n", static_cast<double>(start) / kMicrosPerSecond,
                            trace.bitsPerSecond(start, start + rowInterval) / kBitsPerMbit);
    }
    return text;
}

std::vector<BundledTrace> bundledTraces() {
    std::vector<BundledTrace> files;
    for (const BundledShape& bundled : kBundledShapes) {
        const CapacityTrace trace = parseSyntheticTrace(bundled.shape);
        const std::vector<std::string> comments{fmt::format("synthetic: {}", bundled.description),
                                                fmt::format("shape: {}", trace.label()), kMadeBy};
        files.push_back({bundled.fileName, bundled.format == Format::Mahimahi
                                               ? mahimahiText(trace, bundled.duration, comments)
                                               : mbpsText(trace, bundled.duration, kBundledRowInterval, comments)});
    }
    return files;
}

}  // namespace ktr::sim

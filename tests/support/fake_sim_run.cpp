// Stands in for `ktr sim ... --summary-only` in the sweep tests. With `--downlink FILE` it prints a summary
// computed from the number x the file holds:
//   time_upper_pct = x; freezes_per_min = x / 10 (null when x is 0);
//   time_to_cut_s: median x / 20 and max x / 10 (both null when x < 50); jain_fairness = null.
// On request it instead sleeps (--sleep-ms N, before anything else), fails (--exit N), aborts (--crash),
// floods stdout and stderr with N bytes each (--flood N), prints a text (--echo TEXT), or adds the
// CLOCK_MONOTONIC nanoseconds at its start and its end (--times). Other arguments are ignored.
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "Summary.h"

namespace {

constexpr double kEpisodeThreshold = 50;
constexpr size_t kFloodChunkBytes = 16u << 10;

struct Request {
    long sleepMs = 0;
    int exitStatus = 0;
    bool crash = false;
    size_t floodBytes = 0;
    bool times = false;
    bool echo = false;
    std::string echoText;
    std::string downlink;
};

Request readRequest(int argc, char** argv) {
    Request request;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--crash") {
            request.crash = true;
        } else if (arg == "--times") {
            request.times = true;
        } else if (arg == "--sleep-ms") {
            request.sleepMs = std::atol(value);
        } else if (arg == "--exit") {
            request.exitStatus = std::atoi(value);
        } else if (arg == "--flood") {
            request.floodBytes = std::strtoull(value, nullptr, 10);
        } else if (arg == "--echo") {
            request.echo = true;
            request.echoText = value;
        } else if (arg == "--downlink") {
            request.downlink = value;
        }
    }
    return request;
}

long long monotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Interleaved, so that a parent reading only one of the pipes would block the writer on the other.
void flood(size_t bytes) {
    const std::string out(kFloodChunkBytes, 'o');
    const std::string err(kFloodChunkBytes, 'e');
    for (size_t written = 0; written < bytes; written += kFloodChunkBytes) {
        const size_t count = std::min(kFloodChunkBytes, bytes - written);
        std::fwrite(out.data(), 1, count, stdout);
        std::fwrite(err.data(), 1, count, stderr);
    }
    std::fflush(stdout);
    std::fputs("flood end\n", stderr);
}

ktr::Metric metric(ktr::Known<double> value, const char* unit, const char* better) {
    ktr::Metric result;
    result.value = value;
    result.unit = unit;
    result.better = better;
    return result;
}

ktr::RunSummary summaryFor(const std::string& trace) {
    std::ifstream file(trace);
    double x = 0;
    if (!(file >> x)) {
        std::cerr << trace << ": expected a number\n";
        std::exit(2);
    }
    const bool episodes = x >= kEpisodeThreshold;
    ktr::Metric timeToCut;
    timeToCut.unit = "s";
    timeToCut.better = "lower";
    timeToCut.episodes = episodes ? 2 : 0;
    timeToCut.median = episodes ? ktr::Known<double>(x / 20) : std::nullopt;
    timeToCut.max = episodes ? ktr::Known<double>(x / 10) : std::nullopt;
    ktr::RunSummary summary;
    summary.meeting = "fake";
    summary.downlink = trace;
    summary.seed = 1;
    summary.durationS = 60;
    summary.metrics.entries = {
        {"time_upper_pct", metric(x, "%", "higher")},
        {"freezes_per_min", metric(x == 0 ? std::nullopt : ktr::Known<double>(x / 10), "1/min", "lower")},
        {"time_to_cut_s", timeToCut},
        {"jain_fairness", metric(std::nullopt, "", "higher")}};
    return summary;
}

}  // namespace

int main(int argc, char** argv) {
    const Request request = readRequest(argc, argv);
    const long long start = monotonicNanos();
    std::this_thread::sleep_for(std::chrono::milliseconds(request.sleepMs));
    if (request.crash) {
        std::abort();
    }
    if (request.exitStatus != 0) {
        std::cerr << "fake run: failing on request\n";
        return request.exitStatus;
    }
    if (request.floodBytes > 0) {
        flood(request.floodBytes);
    }
    if (request.echo) {
        std::cout << request.echoText << "\n";
    }
    if (request.times) {
        std::cout << start << " " << monotonicNanos() << "\n";
    }
    if (!request.downlink.empty()) {
        std::cout << ktr::toJsonText(summaryFor(request.downlink)) << "\n";
    }
    return 0;
}

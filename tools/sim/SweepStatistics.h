// The distribution of every metric over the runs of a sweep: the 5th percentile, the median and the 95th
// percentile, each with a 95 % percentile-bootstrap confidence interval; as aligned text and as JSON.
#ifndef KTRSDK_TOOLS_SIM_SWEEPSTATISTICS_H
#define KTRSDK_TOOLS_SIM_SWEEPSTATISTICS_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "Summary.h"

namespace ktr::sim {

constexpr int kDefaultResamples = 1000;
constexpr int kMaxResamples = 100000;
constexpr uint64_t kDefaultBootstrapSeed = 1;

struct BootstrapSettings {
    int resamples = kDefaultResamples;  // 1 to kMaxResamples
    uint64_t seed = kDefaultBootstrapSeed;
};

// The percent-th percentile (0 to 100) of sorted, non-empty values, interpolated linearly between the
// two closest ranks: rank (n - 1) * percent / 100, counted from 0.
double percentile(const std::vector<double>& sorted, double percent);

// A uniform index below count (> 0), without the bias of engine() % count: draws in the incomplete last
// block of count values are drawn again.
size_t uniformIndex(std::mt19937_64& engine, size_t count);

// One row per metric row of the summaries (see RunMetrics.h), in the order of the first summary, then
// of any metric a later summary adds. A run whose value is null is left out of that row. The same
// summaries and settings give the same table. Throws InputError naming the run (its index) for a metric
// whose unit or direction changes between runs, or settings out of range.
SweepTable sweepStatistics(const std::vector<RunSummary>& summaries, const BootstrapSettings& settings = {});

// Aligned text: metric, unit, better, runs, then "p5 [lo, hi]", "median [lo, hi]", "p95 [lo, hi]".
void writeSweepTable(std::ostream& out, const SweepTable& table);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SWEEPSTATISTICS_H

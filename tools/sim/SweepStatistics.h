// The distribution of every metric over the runs of a sweep: the 5th percentile, the median and the 95th
// percentile, each with a 95 % percentile-bootstrap confidence interval, beside every run's own value and a
// warning where an interval rests on few runs; as aligned text and as JSON.
#ifndef KTRSDK_TOOLS_SIM_SWEEPSTATISTICS_H
#define KTRSDK_TOOLS_SIM_SWEEPSTATISTICS_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "Summary.h"
#include "Sweep.h"

namespace ktr::sim {

constexpr int kDefaultResamples = 1000;
constexpr int kMaxResamples = 100000;
constexpr uint64_t kDefaultBootstrapSeed = 1;
// A 95 % interval from fewer values than this is rough: the bootstrap's percentiles of a handful of values
// hardly move, and the interval looks tighter than the population it stands for.
constexpr uint64_t kFewestRunsForIntervals = 10;

// What a table's values are taken over, as its texts name them: a sweep's runs or a conference's
// participants.
struct Population {
    const char* one;
    const char* many;
};
constexpr Population kRuns{"run", "runs"};
constexpr Population kParticipants{"participant", "participants"};

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
// of any metric a later summary adds, with every run's value. A run whose value is null is left out of
// that row's statistics. The same summaries and settings give the same table. Throws InputError naming the
// run (its index) for a metric the metric table does not describe so, or settings out of range.
SweepTable sweepStatistics(const std::vector<RunSummary>& summaries, const BootstrapSettings& settings = {},
                           const Population& over = kRuns);
// The same, with the runs' labels.
SweepTable labelledSweepStatistics(const std::vector<LabelledSummary>& runs, const BootstrapSettings& settings = {},
                                   const Population& over = kRuns);

// Whether an interval over this many values rests on too few (none: no interval at all).
bool restsOnFewRuns(uint64_t runs);
// The warning for intervals over rows of these counts of values ("runs", "traces"), or null when none rests
// on too few.
Known<std::string> fewRunsWarning(const std::vector<uint64_t>& counts, const std::string& what);

// A number as the text tables show it: at most 3 decimals, trailing zeros dropped.
std::string shortNumber(const Known<double>& value);

// Aligned columns, the first line a heading; trailing blanks cut.
void writeColumns(std::ostream& out, const std::vector<std::vector<std::string>>& lines);

// Aligned text: metric, unit, better, runs, then "p5 [lo, hi]", "median [lo, hi]", "p95 [lo, hi]"; the
// warning; then one row per run with its value of every metric. The texts name the runs as `over` does.
void writeSweepTable(std::ostream& out, const SweepTable& table, const Population& over = kRuns);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SWEEPSTATISTICS_H

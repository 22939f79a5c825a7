// A sweep runs one meeting over every trace of a folder, each run in a child process (ChildPool.h), and
// reports the distribution of every metric over the runs (SweepStatistics.h). A large sweep is split into
// shards that run on different machines; each writes a results file and a merge joins them
// (SweepResults.h).
#ifndef KTRSDK_TOOLS_SIM_SWEEP_H
#define KTRSDK_TOOLS_SIM_SWEEP_H

#include <string>
#include <vector>

#include "ChildPool.h"
#include "Summary.h"
#include "Units.h"

namespace ktr::sim {

// Far above a simulated hour's run time; stops a run that hangs from holding up the sweep for good.
constexpr Micros kDefaultRunTimeLimit = 600 * kMicrosPerSecond;

// The regular files directly in dir (links to regular files included), hidden ones left out, as paths
// sorted by file name. Throws InputError naming dir when it is missing, not a folder, unreadable or
// holds no such file.
std::vector<std::string> listTraces(const std::string& dir);

// Shard K of N (`--shard K/N`, 1 <= K <= N): run i, counted from 0 in the sorted order, belongs to shard
// (i % N) + 1, so every shard has the same runs on every machine and no two shards differ by more than
// one run.
struct Shard {
    int index = 1;
    int count = 1;

    bool operator==(const Shard& other) const { return index == other.index && count == other.count; }
    bool holds(size_t run) const { return run % static_cast<size_t>(count) == static_cast<size_t>(index - 1); }
    std::string text() const;  // "K/N"
};

// Throws InputError for anything but "K/N" with 1 <= K <= N.
Shard parseShard(const std::string& text);

// The runs of the shard, in order, among runCount runs.
std::vector<size_t> shardRuns(size_t runCount, const Shard& shard);

// One run's summary as `ktr sim --summary-only` printed it; index is its place among all runs.
struct LabelledSummary {
    std::string label;
    size_t index = 0;
    RunSummary summary;
};

// The runs of the given indices: `command` followed by the option ("--downlink" unless another is given)
// and the trace, labelled by the trace's file name.
std::vector<ChildRun> sweepRuns(const std::vector<std::string>& command, const std::vector<std::string>& traces,
                                const std::vector<size_t>& indices, const std::string& option = "--downlink");

// The summaries of the runs (results[i] is the run of indices[i]). Throws InputError naming the run that
// failed first, the reason and the end of its stderr, or a run whose output is not a summary.
std::vector<LabelledSummary> collectSummaries(const std::vector<ChildResult>& results,
                                              const std::vector<size_t>& indices);

// The summaries alone, as SweepStatistics reads them.
std::vector<RunSummary> summariesOf(const std::vector<LabelledSummary>& runs);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SWEEP_H

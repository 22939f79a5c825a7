// A sweep runs one meeting over every trace of a folder, each run in a child process (ChildPool.h), and
// reports the distribution of every metric over the runs (SweepStatistics.h). A large sweep is split into
// shards that run on different machines; each writes a results file and a merge joins them
// (SweepResults.h).
#ifndef KTRSDK_TOOLS_SIM_SWEEP_H
#define KTRSDK_TOOLS_SIM_SWEEP_H

#include <functional>
#include <string>
#include <vector>

#include "ChildPool.h"
#include "Summary.h"
#include "Units.h"

namespace ktr::sim {

// Far above a simulated hour's run time; stops a run that hangs from holding up the sweep for good.
constexpr double kDefaultRunTimeLimitS = 600;

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

// The runs of the given indices: the command that commandFor builds for the trace, labelled by the trace's
// file name.
std::vector<ChildRun> sweepRuns(const std::function<std::vector<std::string>(const std::string&)>& commandFor,
                                const std::vector<std::string>& traces, const std::vector<size_t>& indices);

// What the run of the given index left: its summary, or why it gave none (a failure, or output that is
// not a summary) with the end of its stderr and its command. The caller adds the meeting, the trace
// and the seed.
SweepResultsRun runOutcome(const ChildResult& result, size_t index, const ChildRun& run);

// The runs that gave a summary and those that failed, each in run order.
struct SweepOutcomes {
    std::vector<LabelledSummary> summaries;
    std::vector<FailedRunRow> failed;
};
SweepOutcomes splitOutcomes(std::vector<SweepResultsRun> runs);

// Throws InputError naming every failed run with its reason and the end of its stderr, each on lines of
// its own; returns when none failed.
void refuseFailedRuns(const std::vector<SweepResultsRun>& runs);

// The summaries alone, as SweepStatistics reads them.
std::vector<RunSummary> summariesOf(const std::vector<LabelledSummary>& runs);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SWEEP_H

// Results files: what one shard of a sweep writes, and the merge that joins the shards' files into the
// runs of the whole sweep. JSON Lines: a header line with the schema, the sweep's description and the
// shard, then one line per run as it ends: {"run": label, "index": i, "summary": {...}} or, for a run that
// gave no summary, {"run", "index", "failed": {"reason", "stderr", "meeting", "trace", "seed", "command"}}.
#ifndef KTRSDK_TOOLS_SIM_SWEEPRESULTS_H
#define KTRSDK_TOOLS_SIM_SWEEPRESULTS_H

#include <ostream>
#include <string>
#include <vector>

#include "Sweep.h"

namespace ktr::sim {

// What makes two shards parts of the same sweep, and what a resumed shard depends on.
struct SweepDescription {
    std::string meeting;                    // as the command line named it
    std::string meetingSha256;              // its content's hash: a relative and an absolute path name the same one
    std::string librarySha256;              // the build the runs load
    Known<std::string> settingsSha256;      // the --config file's content; null without one
    uint64_t seed = 0;                      // the runs' seed
    std::vector<std::string> options;       // the settings every run shares, as the runs' command line gives them
    std::vector<std::string> runs;          // the labels of all runs of the sweep, in run order
    std::vector<std::string> tracesSha256;  // the content of each run's trace, in run order

    bool operator==(const SweepDescription& other) const;
};

// The first line of a results file and the line of one run, each with its line break.
std::string resultsHeaderLine(const SweepDescription& sweep, const Shard& shard);
// Throws std::invalid_argument for a run that is not one of the shard's, or has neither or both of a
// summary and a failure.
std::string resultsRunLine(const SweepDescription& sweep, const Shard& shard, const SweepResultsRun& run);

void writeSweepResults(std::ostream& out, const SweepDescription& sweep, const Shard& shard,
                       const std::vector<SweepResultsRun>& runs);

struct MergedSweep {
    SweepDescription sweep;
    std::vector<SweepResultsRun> runs;  // every run of the sweep, in run order
};

// Reads the shards' results files and returns every run in run order. Throws InputError naming the file
// and the line for a file that is truncated, unreadable or of another schema, files of different sweeps,
// and a run that is missing or present twice.
MergedSweep mergeSweepResults(const std::vector<std::string>& paths);

// A results file already read; path names it in messages.
struct ResultsText {
    std::string path;
    std::string content;
};

// The same for contents already read.
MergedSweep mergeSweepResults(const std::vector<ResultsText>& files);

// What a shard's results file holds when the shard starts again.
struct RecordedShard {
    bool headerWritten = false;         // false: nothing of the file counts (empty, or cut inside its header)
    std::vector<SweepResultsRun> runs;  // the runs of its complete lines
    size_t completeBytes = 0;           // where its last complete line ends: anything after was cut short
};

// Reads a results file for shard `shard` of `sweep`. Throws InputError naming the file when it was written
// by another sweep or shard (naming the first dependency that changed), and naming the line for a complete
// line that is not a run of the shard or a run present twice.
RecordedShard readRecordedShard(const ResultsText& file, const SweepDescription& sweep, const Shard& shard);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SWEEPRESULTS_H

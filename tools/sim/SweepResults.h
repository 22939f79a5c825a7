// Results files: what one shard of a sweep writes, and the merge that joins the shards' files into the
// runs of the whole sweep. JSON Lines: a header line with the schema, the sweep's description and the
// shard, then one line per run: {"run": label, "index": i, "summary": {...}}.
#ifndef KTRSDK_TOOLS_SIM_SWEEPRESULTS_H
#define KTRSDK_TOOLS_SIM_SWEEPRESULTS_H

#include <ostream>
#include <string>
#include <vector>

#include "Sweep.h"

namespace ktr::sim {

// What makes two shards parts of the same sweep.
struct SweepDescription {
    std::string meeting;               // as the command line named it
    std::string meetingSha256;         // its content's hash: a relative and an absolute path name the same one
    std::vector<std::string> options;  // the settings every run shares, as the runs' command line gives them
    std::vector<std::string> runs;     // the labels of all runs of the sweep, in run order

    bool operator==(const SweepDescription& other) const {
        return meetingSha256 == other.meetingSha256 && options == other.options && runs == other.runs;
    }
};

void writeSweepResults(std::ostream& out, const SweepDescription& sweep, const Shard& shard,
                       const std::vector<LabelledSummary>& runs);

struct MergedSweep {
    SweepDescription sweep;
    std::vector<LabelledSummary> runs;  // every run of the sweep, in run order
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

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SWEEPRESULTS_H

// The results file of a sweep's shard as the shard writes it: each run's line as soon as the run ends,
// written whole and flushed, so that a shard killed at any point and started again with the same
// arguments finds every run that ended and runs only the others.
#ifndef KTRSDK_TOOLS_SIM_SHARDRESULTSFILE_H
#define KTRSDK_TOOLS_SIM_SHARDRESULTSFILE_H

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "OutputFiles.h"
#include "SweepResults.h"

namespace ktr::sim {

class ShardResultsFile {
public:
    // Opens path for shard `shard` of `sweep`. A file this shard of this sweep wrote is continued: the runs
    // of its complete lines count as done, and a last line cut short is removed to be written again. A file
    // that is missing, empty or cut inside its header is started anew. "-" is standard output, taken from
    // files, with nothing to continue. Throws InputError naming the file when it was written by another
    // sweep or shard, or cannot be read or written.
    ShardResultsFile(const std::string& path, const SweepDescription& sweep, const Shard& shard, OutputFiles& files);

    // The runs the file held when it was opened, in run order.
    const std::vector<SweepResultsRun>& recorded() const { return m_recorded; }

    // Writes the run's line and flushes it. Throws InputError when it cannot be written.
    void append(const SweepResultsRun& run);

private:
    void continueFile(const std::string& content);
    void write(const std::string& line);

    std::string m_path;
    SweepDescription m_sweep;
    Shard m_shard;
    std::ofstream m_file;
    std::ostream* m_out = nullptr;
    std::vector<SweepResultsRun> m_recorded;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SHARDRESULTSFILE_H

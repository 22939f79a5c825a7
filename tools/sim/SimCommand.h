// `ktr sim`: a whole meeting under bandwidth traces, with quality-of-experience metrics; one run, or a
// sweep over a folder of traces.
#ifndef KTRSDK_TOOLS_SIM_SIMCOMMAND_H
#define KTRSDK_TOOLS_SIM_SIMCOMMAND_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Command.h"

namespace ktr {
class OutputFiles;
class RedactionStage;
struct RunSummary;
struct SweepResultsRun;
struct SweepTable;
}  // namespace ktr

namespace ktr::sim {

struct Meeting;
struct SweepDescription;

class SimCommand : public Command {
public:
    explicit SimCommand(CLI::App& program);

    int run() override;

private:
    int runOne() const;
    void printParticipants(const RunSummary& summary) const;
    int runSweep() const;
    SweepDescription describeSweep(const std::vector<std::string>& traces) const;
    int merge() const;
    struct TableFiles {
        std::ostream* summary;
        std::ostream* html;
        std::ostream* cdfCsv;
        bool text;  // the table goes to standard output: no output took it
    };
    TableFiles openTableFiles(OutputFiles& files) const;
    void writeTable(const ktr::SweepTable& table, const TableFiles& files, const std::string& title) const;
    int writeOutcomes(std::vector<SweepResultsRun> runs, const TableFiles& tableFiles, OutputFiles& files,
                      const std::string& title) const;
    void drawCdfs(const std::string& title) const;
    SharedValues childValues() const;
    std::string& sweptTrace(SharedValues& values) const;
    std::vector<std::string> childCommand(const std::string& trace) const;
    uint64_t seedFor(const Meeting& meeting) const;

    std::string m_meetingPath;
    bool m_steps = false;
    std::string m_seriesPath;
    std::string m_recordPath;
    // Sweeps.
    std::string m_uplinkTracesDir;
    bool m_conference = false;
    std::string m_linkPoolDir;
    double m_linkScale = 1.0;
    std::string m_shard;
    std::string m_resultsPath;
    std::vector<std::string> m_mergePaths;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SIMCOMMAND_H

// `ktr sim`: a whole meeting under bandwidth traces, with quality-of-experience metrics; one run, or a
// sweep over a folder of traces.
#ifndef KTRSDK_TOOLS_SIM_SIMCOMMAND_H
#define KTRSDK_TOOLS_SIM_SIMCOMMAND_H

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace ktr {
class OutputFiles;
struct SweepTable;
}  // namespace ktr

namespace ktr::sim {

struct Meeting;

class SimCommand {
public:
    explicit SimCommand(CLI::App& program);

    bool chosen() const { return m_command->parsed(); }
    int run() const;

private:
    int runOne() const;
    int runSweep() const;
    int merge() const;
    struct TableFiles {
        std::ostream* summary;
        std::ostream* html;
    };
    TableFiles openTableFiles(OutputFiles& files) const;
    void writeTable(const ktr::SweepTable& table, const TableFiles& files, const std::string& title) const;
    std::vector<std::string> childCommand() const;
    uint64_t seedFor(const Meeting& meeting) const;

    CLI::App* m_command = nullptr;
    std::string m_meetingPath;
    std::string m_downlink;
    std::string m_uplink;
    std::string m_libraryPath;
    std::string m_settingsPath;
    uint64_t m_seed = 1;
    double m_durationS = 0;
    bool m_steps = false;
    bool m_explain = false;
    bool m_log = false;
    bool m_summaryOnly = false;
    bool m_redact = false;
    std::string m_jsonPath;
    std::string m_csvPath;
    std::string m_logFilePath;
    std::string m_htmlPath;
    std::string m_summaryPath;
    std::string m_seriesPath;
    std::string m_plotPath;
    std::string m_recordPath;
    std::string m_state;
    // Sweeps.
    std::string m_estimatesPath;
    std::string m_tracesDir;
    std::string m_uplinkTracesDir;
    int m_jobs = 0;
    double m_timeoutS = 600;
    std::string m_shard;
    std::string m_resultsPath;
    std::vector<std::string> m_mergePaths;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SIMCOMMAND_H

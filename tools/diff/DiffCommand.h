// `ktr diff`: the same scenarios through two library builds or two settings, stopping at the first step
// where the sides part; with --sim, a meeting's metrics over a folder of traces side by side.
#ifndef KTRSDK_TOOLS_DIFF_DIFFCOMMAND_H
#define KTRSDK_TOOLS_DIFF_DIFFCOMMAND_H

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "ScenarioDiffer.h"
#include "SimDiffer.h"

namespace ktr::diff {

class DiffCommand {
public:
    explicit DiffCommand(CLI::App& program);

    bool chosen() const { return m_command->parsed(); }
    // Returns 0 when the sides are the same, 1 when they differ; throws InputError for bad input or a run
    // that failed (exit 2).
    int run();

private:
    void checkOptions() const;

    CLI::App* m_command = nullptr;
    std::vector<std::string> m_scenarios;
    std::string m_libraryA;
    std::string m_libraryB;
    std::string m_library;
    std::string m_settingsA;
    std::string m_settingsB;
    bool m_answersOnly = false;
    bool m_all = false;
    double m_timeoutS = 0;  // 0: the default of the mode
    std::string m_jsonPath;
    std::string m_htmlPath;
    std::string m_meetingPath;
    std::string m_tracesDir;
    double m_durationS = 0;
    int m_jobs = 0;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_DIFFCOMMAND_H

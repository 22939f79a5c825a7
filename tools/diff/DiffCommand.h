// `ktr diff`: the same scenarios through two library builds or two settings, stopping at the first step
// where the sides part; with --sim, a meeting's metrics over a folder of traces side by side.
#ifndef KTRSDK_TOOLS_DIFF_DIFFCOMMAND_H
#define KTRSDK_TOOLS_DIFF_DIFFCOMMAND_H

#include <string>
#include <vector>

#include "Command.h"
#include "ScenarioDiffer.h"
#include "SimDiffer.h"

namespace ktr::diff {

class DiffCommand : public Command {
public:
    explicit DiffCommand(CLI::App& program);

    // Returns 0 when the sides are the same, 1 when they differ; throws InputError for bad input or a run
    // that failed (exit 2).
    int run() override;

private:
    void checkOptions() const;

    std::vector<std::string> m_scenarios;
    std::string m_libraryA;
    std::string m_libraryB;
    std::string m_settingsA;
    std::string m_settingsB;
    bool m_answersOnly = false;
    bool m_all = false;
    std::string m_meetingPath;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_DIFFCOMMAND_H

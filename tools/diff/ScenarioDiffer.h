// Replays scenarios through two sides and compares the timelines step by step as they are written. Every
// side of every scenario runs in a process of its own (`ktr replay SCENARIO --json -`): the library draws
// from an unseeded rand(), so only fresh processes start both sides from the same state. Both sides of a
// scenario run at once and are read as their lines arrive; neither timeline is held, so memory is bounded by
// the meeting, not by the number of steps.
#ifndef KTRSDK_TOOLS_DIFF_SCENARIODIFFER_H
#define KTRSDK_TOOLS_DIFF_SCENARIODIFFER_H

#include <string>
#include <vector>

#include "DiffSide.h"
#include "StepComparer.h"
#include "TimelineWriter.h"

namespace ktr::diff {

constexpr double kDefaultScenarioTimeoutS = 60;

struct ScenarioDiffOptions {
    bool answersOnly = false;                    // log lines do not count
    bool all = false;                            // every differing step, not only the first
    double timeoutS = kDefaultScenarioTimeoutS;  // 0: no limit
    int jobs = 0;                                // scenarios at once; 0: one per core
    std::string program;                         // the ktr that replays; empty: this program
};

struct ScenarioDiff {
    std::string path;  // as given
    std::string name;  // the scenario's own
    TimelineComparison comparison;

    bool same() const { return comparison.differences.empty(); }
};

// Where each side's timeline goes as it is read, for a view that shows both (the HTML page).
class SideWriters {
public:
    virtual ~SideWriters() = default;
    // The writer of a scenario's side (0: A, 1: B), by the scenario's place in the list.
    virtual TimelineWriter& sideWriter(size_t scenario, size_t side) = 0;
};

class ScenarioDiffer {
public:
    ScenarioDiffer(DiffSide a, DiffSide b, ScenarioDiffOptions options);

    // Throws InputError for a scenario or settings file that cannot be used (before any run), and naming
    // every scenario and side of a run that failed, each with the reason and the end of its stderr, once
    // every scenario has been compared.
    std::vector<ScenarioDiff> run(const std::vector<std::string>& scenarios, SideWriters* writers = nullptr) const;

private:
    std::vector<std::string> replayCommand(const DiffSide& side, const std::string& scenario) const;

    DiffSide m_a;
    DiffSide m_b;
    ScenarioDiffOptions m_options;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_SCENARIODIFFER_H

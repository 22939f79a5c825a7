#include "ScenarioDiffer.h"

#include <cmath>

#include "ChildPool.h"
#include "InputFile.h"
#include "Scenario.h"
#include "SdkLibrary.h"

namespace ktr::diff {
namespace {

constexpr int64_t kMicrosPerSecond = 1000000;

}  // namespace

ScenarioDiffer::ScenarioDiffer(DiffSide a, DiffSide b, ScenarioDiffOptions options)
    : m_a(std::move(a)), m_b(std::move(b)), m_options(std::move(options)) {}

// The scenario comes after "--", so that no file name is taken for an option.
std::vector<std::string> ScenarioDiffer::replayCommand(const DiffSide& side, const std::string& scenario) const {
    std::vector<std::string> command{m_options.program.empty() ? SdkLibrary::toolPath() : m_options.program, "replay",
                                     "--json", "-"};
    const std::vector<std::string> options = side.options();
    command.insert(command.end(), options.begin(), options.end());
    command.insert(command.end(), {"--", scenario});
    return command;
}

std::vector<ScenarioDiff> ScenarioDiffer::run(const std::vector<std::string>& scenarios) const {
    m_a.checkSettings();
    m_b.checkSettings();
    std::vector<ScenarioDiff> diffs;
    std::vector<ChildRun> runs;
    for (const std::string& path : scenarios) {
        diffs.push_back({path, parseScenario(readInputFile(path), path).name, {}, {}, {}});
        for (const DiffSide* side : {&m_a, &m_b}) {
            runs.push_back({path + " on side " + side->name, replayCommand(*side, path)});
        }
    }
    const std::vector<ChildResult> results =
        runChildren(runs, m_options.jobs, std::llround(m_options.timeoutS * kMicrosPerSecond));
    refuseFailedRuns(results);
    const StepComparer comparer(m_options.answersOnly);
    for (size_t i = 0; i < diffs.size(); ++i) {
        const ChildResult& a = results[2 * i];
        const ChildResult& b = results[2 * i + 1];
        diffs[i].stepsA = timelineSteps(a.out, a.label);
        diffs[i].stepsB = timelineSteps(b.out, b.label);
        diffs[i].comparison = comparer.compare(diffs[i].stepsA, diffs[i].stepsB, m_options.all);
    }
    return diffs;
}

}  // namespace ktr::diff

#include "ScenarioDiffer.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <list>

#include "InputFile.h"
#include "Scenario.h"
#include "ScenarioRun.h"
#include "SdkLibrary.h"
#include "Units.h"

namespace ktr::diff {
namespace {

struct RunningScenario {
    size_t index = 0;
    ScenarioRun run;
};

size_t scenariosAtOnce(int jobs, size_t scenarios) {
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const size_t wanted = static_cast<size_t>(jobs > 0 ? jobs : std::max(cores, 1L));
    return std::max<size_t>(1, std::min(wanted, scenarios));
}

}  // namespace

ScenarioDiffer::ScenarioDiffer(DiffSide a, DiffSide b, ScenarioDiffOptions options)
    : m_a(std::move(a)), m_b(std::move(b)), m_options(std::move(options)) {}

// The scenario comes after "--", so that no file name is taken for an option.
std::vector<std::string> ScenarioDiffer::replayCommand(const DiffSide& side, const std::string& scenario) const {
    std::vector<std::string> command{m_options.program.empty() ? SdkLibrary::toolPath() : m_options.program, "replay"};
    SharedValues values = side.options();
    values.json = kStandardStream;
    const std::vector<std::string> options = optionArguments(values);
    command.insert(command.end(), options.begin(), options.end());
    command.insert(command.end(), {"--", scenario});
    return command;
}

std::vector<ScenarioDiff> ScenarioDiffer::run(const std::vector<std::string>& scenarios, SideWriters* writers) const {
    m_a.checkSettings();
    m_b.checkSettings();
    std::vector<ScenarioDiff> diffs;
    diffs.reserve(scenarios.size());
    for (const std::string& path : scenarios) {
        diffs.push_back({path, parseScenario(readInputFile(path), path).name, {}});
    }
    const size_t atOnce = scenariosAtOnce(m_options.jobs, scenarios.size());
    const int64_t timeLimit = std::llround(m_options.timeoutS * kMicrosPerSecond);
    std::list<RunningScenario> running;
    std::vector<std::string> failures;
    size_t next = 0;
    while (next < scenarios.size() || !running.empty()) {
        for (; running.size() < atOnce && next < scenarios.size(); ++next) {
            std::array<ChildRun, 2> runs;
            std::array<TimelineWriter*, 2> sideWriters{};
            for (size_t side = 0; side < runs.size(); ++side) {
                const DiffSide& which = side == 0 ? m_a : m_b;
                runs[side] = {scenarios[next] + " on side " + which.name, replayCommand(which, scenarios[next])};
                sideWriters[side] = writers == nullptr ? nullptr : &writers->sideWriter(next, side);
            }
            running.push_back(RunningScenario{
                next,
                ScenarioRun(runs, timeLimit, TimelineComparer(m_options.answersOnly, m_options.all), sideWriters)});
        }
        std::vector<ChildStream*> streams;
        for (auto scenario = running.begin(); scenario != running.end();) {
            scenario->run.advance();
            if (scenario->run.done()) {
                const std::vector<std::string> sideFailures = scenario->run.failures();
                failures.insert(failures.end(), sideFailures.begin(), sideFailures.end());
                diffs[scenario->index].comparison = scenario->run.comparison();
                scenario = running.erase(scenario);
            } else {
                scenario->run.addStreams(streams);
                ++scenario;
            }
        }
        if (!streams.empty()) {
            ChildStream::waitForAny(streams);
        }
    }
    if (!failures.empty()) {
        throw InputError(fmt::format("{}", fmt::join(failures, "\n")));
    }
    return diffs;
}

}  // namespace ktr::diff

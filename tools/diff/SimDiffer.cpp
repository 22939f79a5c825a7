#include "SimDiffer.h"

#include <fmt/format.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "ChildPool.h"
#include "InputFile.h"
#include "Meeting.h"
#include "RunMetrics.h"
#include "SdkLibrary.h"
#include "Sweep.h"
#include "Units.h"

namespace ktr::diff {
namespace {

// Adds one side's value of every metric of a summary to the series, opening a series for a new metric.
void addValues(const RunSummary& summary, size_t trace, size_t traces, bool sideA, std::vector<MetricSeries>& series,
               std::map<std::string, size_t>& rows) {
    for (const sim::MetricValue& value : sim::runMetricRows(summary)) {
        auto row = rows.find(value.name);
        if (row == rows.end()) {
            row = rows.emplace(value.name, series.size()).first;
            series.push_back({value.name, value.unit, value.better, std::vector<std::optional<double>>(traces),
                              std::vector<std::optional<double>>(traces), value.definition});
        }
        (sideA ? series[row->second].a : series[row->second].b)[trace] = value.value;
    }
}

}  // namespace

bool SimDiff::differs() const {
    for (const MetricComparison& metric : metrics) {
        if (metric.verdict && *metric.verdict != Verdict::NoClearDifference) {
            return true;
        }
    }
    return false;
}

Known<std::string> SimDiff::fewTracesWarning() const {
    std::vector<uint64_t> counts;
    for (const MetricComparison& metric : metrics) {
        counts.push_back(metric.traces);
    }
    return sim::fewRunsWarning(counts, "traces");
}

std::vector<MetricComparison> compareSummaries(const std::vector<RunSummary>& a, const std::vector<RunSummary>& b,
                                               const PairedBootstrap& bootstrap) {
    if (a.size() != b.size()) {
        throw std::invalid_argument("compareSummaries: one summary per trace on each side is needed");
    }
    std::vector<MetricSeries> series;
    std::map<std::string, size_t> rows;
    for (size_t trace = 0; trace < a.size(); ++trace) {
        addValues(a[trace], trace, a.size(), true, series, rows);
        addValues(b[trace], trace, a.size(), false, series, rows);
    }
    const MetricComparer comparer(bootstrap);
    std::vector<MetricComparison> comparisons;
    comparisons.reserve(series.size());
    for (const MetricSeries& metric : series) {
        comparisons.push_back(comparer.compare(metric));
    }
    return comparisons;
}

SimDiffer::SimDiffer(DiffSide a, DiffSide b, SimDiffOptions options)
    : m_a(std::move(a)), m_b(std::move(b)), m_options(std::move(options)) {}

// The meeting comes last, after "--", so that no file name is taken for an option.
std::vector<std::string> SimDiffer::simCommand(const DiffSide& side, const std::string& trace) const {
    std::vector<std::string> command{m_options.program.empty() ? SdkLibrary::toolPath() : m_options.program, "sim"};
    SharedValues values = side.options();
    values.summaryOnly = true;
    values.durationS = m_options.durationS;
    values.downlink = trace;
    const std::vector<std::string> options = optionArguments(values);
    command.insert(command.end(), options.begin(), options.end());
    command.insert(command.end(), {"--", m_options.meetingPath});
    return command;
}

// Two runs per trace, A's first.
std::vector<ChildRun> SimDiffer::runsOver(const std::vector<std::string>& traces) const {
    std::vector<ChildRun> runs;
    for (const std::string& trace : traces) {
        const std::string name = std::filesystem::path(trace).filename().string();
        for (const DiffSide* side : {&m_a, &m_b}) {
            runs.push_back({"side " + side->name + " over " + name, simCommand(*side, trace)});
        }
    }
    return runs;
}

SimDiff SimDiffer::run() const {
    sim::parseMeeting(readInputFile(m_options.meetingPath), m_options.meetingPath);
    m_a.checkSettings();
    m_b.checkSettings();
    const std::vector<std::string> traces = sim::listTraces(m_options.tracesDir);
    const std::vector<ChildRun> runs = runsOver(traces);
    const std::vector<ChildResult> results =
        runChildren(runs, m_options.jobs, std::llround(m_options.timeoutS * kMicrosPerSecond));
    std::vector<SweepResultsRun> outcomes;
    for (size_t i = 0; i < results.size(); ++i) {
        outcomes.push_back(sim::runOutcome(results[i], i, runs[i]));
    }
    sim::refuseFailedRuns(outcomes);
    std::vector<RunSummary> a;
    std::vector<RunSummary> b;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        (i % 2 == 0 ? a : b).push_back(std::move(*outcomes[i].summary));
    }
    SimDiff diff{m_options.meetingPath, {}, {}, {}};
    for (const std::string& trace : traces) {
        diff.traces.push_back(std::filesystem::path(trace).filename().string());
    }
    diff.metrics = compareSummaries(a, b, PairedBootstrap(diff.bootstrap));
    return diff;
}

}  // namespace ktr::diff

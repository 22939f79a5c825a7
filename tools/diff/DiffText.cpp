#include "DiffText.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>
#include <map>
#include <set>

#include "SweepStatistics.h"

namespace ktr::diff {
namespace {

using nlohmann::json;

constexpr const char* kMark = "*";
constexpr const char* kMissing = "-";
constexpr const char* kIndent = "    ";

std::string sideLabel(const DiffSide& side) {
    std::string label = side.libraryPath.empty() ? "the library beside ktr" : side.libraryPath;
    return side.settingsPath.empty() ? label : label + " with " + side.settingsPath;
}

struct AnswerRow {
    std::string field;
    std::string a = kMissing;
    std::string b = kMissing;
};

// Every field of either answer, A's order first, with the value of each side.
std::vector<AnswerRow> answerRows(const json& a, const json& b) {
    std::vector<AnswerRow> rows;
    std::map<std::string, size_t> index;
    for (const auto& [field, value] : answerFields(a)) {
        index.emplace(field, rows.size());
        rows.push_back({field, value.dump(), kMissing});
    }
    for (const auto& [field, value] : answerFields(b)) {
        const auto row = index.find(field);
        if (row == index.end()) {
            rows.push_back({field, kMissing, value.dump()});
        } else {
            rows[row->second].b = value.dump();
        }
    }
    return rows;
}

void writeAnswers(std::ostream& out, const StepDifference& difference) {
    const std::vector<AnswerRow> rows = answerRows(difference.a.answer, difference.b.answer);
    if (rows.empty()) {
        fmt::print(out, "{}no answer on either side (an event)\n", kIndent);
        return;
    }
    size_t fieldWidth = std::string("answer").size();
    size_t valueWidth = 1;
    for (const AnswerRow& row : rows) {
        fieldWidth = std::max(fieldWidth, row.field.size());
        valueWidth = std::max(valueWidth, row.a.size());
    }
    const std::set<std::string> differing(difference.fields.begin(), difference.fields.end());
    fmt::print(out, "{}  {:<{}}  {:<{}}  {}\n", kIndent, "answer", fieldWidth, "A", valueWidth, "B");
    for (const AnswerRow& row : rows) {
        const char* mark = differing.count(row.field) > 0 ? kMark : " ";
        fmt::print(out, "{}{} {:<{}}  {:<{}}  {}\n", kIndent, mark, row.field, fieldWidth, row.a, valueWidth, row.b);
    }
}

// Each line with its level: lines of the same text at another level differ too.
void writeLog(std::ostream& out, const char* side, const std::vector<FiredRule>& rules) {
    fmt::print(out, "{}log {} ({} line(s)):\n", kIndent, side, rules.size());
    for (const FiredRule& rule : rules) {
        fmt::print(out, "{}  {:<7}  {}\n", kIndent, levelName(rule.level), rule.text);
    }
}

void writeDifference(std::ostream& out, const StepDifference& difference) {
    fmt::print(
        out, "  step {} ({}): {}{}\n", difference.step, difference.event,
        difference.fields.empty() ? "same answer" : fmt::format("{} answer field(s) differ", difference.fields.size()),
        difference.logDiffers ? "; log lines differ" : "");
    writeAnswers(out, difference);
    writeLog(out, "A", difference.a.rules);
    writeLog(out, "B", difference.b.rules);
}

void writeScenario(std::ostream& out, const ScenarioDiff& scenario) {
    const TimelineComparison& comparison = scenario.comparison;
    if (scenario.same()) {
        fmt::print(out, "{} ({}): same ({} steps)\n", scenario.path, scenario.name, comparison.steps);
        return;
    }
    const StepDifference& first = comparison.differences.front();
    fmt::print(out, "{} ({}): differs from step {} ({})\n", scenario.path, scenario.name, first.step, first.event);
    for (const StepDifference& difference : comparison.differences) {
        writeDifference(out, difference);
    }
}

std::string intervalText(const std::optional<DifferenceInterval>& d) {
    return d ? fmt::format("{} [{}, {}]", sim::shortNumber(d->mean), sim::shortNumber(d->low),
                           sim::shortNumber(d->high))
             : kMissing;
}

// Two lines per trace, A's then B's: the trace, the side, then the side's value of every metric on it.
std::vector<std::vector<std::string>> perTraceLines(const SimDiff& sim) {
    std::vector<std::vector<std::string>> lines = {{"trace", "side"}};
    for (const MetricComparison& metric : sim.metrics) {
        lines.front().push_back(metric.metric);
    }
    for (size_t trace = 0; trace < sim.traces.size(); ++trace) {
        for (const bool sideA : {true, false}) {
            lines.push_back({sim.traces[trace], sideA ? "A" : "B"});
            for (const MetricComparison& metric : sim.metrics) {
                const std::vector<std::optional<double>>& values = sideA ? metric.a : metric.b;
                lines.back().push_back(sim::shortNumber(trace < values.size() ? values[trace] : std::nullopt));
            }
        }
    }
    return lines;
}

void writeSim(std::ostream& out, const SimDiff& sim) {
    fmt::print(out,
               "meeting {} over {} trace(s); B - A with 95 % intervals: paired bootstrap over the traces, {} "
               "resamples, seed {}\n",
               sim.meeting, sim.traces.size(), sim.bootstrap.resamples, sim.bootstrap.seed);
    size_t metricWidth = std::string("metric").size();
    size_t unitWidth = std::string("unit").size();
    size_t intervalWidth = std::string("B - A [95 %]").size();
    for (const MetricComparison& metric : sim.metrics) {
        metricWidth = std::max(metricWidth, metric.metric.size());
        unitWidth = std::max(unitWidth, metric.unit.size());
        intervalWidth = std::max(intervalWidth, intervalText(metric.difference).size());
    }
    const std::string format = fmt::format("{{:<{}}}  {{:<{}}}  {{:<6}}  {{:>6}}  {{:>10}}  {{:>10}}  {{:<{}}}  {{}}\n",
                                           metricWidth, unitWidth, intervalWidth);
    fmt::print(out, fmt::runtime(format), "metric", "unit", "better", "traces", "A", "B", "B - A [95 %]", "verdict");
    for (const MetricComparison& metric : sim.metrics) {
        fmt::print(out, fmt::runtime(format), metric.metric, metric.unit, metric.better, metric.traces,
                   sim::shortNumber(metric.meanA), sim::shortNumber(metric.meanB), intervalText(metric.difference),
                   metric.verdict ? verdictName(*metric.verdict) : kMissing);
    }
    if (const Known<std::string> warning = sim.fewTracesWarning()) {
        fmt::print(out, "{}\n", *warning);
    }
    fmt::print(out, "\nper trace:\n");
    sim::writeColumns(out, perTraceLines(sim));
}

}  // namespace

void writeDiffText(std::ostream& out, const DiffReport& report) {
    fmt::print(out, "A: {}\nB: {}\n", sideLabel(report.a), sideLabel(report.b));
    size_t differing = 0;
    for (const ScenarioDiff& scenario : report.scenarios) {
        writeScenario(out, scenario);
        differing += scenario.same() ? 0 : 1;
    }
    if (!report.scenarios.empty()) {
        fmt::print(out, "{} of {} scenario(s) differ{}\n", differing, report.scenarios.size(),
                   report.answersOnly ? " in their answers" : "");
    }
    if (report.sim) {
        writeSim(out, *report.sim);
    }
}

}  // namespace ktr::diff

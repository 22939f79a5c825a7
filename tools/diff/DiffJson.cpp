#include "DiffJson.h"

namespace ktr::diff {
namespace {

using Json = nlohmann::ordered_json;

Json sideJson(const DiffSide& side) {
    return {{"library", side.libraryPath.empty() ? Json(nullptr) : Json(side.libraryPath)},
            {"config", side.settingsPath.empty() ? Json(nullptr) : Json(side.settingsPath)}};
}

// A side's step: its answer and the lines it logged, each printed from its format and values.
Json stepSideJson(const StepSide& side) {
    Json lines = Json::array();
    for (const FiredRule& rule : side.rules) {
        lines.push_back({{"level", levelName(rule.level)}, {"line", rule.text}});
    }
    return {{"answer", side.answer}, {"log", lines}};
}

Json differenceJson(const StepDifference& difference) {
    return {{"step", difference.step},         {"event", difference.event},
            {"fields", difference.fields},     {"log_differs", difference.logDiffers},
            {"a", stepSideJson(difference.a)}, {"b", stepSideJson(difference.b)}};
}

Json scenarioJson(const ScenarioDiff& scenario) {
    Json differences = Json::array();
    for (const StepDifference& difference : scenario.comparison.differences) {
        differences.push_back(differenceJson(difference));
    }
    return {{"scenario", scenario.path},
            {"name", scenario.name},
            {"steps", scenario.comparison.steps},
            {"same", scenario.same()},
            {"differences", differences}};
}

template <class T>
Json optionalJson(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json perTraceJson(const std::vector<std::optional<double>>& values) {
    Json list = Json::array();
    for (const std::optional<double>& value : values) {
        list.push_back(optionalJson(value));
    }
    return list;
}

Json metricJson(const MetricComparison& metric) {
    const std::optional<DifferenceInterval>& d = metric.difference;
    return {{"metric", metric.metric},
            {"unit", metric.unit},
            {"better", metric.better},
            {"definition", metric.definition},
            {"traces", metric.traces},
            {"few_traces", metric.fewTraces},
            {"a", optionalJson(metric.meanA)},
            {"b", optionalJson(metric.meanB)},
            {"difference", d ? Json(d->mean) : Json(nullptr)},
            {"low", d ? Json(d->low) : Json(nullptr)},
            {"high", d ? Json(d->high) : Json(nullptr)},
            {"verdict", metric.verdict ? Json(verdictName(*metric.verdict)) : Json(nullptr)},
            {"per_trace", {{"a", perTraceJson(metric.a)}, {"b", perTraceJson(metric.b)}}}};
}

Json simJson(const SimDiff& sim) {
    Json metrics = Json::array();
    for (const MetricComparison& metric : sim.metrics) {
        metrics.push_back(metricJson(metric));
    }
    return {{"meeting", sim.meeting},
            {"traces", sim.traces},
            {"bootstrap", {{"resamples", sim.bootstrap.resamples}, {"seed", sim.bootstrap.seed}}},
            {"warning", optionalJson(sim.fewTracesWarning())},
            {"metrics", metrics}};
}

}  // namespace

Json diffJson(const DiffReport& report) {
    Json scenarios = Json::array();
    for (const ScenarioDiff& scenario : report.scenarios) {
        scenarios.push_back(scenarioJson(scenario));
    }
    return {{"schema", kDiffSchema},
            {"a", sideJson(report.a)},
            {"b", sideJson(report.b)},
            {"answers_only", report.answersOnly},
            {"differs", report.differs()},
            {"scenarios", scenarios},
            {"sim", report.sim ? simJson(*report.sim) : Json(nullptr)}};
}

}  // namespace ktr::diff

#include "RunMetrics.h"

#include <fmt/format.h>

#include "InputFile.h"
#include "MetricTable.h"

namespace ktr::sim {
namespace {

// The metric's row in the table, refusing what the table does not say of it.
const MetricDefinition& definitionOf(const std::string& name, const Metric& metric) {
    const MetricDefinition* definition = findMetric(name);
    if (definition == nullptr) {
        throw InputError(fmt::format("field \"metrics\": \"{}\" is not a metric of this ktr", name));
    }
    const bool episodes = definition->shape == MetricShape::Episodes;
    if (metric.unit != definition->unit || metric.better != definition->better ||
        metric.episodes.has_value() != episodes) {
        throw InputError(
            fmt::format("field \"metrics\": \"{}\": expected unit \"{}\", better \"{}\" and {}, got \"{}\", "
                        "\"{}\" and {}",
                        name, definition->unit, definition->better, episodes ? "episodes" : "a value", metric.unit,
                        metric.better, metric.episodes ? "episodes" : "a value"));
    }
    return *definition;
}

}  // namespace

std::vector<MetricValue> runMetricRows(const RunSummary& summary) {
    std::vector<MetricValue> rows;
    for (const auto& [name, metric] : summary.metrics.entries) {
        const MetricDefinition& definition = definitionOf(name, metric);
        const MetricValue row{name, definition.unit, definition.better, definition.definition, metric.value};
        if (metric.episodes) {
            rows.push_back({name + ".median", row.unit, row.better, row.definition, metric.median});
            rows.push_back({name + ".max", row.unit, row.better, row.definition, metric.max});
        } else {
            rows.push_back(row);
        }
    }
    return rows;
}

}  // namespace ktr::sim

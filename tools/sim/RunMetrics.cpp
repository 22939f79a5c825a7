#include "RunMetrics.h"

#include <fmt/format.h>

#include <set>

#include "InputFile.h"

namespace ktr::sim {

std::vector<MetricValue> runMetricRows(const RunSummary& summary) {
    std::vector<MetricValue> rows;
    for (const auto& [name, metric] : summary.metrics.entries) {
        if (metric.episodes) {
            rows.push_back({name + ".median", metric.unit, metric.better, metric.median});
            rows.push_back({name + ".max", metric.unit, metric.better, metric.max});
        } else {
            rows.push_back({name, metric.unit, metric.better, metric.value});
        }
    }
    std::set<std::string> names;
    for (const MetricValue& row : rows) {
        if (!names.insert(row.name).second) {
            throw InputError(fmt::format("field \"metrics\": the row \"{}\" appears twice", row.name));
        }
    }
    return rows;
}

}  // namespace ktr::sim

// The metrics of one run's summary (what `ktr sim --summary-only` prints), flattened into rows: a metric
// with a value is one row; a metric measured over episodes gives two, "NAME.median" and "NAME.max".
#ifndef KTRSDK_TOOLS_SIM_RUNMETRICS_H
#define KTRSDK_TOOLS_SIM_RUNMETRICS_H

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace ktr::sim {

// The version of the summary object this code reads.
constexpr int kSummarySchema = 1;

struct MetricValue {
    std::string name;
    std::string unit;
    std::string better;           // "higher", "lower" or "none"
    std::optional<double> value;  // empty when the run does not define the metric
};

// The rows of the summary's "metrics" object, in the order they appear in it. Throws InputError naming
// the field and the problem when the summary is not of the form above.
std::vector<MetricValue> readRunMetrics(const nlohmann::ordered_json& summary);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_RUNMETRICS_H

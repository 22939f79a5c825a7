// The metrics of one run's summary, flattened into rows: a metric with a value is one row; a metric
// measured over episodes gives two, "NAME.median" and "NAME.max".
#ifndef KTRSDK_TOOLS_SIM_RUNMETRICS_H
#define KTRSDK_TOOLS_SIM_RUNMETRICS_H

#include <optional>
#include <string>
#include <vector>

#include "Summary.h"

namespace ktr::sim {

struct MetricValue {
    std::string name;
    std::string unit;
    std::string better;           // "higher", "lower" or "none"
    std::optional<double> value;  // empty when the run does not define the metric
};

// The rows of the summary's metrics, in their order. Throws InputError when two rows get one name ("a.median"
// may name a metric and also a row of metric "a").
std::vector<MetricValue> runMetricRows(const RunSummary& summary);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_RUNMETRICS_H

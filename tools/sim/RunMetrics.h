// The metrics of one run's summary, flattened into rows: a metric with a value is one row; a metric
// measured over episodes gives two, "NAME.median" and "NAME.max". Each row's unit, direction and definition
// come from the metric table (MetricTable.h).
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
    std::string better;  // "higher", "lower" or "none"
    std::string definition;
    std::optional<double> value;  // empty when the run does not define the metric
};

// The rows of the summary's metrics, in their order. Throws InputError naming the metric for one that is not
// in the metric table, or whose unit, direction or shape (a value or episodes) differ from the table's.
std::vector<MetricValue> runMetricRows(const RunSummary& summary);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_RUNMETRICS_H

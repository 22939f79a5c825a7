// The metrics of `ktr sim`, declared once: each one's name, unit, better direction, shape and a one-sentence
// definition of what the simulator computes. The summary, the printed table, a sweep's table, `ktr diff` and
// the HTML page take them from here; the README's metric table is checked against it. A new metric is one
// row here and its computation in tools/sim/QualityMetrics.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_METRICTABLE_H
#define KTRSDK_TOOLS_COMMON_MODEL_METRICTABLE_H

#include <string>
#include <vector>

namespace ktr {

// A metric with one value per run, or one measured over episodes (a median and a maximum over them).
enum class MetricShape { Value, Episodes };

struct MetricDefinition {
    const char* name;
    const char* unit;
    const char* better;  // "higher", "lower" or "none" (time in a middle resolution band is neither)
    MetricShape shape;
    bool perPeer;  // also written for each peer
    const char* definition;
};

// Every metric, in the order the summary writes them.
const std::vector<MetricDefinition>& metricTable();

// The metric of that name; null for a name that is none.
const MetricDefinition* findMetric(const std::string& name);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_METRICTABLE_H

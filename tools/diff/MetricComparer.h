// One simulator metric of two sides over the same traces: the mean of each, the difference B - A with its
// interval, and a verdict on B from the metric's direction.
#ifndef KTRSDK_TOOLS_DIFF_METRICCOMPARER_H
#define KTRSDK_TOOLS_DIFF_METRICCOMPARER_H

#include <optional>
#include <string>
#include <vector>

#include "PairedBootstrap.h"

namespace ktr::diff {

// B against A.
enum class Verdict { Better, Worse, NoClearDifference };
const char* verdictName(Verdict verdict);  // "better", "worse", "no clear difference"

// A metric's value on every trace, for each side; empty where a run does not define it.
struct MetricSeries {
    std::string metric;
    std::string unit;
    std::string better;  // "higher" or "lower", from the metric table
    std::vector<std::optional<double>> a;
    std::vector<std::optional<double>> b;  // as many as a
    std::string definition;                // from the metric table
};

struct MetricComparison {
    std::string metric;
    std::string unit;
    std::string better;
    std::string definition;
    size_t traces = 0;                     // the traces on which both sides define the metric; the rest are left out
    bool fewTraces = false;                // its interval rests on fewer traces than a comparison should have
    std::vector<std::optional<double>> a;  // each side's value on every trace, as the series had them
    std::vector<std::optional<double>> b;
    std::optional<double> meanA;
    std::optional<double> meanB;
    std::optional<DifferenceInterval> difference;
    // Empty when no trace defines the metric on both sides, or the metric has no direction.
    std::optional<Verdict> verdict;
};

class MetricComparer {
public:
    explicit MetricComparer(const PairedBootstrap& bootstrap) : m_bootstrap(bootstrap) {}

    // A difference is clear when its interval leaves out 0; B is better when it moved the way the metric's
    // direction prefers. The metric's direction is the series' (from the metric table).
    MetricComparison compare(const MetricSeries& series) const;

private:
    const PairedBootstrap& m_bootstrap;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_METRICCOMPARER_H

#include "RunValuesCsv.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

namespace ktr::sim {
namespace {

constexpr const char* kSweepSeries = "runs";

}  // namespace

void writeRunValuesCsv(std::ostream& out, const std::vector<RunValueSeries>& series) {
    out << "metric,series,value\n";
    for (const RunValueSeries& one : series) {
        for (const Known<double>& value : one.values) {
            if (value) {
                // Shortest text that reads back as the same double.
                fmt::print(out, "{},{},{}\n", one.metric, one.series, *value);
            }
        }
    }
}

std::vector<RunValueSeries> runValueSeries(const SweepTable& table) {
    std::vector<RunValueSeries> series;
    for (const MetricDistribution& row : table.metrics) {
        series.push_back({row.metric, kSweepSeries, row.perRun});
    }
    return series;
}

}  // namespace ktr::sim

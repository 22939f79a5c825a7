// The values a sweep's or a comparison's CDF plots draw (tools/plot_cdf.py), as CSV: metric,series,value,
// one line per run that defines the metric. A sweep has one series ("runs"); `ktr diff --sim` one per side.
#ifndef KTRSDK_TOOLS_SIM_RUNVALUESCSV_H
#define KTRSDK_TOOLS_SIM_RUNVALUESCSV_H

#include <ostream>
#include <string>
#include <vector>

#include "Summary.h"

namespace ktr::sim {

struct RunValueSeries {
    std::string metric;  // a metric row: "utilization_pct", "time_to_cut_s.median"
    std::string series;
    std::vector<Known<double>> values;  // one per run; null where the run does not define it
};

void writeRunValuesCsv(std::ostream& out, const std::vector<RunValueSeries>& series);

// The series of a sweep's table.
std::vector<RunValueSeries> runValueSeries(const SweepTable& table);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_RUNVALUESCSV_H

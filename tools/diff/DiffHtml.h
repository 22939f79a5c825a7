// `ktr diff` as an HTML page: for every scenario both sides' timelines on one chart with the differing
// steps marked and listed; for a simulation the metric table.
#ifndef KTRSDK_TOOLS_DIFF_DIFFHTML_H
#define KTRSDK_TOOLS_DIFF_DIFFHTML_H

#include <nlohmann/json.hpp>
#include <ostream>

#include "DiffReport.h"

namespace ktr::diff {

// The page's data: the JSON of diffJson, each scenario with "timelines" (side A's steps, side B's steps,
// each with "chart", the values the chart draws at it, in place of the state after it).
nlohmann::json diffPageJson(const DiffReport& report);

void writeDiffHtml(std::ostream& out, const DiffReport& report);

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_DIFFHTML_H

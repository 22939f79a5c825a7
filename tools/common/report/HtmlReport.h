// The HTML report: one self-contained page (script, style and data inlined, nothing fetched when it opens)
// with a zoomable chart of the timeline, its lanes and markers, and a panel that shows the step at the
// moment clicked. Steps are written into the page as they arrive, in blocks (StepBlocks); the chart's data
// follows at the end.
#ifndef KTRSDK_TOOLS_COMMON_HTMLREPORT_H
#define KTRSDK_TOOLS_COMMON_HTMLREPORT_H

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>

#include "ReportChart.h"
#include "SeriesSink.h"
#include "StepBlocks.h"
#include "Summary.h"
#include "TimelineWriter.h"

namespace ktr {

class HtmlReport : public TimelineWriter, public SeriesSink {
public:
    HtmlReport(std::ostream& out, ReportChart::Options options);
    void begin(const TimelineHeader& header) override;
    void write(const TimelineStep& step) override;
    void end() override;
    void sample(double timeS, const char* kind, uint64_t uid, double value) override;
    // A line shown under the chart: what the command found beside the steps (a log's unknown lines, ...).
    void addRemark(const std::string& text) { m_remarks.push_back(text); }

private:
    std::ostream& m_out;
    ReportChart::Options m_options;
    ReportChart m_chart;
    StepBlocks m_blocks;
    TimelineHeader m_header;
    nlohmann::json m_remarks = nlohmann::json::array();
};

// The page's head (its style), before any data.
void writeReportHead(std::ostream& out);
// The report data (title, axis, the sides, a sweep's table, a comparison) and the page's script.
void writeReportTail(std::ostream& out, const nlohmann::json& report);
// The report data of a timeline whose steps went into blocks: where the blocks are, its header (the log
// catalogue included, the state as changes, as the blocks hold it) and its chart.
nlohmann::json timelineSideJson(const TimelineHeader& header, const StepBlocks& blocks, const ReportChart& chart);

// A page with no timeline: the distributions of a sweep's metrics.
void writeSweepReport(std::ostream& out, const std::string& title, const SweepTable& table);

// JSON that can stand inside a <script> element: '<', '>', '&', U+2028 and U+2029 written as \u escapes, so
// no text of the data can close the element or start markup.
std::string scriptSafeJson(const nlohmann::json& value);
// The same for JSON text.
std::string scriptSafe(std::string_view json);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_HTMLREPORT_H

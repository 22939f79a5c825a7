// `ktr diff` as an HTML page, written while the scenarios run: each side's steps go into the page in blocks
// as they are read and its chart is built from them; at the end the report data (the JSON of diffJson, each
// scenario with both sides' headers, charts and blocks under "sides") and the script. For a simulation the
// metric table.
#ifndef KTRSDK_TOOLS_DIFF_DIFFHTML_H
#define KTRSDK_TOOLS_DIFF_DIFFHTML_H

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <utility>

#include "DiffReport.h"
#include "ReportChart.h"
#include "ScenarioDiffer.h"
#include "StepBlocks.h"

namespace ktr::diff {

class DiffPage : public SideWriters {
public:
    // Writes the page's head.
    explicit DiffPage(std::ostream& out);
    TimelineWriter& sideWriter(size_t scenario, size_t side) override;
    // Writes the report data and the script.
    void end(const DiffReport& report);
    // The report data: diffJson with each scenario's sides.
    nlohmann::json pageJson(const DiffReport& report) const;

private:
    // One side of one scenario: its steps into the page, its chart from them.
    class Side : public TimelineWriter {
    public:
        Side(std::ostream& out, std::string id);
        void begin(const TimelineHeader& header) override { m_header = header; }
        void write(const TimelineStep& step) override;
        void end() override { m_blocks.end(); }
        nlohmann::json json() const;

    private:
        TimelineHeader m_header;
        StepBlocks m_blocks;
        ReportChart m_chart;
    };

    std::ostream& m_out;
    std::map<std::pair<size_t, size_t>, std::unique_ptr<Side>> m_sides;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_DIFFHTML_H

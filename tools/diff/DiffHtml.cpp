#include "DiffHtml.h"

#include "DiffJson.h"
#include "HtmlReport.h"

namespace ktr::diff {
namespace {

using nlohmann::json;

// Both sides are drawn over the step numbers, which they share.
constexpr ReportChart::Options kChartOptions{true, false};

std::string pageTitle(const DiffReport& report) {
    if (report.scenarios.empty()) {
        return report.sim ? "ktr diff: " + report.sim->meeting : "ktr diff";
    }
    return report.scenarios.size() == 1 ? "ktr diff: " + report.scenarios.front().path
                                        : "ktr diff: " + std::to_string(report.scenarios.size()) + " scenarios";
}

}  // namespace

DiffPage::Side::Side(std::ostream& out, std::string id) : m_blocks(out, std::move(id)), m_chart(kChartOptions) {}

void DiffPage::Side::write(const TimelineStep& step) {
    m_blocks.write(step);
    m_chart.addStep(step);
}

json DiffPage::Side::json() const {
    return timelineSideJson(m_header, m_blocks, m_chart);
}

DiffPage::DiffPage(std::ostream& out) : m_out(out) {
    writeReportHead(m_out);
}

TimelineWriter& DiffPage::sideWriter(size_t scenario, size_t side) {
    std::unique_ptr<Side>& writer = m_sides[{scenario, side}];
    if (!writer) {
        writer = std::make_unique<Side>(m_out, "ktr-diff-" + std::to_string(scenario) + "-" + std::to_string(side));
    }
    return *writer;
}

json DiffPage::pageJson(const DiffReport& report) const {
    json page = json::parse(diffJson(report).dump(-1, ' ', false, json::error_handler_t::replace));
    json& scenarios = page.at("scenarios");
    for (size_t i = 0; i < report.scenarios.size(); ++i) {
        json sides = json::array();
        for (size_t side = 0; side < 2; ++side) {
            const auto written = m_sides.find({i, side});
            sides.push_back(written == m_sides.end() ? json() : written->second->json());
        }
        scenarios[i]["sides"] = std::move(sides);
    }
    return page;
}

void DiffPage::end(const DiffReport& report) {
    writeReportTail(m_out, {{"title", pageTitle(report)},
                            {"axis", "step"},
                            {"sides", json::array()},
                            {"sweep", nullptr},
                            {"diff", pageJson(report)}});
}

}  // namespace ktr::diff

#include "DiffCommand.h"

#include <fmt/format.h>

#include <iostream>
#include <optional>
#include <vector>

#include "DiffHtml.h"
#include "DiffJson.h"
#include "DiffReport.h"
#include "DiffText.h"
#include "InputFile.h"
#include "OutputFiles.h"
#include "PlotScript.h"
#include "RunValuesCsv.h"

namespace ktr::diff {
namespace {

constexpr int kSame = 0;
constexpr int kDiffers = 1;
constexpr const char* kCdfScript = "plot_cdf.py";

// Both sides' values of every metric over the traces, for the CDF plots.
std::vector<sim::RunValueSeries> sideSeries(const SimDiff& sim) {
    std::vector<sim::RunValueSeries> series;
    for (const MetricComparison& metric : sim.metrics) {
        series.push_back({metric.metric, "A", metric.a});
        series.push_back({metric.metric, "B", metric.b});
    }
    return series;
}

}  // namespace

DiffCommand::DiffCommand(CLI::App& program)
    : Command(program, "diff",
              "Replay scenarios through two library builds (--a, --b) or two settings (--a-config, --b-config) and "
              "show the first step where they part; with --sim, compare a meeting's metrics over a folder of "
              "traces") {
    app().add_option("scenario", m_scenarios, "scenario files (JSON) to replay on both sides");
    app().add_option("--a", m_libraryA, "side A's library build (default: --lib)");
    app().add_option("--b", m_libraryB, "side B's library build (default: --lib)");
    addShared({SharedOption::Library});
    app().add_option("--a-config", m_settingsA,
                     "definition table and config installed on side A ({\"definitions\": [...], \"config\": "
                     "{...}})");
    app().add_option("--b-config", m_settingsB, "the same for side B");
    app().add_flag("--answers-only", m_answersOnly, "compare the answers alone, not the log lines");
    app().add_flag("--all", m_all, "list every differing step, not only the first");
    addShared({SharedOption::Timeout, SharedOption::Json, SharedOption::Html, SharedOption::Plot});
    app().add_option("--sim", m_meetingPath, "a meeting (JSON) to simulate on both sides over --traces");
    addShared({SharedOption::Traces, SharedOption::Duration, SharedOption::Jobs});
}

void DiffCommand::checkOptions() const {
    const SharedValues& options = shared();
    if (m_scenarios.empty() && m_meetingPath.empty()) {
        throw InputError("ktr diff: give scenario files, or --sim MEETING --traces DIR");
    }
    if (m_meetingPath.empty() != options.traces.empty()) {
        throw InputError("ktr diff: --sim and --traces go together");
    }
    if (m_meetingPath.empty() && options.durationS != 0) {
        throw InputError("ktr diff: --duration needs --sim");
    }
    if (m_meetingPath.empty() && !options.plot.empty()) {
        throw InputError("ktr diff: --plot draws the metrics of --sim");
    }
    for (const std::string& input : m_scenarios) {
        if (input == kStandardStream) {
            throw InputError("ktr diff: both sides replay a scenario from its file: give files, not -");
        }
    }
    if (m_meetingPath == kStandardStream) {
        throw InputError("ktr diff: both sides simulate the meeting from its file: give a file, not -");
    }
}

int DiffCommand::run() {
    checkOptions();
    const SharedValues& options = shared();
    DiffReport report;
    report.a = DiffSide{"A", m_libraryA.empty() ? options.library : m_libraryA, m_settingsA};
    report.b = DiffSide{"B", m_libraryB.empty() ? options.library : m_libraryB, m_settingsB};
    report.answersOnly = m_answersOnly;
    OutputFiles files;
    std::ostream* json = options.json.empty() ? nullptr : &files.open(options.json);
    std::optional<DiffPage> page;
    if (!options.html.empty()) {
        page.emplace(files.open(options.html));
    }
    const std::string cdfCsv = plotCsvPath("", options.plot);
    std::ostream* cdfValues = cdfCsv.empty() ? nullptr : &files.open(cdfCsv);
    if (!m_scenarios.empty()) {
        ScenarioDiffOptions scenarioOptions{m_answersOnly, m_all, timeLimitSeconds(options, kDefaultScenarioTimeoutS),
                                            options.jobs, ""};
        report.scenarios =
            ScenarioDiffer(report.a, report.b, scenarioOptions).run(m_scenarios, page ? &*page : nullptr);
    }
    if (!m_meetingPath.empty()) {
        SimDiffOptions simOptions{m_meetingPath,
                                  options.traces,
                                  options.durationS,
                                  options.jobs,
                                  timeLimitSeconds(options, kDefaultSimTimeoutS),
                                  ""};
        report.sim = SimDiffer(report.a, report.b, simOptions).run();
    }
    if (json != nullptr) {
        *json << diffJson(report).dump(2) << '\n';
    }
    if (page) {
        page->end(report);
    }
    if (cdfValues != nullptr) {
        sim::writeRunValuesCsv(*cdfValues, sideSeries(*report.sim));
    }
    const bool textOut = !files.standardOutputTaken();
    files.close();
    if (cdfValues != nullptr) {
        drawPlot(kCdfScript, cdfCsv, options.plot, "ktr diff: " + m_meetingPath + " (A and B)");
    }
    if (textOut) {
        writeDiffText(std::cout, report);
    }
    return report.differs() ? kDiffers : kSame;
}

}  // namespace ktr::diff

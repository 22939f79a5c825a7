#include "DiffCommand.h"

#include <fmt/format.h>

#include <iostream>
#include <optional>

#include "DiffHtml.h"
#include "DiffJson.h"
#include "DiffReport.h"
#include "DiffText.h"
#include "InputFile.h"
#include "OutputFiles.h"

namespace ktr::diff {
namespace {

constexpr int kSame = 0;
constexpr int kDiffers = 1;
// A month: far beyond any run, and small enough for the pool's arithmetic on deadlines.
constexpr double kLongestTimeoutS = 30.0 * 24 * 3600;
constexpr int kMaxJobs = 256;

}  // namespace

DiffCommand::DiffCommand(CLI::App& program) {
    m_command = program.add_subcommand(
        "diff",
        "Replay scenarios through two library builds (--a, --b) or two settings (--a-config, --b-config) and show "
        "the first step where they part; with --sim, compare a meeting's metrics over a folder of traces");
    m_command->add_option("scenario", m_scenarios, "scenario files (JSON) to replay on both sides");
    m_command->add_option("--a", m_libraryA, "side A's library build (default: --lib)");
    m_command->add_option("--b", m_libraryB, "side B's library build (default: --lib)");
    m_command->add_option("--lib", m_library,
                          "the build of both sides when --a or --b is not given "
                          "(default: the one beside ktr)");
    m_command->add_option("--a-config", m_settingsA,
                          "definition table and config installed on side A ({\"definitions\": [...], \"config\": "
                          "{...}})");
    m_command->add_option("--b-config", m_settingsB, "the same for side B");
    m_command->add_flag("--answers-only", m_answersOnly, "compare the answers alone, not the log lines");
    m_command->add_flag("--all", m_all, "list every differing step, not only the first");
    m_command->add_option("--timeout", m_timeoutS,
                          fmt::format("seconds one run of one side may take (default {} for a scenario, {} for a "
                                      "simulation)",
                                      kDefaultScenarioTimeoutS, kDefaultSimTimeoutS));
    m_command->add_option("--json", m_jsonPath,
                          "write the result as one JSON object to this file (-: standard "
                          "output, in place of the text)");
    m_command->add_option("--html", m_htmlPath,
                          "write a self-contained page to this file: both sides' timelines of every scenario on "
                          "one chart with the differing steps, or the metric table of --sim");
    m_command->add_option("--sim", m_meetingPath, "a meeting (JSON) to simulate on both sides over --traces");
    m_command->add_option("--traces", m_tracesDir,
                          "with --sim: the folder of downlink traces, one run per trace "
                          "and side");
    m_command->add_option("--duration", m_durationS, "with --sim: simulate only the first S seconds");
    m_command->add_option("--jobs", m_jobs,
                          "scenarios compared at once, or with --sim runs at once (default: one per core)");
}

void DiffCommand::checkOptions() const {
    if (m_scenarios.empty() && m_meetingPath.empty()) {
        throw InputError("ktr diff: give scenario files, or --sim MEETING --traces DIR");
    }
    if (m_meetingPath.empty() != m_tracesDir.empty()) {
        throw InputError("ktr diff: --sim and --traces go together");
    }
    if (m_meetingPath.empty() && m_durationS != 0) {
        throw InputError("ktr diff: --duration needs --sim");
    }
    if (!(m_timeoutS >= 0 && m_timeoutS <= kLongestTimeoutS)) {
        throw InputError(fmt::format("ktr diff: --timeout: expected 0 to {} seconds", kLongestTimeoutS));
    }
    if (!(m_durationS >= 0)) {
        throw InputError("ktr diff: --duration: expected a positive number of seconds");
    }
    if (m_jobs < 0 || m_jobs > kMaxJobs) {
        throw InputError(fmt::format("ktr diff: --jobs: expected 1 to {}", kMaxJobs));
    }
}

int DiffCommand::run() {
    checkOptions();
    DiffReport report;
    report.a = DiffSide{"A", m_libraryA.empty() ? m_library : m_libraryA, m_settingsA};
    report.b = DiffSide{"B", m_libraryB.empty() ? m_library : m_libraryB, m_settingsB};
    report.answersOnly = m_answersOnly;
    OutputFiles files;
    const bool jsonToStdout = m_jsonPath == "-";
    std::ostream* json = m_jsonPath.empty() ? nullptr : jsonToStdout ? &std::cout : &files.open(m_jsonPath);
    std::optional<DiffPage> page;
    if (!m_htmlPath.empty()) {
        page.emplace(files.open(m_htmlPath));
    }
    if (!m_scenarios.empty()) {
        ScenarioDiffOptions options{m_answersOnly, m_all, m_timeoutS > 0 ? m_timeoutS : kDefaultScenarioTimeoutS,
                                    m_jobs, ""};
        report.scenarios = ScenarioDiffer(report.a, report.b, options).run(m_scenarios, page ? &*page : nullptr);
    }
    if (!m_meetingPath.empty()) {
        SimDiffOptions options{
            m_meetingPath, m_tracesDir, m_durationS, m_jobs, m_timeoutS > 0 ? m_timeoutS : kDefaultSimTimeoutS, ""};
        report.sim = SimDiffer(report.a, report.b, options).run();
    }
    if (json != nullptr) {
        *json << diffJson(report).dump(2) << '\n';
    }
    if (page) {
        page->end(report);
    }
    files.close();
    if (!jsonToStdout) {
        writeDiffText(std::cout, report);
    }
    return report.differs() ? kDiffers : kSame;
}

}  // namespace ktr::diff

#include "ReplayCommand.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <iostream>

#include "CallsWriter.h"
#include "DefaultScenario.h"
#include "FileWriters.h"
#include "HostSettings.h"
#include "InputFile.h"
#include "OutputFiles.h"
#include "PlotScript.h"
#include "ProvenanceOf.h"
#include "RedactionStage.h"
#include "Replayer.h"
#include "SdkLibrary.h"
#include "TableWriter.h"

namespace ktr::replay {
namespace {

constexpr const char* kDefaultScenarioName = "bundled team meeting";
constexpr const char* kPlotScript = "plot_timeline.py";

}  // namespace

ReplayCommand::ReplayCommand(CLI::App& program)
    : Command(program, "replay",
              "Replay a scenario (JSON) through the library: every answer, and with --explain its reasons and the "
              "state after every step") {
    app().add_option("scenario", m_scenarioPath,
                     "scenario file (- : standard input); the bundled team meeting when omitted");
    addShared({SharedOption::Library, SharedOption::Settings, SharedOption::Log, SharedOption::Explain});
    app().add_flag("--lint", m_lint, "list the scenario's suspicious inputs and stop (exit 1 when there are any)");
    addShared({SharedOption::Json, SharedOption::State, SharedOption::Csv, SharedOption::LogFile, SharedOption::Redact,
               SharedOption::Html, SharedOption::Plot});
    app().add_option("--calls", m_callsPath,
                     "write the steps as the host's calls on the library, one line each, to this file (- : standard "
                     "output), for tests/platform's call player");
}

int ReplayCommand::run() {
    const std::string source = m_scenarioPath.empty() ? kDefaultScenarioName : m_scenarioPath;
    const std::string text = m_scenarioPath.empty() ? std::string(kDefaultScenario) : readInputFile(m_scenarioPath);
    Scenario scenario = parseScenario(text, source);
    if (m_lint) {
        return lint(source, scenario.warnings);
    }
    if (!scenario.warnings.empty()) {
        fmt::print(std::cerr, "{}: {} suspicious input(s); ktr replay --lint {} lists them\n", source,
                   scenario.warnings.size(), m_scenarioPath.empty() ? "FILE" : m_scenarioPath);
    }
    const SharedValues& options = shared();
    if (!options.settings.empty()) {
        installHostSettings(parseHostSettings(readInputFile(options.settings), options.settings), scenario);
    }
    const SdkLibrary library(libraryPath());

    OutputFiles files;
    WriterGroup writers;
    FilePaths paths = filePathsOf(options, ReportChart::Options{true, false});
    paths.csv = plotCsvPath(paths.csv, options.plot);
    addFileWriters(paths, files, writers);
    if (!m_callsPath.empty()) {
        writers.add(std::make_unique<CallsWriter>(files.open(m_callsPath)));
    }
    if (!files.standardOutputTaken()) {
        writers.add(std::make_unique<TableWriter>(std::cout, TableWriter::Options{options.log, options.explain}));
    }
    RedactionStage redaction(options.redact);
    Replayer(library).run(scenario, provenanceOf(library, options.settings), redaction.timeline(writers));
    files.close();
    if (!options.plot.empty()) {
        drawPlot(kPlotScript, paths.csv, options.plot, scenario.name);
    }
    return 0;
}

int ReplayCommand::lint(const std::string& source, const std::vector<std::string>& warnings) const {
    for (const std::string& warning : warnings) {
        fmt::print("{}\n", warning);
    }
    fmt::print("{}: {} suspicious input(s)\n", source, warnings.size());
    return warnings.empty() ? 0 : 1;
}

}  // namespace ktr::replay

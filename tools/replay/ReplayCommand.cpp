#include "ReplayCommand.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <iostream>

#include "DefaultScenario.h"
#include "FileWriters.h"
#include "HostSettings.h"
#include "InputFile.h"
#include "OutputFiles.h"
#include "ProvenanceOf.h"
#include "RedactingWriter.h"
#include "Replayer.h"
#include "SdkLibrary.h"
#include "StateOption.h"
#include "TableWriter.h"

namespace ktr::replay {
namespace {

constexpr const char* kDefaultScenarioName = "bundled team meeting";

}  // namespace

ReplayCommand::ReplayCommand(CLI::App& program) {
    m_command = program.add_subcommand(
        "replay",
        "Replay a scenario (JSON) through the library: every answer, and with --explain its reasons and the "
        "state after every step");
    m_command->add_option("scenario", m_scenarioPath, "scenario file; the bundled team meeting when omitted");
    m_command->add_option("--lib", m_libraryPath, "the library build to load (default: the one beside ktr)");
    m_command->add_option("--config", m_settingsPath,
                          "install this definition table and config ({\"definitions\": [...], \"config\": {...}}) "
                          "right after the local user's init");
    m_command->add_flag("--log", m_log, "show the library's log lines under the step that wrote them");
    m_command->add_flag("--explain", m_explain,
                        "under every answer the rules that fired and notes on surprising answers; the state after "
                        "every step");
    m_command->add_flag("--lint", m_lint, "list the scenario's suspicious inputs and stop (exit 1 when there are any)");
    m_command->add_option(
        "--json", m_jsonPath,
        "write the timeline as JSON Lines to this file (- : to standard output, in place of the table)");
    addStateOption(*m_command, m_state);
    m_command->add_option("--csv", m_csvPath, "write the answers as a CSV timeline to this file");
    m_command->add_option("--log-file", m_logFilePath,
                          "write the library's lines to this file as a host's logger would (time stamp, level)");
    m_command->add_flag("--redact", m_redact, kRedactHelp);
    m_command->add_option("--html", m_htmlPath,
                          "write an interactive report (one self-contained HTML file): the chart over the steps, and "
                          "each step's input, answer, reasons and log lines");
}

int ReplayCommand::run() const {
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
    if (!m_settingsPath.empty()) {
        installHostSettings(parseHostSettings(readInputFile(m_settingsPath), m_settingsPath), scenario);
    }
    const SdkLibrary library(m_libraryPath.empty() ? SdkLibrary::defaultPath() : m_libraryPath);

    OutputFiles files;
    WriterGroup writers;
    if (m_jsonPath != kStandardOutput) {
        writers.add(std::make_unique<TableWriter>(std::cout, TableWriter::Options{m_log, m_explain}));
    }
    addFileWriters(FilePaths{m_jsonPath, m_csvPath, m_logFilePath, m_htmlPath, ReportChart::Options{true, false},
                             stateWriting(m_state)},
                   files, writers);
    UidRedactor redactor;
    RedactingWriter redacting(redactor, writers);
    Replayer(library).run(scenario, provenanceOf(library, m_settingsPath),
                          m_redact ? static_cast<TimelineWriter&>(redacting) : writers);
    files.close();
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

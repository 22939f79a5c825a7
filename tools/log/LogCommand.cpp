#include "LogCommand.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <fmt/ranges.h>

#include <iostream>

#include "FileWriters.h"
#include "LogReader.h"
#include "LogSummary.h"
#include "OperationBuilder.h"
#include "OutputFiles.h"
#include "PlotScript.h"
#include "ScenarioRebuilder.h"
#include "SdkLibrary.h"
#include "TableWriter.h"
#include "UidRedactor.h"

namespace ktr::logs {
namespace {

// Hands each rebuilt step, its uids redacted when asked, to the writers and the summary.
void deliver(std::vector<ktr::TimelineStep> steps, ktr::TimelineWriter& writers, LogSummary& summary,
             std::optional<ScenarioRebuilder>& scenario, ktr::UidRedactor* redactor) {
    for (ktr::TimelineStep& step : steps) {
        if (redactor != nullptr) {
            step = redactor->step(std::move(step));
        }
        writers.write(step);
        summary.add(step);
        if (scenario) {
            scenario->add(step);
        }
    }
}

// What the report shows beside the operations: the unknown library lines, the reader's and the rebuilder's
// warnings.
std::vector<std::string> remarks(const ReadCounts& counts, const std::vector<std::string>& warnings,
                                 const ktr::UidRedactor* redactor) {
    std::vector<std::string> texts;
    for (const auto& [place, text] : counts.unknownSamples) {
        texts.push_back(fmt::format("unknown library line {}: {}", place, text));
    }
    for (const std::string& warning : warnings) {
        texts.push_back("warning: " + warning);
    }
    if (redactor != nullptr) {
        for (std::string& text : texts) {
            text = redactor->text(text);
        }
    }
    return texts;
}

}  // namespace

LogCommand::LogCommand(CLI::App& program) {
    m_command = program.add_subcommand(
        "log", "Turn a client's log (plain or gzip, - for standard input) back into the library's decisions");
    m_command
        ->add_option("log", m_inputs,
                     "the log file, or - for standard input; several files (a host's rotated logs) are read in the "
                     "order given as one log")
        ->required();
    m_command->add_option("--prefix", m_prefix,
                          "a PCRE2 pattern for the host's line prefix, with optional named groups time and level");
    m_command->add_flag("--explain", m_explain, "under every operation the rules, notes and the state after it");
    m_command->add_flag("--log", m_log, "the library's lines under the operation that wrote them");
    m_command->add_flag("--redact", m_redact, ktr::kRedactHelp);
    m_command->add_option("--json", m_jsonPath, "write the rebuilt timeline as JSON Lines (the replay's schema)");
    m_command->add_option("--csv", m_csvPath, "write the rebuilt answers as CSV (the replay's columns)");
    m_command->add_option("--html", m_htmlPath,
                          "write an interactive report (one self-contained HTML file): the rebuilt answers over time "
                          "and each operation's input, answer, reasons and log lines");
    m_command->add_option("--summary", m_summaryPath, "write the summary as JSON to this file");
    m_command->add_option("--scenario", m_scenarioPath,
                          "write a replayable scenario of what the log shows (assumptions in its comments), replay "
                          "it and say how many logged decisions it reproduces");
    m_command->add_option("--lib", m_libraryPath, "with --scenario: the library build to replay it on");
    m_command->add_option("--plot", m_plotPath,
                          "draw the rebuilt answers into this PNG (tools/plot_timeline.py, python3-matplotlib)");
}

int LogCommand::run() const {
    LogReader reader(m_inputs, m_prefix.empty() ? std::nullopt : std::optional<std::string>(m_prefix));
    const std::string inputName = fmt::format("{}", fmt::join(m_inputs, " "));
    OutputFiles files;
    ktr::WriterGroup writers;
    writers.add(std::make_unique<ktr::TableWriter>(std::cout, ktr::TableWriter::Options{m_log, m_explain}));
    const std::string csvPath = !m_csvPath.empty() ? m_csvPath : m_plotPath.empty() ? "" : m_plotPath + ".csv";
    ktr::HtmlReport* html = ktr::addFileWriters(
        ktr::FilePaths{m_jsonPath, csvPath, "", m_htmlPath, ktr::ReportChart::Options{false, false}}, files, writers);
    std::ostream* summaryFile = m_summaryPath.empty() ? nullptr : &files.open(m_summaryPath);
    std::optional<ScenarioRebuilder> scenario;
    if (!m_scenarioPath.empty()) {
        scenario.emplace(files.open(m_scenarioPath), "rebuilt from " + inputName);
    }

    ktr::UidRedactor redactor;
    ktr::UidRedactor* redacting = m_redact ? &redactor : nullptr;
    writers.begin(ktr::TimelineHeader{"log", inputName, "", ""});
    OperationBuilder builder;
    LogSummary summary;
    LibraryLine line;
    while (reader.next(line)) {
        deliver(builder.add(line), writers, summary, scenario, redacting);
    }
    deliver(builder.finish(), writers, summary, scenario, redacting);
    if (scenario) {
        scenario->finish();
    }
    std::vector<std::string> warnings = reader.warnings();
    warnings.insert(warnings.end(), builder.warnings().begin(), builder.warnings().end());
    const std::vector<std::string> found = remarks(reader.counts(), warnings, redacting);
    if (html != nullptr) {
        for (const std::string& text : found) {
            html->addRemark(text);
        }
    }
    writers.end();
    summary.finish();

    const ReadCounts& counts = reader.counts();
    fmt::print(
        "\nlines: {} read, {} of the library, {} of other components skipped, {} unknown library lines, "
        "{} cut at the length limit, {} library lines outside any operation\n",
        counts.lines, counts.library, counts.other, counts.unknownLibrary, counts.tooLong, builder.skippedLines());
    for (const std::string& text : found) {
        fmt::print("{}\n", text);
    }
    summary.write(std::cout);
    if (summaryFile != nullptr) {
        nlohmann::json json = summary.json();
        json["lines"] = {{"read", counts.lines},  {"library", counts.library},
                         {"other", counts.other}, {"unknown_library", counts.unknownLibrary},
                         {"cut", counts.tooLong}, {"outside_operations", builder.skippedLines()}};
        *summaryFile << (redacting != nullptr ? redactor.json(json) : json).dump(2) << '\n';
    }
    files.close();
    if (!m_plotPath.empty()) {
        ktr::drawPlot("plot_timeline.py", csvPath, m_plotPath, inputName);
    }
    if (scenario) {
        const ktr::SdkLibrary library(m_libraryPath.empty() ? ktr::SdkLibrary::defaultPath() : m_libraryPath);
        const Reproduction result = scenario->reproduce(m_scenarioPath, library);
        fmt::print("{}: its replay reproduces {} of the {} logged decisions (download requests and camera streams)\n",
                   m_scenarioPath, result.reproduced, result.logged);
    }
    return 0;
}

}  // namespace ktr::logs

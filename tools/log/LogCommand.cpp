#include "LogCommand.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <iostream>

#include "FileWriters.h"
#include "LogReader.h"
#include "LogSummary.h"
#include "OperationBuilder.h"
#include "OutputFiles.h"
#include "PlotScript.h"
#include "ProvenanceOf.h"
#include "StateOption.h"
#include "ScenarioRebuilder.h"
#include "SdkLibrary.h"
#include "TableWriter.h"
#include "UidRedactor.h"

namespace ktr::logs {
namespace {

// What the report shows beside the operations: the unknown library lines and the rebuilder's warnings.
std::vector<std::string> remarks(const ReadCounts& counts, const std::vector<std::string>& warnings,
                                 const ktr::UidRedactor* redactor) {
    std::vector<std::string> texts;
    for (const auto& [number, text] : counts.unknownSamples) {
        texts.push_back(fmt::format("unknown library line {}: {}", number, text));
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
    m_command->add_option("log", m_input, "the log file, or - for standard input")->required();
    m_command->add_option("--prefix", m_prefix,
                          "a PCRE2 pattern for the host's line prefix, with optional named groups time and level");
    m_command->add_flag("--explain", m_explain, "under every operation the rules, notes and the state after it");
    m_command->add_flag("--log", m_log, "the library's lines under the operation that wrote them");
    m_command->add_flag("--redact", m_redact, ktr::kRedactHelp);
    m_command->add_option("--json", m_jsonPath, "write the rebuilt timeline as JSON Lines (the replay's schema)");
    ktr::addStateOption(*m_command, m_state);
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
    LogReader reader(m_input, m_prefix.empty() ? std::nullopt : std::optional<std::string>(m_prefix));
    OutputFiles files;
    ktr::WriterGroup writers;
    writers.add(std::make_unique<ktr::TableWriter>(std::cout, ktr::TableWriter::Options{m_log, m_explain}));
    const std::string csvPath = !m_csvPath.empty() ? m_csvPath : m_plotPath.empty() ? "" : m_plotPath + ".csv";
    ktr::HtmlReport* html = ktr::addFileWriters(
        ktr::FilePaths{m_jsonPath, csvPath, "", m_htmlPath, ktr::ReportChart::Options{false, false},
                       ktr::stateWriting(m_state)},
        files, writers);
    std::ostream* summaryFile = m_summaryPath.empty() ? nullptr : &files.open(m_summaryPath);
    std::optional<ScenarioRebuilder> scenario;
    if (!m_scenarioPath.empty()) {
        scenario.emplace(files.open(m_scenarioPath), "rebuilt from " + m_input);
    }

    ktr::UidRedactor redactor;
    ktr::UidRedactor* redacting = m_redact ? &redactor : nullptr;
    // Whether the log carries time shows on its first library line.
    LibraryLine line;
    const bool any = reader.next(line);
    ktr::TimelineHeader header;
    header.command = "log";
    header.source = m_input;
    header.provenance = ktr::provenanceWithoutLibrary();
    header.timed = !any || line.time.has_value();
    if (!header.timed) {
        fmt::print(std::cerr, "{}: the log carries no time: durations are counted in steps\n", m_input);
    }
    writers.begin(header);
    LogSummary summary(header.timed);
    // Hands each rebuilt step, its uids redacted when asked, to the writers and the summary.
    OperationBuilder builder([&](ktr::TimelineStep&& built) {
        const ktr::TimelineStep step = redacting != nullptr ? redacting->step(std::move(built)) : std::move(built);
        writers.write(step);
        summary.add(step);
        if (scenario) {
            scenario->add(step);
        }
    });
    for (bool more = any; more; more = reader.next(line)) {
        builder.add(line);
    }
    builder.finish();
    if (scenario) {
        scenario->finish();
    }
    const std::vector<std::string> found = remarks(reader.counts(), builder.warnings(), redacting);
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
        ktr::LogSummaryReport report = summary.report();
        report.lines = ktr::LogLineCounts{counts.lines, counts.library,  counts.other,
                                          counts.unknownLibrary, counts.tooLong, builder.skippedLines()};
        *summaryFile << ktr::toJsonText(redacting != nullptr ? redactor.summary(std::move(report)) : report)
                     << '\n';
    }
    files.close();
    if (!m_plotPath.empty()) {
        ktr::drawPlot("plot_timeline.py", csvPath, m_plotPath, m_input);
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

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
#include "ProvenanceOf.h"
#include "ScenarioRebuilder.h"
#include "SdkLibrary.h"
#include "StateOption.h"
#include "StepFilter.h"
#include "TableWriter.h"
#include "TimeStamp.h"
#include "UidRedactor.h"

namespace ktr::log {
namespace {

constexpr double kSecondsPerDay = 86400;

// A --since or --until time: the log's own kind of stamp. A time of day counts from the midnight before the
// log's first line, as the log's times do; one earlier than that line is taken on the next day.
std::optional<double> windowTime(const std::string& option, const std::string& text, double origin) {
    if (text.empty()) {
        return std::nullopt;
    }
    const std::optional<TimeStamp::Time> time = TimeStamp::parse(text);
    if (!time) {
        throw ktr::InputError(
            fmt::format("ktr log: {} \"{}\": expected a time as the log's prefix writes it "
                        "(2024-03-01T10:15:00, 10:15:00, epoch seconds or milliseconds)",
                        option, text));
    }
    const bool datedLog = origin >= 2 * kSecondsPerDay;
    if (time->timeOfDay && datedLog) {
        throw ktr::InputError(
            fmt::format("ktr log: {} \"{}\": the log's stamps carry a date; give a date and time", option, text));
    }
    return time->timeOfDay && time->seconds < origin ? time->seconds + kSecondsPerDay : time->seconds;
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
    m_command->add_option("--since", m_since,
                          "write only the operations from this time on (a time as the prefix writes it); the state is "
                          "still followed from the start");
    m_command->add_option("--until", m_until, "write only the operations up to this time");
    m_command->add_option("--uid", m_uids, "write only the operations that name this uid (repeatable)");
    ktr::addStateOption(*m_command, m_state);
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
    ktr::HtmlReport* html =
        ktr::addFileWriters(ktr::FilePaths{m_jsonPath, csvPath, "", m_htmlPath, ktr::ReportChart::Options{false, false},
                                           ktr::stateWriting(m_state)},
                            files, writers);
    std::ostream* summaryFile = m_summaryPath.empty() ? nullptr : &files.open(m_summaryPath);
    std::optional<ScenarioRebuilder> scenario;
    if (!m_scenarioPath.empty()) {
        scenario.emplace(files.open(m_scenarioPath), "rebuilt from " + inputName);
    }

    ktr::UidRedactor redactor;
    ktr::UidRedactor* redacting = m_redact ? &redactor : nullptr;
    // Whether the log carries time shows on its first library line; the filters' times count from it.
    LibraryLine line;
    const bool any = reader.next(line);
    ktr::TimelineHeader header;
    header.command = "log";
    header.source = inputName;
    header.provenance = ktr::provenanceWithoutLibrary();
    header.timed = !any || line.time.has_value();
    const double origin = any ? line.time.value_or(0) : 0;
    StepWindow window{windowTime("--since", m_since, origin), windowTime("--until", m_until, origin),
                      std::set<uint64_t>(m_uids.begin(), m_uids.end())};
    if ((window.since || window.until) && !header.timed) {
        throw ktr::InputError("ktr log: --since and --until need a log whose prefix carries a time");
    }
    StepFilter filtered(std::move(window), writers);
    filtered.setOrigin(origin);
    filtered.begin(header);
    LogSummary summary(header.timed);
    // Hands each rebuilt step, its uids redacted when asked, to the writers, the summary and the scenario;
    // the filters choose what the writers get.
    OperationBuilder builder([&](ktr::TimelineStep&& built) {
        ktr::TimelineStep step = std::move(built);
        if (redacting != nullptr) {
            step = redacting->step(std::move(step));
        }
        filtered.write(step);
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
    std::vector<std::string> warnings = reader.warnings();
    warnings.insert(warnings.end(), builder.warnings().begin(), builder.warnings().end());
    const std::vector<std::string> found = remarks(reader.counts(), warnings, redacting);
    if (html != nullptr) {
        for (const std::string& text : found) {
            html->addRemark(text);
        }
    }
    filtered.end();
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
        report.lines = ktr::LogLineCounts{counts.lines,          counts.library, counts.other,
                                          counts.unknownLibrary, counts.tooLong, builder.skippedLines()};
        if (redacting != nullptr) {
            report = redactor.summary(std::move(report));
        }
        *summaryFile << ktr::toJsonText(report) << '\n';
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

}  // namespace ktr::log

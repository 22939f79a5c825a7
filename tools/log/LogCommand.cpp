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
#include "RedactionStage.h"
#include "ScenarioRebuilder.h"
#include "SdkLibrary.h"
#include "StepFilter.h"
#include "TableWriter.h"
#include "TimeStamp.h"

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
                                 const ktr::RedactionStage& redaction) {
    std::vector<std::string> texts;
    for (const auto& [place, text] : counts.unknownSamples) {
        texts.push_back(fmt::format("unknown library line {}: {}", place, text));
    }
    for (const std::string& warning : warnings) {
        texts.push_back("warning: " + warning);
    }
    for (std::string& text : texts) {
        text = redaction.text(text);
    }
    return texts;
}

}  // namespace

LogCommand::LogCommand(CLI::App& program)
    : ktr::Command(program, "log",
                   "Turn a client's log (plain or gzip, - for standard input) back into the library's decisions") {
    app()
        .add_option("log", m_inputs,
                    "the log file, or - for standard input; several files (a host's rotated logs) are read in the "
                    "order given as one log")
        ->required();
    app().add_option("--prefix", m_prefix,
                     "a PCRE2 pattern for the host's line prefix, with optional named groups time and level");
    addShared({ktr::SharedOption::Explain, ktr::SharedOption::Log, ktr::SharedOption::Redact, ktr::SharedOption::Json,
               ktr::SharedOption::Csv, ktr::SharedOption::Html, ktr::SharedOption::Summary});
    app().add_option("--scenario", m_scenarioPath,
                     "write a replayable scenario of what the log shows (assumptions in its comments), replay it and "
                     "say how many logged decisions it reproduces");
    addShared({ktr::SharedOption::Library});
    app().add_option("--since", m_since,
                     "write only the operations from this time on (a time as the prefix writes it); the state is "
                     "still followed from the start");
    app().add_option("--until", m_until, "write only the operations up to this time");
    app().add_option("--uid", m_uids, "write only the operations that name this uid (repeatable)");
    addShared({ktr::SharedOption::State, ktr::SharedOption::Plot});
}

int LogCommand::run() {
    const ktr::SharedValues& options = shared();
    if (m_scenarioPath == ktr::kStandardStream) {
        throw ktr::InputError("ktr log: --scenario is replayed from its file: give a file, not -");
    }
    LogReader reader(m_inputs, m_prefix.empty() ? std::nullopt : std::optional<std::string>(m_prefix));
    const std::string inputName = fmt::format("{}", fmt::join(m_inputs, " "));
    OutputFiles files;
    ktr::WriterGroup writers;
    ktr::FilePaths paths = ktr::filePathsOf(options, ktr::ReportChart::Options{false, false});
    paths.csv = ktr::plotCsvPath(paths.csv, options.plot);
    paths.logFile.clear();
    ktr::HtmlReport* html = ktr::addFileWriters(paths, files, writers);
    std::ostream* summaryFile = options.summary.empty() ? nullptr : &files.open(options.summary);
    std::optional<ScenarioRebuilder> scenario;
    if (!m_scenarioPath.empty()) {
        scenario.emplace(files.open(m_scenarioPath), "rebuilt from " + inputName);
    }
    std::ostream discarded(nullptr);
    std::ostream& text = files.standardOutputTaken() ? discarded : std::cout;
    writers.add(std::make_unique<ktr::TableWriter>(text, ktr::TableWriter::Options{options.log, options.explain}));

    ktr::RedactionStage redaction(options.redact);
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
    // Hands each rebuilt step, through the redaction stage, to the writers, the summary and the scenario;
    // the filters choose what the writers get.
    OperationBuilder builder([&](ktr::TimelineStep&& built) {
        const ktr::TimelineStep step = redaction.step(std::move(built));
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
    const std::vector<std::string> found = remarks(reader.counts(), warnings, redaction);
    if (html != nullptr) {
        for (const std::string& remark : found) {
            html->addRemark(remark);
        }
    }
    filtered.end();
    summary.finish();

    const ReadCounts& counts = reader.counts();
    fmt::print(text,
               "\nlines: {} read, {} of the library, {} of other components skipped, {} unknown library lines, "
               "{} cut at the length limit, {} library lines outside any operation\n",
               counts.lines, counts.library, counts.other, counts.unknownLibrary, counts.tooLong,
               builder.skippedLines());
    for (const std::string& remark : found) {
        fmt::print(text, "{}\n", remark);
    }
    summary.write(text);
    if (summaryFile != nullptr) {
        // Built from the redacted steps: its uids are already the pseudonyms.
        ktr::LogSummaryReport report = summary.report();
        report.lines = ktr::LogLineCounts{counts.lines,          counts.library, counts.other,
                                          counts.unknownLibrary, counts.tooLong, builder.skippedLines()};
        *summaryFile << ktr::toJsonText(report) << '\n';
    }
    files.close();
    if (!options.plot.empty()) {
        ktr::drawPlot("plot_timeline.py", paths.csv, options.plot, inputName);
    }
    if (scenario) {
        const ktr::SdkLibrary library(libraryPath());
        const Reproduction result = scenario->reproduce(m_scenarioPath, library);
        fmt::print(text,
                   "{}: its replay reproduces {} of the {} logged decisions (download requests and camera streams)\n",
                   m_scenarioPath, result.reproduced, result.logged);
    }
    if (const std::optional<std::string> damage = reader.damage()) {
        throw ktr::InputError(*damage);  // what was read before it is written above
    }
    return 0;
}

}  // namespace ktr::log

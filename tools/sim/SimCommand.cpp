#include "SimCommand.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "CapacityTrace.h"
#include "ChildPool.h"
#include "FileHash.h"
#include "FileWriters.h"
#include "HostSettings.h"
#include "InputFile.h"
#include "Meeting.h"
#include "OutputFiles.h"
#include "PlotScript.h"
#include "ProvenanceOf.h"
#include "RedactingSeries.h"
#include "RedactingWriter.h"
#include "ScenarioWriter.h"
#include "SdkLibrary.h"
#include "SeriesCsvWriter.h"
#include "Simulation.h"
#include "StateOption.h"
#include "Sweep.h"
#include "SweepResults.h"
#include "SweepStatistics.h"
#include "SyntheticTrace.h"
#include "TableWriter.h"
#include "TraceReader.h"

namespace ktr::sim {
namespace {

using nlohmann::json;

// The downlink when none is given: a steady office line.
constexpr const char* kDefaultDownlink = "constant:10mbps";
constexpr const char* kPlotScript = "plot_sim.py";

// A trace is a file, or the text of a synthetic shape ("constant:2mbps", "steps:...").
CapacityTrace loadTrace(const std::string& text) {
    if (access(text.c_str(), F_OK) != 0 && text.find(':') != std::string::npos) {
        return parseSyntheticTrace(text);
    }
    return readTrace(text);
}

// A trace as the provenance names it: a file by its hash, a synthetic shape by the hash of its text.
HashedFile traceIdentity(const std::string& text) {
    const bool file = access(text.c_str(), F_OK) == 0 || text.find(':') == std::string::npos;
    return HashedFile{text, file ? sha256OfFile(text) : sha256Hex(text)};
}

std::string number(const Known<double>& value) {
    return value ? fmt::format("{:.2f}", *value) : "-";
}

void printMetrics(std::ostream& out, const RunSummary& summary) {
    fmt::print(out, "meeting: {}   downlink: {}   uplink: {}   seed: {}   duration: {} s\n", summary.meeting,
               summary.downlink, summary.uplink.value_or("not modelled"), summary.seed, summary.durationS);
    fmt::print(out, "{:<22} {:>16}  {:<9} {}\n", "metric", "value", "unit", "better");
    for (const auto& [name, metric] : summary.metrics.entries) {
        const std::string value =
            metric.episodes ? fmt::format("{} / {}", number(metric.median), number(metric.max)) : number(metric.value);
        const std::string unit =
            metric.episodes ? fmt::format("{} (median / max of {})", metric.unit, *metric.episodes) : metric.unit;
        fmt::print(out, "{:<22} {:>16}  {:<9} {}\n", name, value, unit, metric.better);
    }
}

// A settings file's definition table and config replace the meeting's own; what the file leaves out stays.
void applySettings(const HostSettings& settings, Meeting& meeting) {
    if (settings.definitions) {
        meeting.definitions = infosOf(*settings.definitions);
    }
    if (settings.config) {
        meeting.config = settings.config;
    }
}

}  // namespace

SimCommand::SimCommand(CLI::App& program) {
    m_command = program.add_subcommand(
        "sim", "Simulate a whole meeting (JSON) over bandwidth traces and measure its quality of experience");
    m_command->add_option("meeting", m_meetingPath, "meeting description (not with --merge)");
    m_command->add_option("--downlink", m_downlink,
                          fmt::format("download capacity: a trace file (Mahimahi or seconds Mbit/s) or a synthetic "
                                      "shape such as constant:2mbps (default {})",
                                      kDefaultDownlink));
    m_command->add_option("--uplink", m_uplink, "upload capacity, as --downlink (default: not modelled)");
    m_command->add_option("--seed", m_seed,
                          "seed of the meeting's random models (talk spurts); default: the meeting's own");
    m_command->add_option("--duration", m_durationS, "simulate only the first S seconds");
    m_command->add_option("--lib", m_libraryPath, "the library build to load (default: the one beside ktr)");
    m_command->add_option("--config", m_settingsPath,
                          "install this definition table and config ({\"definitions\": [...], \"config\": {...}}) "
                          "in place of the meeting's own");
    m_command->add_flag("--steps", m_steps, "print every library call the host makes, with its answer");
    m_command->add_flag("--explain", m_explain, "with --steps: the rules, notes and state after every call");
    m_command->add_flag("--log", m_log, "with --steps: the library's lines under every call");
    m_command->add_flag("--summary-only", m_summaryOnly, "print only the summary, as one JSON object");
    m_command->add_flag("--redact", m_redact, kRedactHelp);
    m_command->add_option("--summary", m_summaryPath, "write the summary (metrics) as JSON to this file");
    m_command->add_option("--json", m_jsonPath, "write every library call as JSON Lines (the replay's schema)");
    addStateOption(*m_command, m_state);
    m_command->add_option("--csv", m_csvPath, "write the answers as a CSV timeline (the replay's columns)");
    m_command->add_option("--log-file", m_logFilePath, "write the library's lines as a host's logger would");
    m_command->add_option("--series", m_seriesPath,
                          "write the sampled series (capacity, estimate, demand, delivered, per-peer bitrate, freezes, "
                          "switches) as CSV");
    m_command->add_option("--html", m_htmlPath,
                          "write an interactive report (one self-contained HTML file): the series, lanes and markers "
                          "over time and every library call; for a sweep, the metrics' distributions");
    m_command->add_option("--plot", m_plotPath, "draw the series into this PNG (Debian's python3-matplotlib)");
    m_command->add_option("--record", m_recordPath,
                          "write every call the simulation made as a scenario that `ktr replay` replays identically");
    m_command->add_option("--estimates", m_estimatesPath,
                          "replay recorded download estimates (CSV time_s,status,score,bitrate,max_bitrate) in place "
                          "of the estimator model");
    m_command->add_option("--uplink-traces", m_uplinkTracesDir,
                          "sweep: run the meeting over every trace in this folder as the uplink");
    m_command->add_option("--traces", m_tracesDir,
                          "sweep: run the meeting over every trace in this folder (as the downlink), each run in a "
                          "process of its own, and print every metric's distribution");
    m_command->add_option("--jobs", m_jobs, "sweep: runs at once (default: one per core)");
    m_command->add_option("--timeout", m_timeoutS, "sweep: seconds a run may take before the sweep fails");
    m_command->add_option("--shard", m_shard, "sweep: run only the K-th of N deterministic slices (K/N)");
    m_command->add_option("--results", m_resultsPath, "sweep: write the runs' summaries to this file, for --merge");
    m_command->add_option("--merge", m_mergePaths, "combine the results files of a sweep's shards into its table")
        ->expected(1, -1);
}

// The command line's seed, else the talk-spurt model's own.
uint64_t SimCommand::seedFor(const Meeting& meeting) const {
    if (m_command->count("--seed") > 0 || !meeting.talkModel) {
        return m_seed;
    }
    return meeting.talkModel->seed;
}

int SimCommand::run() const {
    if (!m_mergePaths.empty()) {
        return merge();
    }
    if (m_meetingPath.empty()) {
        throw InputError("ktr sim: a meeting file is needed (or --merge RESULTS...)");
    }
    return m_tracesDir.empty() && m_uplinkTracesDir.empty() ? runOne() : runSweep();
}

// The command each run of a sweep executes: this program on the same meeting and options, printing only
// its summary; the sweep appends the trace.
std::vector<std::string> SimCommand::childCommand() const {
    std::vector<std::string> command{SdkLibrary::toolPath(), "sim", m_meetingPath, "--summary-only"};
    const auto pass = [&](const char* option, const std::string& value) {
        if (!value.empty()) {
            command.insert(command.end(), {option, value});
        }
    };
    pass("--uplink", m_uplink);
    pass("--downlink", m_uplinkTracesDir.empty() ? "" : m_downlink);
    pass("--estimates", m_estimatesPath);
    pass("--lib", m_libraryPath);
    pass("--config", m_settingsPath);
    pass("--seed", m_command->count("--seed") > 0 ? std::to_string(m_seed) : "");
    pass("--duration", m_durationS > 0 ? fmt::format("{}", m_durationS) : "");
    if (m_redact) {
        command.push_back("--redact");
    }
    return command;
}

int SimCommand::runSweep() const {
    parseMeeting(readInputFile(m_meetingPath), m_meetingPath);  // refuse bad input before any run
    if (!m_settingsPath.empty()) {
        parseHostSettings(readInputFile(m_settingsPath), m_settingsPath);
    }
    if (!m_tracesDir.empty() && !m_uplinkTracesDir.empty()) {
        throw InputError("ktr sim: --traces and --uplink-traces sweep one side each; give one of them");
    }
    const bool uplinks = !m_uplinkTracesDir.empty();
    const std::vector<std::string> traces = listTraces(uplinks ? m_uplinkTracesDir : m_tracesDir);
    const Shard shard = m_shard.empty() ? Shard{} : parseShard(m_shard);
    const std::vector<size_t> indices = shardRuns(traces.size(), shard);
    OutputFiles files;
    std::ostream* results = m_resultsPath.empty() ? nullptr : &files.open(m_resultsPath);
    const TableFiles tableFiles = openTableFiles(files);
    const std::vector<std::string> command = childCommand();
    const std::vector<ChildResult> outcomes =
        runChildren(sweepRuns(command, traces, indices, uplinks ? "--uplink" : "--downlink"), m_jobs,
                    static_cast<Micros>(m_timeoutS * kMicrosPerSecond));
    const std::vector<LabelledSummary> runs = collectSummaries(outcomes, indices);
    if (results != nullptr) {
        SweepDescription sweep{m_meetingPath, std::vector<std::string>(command.begin() + 3, command.end()), {}};
        for (const std::string& trace : traces) {
            sweep.runs.push_back(std::filesystem::path(trace).filename().string());
        }
        writeSweepResults(*results, sweep, shard, runs);
    }
    writeTable(sweepStatistics(summariesOf(runs)), tableFiles, "ktr sim: sweep of " + m_meetingPath);
    files.close();
    return 0;
}

int SimCommand::merge() const {
    const MergedSweep merged = mergeSweepResults(m_mergePaths);
    OutputFiles files;
    const TableFiles tableFiles = openTableFiles(files);
    writeTable(sweepStatistics(summariesOf(merged.runs)), tableFiles, "ktr sim: merged sweep");
    files.close();
    return 0;
}

// --summary and --html of a sweep, opened before its runs so that a bad path fails first.
SimCommand::TableFiles SimCommand::openTableFiles(OutputFiles& files) const {
    return TableFiles{m_summaryPath.empty() ? nullptr : &files.open(m_summaryPath),
                      m_htmlPath.empty() ? nullptr : &files.open(m_htmlPath)};
}

// The distributions as a table on standard output, and as JSON and as an HTML page where asked.
void SimCommand::writeTable(const SweepTable& table, const TableFiles& files, const std::string& title) const {
    if (files.summary != nullptr) {
        *files.summary << toJsonText(table) << '\n';
    }
    if (files.html != nullptr) {
        writeSweepReport(*files.html, title, table);
    }
    writeSweepTable(std::cout, table);
}

int SimCommand::runOne() const {
    Meeting meeting = parseMeeting(readInputFile(m_meetingPath), m_meetingPath);
    if (!m_settingsPath.empty()) {
        applySettings(parseHostSettings(readInputFile(m_settingsPath), m_settingsPath), meeting);
    }
    if (m_durationS > 0) {
        meeting.duration =
            std::min(meeting.duration, static_cast<Micros>(std::llround(m_durationS * kMicrosPerSecond)));
    }
    const CapacityTrace downlink = loadTrace(m_downlink.empty() ? kDefaultDownlink : m_downlink);
    const std::optional<CapacityTrace> uplink =
        m_uplink.empty() ? std::nullopt : std::optional<CapacityTrace>(loadTrace(m_uplink));
    const std::optional<RecordedEstimates> estimates =
        m_estimatesPath.empty() ? std::nullopt
                                : std::optional<RecordedEstimates>(RecordedEstimates::read(m_estimatesPath));
    const SdkLibrary library(m_libraryPath.empty() ? SdkLibrary::defaultPath() : m_libraryPath);

    OutputFiles files;
    WriterGroup writers;
    if (m_steps && !m_summaryOnly) {
        writers.add(std::make_unique<TableWriter>(std::cout, TableWriter::Options{m_log, m_explain}));
    }
    HtmlReport* html = addFileWriters(FilePaths{m_jsonPath, m_csvPath, m_logFilePath, m_htmlPath,
                                                ReportChart::Options{false, true}, stateWriting(m_state)},
                                      files, writers);
    UidRedactor redactor;
    UidRedactor* redacting = m_redact ? &redactor : nullptr;
    std::optional<ScenarioWriter> record;
    if (!m_recordPath.empty()) {
        record.emplace(
            files.open(m_recordPath), meeting.name + " (recorded simulation)",
            fmt::format("every call of ktr sim {} over {}, seed {}", m_meetingPath, downlink.label(), seedFor(meeting)),
            Init{meeting.localUid, meeting.localDt}, redacting);
    }
    std::ostream* summaryFile = m_summaryPath.empty() ? nullptr : &files.open(m_summaryPath);
    const std::string seriesPath = !m_seriesPath.empty() ? m_seriesPath : m_plotPath.empty() ? "" : m_plotPath + ".csv";
    std::optional<SeriesCsvWriter> seriesCsv;
    if (!seriesPath.empty()) {
        seriesCsv.emplace(files.open(seriesPath));
    }
    SeriesGroup series;
    series.add(seriesCsv ? &*seriesCsv : nullptr);
    series.add(html);
    RedactingSeries redactedSeries(redactor, series);
    RedactingWriter redactedWriters(redactor, writers);
    TimelineWriter& timeline = m_redact ? static_cast<TimelineWriter&>(redactedWriters) : writers;

    SimulationSetup setup;
    setup.meeting = &meeting;
    setup.downlink = &downlink;
    setup.uplink = uplink ? &*uplink : nullptr;
    setup.seed = seedFor(meeting);
    setup.recordedEstimates = estimates ? &*estimates : nullptr;
    TimelineHeader header;
    header.command = "sim";
    header.source = meeting.name;
    header.provenance = provenanceOf(library, m_settingsPath);
    header.provenance.seed = setup.seed;
    header.provenance.traces.push_back(traceIdentity(m_downlink.empty() ? kDefaultDownlink : m_downlink));
    if (!m_uplink.empty()) {
        header.provenance.traces.push_back(traceIdentity(m_uplink));
    }
    timeline.begin(header);
    RunSummary summary;
    summary.meeting = meeting.name;
    summary.downlink = downlink.label();
    summary.uplink = uplink ? Known<std::string>(uplink->label()) : std::nullopt;
    summary.estimates = m_estimatesPath.empty()
                            ? std::nullopt
                            : Known<std::string>(std::filesystem::path(m_estimatesPath).filename().string());
    summary.seed = setup.seed;
    summary.durationS = static_cast<double>(meeting.duration) / kMicrosPerSecond;
    Simulation(setup).run(library,
                          SimulationOutputs{&timeline, record ? &*record : nullptr,
                                            series.empty() ? nullptr
                                            : m_redact     ? static_cast<SeriesSink*>(&redactedSeries)
                                                           : &series},
                          summary);
    timeline.end();
    if (record) {
        record->finish();
    }
    if (m_redact) {
        summary = redactor.summary(std::move(summary));
    }
    if (summaryFile != nullptr) {
        *summaryFile << toJsonText(summary) << '\n';
    }
    files.close();
    if (!m_plotPath.empty()) {
        drawPlot(kPlotScript, seriesPath, m_plotPath, meeting.name + " over " + downlink.label());
    }
    if (m_summaryOnly) {
        std::cout << toJsonText(summary) << '\n';
    } else {
        printMetrics(std::cout, summary);
    }
    return 0;
}

}  // namespace ktr::sim

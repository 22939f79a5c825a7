#include "SimCommand.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <utility>

#include "CapacityTrace.h"
#include "ChildPool.h"
#include "FileHash.h"
#include "FileWriters.h"
#include "HostSettings.h"
#include "InputFile.h"
#include "Meeting.h"
#include "MetricTable.h"
#include "OutputFiles.h"
#include "PlotScript.h"
#include "ProvenanceOf.h"
#include "RedactionStage.h"
#include "RunValuesCsv.h"
#include "ScenarioWriter.h"
#include "SdkLibrary.h"
#include "SeriesCsvWriter.h"
#include "ShardResultsFile.h"
#include "Simulation.h"
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
// Draws a sweep's CDF per metric.
constexpr const char* kCdfScript = "plot_cdf.py";
// Every participant of a conference receives every other, so the work grows faster than the square of their
// number: 50 desktops take about 2 s a simulated minute (100 take 17 s), twice the largest bundled meeting.
constexpr size_t kMaxConferenceParticipants = 50;

// The seed of the random models when neither the command line nor the meeting gives one.
constexpr uint64_t kDefaultSeed = 1;

// A trace and its identity as the provenance names it: a file ("-": standard input) by the hash of its
// content, a synthetic shape ("constant:2mbps", "steps:...") by the hash of its text.
struct LoadedTrace {
    CapacityTrace trace;
    HashedFile identity;
};

// The highest --link-scale: far above it every bundled trace would exceed the highest rate a trace may have.
constexpr double kHighestLinkScale = 100;

LoadedTrace loadUnscaledTrace(const std::string& text) {
    if (text != kStandardStream && access(text.c_str(), F_OK) != 0 && text.find(':') != std::string::npos) {
        return LoadedTrace{parseSyntheticTrace(text), HashedFile{text, sha256Hex(text)}};
    }
    const std::string content = readInputFile(text);
    return LoadedTrace{parseTrace(content, text), HashedFile{text, sha256Hex(content)}};
}

// A link as --link-scale asks for it: every rate of the trace times scale (the identity stays the trace's).
LoadedTrace loadTrace(const std::string& text, double scale) {
    LoadedTrace loaded = loadUnscaledTrace(text);
    if (scale == 1.0) {
        return loaded;
    }
    try {
        return LoadedTrace{loaded.trace.scaled(scale), loaded.identity};
    } catch (const std::invalid_argument& error) {
        throw InputError(fmt::format("{}: scaled by --link-scale {}: {}", text, scale, error.what()));
    }
}

// The links a conference's meeting names per participant, loaded, by uid.
struct OwnLinks {
    std::deque<LoadedTrace> traces;  // stable addresses as it grows
    std::map<uint64_t, const CapacityTrace*> downlinks;
    std::map<uint64_t, const CapacityTrace*> uplinks;
};

void loadLinksOf(uint64_t uid, const ParticipantLinks& links, double scale, OwnLinks& own) {
    if (!links.downlink.empty()) {
        own.downlinks[uid] = &own.traces.emplace_back(loadTrace(links.downlink, scale)).trace;
    }
    if (!links.uplink.empty()) {
        own.uplinks[uid] = &own.traces.emplace_back(loadTrace(links.uplink, scale)).trace;
    }
}

OwnLinks loadOwnLinks(const Meeting& meeting, double scale) {
    OwnLinks own;
    loadLinksOf(meeting.localUid, meeting.localLinks, scale, own);
    for (const MeetingPeer& peer : meeting.peers) {
        loadLinksOf(peer.uid, peer.links, scale, own);
    }
    return own;
}

std::string number(const Known<double>& value) {
    return value ? fmt::format("{:.2f}", *value) : "-";
}

// The meeting's metrics, each with its unit, direction and definition from the metric table.
void printMetrics(std::ostream& out, const RunSummary& summary) {
    fmt::print(out, "meeting: {}   downlink: {}   uplink: {}   seed: {}   duration: {} s\n", summary.meeting,
               summary.downlink, summary.uplink.value_or("not modelled"), summary.seed, summary.durationS);
    fmt::print(out, "{:<22} {:>16}  {:<9} {:<6}  {}\n", "metric", "value", "unit", "better", "definition");
    for (const auto& [name, metric] : summary.metrics.entries) {
        const MetricDefinition* definition = findMetric(name);
        if (definition == nullptr) {
            throw std::logic_error("ktr sim: the summary's metric \"" + name + "\" is not in the metric table");
        }
        const std::string value =
            metric.episodes ? fmt::format("{} / {}", number(metric.median), number(metric.max)) : number(metric.value);
        const std::string unit = metric.episodes
                                     ? fmt::format("{} (median / max of {})", definition->unit, *metric.episodes)
                                     : std::string(definition->unit);
        fmt::print(out, "{:<22} {:>16}  {:<9} {:<6}  {}\n", name, value, unit, definition->better,
                   definition->definition);
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

// The runs of the shard that the results file does not hold yet, in run order.
std::vector<size_t> runsLeft(const std::vector<size_t>& shardRuns, const std::vector<SweepResultsRun>& recorded) {
    std::vector<bool> done(shardRuns.empty() ? 0 : shardRuns.back() + 1, false);
    for (const SweepResultsRun& run : recorded) {
        done[static_cast<size_t>(run.index)] = true;
    }
    std::vector<size_t> left;
    for (const size_t run : shardRuns) {
        if (!done[run]) {
            left.push_back(run);
        }
    }
    return left;
}

}  // namespace

SimCommand::SimCommand(CLI::App& program)
    : Command(program, "sim",
              "Simulate a whole meeting (JSON) over bandwidth traces and measure its quality of experience") {
    app().add_option("meeting", m_meetingPath, "meeting description (- : standard input; not with --merge)");
    addShared({SharedOption::Downlink, SharedOption::Uplink, SharedOption::Seed, SharedOption::Duration,
               SharedOption::Library, SharedOption::Settings});
    app().add_flag("--conference", m_conference,
                   "every participant runs the library, joined by a conference server (as the meeting's "
                   "\"conference\": true)");
    app().add_option("--link-pool", m_linkPoolDir,
                     "conference: draw each participant's downlink and uplink, with the seed, from the traces in "
                     "this folder");
    app()
        .add_option("--link-scale", m_linkScale,
                    "multiply the rates of every link (downlink, uplink, a pool's and the meeting's own) by this "
                    "factor, above 0 and at most 100")
        ->check(CLI::Range(0.0, kHighestLinkScale));
    app().add_flag("--steps", m_steps,
                   "print every library call the host makes, with its answer (with --explain and --log as replay "
                   "prints its steps)");
    addShared({SharedOption::Explain, SharedOption::Log});
    addShared({SharedOption::SummaryOnly, SharedOption::Redact, SharedOption::Summary, SharedOption::Json,
               SharedOption::State, SharedOption::Csv, SharedOption::LogFile});
    app().add_option("--series", m_seriesPath,
                     "write the sampled series (capacity, estimate, demand, delivered, per-peer bitrate, freezes, "
                     "switches) as CSV (- : standard output)");
    addShared({SharedOption::Html, SharedOption::Plot});
    app().add_option("--record", m_recordPath,
                     "write every call the simulation made as a scenario that `ktr replay` replays identically");
    addShared({SharedOption::Estimates});
    app().add_option("--uplink-traces", m_uplinkTracesDir,
                     "sweep: run the meeting over every trace in this folder as the uplink");
    addShared({SharedOption::Traces, SharedOption::Jobs, SharedOption::Timeout});
    app().add_option("--shard", m_shard, "sweep: run only the K-th of N deterministic slices (K/N)");
    app().add_option("--results", m_resultsPath, "sweep: write the runs' summaries to this file, for --merge");
    app()
        .add_option("--merge", m_mergePaths, "combine the results files of a sweep's shards into its table")
        ->expected(1, -1);
}

// The command line's seed, else the talk-spurt model's own.
uint64_t SimCommand::seedFor(const Meeting& meeting) const {
    if (shared().seed || !meeting.talkModel) {
        return shared().seed.value_or(kDefaultSeed);
    }
    return meeting.talkModel->seed;
}

int SimCommand::run() {
    if (!m_mergePaths.empty()) {
        return merge();
    }
    if (m_meetingPath.empty()) {
        throw InputError("ktr sim: a meeting file is needed (or --merge RESULTS...)");
    }
    return shared().traces.empty() && m_uplinkTracesDir.empty() ? runOne() : runSweep();
}

// The options every run of a sweep shares: the inherited ones but the trace of the side it goes over,
// printing only the summary.
SharedValues SimCommand::childValues() const {
    SharedValues child = inheritedValues(shared());
    child.summaryOnly = true;
    sweptTrace(child).clear();
    return child;
}

std::string& SimCommand::sweptTrace(SharedValues& values) const {
    return m_uplinkTracesDir.empty() ? values.downlink : values.uplink;
}

// The command a run of a sweep executes: this program on the same meeting with the shared options and the
// trace on the side the sweep goes over. The meeting comes last, after "--", so that no file name is taken
// for an option.
std::vector<std::string> SimCommand::childCommand(const std::string& trace) const {
    SharedValues child = childValues();
    sweptTrace(child) = trace;
    std::vector<std::string> command{SdkLibrary::toolPath(), "sim"};
    const std::vector<std::string> options = optionArguments(child);
    command.insert(command.end(), options.begin(), options.end());
    if (m_conference) {
        command.push_back("--conference");
    }
    if (!m_linkPoolDir.empty()) {
        command.insert(command.end(), {"--link-pool", m_linkPoolDir});
    }
    if (m_linkScale != 1.0) {
        command.insert(command.end(), {"--link-scale", fmt::format("{}", m_linkScale)});
    }
    command.insert(command.end(), {"--", m_meetingPath});
    return command;
}

// What the sweep's runs depend on, read before any run: a bad meeting or settings file is refused first.
SweepDescription SimCommand::describeSweep(const std::vector<std::string>& traces) const {
    const SharedValues& options = shared();
    const std::string meetingText = readInputFile(m_meetingPath);
    const Meeting meeting = parseMeeting(meetingText, m_meetingPath);
    SweepDescription sweep{
        m_meetingPath, sha256Hex(meetingText), sha256OfFile(libraryPath()), {}, seedFor(meeting), {}, {}, {}};
    if (!options.settings.empty()) {
        const std::string settingsText = readInputFile(options.settings);
        parseHostSettings(settingsText, options.settings);
        sweep.settingsSha256 = sha256Hex(settingsText);
    }
    sweep.options = optionArguments(childValues());  // refuses an input on - first
    for (const std::string& trace : traces) {
        sweep.runs.push_back(std::filesystem::path(trace).filename().string());
        sweep.tracesSha256.push_back(sha256OfFile(trace));
    }
    return sweep;
}

int SimCommand::runSweep() const {
    const SharedValues& options = shared();
    if (m_meetingPath == kStandardStream) {
        throw InputError("ktr sim: a sweep's runs read the meeting from a file: give a file, not -");
    }
    if (!options.traces.empty() && !m_uplinkTracesDir.empty()) {
        throw InputError("ktr sim: --traces and --uplink-traces sweep one side each; give one of them");
    }
    if (!m_linkPoolDir.empty()) {
        throw InputError("ktr sim: --link-pool draws every link of one run; a sweep gives them trace by trace");
    }
    const std::vector<std::string> traces = listTraces(m_uplinkTracesDir.empty() ? options.traces : m_uplinkTracesDir);
    const SweepDescription sweep = describeSweep(traces);
    const Shard shard = m_shard.empty() ? Shard{} : parseShard(m_shard);
    OutputFiles files;
    std::optional<ShardResultsFile> results;
    if (!m_resultsPath.empty()) {
        results.emplace(m_resultsPath, sweep, shard, files);
    }
    const TableFiles tableFiles = openTableFiles(files);
    std::vector<SweepResultsRun> outcomes = results ? results->recorded() : std::vector<SweepResultsRun>{};
    const std::vector<size_t> pending = runsLeft(shardRuns(traces.size(), shard), outcomes);
    const std::vector<ChildRun> runs =
        sweepRuns([this](const std::string& trace) { return childCommand(trace); }, traces, pending);
    runChildren(runs, options.jobs,
                static_cast<Micros>(std::llround(timeLimitSeconds(options, kDefaultRunTimeLimitS) * kMicrosPerSecond)),
                [&](size_t run, const ChildResult& result) {
                    SweepResultsRun outcome = runOutcome(result, pending[run], runs[run]);
                    if (outcome.failed) {
                        outcome.failed->meeting = m_meetingPath;
                        outcome.failed->trace = traces[pending[run]];
                        outcome.failed->seed = sweep.seed;
                    }
                    if (results) {
                        results->append(outcome);
                    }
                    outcomes.push_back(std::move(outcome));
                });
    return writeOutcomes(std::move(outcomes), tableFiles, files, "ktr sim: sweep of " + m_meetingPath);
}

int SimCommand::merge() const {
    MergedSweep merged = mergeSweepResults(m_mergePaths);
    OutputFiles files;
    const TableFiles tableFiles = openTableFiles(files);
    return writeOutcomes(std::move(merged.runs), tableFiles, files, "ktr sim: merged sweep");
}

// The table of the runs that gave a summary, naming those that failed; exit status 1 when any did.
int SimCommand::writeOutcomes(std::vector<SweepResultsRun> runs, const TableFiles& tableFiles, OutputFiles& files,
                              const std::string& title) const {
    const SweepOutcomes outcomes = splitOutcomes(std::move(runs));
    SweepTable table = labelledSweepStatistics(outcomes.summaries);
    table.failed = outcomes.failed;
    writeTable(table, tableFiles, title);
    files.close();
    drawCdfs(title);
    return outcomes.failed.empty() ? 0 : 1;
}

// --summary, --html and the CSV that --plot draws of a sweep, opened before its runs so that a bad path fails
// first.
SimCommand::TableFiles SimCommand::openTableFiles(OutputFiles& files) const {
    const SharedValues& options = shared();
    const std::string cdfCsv = plotCsvPath("", options.plot);
    return TableFiles{options.summary.empty() ? nullptr : &files.open(options.summary),
                      options.html.empty() ? nullptr : &files.open(options.html),
                      cdfCsv.empty() ? nullptr : &files.open(cdfCsv), !files.standardOutputTaken()};
}

// --plot of a sweep: a CDF of every metric over the runs.
void SimCommand::drawCdfs(const std::string& title) const {
    const std::string& png = shared().plot;
    if (!png.empty()) {
        drawPlot(kCdfScript, plotCsvPath("", png), png, title);
    }
}

// The distributions as a table on standard output, and as JSON, as an HTML page and as the CSV of the CDF
// plots where asked.
void SimCommand::writeTable(const SweepTable& table, const TableFiles& files, const std::string& title) const {
    if (files.summary != nullptr) {
        *files.summary << toJsonText(table) << '\n';
    }
    if (files.html != nullptr) {
        writeSweepReport(*files.html, title, table);
    }
    if (files.cdfCsv != nullptr) {
        writeRunValuesCsv(*files.cdfCsv, runValueSeries(table));
    }
    if (files.text) {
        writeSweepTable(std::cout, table);
    }
}

int SimCommand::runOne() const {
    const SharedValues& options = shared();
    Meeting meeting = parseMeeting(readInputFile(m_meetingPath), m_meetingPath);
    if (!options.settings.empty()) {
        applySettings(parseHostSettings(readInputFile(options.settings), options.settings), meeting);
    }
    if (options.durationS > 0) {
        meeting.duration =
            std::min(meeting.duration, static_cast<Micros>(std::llround(options.durationS * kMicrosPerSecond)));
    }
    const std::string downlinkText = options.downlink.empty() ? kDefaultDownlink : options.downlink;
    if (!(m_linkScale > 0)) {
        throw InputError(fmt::format("ktr sim: --link-scale: expected a factor above 0, got {}", m_linkScale));
    }
    const LoadedTrace downlinkTrace = loadTrace(downlinkText, m_linkScale);
    const CapacityTrace& downlink = downlinkTrace.trace;
    const std::optional<LoadedTrace> uplinkTrace =
        options.uplink.empty() ? std::nullopt : std::optional<LoadedTrace>(loadTrace(options.uplink, m_linkScale));
    const CapacityTrace* uplink = uplinkTrace ? &uplinkTrace->trace : nullptr;
    const std::optional<RecordedEstimates> estimates =
        options.estimates.empty() ? std::nullopt
                                  : std::optional<RecordedEstimates>(RecordedEstimates::read(options.estimates));
    if ((m_conference || meeting.conference) && meeting.peers.size() + 1 > kMaxConferenceParticipants) {
        throw InputError(
            fmt::format("{}: {} participants; a conference runs at most {} (each one receives every "
                        "other, so the work grows with the square of their number)",
                        m_meetingPath, meeting.peers.size() + 1, kMaxConferenceParticipants));
    }
    if (!m_linkPoolDir.empty() && !m_conference && !meeting.conference) {
        throw InputError(
            "ktr sim: --link-pool draws every participant's links: it needs a conference "
            "(--conference or the meeting's \"conference\": true)");
    }
    std::deque<LoadedTrace> pool;  // stable addresses as it grows
    if (!m_linkPoolDir.empty()) {
        for (const std::string& path : listTraces(m_linkPoolDir)) {
            pool.push_back(loadTrace(path, m_linkScale));
        }
    }
    const OwnLinks own = m_conference || meeting.conference ? loadOwnLinks(meeting, m_linkScale) : OwnLinks{};
    const SdkLibrary library(libraryPath());

    OutputFiles files;
    WriterGroup writers;
    HtmlReport* html = addFileWriters(filePathsOf(options, ReportChart::Options{false, true}), files, writers);
    RedactionStage redaction(options.redact);
    std::optional<ScenarioWriter> record;
    if (!m_recordPath.empty()) {
        record.emplace(
            files.open(m_recordPath), meeting.name + " (recorded simulation)",
            fmt::format("every call of ktr sim {} over {}, seed {}", m_meetingPath, downlink.label(), seedFor(meeting)),
            Init{meeting.localUid, meeting.localDt}, redaction.redactor());
    }
    std::ostream* summaryFile = options.summary.empty() ? nullptr : &files.open(options.summary);
    const std::string seriesPath = plotCsvPath(m_seriesPath, options.plot);
    std::optional<SeriesCsvWriter> seriesCsv;
    if (!seriesPath.empty()) {
        seriesCsv.emplace(files.open(seriesPath));
    }
    const bool textOut = !files.standardOutputTaken();
    if (m_steps && !options.summaryOnly && textOut) {
        writers.add(std::make_unique<TableWriter>(std::cout, TableWriter::Options{options.log, options.explain}));
    }
    SeriesGroup series;
    series.add(seriesCsv ? &*seriesCsv : nullptr);
    series.add(html);
    TimelineWriter& timeline = redaction.timeline(writers);

    SimulationSetup setup;
    setup.meeting = &meeting;
    setup.downlink = &downlink;
    setup.uplink = uplink;
    setup.seed = seedFor(meeting);
    setup.conference = m_conference;
    for (const LoadedTrace& trace : pool) {
        setup.linkPool.push_back(&trace.trace);
    }
    setup.ownDownlinks = own.downlinks;
    setup.ownUplinks = own.uplinks;
    setup.recordedEstimates = estimates ? &*estimates : nullptr;
    TimelineHeader header;
    header.command = "sim";
    header.source = meeting.name;
    header.provenance = provenanceOf(library, options.settings);
    header.provenance.seed = setup.seed;
    header.provenance.traces.push_back(downlinkTrace.identity);
    if (uplinkTrace) {
        header.provenance.traces.push_back(uplinkTrace->identity);
    }
    for (const std::deque<LoadedTrace>* traces : {&std::as_const(pool), &own.traces}) {
        for (const LoadedTrace& trace : *traces) {
            header.provenance.traces.push_back(trace.identity);
        }
    }
    timeline.begin(header);
    RunSummary summary;
    summary.meeting = meeting.name;
    summary.downlink = downlink.label();
    summary.uplink = uplink ? Known<std::string>(uplink->label()) : std::nullopt;
    summary.estimates = options.estimates.empty()
                            ? std::nullopt
                            : Known<std::string>(std::filesystem::path(options.estimates).filename().string());
    summary.seed = setup.seed;
    summary.durationS = static_cast<double>(meeting.duration) / kMicrosPerSecond;
    Simulation simulation(setup);
    simulation.run(
        library,
        SimulationOutputs{&timeline, record ? &*record : nullptr, redaction.series(series.empty() ? nullptr : &series)},
        summary);
    timeline.end();
    if (record) {
        record->finish();
    }
    summary = redaction.summary(std::move(summary));
    if (summaryFile != nullptr) {
        *summaryFile << toJsonText(summary) << '\n';
    }
    files.close();
    if (!options.plot.empty()) {
        drawPlot(kPlotScript, seriesPath, options.plot, meeting.name + " over " + downlink.label());
    }
    if (options.summaryOnly && textOut) {
        std::cout << toJsonText(summary) << '\n';
    } else if (textOut) {
        printMetrics(std::cout, summary);
        printParticipants(summary);
    }
    return 0;
}

// A conference's meeting: every metric's distribution over the participants, each one's value beside it.
void SimCommand::printParticipants(const RunSummary& summary) const {
    if (!summary.conference) {
        return;
    }
    const SweepTable& table = summary.conference->overParticipants;
    std::cout << "\nthe meeting, over its " << table.runs << " participants (each one's value as the local one's):\n";
    writeSweepTable(std::cout, table, kParticipants);
}

}  // namespace ktr::sim

// What `ktr sim` says of a run, and what a sweep keeps of its runs: the run's summary (its metrics for the
// meeting and per peer), the lines of a results file, and the table of the metrics' distributions.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_SUMMARY_H
#define KTRSDK_TOOLS_COMMON_MODEL_SUMMARY_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FieldCodec.h"

namespace ktr {

// One metric of a run: a value, or, for a metric measured over episodes, how many there were and the
// median and maximum over them. A value the run does not define is null.
struct Metric {
    std::string unit;
    std::string better;  // "higher", "lower" or "none"
    Known<double> value;
    std::optional<uint64_t> episodes;  // set: an episodic metric, with median and max in place of value
    Known<double> median;
    Known<double> max;

    bool operator==(const Metric& other) const;
};

// Metrics by name, in the order they were written.
struct Metrics {
    std::vector<std::pair<std::string, Metric>> entries;

    const Metric* find(const std::string& name) const;
    bool operator==(const Metrics& other) const { return entries == other.entries; }
};

void writeValue(JsonOut& out, const Metric& metric);
void readValue(FieldReader& in, const char* key, Metric& metric, Nulls nulls);
void writeValue(JsonOut& out, const Metrics& metrics);
void readValue(FieldReader& in, const char* key, Metrics& metrics, Nulls nulls);

struct PeerSummary {
    uint64_t uid = 0;
    Metrics metrics;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("uid", &PeerSummary::uid);
        visit("metrics", &PeerSummary::metrics);
    }
};

// A statistic of the runs' values and its confidence interval.
struct Estimate {
    double value = 0;
    double low = 0;
    double high = 0;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("value", &Estimate::value);
        visit("low", &Estimate::low);
        visit("high", &Estimate::high);
    }
};

// The distribution of one metric row over a sweep's runs, and each run's value.
struct MetricDistribution {
    std::string metric;  // "freezes_per_min", "time_to_cut_s.median"
    std::string unit;
    std::string better;
    std::string definition;  // from the metric table
    uint64_t runs = 0;       // the runs that define the metric
    bool fewRuns = false;    // its intervals rest on fewer runs than a sweep should have (SweepStatistics.h)
    Known<Estimate> p5;      // null when no run defines it
    Known<Estimate> median;
    Known<Estimate> p95;
    std::vector<Known<double>> perRun;  // one per run, in run order; null where the run does not define it

    template <class Visit>
    static void fields(Visit& visit) {
        visit("metric", &MetricDistribution::metric);
        visit("unit", &MetricDistribution::unit);
        visit("better", &MetricDistribution::better);
        visit("definition", &MetricDistribution::definition);
        visit("runs", &MetricDistribution::runs);
        visit("few_runs", &MetricDistribution::fewRuns);
        visit("p5", &MetricDistribution::p5);
        visit("median", &MetricDistribution::median);
        visit("p95", &MetricDistribution::p95);
        visit("per_run", &MetricDistribution::perRun);
    }
};

// A failed run as a sweep's table names it.
struct FailedRunRow {
    std::string run;
    uint64_t index = 0;
    std::string reason;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("run", &FailedRunRow::run);
        visit("index", &FailedRunRow::index);
        visit("reason", &FailedRunRow::reason);
    }
};

// What `ktr sim --traces ... --summary` writes: every metric's distribution over the sweep's runs.
struct SweepTable {
    static constexpr int kSchema = 4;

    int schema = kSchema;
    uint64_t runs = 0;                   // the summaries it was computed from
    std::vector<std::string> runLabels;  // their labels (the traces' file names), in run order
    double confidencePct = 95;
    int resamples = 1000;
    uint64_t seed = 1;
    Known<std::string> warning;  // set when some interval rests on few runs
    std::vector<MetricDistribution> metrics;
    std::vector<FailedRunRow> failed;  // the runs that gave no summary, left out of everything above

    template <class Visit>
    static void fields(Visit& visit) {
        visit("schema", &SweepTable::schema);
        visit("runs", &SweepTable::runs);
        visit("run_labels", &SweepTable::runLabels);
        visit("confidence_pct", &SweepTable::confidencePct);
        visit("resamples", &SweepTable::resamples);
        visit("seed", &SweepTable::seed);
        visit("warning", &SweepTable::warning);
        visit("metrics", &SweepTable::metrics);
        visit("failed", &SweepTable::failed);
    }
};

// One participant of a conference: its own metrics, for the meeting and per peer, as it received them.
struct ParticipantSummary {
    uint64_t uid = 0;
    Metrics metrics;
    std::vector<PeerSummary> peers;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("uid", &ParticipantSummary::uid);
        visit("metrics", &ParticipantSummary::metrics);
        visit("peers", &ParticipantSummary::peers);
    }
};

// A conference's meeting: every participant's summary, in uid order, and every metric's distribution over
// the participants (a table laid out as a sweep's, a participant in place of a run).
struct ConferenceSummary {
    std::vector<ParticipantSummary> participants;
    SweepTable overParticipants;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("participants", &ConferenceSummary::participants);
        visit("over_participants", &ConferenceSummary::overParticipants);
    }
};

// A run's summary, as `ktr sim --summary-only` prints it.
struct RunSummary {
    static constexpr int kSchema = 2;

    int schema = kSchema;
    std::string meeting;
    std::string downlink;
    Known<std::string> uplink;     // null: not modelled
    Known<std::string> estimates;  // null: the estimator ran
    uint64_t seed = 0;
    double durationS = 0;
    Metrics metrics;
    std::vector<PeerSummary> peers;
    Known<ConferenceSummary> conference;  // null: one client among idealized peers

    template <class Visit>
    static void fields(Visit& visit) {
        visit("schema", &RunSummary::schema);
        visit("meeting", &RunSummary::meeting);
        visit("downlink", &RunSummary::downlink);
        visit("uplink", &RunSummary::uplink);
        visit("estimates", &RunSummary::estimates);
        visit("seed", &RunSummary::seed);
        visit("duration_s", &RunSummary::durationS);
        visit("metrics", &RunSummary::metrics);
        visit("peers", &RunSummary::peers);
        visit("conference", &RunSummary::conference, Known<ConferenceSummary>{});
    }
};

// Reads a summary from JSON text; source names it in messages. Throws InputError for anything but a
// summary of this schema.
RunSummary parseRunSummary(const std::string& text, const std::string& source);

// The first line of a sweep shard's results file: what makes two shards parts of the same sweep, and what
// a resumed shard must find unchanged.
struct SweepResultsHeader {
    static constexpr int kSchema = 4;

    int schema = kSchema;
    std::string meeting;                    // as the sweep's command line named it
    std::string meetingSha256;              // what the shards are matched by: the same meeting by any path
    std::string librarySha256;              // the build the runs load
    Known<std::string> settingsSha256;      // the --config file's content; null without one
    uint64_t seed = 0;                      // the runs' seed: the command line's, else the meeting's own
    std::vector<std::string> options;       // the options every run shares, as its command line gives them
    std::vector<std::string> runs;          // the labels of all runs of the sweep, in run order
    std::vector<std::string> tracesSha256;  // the content of each run's trace, in run order
    std::string shard;                      // "K/N"

    template <class Visit>
    static void fields(Visit& visit) {
        visit("schema", &SweepResultsHeader::schema);
        visit("meeting", &SweepResultsHeader::meeting);
        visit("meeting_sha256", &SweepResultsHeader::meetingSha256);
        visit("library_sha256", &SweepResultsHeader::librarySha256);
        visit("settings_sha256", &SweepResultsHeader::settingsSha256);
        visit("seed", &SweepResultsHeader::seed);
        visit("options", &SweepResultsHeader::options);
        visit("runs", &SweepResultsHeader::runs);
        visit("traces_sha256", &SweepResultsHeader::tracesSha256);
        visit("shard", &SweepResultsHeader::shard);
    }
};

// A run of a sweep that gave no summary: why, and what reruns it alone.
struct FailedRun {
    std::string reason;     // "killed by signal 11 (Segmentation fault)", "timed out after 600 s", ...
    std::string stderrEnd;  // the last lines it wrote on stderr
    std::string meeting;    // as the sweep's command line named it
    std::string trace;      // the trace it ran over, as the sweep named it
    uint64_t seed = 0;
    std::vector<std::string> command;  // the command it ran

    template <class Visit>
    static void fields(Visit& visit) {
        visit("reason", &FailedRun::reason);
        visit("stderr", &FailedRun::stderrEnd);
        visit("meeting", &FailedRun::meeting);
        visit("trace", &FailedRun::trace);
        visit("seed", &FailedRun::seed);
        visit("command", &FailedRun::command);
    }
};

// Every further line: one run of the shard, with either its summary or its failure.
struct SweepResultsRun {
    std::string run;  // its label
    uint64_t index = 0;
    Known<RunSummary> summary;
    Known<FailedRun> failed;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("run", &SweepResultsRun::run);
        visit("index", &SweepResultsRun::index);
        visit("summary", &SweepResultsRun::summary, Known<RunSummary>{});
        visit("failed", &SweepResultsRun::failed, Known<FailedRun>{});
    }
};

// What `ktr log --summary` writes of a client's log, per peer: the time at each class it was received at
// (ReceivedClasses), from the log's first step to its last.
struct LogPeerSummary {
    uint64_t uid = 0;
    std::map<std::string, double> timeAtResolution;  // "640x480", ...
    std::map<std::string, double> timeWithNothing;   // "not yet joined", "left", "no report", ...
    double timeUnknown = 0;                          // received at a size the log does not show
    int64_t switches = 0;                            // changes from one resolution to another
    double longestAtLowest = 0;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("uid", &LogPeerSummary::uid);
        visit("time_at_resolution", &LogPeerSummary::timeAtResolution);
        visit("time_with_nothing", &LogPeerSummary::timeWithNothing);
        visit("time_unknown", &LogPeerSummary::timeUnknown);
        visit("switches", &LogPeerSummary::switches);
        visit("longest_at_lowest", &LogPeerSummary::longestAtLowest);
    }
};

// How many lines the reader saw, and of which kind.
struct LogLineCounts {
    uint64_t read = 0;
    uint64_t library = 0;
    uint64_t other = 0;
    uint64_t unknownLibrary = 0;
    uint64_t cut = 0;
    uint64_t outsideOperations = 0;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("read", &LogLineCounts::read);
        visit("library", &LogLineCounts::library);
        visit("other", &LogLineCounts::other);
        visit("unknown_library", &LogLineCounts::unknownLibrary);
        visit("cut", &LogLineCounts::cut);
        visit("outside_operations", &LogLineCounts::outsideOperations);
    }
};

struct LogSummaryReport {
    std::string timeUnit;  // "s", or "steps" for a log without time
    Known<double> firstTime;
    double lastTime = 0;
    std::map<std::string, uint64_t> operations;         // by event
    std::map<std::string, uint64_t> warningsAndErrors;  // "W format-id" / "E format-id"
    std::vector<LogPeerSummary> peers;
    LogLineCounts lines;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("time_unit", &LogSummaryReport::timeUnit);
        visit("first_time", &LogSummaryReport::firstTime);
        visit("last_time", &LogSummaryReport::lastTime);
        visit("operations", &LogSummaryReport::operations);
        visit("warnings_and_errors", &LogSummaryReport::warningsAndErrors);
        visit("peers", &LogSummaryReport::peers);
        visit("lines", &LogSummaryReport::lines);
    }
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_SUMMARY_H

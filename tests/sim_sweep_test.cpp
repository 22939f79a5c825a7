// Sweeps of `ktr sim`: the pool of child processes, the distributions with bootstrap intervals, shards,
// results files and their merge. fake_sim_run (tests/support) stands in for the single run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ChildPool.h"
#include "InputFile.h"
#include "MetricTable.h"
#include "RunMetrics.h"
#include "Sweep.h"
#include "SweepResults.h"
#include "SweepStatistics.h"
#include "support/TestFiles.h"

namespace ktr::sim {
namespace {

// Stands for a meeting's content hash; the merge compares it, it does not compute it.
constexpr const char* kMeetingHash = "5e3c";

// A sweep of runs t0, t1, ... whose hashes stand for contents as kMeetingHash does.
SweepDescription sweepOf(size_t runs) {
    SweepDescription sweep;
    sweep.meeting = "meeting.json";
    sweep.meetingSha256 = kMeetingHash;
    sweep.librarySha256 = "11b0";
    sweep.seed = 1;
    sweep.options = {"--seed", "1"};
    for (size_t i = 0; i < runs; ++i) {
        sweep.runs.push_back("t" + std::to_string(i));
        sweep.tracesSha256.push_back("7a" + std::to_string(i));
    }
    return sweep;
}

using ktr::test_support::inputErrorOf;
using ktr::test_support::makeTempDir;
using ktr::test_support::writeFile;

using Json = nlohmann::ordered_json;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kFakeRun = KTR_FAKE_SIM_RUN;
constexpr Micros kGenerousLimit = 60 * kMicrosPerSecond;

// True when this process has no child left, neither running nor a zombie.
bool noChildLeft() {
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

ChildRun fakeRun(const std::string& label, std::vector<std::string> args) {
    args.insert(args.begin(), kFakeRun);
    return {label, args};
}

// --- the pool --------------------------------------------------------------------------------------

TEST(ChildPool, ReturnsResultsInRunOrderWithMoreRunsThanWorkers) {
    // Early runs sleep longest, so they finish after later ones.
    const std::vector<int> sleepsMs = {300, 20, 200, 10, 100, 0};
    std::vector<ChildRun> runs;
    for (size_t i = 0; i < sleepsMs.size(); ++i) {
        runs.push_back(fakeRun("run-" + std::to_string(i), {"--sleep-ms", std::to_string(sleepsMs[i]), "--echo",
                                                            "out-" + std::to_string(i), "--times"}));
    }
    const int workers = 2;
    const std::vector<ChildResult> results = runChildren(runs, workers, kGenerousLimit);

    ASSERT_EQ(results.size(), runs.size());
    std::vector<std::pair<long long, long long>> spans;
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].label, runs[i].label);
        EXPECT_TRUE(results[i].succeeded()) << results[i].label << ": " << results[i].failure();
        std::istringstream out(results[i].out);
        std::string echoed;
        long long start = 0;
        long long end = 0;
        out >> echoed >> start >> end;
        EXPECT_EQ(echoed, "out-" + std::to_string(i));
        spans.emplace_back(start, end);
    }
    EXPECT_LT(spans[1].second, spans[0].second) << "run 1 should have finished before run 0";
    size_t mostAtOnce = 0;
    for (const auto& span : spans) {
        size_t running = 0;
        for (const auto& other : spans) {
            running += other.first <= span.first && span.first < other.second ? 1 : 0;
        }
        mostAtOnce = std::max(mostAtOnce, running);
    }
    EXPECT_EQ(mostAtOnce, static_cast<size_t>(workers));
    EXPECT_TRUE(noChildLeft());
}

struct FailureCase {
    std::string name;
    std::vector<std::string> argv;  // of the failing run
    Micros timeLimit;
    int exitStatus;
    int signal;
    bool timedOut;
    std::string failure;
    std::string errTail;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class ChildPoolFailure : public ::testing::TestWithParam<FailureCase> {};

// The failing run comes first; the others run on to their end, each reported as it ends.
TEST_P(ChildPoolFailure, ReportsTheRunAndTheOthersRunOn) {
    const FailureCase& c = GetParam();
    const std::vector<ChildRun> runs = {{"bad", c.argv},
                                        fakeRun("running", {"--sleep-ms", "200", "--echo", "slept"}),
                                        fakeRun("waiting", {"--echo", "ran"})};
    std::vector<size_t> ended;
    const std::vector<ChildResult> results =
        runChildren(runs, 2, c.timeLimit, [&](size_t index, const ChildResult& result) {
            EXPECT_EQ(result.label, runs[index].label);
            ended.push_back(index);
        });

    ASSERT_EQ(results.size(), 3u);
    const ChildResult& bad = results[0];
    EXPECT_EQ(bad.label, "bad");
    EXPECT_FALSE(bad.succeeded());
    EXPECT_EQ(bad.exitStatus, c.exitStatus);
    EXPECT_EQ(bad.signal, c.signal);
    EXPECT_EQ(bad.timedOut, c.timedOut);
    EXPECT_EQ(bad.failure(), c.failure);
    EXPECT_EQ(bad.errTail, c.errTail);

    EXPECT_TRUE(results[1].succeeded()) << results[1].failure();
    EXPECT_EQ(results[1].out, "slept\n");
    EXPECT_TRUE(results[2].succeeded()) << results[2].failure();
    EXPECT_EQ(results[2].out, "ran\n");
    std::sort(ended.begin(), ended.end());
    EXPECT_EQ(ended, (std::vector<size_t>{0, 1, 2}));
    EXPECT_TRUE(noChildLeft());
}

// A callback that throws (a results file that cannot be written) leaves no child behind.
TEST(ChildPool, ACallbackThatThrowsLeavesNoChild) {
    const std::vector<ChildRun> runs = {fakeRun("quick", {"--echo", "x"}), fakeRun("slow", {"--sleep-ms", "30000"})};
    EXPECT_THROW(runChildren(runs, 2, kGenerousLimit,
                             [](size_t, const ChildResult&) { throw InputError("results: writing failed"); }),
                 InputError);
    EXPECT_TRUE(noChildLeft());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ChildPoolFailure,
    ::testing::Values(
        FailureCase{"exits_non_zero",
                    {kFakeRun, "--exit", "3"},
                    kGenerousLimit,
                    3,
                    0,
                    false,
                    "exit status 3",
                    "fake run: failing on request\n"},
        FailureCase{
            "crashes", {kFakeRun, "--crash"}, kGenerousLimit, -1, SIGABRT, false, "killed by signal 6 (Aborted)", ""},
        FailureCase{"hangs",
                    {kFakeRun, "--sleep-ms", "60000"},
                    kMicrosPerSecond / 2,
                    -1,
                    SIGKILL,
                    true,
                    "timed out after 0.5 s",
                    ""},
        FailureCase{"cannot_start",
                    {"/nonexistent/ktr", "sim"},
                    kGenerousLimit,
                    127,
                    0,
                    false,
                    "exit status 127",
                    "cannot start /nonexistent/ktr: No such file or directory"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST(ChildPool, ReadsLargeOutputOnBothPipesWithoutBlocking) {
    const size_t bytes = 4u << 20;  // far more than a pipe holds
    const std::vector<ChildRun> runs = {fakeRun("a", {"--flood", std::to_string(bytes)}),
                                        fakeRun("b", {"--flood", std::to_string(bytes)})};
    const std::vector<ChildResult> results = runChildren(runs, 2, kGenerousLimit);
    for (const ChildResult& result : results) {
        EXPECT_TRUE(result.succeeded()) << result.label << ": " << result.failure();
        EXPECT_EQ(result.out, std::string(bytes, 'o')) << result.label;
        const std::string end = "flood end\n";
        EXPECT_EQ(result.errTail, std::string(kChildErrTailBytes - end.size(), 'e') + end) << result.label;
    }
    EXPECT_TRUE(noChildLeft());
}

TEST(ChildPool, KillsARunWhoseOutputPassesTheCap) {
    const std::vector<ChildRun> runs = {fakeRun("flood", {"--flood", std::to_string(kMaxChildOutBytes + 1)})};
    const std::vector<ChildResult> results = runChildren(runs, 1, kGenerousLimit);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].outTooLarge);
    EXPECT_EQ(results[0].failure(), "wrote more than 8 MiB on stdout");
    EXPECT_LE(results[0].out.size(), kMaxChildOutBytes);
    EXPECT_TRUE(noChildLeft());
}

// --- statistics ------------------------------------------------------------------------------------

struct PercentileCase {
    std::vector<double> sorted;
    double percent;
    double expected;
};

class Percentiles : public ::testing::TestWithParam<PercentileCase> {};

TEST_P(Percentiles, InterpolateBetweenClosestRanks) {
    const PercentileCase& c = GetParam();
    EXPECT_DOUBLE_EQ(percentile(c.sorted, c.percent), c.expected)
        << "p" << c.percent << " of " << ::testing::PrintToString(c.sorted);
}

// Rank (n - 1) * p / 100: for 1..5, p5 is rank 0.2, between 1 and 2; p95 rank 3.8, between 4 and 5.
INSTANTIATE_TEST_SUITE_P(
    HandWorked, Percentiles,
    ::testing::Values(PercentileCase{{1, 2, 3, 4, 5}, 5, 1.2}, PercentileCase{{1, 2, 3, 4, 5}, 50, 3},
                      PercentileCase{{1, 2, 3, 4, 5}, 95, 4.8}, PercentileCase{{1, 2, 3, 4, 5}, 0, 1},
                      PercentileCase{{1, 2, 3, 4, 5}, 100, 5}, PercentileCase{{1, 2, 3, 4, 5}, 25, 2},
                      PercentileCase{{0, 10, 30, 45, 55, 80, 100}, 5, 3},
                      PercentileCase{{0, 10, 30, 45, 55, 80, 100}, 95, 94}, PercentileCase{{1, 2}, 50, 1.5},
                      PercentileCase{{7}, 5, 7}, PercentileCase{{7}, 95, 7}));

Json metricWithValue(const Json& value, const std::string& unit = "%", const std::string& better = "higher") {
    return {{"value", value}, {"unit", unit}, {"better", better}};
}

Json summaryJson(const Json& metrics) {
    return {{"schema", 2}, {"meeting", "m"},   {"downlink", "d"},    {"uplink", nullptr},     {"estimates", nullptr},
            {"seed", 1},   {"duration_s", 60}, {"metrics", metrics}, {"peers", Json::array()}};
}

RunSummary summaryOf(const Json& metrics) {
    return parseRunSummary(summaryJson(metrics).dump(), "summary");
}

std::vector<RunSummary> summariesOfValues(const std::vector<double>& values) {
    std::vector<RunSummary> summaries;
    for (double value : values) {
        summaries.push_back(summaryOf({{"time_upper_pct", metricWithValue(value)}}));
    }
    return summaries;
}

// A row's three statistics; a row without them fails the test.
struct Spread {
    Estimate p5;
    Estimate median;
    Estimate p95;
};

Spread spreadOf(const MetricDistribution& row) {
    EXPECT_TRUE(row.p5 && row.median && row.p95) << row.metric;
    return {row.p5.value_or(Estimate{}), row.median.value_or(Estimate{}), row.p95.value_or(Estimate{})};
}

void expectEstimate(const Estimate& estimate, double value, double low, double high, const std::string& what) {
    EXPECT_DOUBLE_EQ(estimate.value, value) << what;
    EXPECT_DOUBLE_EQ(estimate.low, low) << what;
    EXPECT_DOUBLE_EQ(estimate.high, high) << what;
}

// Resamples of {0, 1} (size 2) are {0, 0}, {0, 1} and {1, 1} with chances 1/4, 1/2, 1/4: among 1000 of
// them both extremes occur far more than the 25 that the 2.5th and 97.5th percentiles skip, so every
// interval spans [0, 1].
TEST(Bootstrap, TwoValuesGiveIntervalsSpanningBoth) {
    const SweepTable table = sweepStatistics(summariesOfValues({1, 0}));
    ASSERT_EQ(table.metrics.size(), 1u);
    const Spread d = spreadOf(table.metrics[0]);
    expectEstimate(d.p5, 0.05, 0, 1, "p5");
    expectEstimate(d.median, 0.5, 0, 1, "median");
    expectEstimate(d.p95, 0.95, 0, 1, "p95");
}

// For 1..5 a resample's median is one of the values, 1 when three of five draws are 1: chance 0.058,
// about 58 of 1000 resamples, so the median's interval is [1, 5]. A resample's p5 is 1 when two draws
// are 1 (chance 0.26), so the p5's interval starts at 1; the p95's ends at 5 alike.
TEST(Bootstrap, FiveValuesGiveHandWorkedIntervals) {
    const SweepTable table = sweepStatistics(summariesOfValues({3, 1, 5, 2, 4}));
    const Spread d = spreadOf(table.metrics.at(0));
    expectEstimate(d.median, 3, 1, 5, "median");
    EXPECT_DOUBLE_EQ(d.p5.value, 1.2);
    EXPECT_DOUBLE_EQ(d.p5.low, 1);
    EXPECT_GT(d.p5.high, d.p5.value);
    EXPECT_DOUBLE_EQ(d.p95.value, 4.8);
    EXPECT_DOUBLE_EQ(d.p95.high, 5);
    EXPECT_LT(d.p95.low, d.p95.value);
}

TEST(Bootstrap, OneValueHasNoSpread) {
    const Spread d = spreadOf(sweepStatistics(summariesOfValues({4})).metrics.at(0));
    expectEstimate(d.p5, 4, 4, 4, "p5");
    expectEstimate(d.median, 4, 4, 4, "median");
    expectEstimate(d.p95, 4, 4, 4, "p95");
}

// The median of 100 distinct values lies between the 40th and the 61st of them with about 95 %
// confidence (binomial ranks), so the interval of 1..100 is near [40, 61]; resampling without
// replacement would give [50.5, 50.5].
TEST(Bootstrap, MedianIntervalOfAHundredValuesFollowsTheBinomialRanks) {
    std::vector<double> values;
    for (int value = 100; value >= 1; --value) {
        values.push_back(value);
    }
    const Spread d = spreadOf(sweepStatistics(summariesOfValues(values)).metrics.at(0));
    EXPECT_DOUBLE_EQ(d.median.value, 50.5);
    EXPECT_GE(d.median.low, 36);
    EXPECT_LE(d.median.low, 45);
    EXPECT_GE(d.median.high, 56);
    EXPECT_LE(d.median.high, 65);
}

TEST(Bootstrap, SameSummariesGiveTheSameTableAndTheSeedMatters) {
    std::vector<double> values;
    for (int i = 0; i < 40; ++i) {
        values.push_back((i * 37) % 101);
    }
    const std::vector<RunSummary> summaries = summariesOfValues(values);
    auto text = [&](const BootstrapSettings& settings) {
        std::ostringstream out;
        const SweepTable table = sweepStatistics(summaries, settings);
        writeSweepTable(out, table);
        return out.str() + toJsonText(table);
    };
    EXPECT_EQ(text({}), text({}));
    EXPECT_NE(text({}), text({kDefaultResamples, kDefaultBootstrapSeed + 1}));
}

// Two runs; every metric has one value in every run that defines it, so every interval is that value.
std::vector<RunSummary> twoRunsOfEveryKind() {
    const Json episodes = {{"median", 1.5}, {"max", 3}, {"episodes", 1}, {"unit", "s"}, {"better", "lower"}};
    return {summaryOf({{"time_upper_pct", metricWithValue(93.25)},
                       {"freezes_per_min", metricWithValue(nullptr, "1/min", "lower")},
                       {"time_to_cut_s", episodes},
                       {"jain_fairness", metricWithValue(0.5, "", "higher")}}),
            summaryOf({{"time_upper_pct", metricWithValue(93.25)},
                       {"freezes_per_min", metricWithValue(nullptr, "1/min", "lower")},
                       {"time_to_cut_s", episodes},
                       {"jain_fairness", metricWithValue(nullptr, "", "higher")}})};
}

TEST(SweepTable, TextHasARowPerMetricInTheSummaryOrderThenTheWarningAndARowPerRun) {
    std::ostringstream out;
    writeSweepTable(out, sweepStatistics(twoRunsOfEveryKind()));
    EXPECT_EQ(
        out.str(),
        "2 runs; 95 % confidence intervals: percentile bootstrap, 1000 resamples, seed 1\n"
        "metric                unit   better  runs  p5 [lo, hi]           median [lo, hi]       p95 [lo, hi]\n"
        "time_upper_pct        %      higher  2/2   93.25 [93.25, 93.25]  93.25 [93.25, 93.25]  93.25 [93.25, 93.25]\n"
        "freezes_per_min       1/min  lower   0/2   -                     -                     -\n"
        "time_to_cut_s.median  s      lower   2/2   1.5 [1.5, 1.5]        1.5 [1.5, 1.5]        1.5 [1.5, 1.5]\n"
        "time_to_cut_s.max     s      lower   2/2   3 [3, 3]              3 [3, 3]              3 [3, 3]\n"
        "jain_fairness         -      higher  1/2   0.5 [0.5, 0.5]        0.5 [0.5, 0.5]        0.5 [0.5, 0.5]\n"
        "warning: 4 of 4 intervals rest on fewer than 10 runs (the fewest on 1): intervals from so few are rough\n"
        "\n"
        "per run:\n"
        "run  time_upper_pct  freezes_per_min  time_to_cut_s.median  time_to_cut_s.max  jain_fairness\n"
        "0    93.25           -                1.5                   3                  0.5\n"
        "1    93.25           -                1.5                   3                  -\n");
}

TEST(SweepTable, JsonCarriesEveryRowWithNullForUndefinedMetrics) {
    const Json table = Json::parse(toJsonText(sweepStatistics(twoRunsOfEveryKind())));
    EXPECT_EQ(table.at("schema"), 4);
    EXPECT_EQ(table.at("runs"), 2);
    EXPECT_EQ(table.at("resamples"), 1000);
    EXPECT_EQ(table.at("confidence_pct"), 95);
    EXPECT_EQ(
        table.at("warning"),
        "warning: 4 of 4 intervals rest on fewer than 10 runs (the fewest on 1): intervals from so few are rough");
    ASSERT_EQ(table.at("metrics").size(), 5u);
    const Json half = {{"value", 0.5}, {"low", 0.5}, {"high", 0.5}};
    EXPECT_EQ(table.at("metrics").at(4), (Json{{"metric", "jain_fairness"},
                                               {"unit", ""},
                                               {"better", "higher"},
                                               {"definition", findMetric("jain_fairness")->definition},
                                               {"runs", 1},
                                               {"few_runs", true},
                                               {"p5", half},
                                               {"median", half},
                                               {"p95", half},
                                               {"per_run", Json::array({0.5, nullptr})}}));
    EXPECT_EQ(table.at("metrics").at(1).at("metric"), "freezes_per_min");
    EXPECT_EQ(table.at("metrics").at(1).at("runs"), 0);
    EXPECT_EQ(table.at("metrics").at(1).at("few_runs"), false) << "no run, no interval";
    EXPECT_TRUE(table.at("metrics").at(1).at("median").is_null());
    EXPECT_EQ(table.at("metrics").at(3).at("metric"), "time_to_cut_s.max");
    EXPECT_EQ(table.at("metrics").at(3).at("per_run"), Json::array({3, 3}));
}

// An interval over 9 runs is rough, one over 10 is not.
TEST(SweepTable, WarnsOfIntervalsOnFewerThanTenRuns) {
    const SweepTable nine = sweepStatistics(summariesOfValues({1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(nine.metrics.at(0).fewRuns);
    EXPECT_EQ(
        nine.warning,
        "warning: 1 of 1 intervals rest on fewer than 10 runs (the fewest on 9): intervals from so few are rough");
    const SweepTable ten = sweepStatistics(summariesOfValues({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_FALSE(ten.metrics.at(0).fewRuns);
    EXPECT_FALSE(ten.warning);
    std::ostringstream out;
    writeSweepTable(out, ten);
    EXPECT_THAT(out.str(), ::testing::Not(HasSubstr("warning")));
}

TEST(SweepTable, MetricsThatOnlyLaterRunsHaveComeLast) {
    const std::vector<RunSummary> summaries = {
        summaryOf({{"time_lower_pct", metricWithValue(1, "%", "lower")}}),
        summaryOf({{"time_none_pct", metricWithValue(2, "%", "lower")}, {"time_upper_pct", metricWithValue(3)}})};
    const SweepTable table = sweepStatistics(summaries);
    ASSERT_EQ(table.metrics.size(), 3u);
    EXPECT_EQ(table.metrics[0].metric, "time_lower_pct");
    EXPECT_EQ(table.metrics[1].metric, "time_none_pct");
    EXPECT_EQ(table.metrics[2].metric, "time_upper_pct");
    EXPECT_EQ(table.metrics[0].runs, 1u);
    EXPECT_EQ(table.metrics[2].runs, 1u);
    EXPECT_EQ(table.metrics[0].perRun, (std::vector<Known<double>>{1.0, std::nullopt}));
    EXPECT_EQ(table.metrics[2].perRun, (std::vector<Known<double>>{std::nullopt, 3.0}));
}

struct BadSummaryCase {
    std::string name;
    Json summary;
    std::string message;
};

void PrintTo(const BadSummaryCase& c, std::ostream* os) {
    *os << c.name;
}

class BadSummaries : public ::testing::TestWithParam<BadSummaryCase> {};

TEST_P(BadSummaries, AreRefusedNamingTheField) {
    EXPECT_EQ(inputErrorOf([&] { parseRunSummary(GetParam().summary.dump(), "run.json"); }), GetParam().message);
}

Json withField(Json summary, const std::string& name, const Json& value) {
    summary[name] = value;
    return summary;
}

INSTANTIATE_TEST_SUITE_P(
    Summaries, BadSummaries,
    ::testing::Values(
        BadSummaryCase{"not_an_object", Json::array({1}), "run.json: expected an object, got array"},
        BadSummaryCase{"no_schema", Json{{"metrics", Json::object()}}, "run.json: field \"schema\": missing"},
        BadSummaryCase{"other_schema", withField(summaryJson(Json::object()), "schema", 1),
                       "run.json: field \"schema\": a summary of schema 1; this ktr reads schema 2"},
        BadSummaryCase{"no_metrics", withField(summaryJson(Json::object()), "metrics", nullptr),
                       "run.json: field \"metrics\": expected an object, got null"},
        BadSummaryCase{"metrics_not_an_object", summaryJson(Json::array()),
                       "run.json: field \"metrics\": expected an object, got array"},
        BadSummaryCase{"value_not_a_number", summaryJson({{"m", metricWithValue("high")}}),
                       "run.json: field \"metrics.m.value\": expected a number, got string \"high\""},
        BadSummaryCase{"unknown_direction", summaryJson({{"m", metricWithValue(1, "%", "up")}}),
                       "run.json: field \"metrics.m.better\": expected \"higher\", \"lower\" or \"none\", got \"up\""},
        BadSummaryCase{"no_unit", summaryJson({{"m", Json{{"value", 1}, {"better", "none"}}}}),
                       "run.json: field \"metrics.m.unit\": missing"},
        BadSummaryCase{"neither_value_nor_episodes", summaryJson({{"m", Json{{"unit", "s"}, {"better", "none"}}}}),
                       "run.json: field \"metrics.m\": has neither \"value\" nor \"median\", \"max\" and "
                       "\"episodes\""},
        BadSummaryCase{"an_unknown_field", withField(summaryJson(Json::object()), "extra", 1),
                       "run.json: field \"extra\": unknown field; valid fields: conference, downlink, duration_s, "
                       "estimates, meeting, metrics, peers, schema, seed, uplink"}),
    [](const ::testing::TestParamInfo<BadSummaryCase>& info) { return info.param.name; });

// Units, directions and shapes come from the metric table: a summary that says otherwise, or names a metric
// the table lacks, is not one this ktr wrote.
TEST(BadSummaries, MetricsTheTableDoesNotDescribeSoAreRefused) {
    EXPECT_EQ(inputErrorOf([&] {
                  sweepStatistics({summaryOf({{"m", metricWithValue(1)}})});
              }),
              "run 0: field \"metrics\": \"m\" is not a metric of this ktr");
    EXPECT_EQ(inputErrorOf([&] {
                  sweepStatistics({summaryOf({{"time_upper_pct", metricWithValue(1)}}),
                                   summaryOf({{"time_upper_pct", metricWithValue(1, "s")}})});
              }),
              "run 1: field \"metrics\": \"time_upper_pct\": expected unit \"%\", better \"higher\" and a value, "
              "got \"s\", \"higher\" and a value");
    EXPECT_EQ(inputErrorOf([&] {
                  sweepStatistics({summaryOf({{"time_to_cut_s", metricWithValue(1, "s", "lower")}})});
              }),
              "run 0: field \"metrics\": \"time_to_cut_s\": expected unit \"s\", better \"lower\" and episodes, got "
              "\"s\", \"lower\" and a value");
}

TEST(BadSettings, ResamplesOutOfRangeAreRefused) {
    EXPECT_EQ(inputErrorOf([] { sweepStatistics({}, {0, 1}); }), "bootstrap resamples: expected 1 to 100000, got 0");
    EXPECT_EQ(inputErrorOf([] {
                  sweepStatistics({}, {kMaxResamples + 1, 1});
              }),
              "bootstrap resamples: expected 1 to 100000, got 100001");
}

// --- traces and shards -----------------------------------------------------------------------------

TEST(ListTraces, ListsVisibleRegularFilesByName) {
    const std::string dir = makeTempDir("sim_sweep");
    for (const char* name : {"b.log", "a.log", "C.log", ".hidden"}) {
        writeFile(dir + "/" + name, "1\n");
    }
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0700), 0);
    writeFile(dir + "/sub/inside.log", "1\n");
    ASSERT_EQ(symlink((dir + "/a.log").c_str(), (dir + "/link.log").c_str()), 0);
    EXPECT_EQ(listTraces(dir),
              (std::vector<std::string>{dir + "/C.log", dir + "/a.log", dir + "/b.log", dir + "/link.log"}));
}

TEST(ListTraces, RefusesAMissingFileOrEmptyFolder) {
    const std::string dir = makeTempDir("sim_sweep");
    EXPECT_EQ(inputErrorOf([&] { listTraces(dir + "/none"); }), dir + "/none: no such folder");
    writeFile(dir + "/file", "1\n");
    EXPECT_EQ(inputErrorOf([&] { listTraces(dir + "/file"); }), dir + "/file: not a folder");
    ASSERT_EQ(mkdir((dir + "/empty").c_str(), 0700), 0);
    writeFile(dir + "/empty/.hidden", "1\n");
    EXPECT_EQ(inputErrorOf([&] { listTraces(dir + "/empty"); }),
              dir + "/empty: holds no trace files (hidden files and folders are left out)");
}

TEST(Shards, ParseKOfN) {
    EXPECT_EQ(parseShard("1/3"), (Shard{1, 3}));
    EXPECT_EQ(parseShard("3/3"), (Shard{3, 3}));
    EXPECT_EQ(parseShard("12/40"), (Shard{12, 40}));
    for (const std::string bad : {"0/3", "4/3", "3", "a/3", "1/0", "-1/3", "+1/3", "1/3/4", " 1/3", "1/3 ", "", "/",
                                  "1/", "99999999999/99999999999", "1/1000001"}) {
        EXPECT_EQ(inputErrorOf([&] { parseShard(bad); }),
                  "--shard \"" + bad + "\": expected K/N with 1 <= K <= N <= 1000000, e.g. 2/8");
    }
}

TEST(Shards, SplitRunsRoundRobin) {
    EXPECT_EQ(shardRuns(7, {1, 3}), (std::vector<size_t>{0, 3, 6}));
    EXPECT_EQ(shardRuns(7, {2, 3}), (std::vector<size_t>{1, 4}));
    EXPECT_EQ(shardRuns(7, {3, 3}), (std::vector<size_t>{2, 5}));
    EXPECT_EQ(shardRuns(7, {1, 1}), (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(shardRuns(2, {3, 3}), (std::vector<size_t>{}));
}

// --- a whole sweep, shards and merge ---------------------------------------------------------------

class SweepRun : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = makeTempDir("sim_sweep");
        ASSERT_EQ(mkdir((m_dir + "/traces").c_str(), 0700), 0);
        for (size_t i = 0; i < m_values.size(); ++i) {
            writeFile(m_dir + "/traces/t" + std::to_string(i), m_values[i] + "\n");
        }
        m_traces = listTraces(m_dir + "/traces");
        m_sweep = sweepOf(m_values.size());
    }

    std::vector<SweepResultsRun> outcomes(const std::vector<size_t>& indices) const {
        const auto commandFor = [this](const std::string& trace) {
            std::vector<std::string> command = m_command;
            command.insert(command.end(), {"--downlink", trace});
            return command;
        };
        const std::vector<ChildRun> runs = sweepRuns(commandFor, m_traces, indices);
        const std::vector<ChildResult> results = runChildren(runs, 2, kGenerousLimit);
        std::vector<SweepResultsRun> outcomes;
        for (size_t i = 0; i < results.size(); ++i) {
            outcomes.push_back(runOutcome(results[i], indices[i], runs[i]));
        }
        return outcomes;
    }

    std::vector<LabelledSummary> run(const std::vector<size_t>& indices) const {
        SweepOutcomes split = splitOutcomes(outcomes(indices));
        EXPECT_TRUE(split.failed.empty());
        return split.summaries;
    }

    static std::string tableOf(const std::vector<LabelledSummary>& runs) {
        std::ostringstream out;
        const SweepTable table = sweepStatistics(summariesOf(runs));
        writeSweepTable(out, table);
        return out.str() + toJsonText(table);
    }

    std::string m_dir;
    const std::vector<std::string> m_values = {"0", "10", "55", "30", "80", "100", "45"};
    const std::vector<std::string> m_command = {kFakeRun, "sim", "meeting.json", "--summary-only"};
    std::vector<std::string> m_traces;
    SweepDescription m_sweep;
};

TEST_F(SweepRun, WholeSweepGivesTheDistributionOfTheTraces) {
    const std::vector<LabelledSummary> runs = run(shardRuns(7, {1, 1}));
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_EQ(runs[4].label, "t4");
    EXPECT_EQ(runs[4].index, 4u);
    const SweepTable table = sweepStatistics(summariesOf(runs));
    ASSERT_EQ(table.metrics.size(), 5u);
    // time_upper_pct is the traces' numbers: sorted 0 10 30 45 55 80 100.
    const MetricDistribution& upper = table.metrics[0];
    EXPECT_EQ(upper.metric, "time_upper_pct");
    EXPECT_EQ(upper.runs, 7u);
    EXPECT_DOUBLE_EQ(spreadOf(upper).p5.value, 3);
    EXPECT_DOUBLE_EQ(spreadOf(upper).median.value, 45);
    EXPECT_DOUBLE_EQ(spreadOf(upper).p95.value, 94);
    // Null for 0 freezes; time to cut only where x >= 50 (55, 80, 100: medians 2.75, 4, 5).
    EXPECT_EQ(table.metrics[1].metric, "freezes_per_min");
    EXPECT_EQ(table.metrics[1].runs, 6u);
    EXPECT_EQ(table.metrics[2].metric, "time_to_cut_s.median");
    EXPECT_EQ(table.metrics[2].runs, 3u);
    EXPECT_DOUBLE_EQ(spreadOf(table.metrics[2]).median.value, 4);
    EXPECT_EQ(table.metrics[3].metric, "time_to_cut_s.max");
    EXPECT_EQ(table.metrics[4].metric, "jain_fairness");
    EXPECT_EQ(table.metrics[4].runs, 0u);
    EXPECT_TRUE(noChildLeft());
}

// Every run's row holds that run's own summary values, under the run's label; 7 runs warn.
TEST_F(SweepRun, PerRunRowsAreTheRunsOwnSummariesAndFewRunsWarn) {
    const std::vector<LabelledSummary> runs = run(shardRuns(7, {1, 1}));
    const SweepTable table = labelledSweepStatistics(runs);
    EXPECT_EQ(table.runLabels, (std::vector<std::string>{"t0", "t1", "t2", "t3", "t4", "t5", "t6"}));
    for (const MetricDistribution& row : table.metrics) {
        ASSERT_EQ(row.perRun.size(), runs.size()) << row.metric;
        for (size_t i = 0; i < runs.size(); ++i) {
            Known<double> own;
            for (const MetricValue& value : runMetricRows(runs[i].summary)) {
                own = value.name == row.metric ? value.value : own;
            }
            EXPECT_EQ(row.perRun[i], own) << row.metric << " of run " << i;
        }
    }
    // The fake run's time_upper_pct is the trace's number.
    EXPECT_EQ(table.metrics.at(0).perRun, (std::vector<Known<double>>{0.0, 10.0, 55.0, 30.0, 80.0, 100.0, 45.0}));
    EXPECT_EQ(
        table.warning,
        "warning: 4 of 4 intervals rest on fewer than 10 runs (the fewest on 3): intervals from so few are rough");
    std::ostringstream out;
    writeSweepTable(out, table);
    EXPECT_THAT(out.str(), HasSubstr("\nt4   80  "));
}

TEST_F(SweepRun, MergedShardsGiveTheTableOfTheWholeSweep) {
    const std::string whole = tableOf(run(shardRuns(7, {1, 1})));
    std::vector<std::string> files;
    for (int k = 1; k <= 3; ++k) {
        const Shard shard{k, 3};
        files.push_back(m_dir + "/shard-" + std::to_string(k) + ".jsonl");
        std::ofstream out(files.back());
        writeSweepResults(out, m_sweep, shard, outcomes(shardRuns(7, shard)));
    }
    const MergedSweep merged = mergeSweepResults({files[2], files[0], files[1]});
    EXPECT_EQ(merged.sweep, m_sweep);
    ASSERT_EQ(merged.runs.size(), 7u);
    for (size_t i = 0; i < merged.runs.size(); ++i) {
        EXPECT_EQ(merged.runs[i].index, i);
        EXPECT_EQ(merged.runs[i].run, "t" + std::to_string(i));
    }
    EXPECT_EQ(tableOf(splitOutcomes(merged.runs).summaries), whole);
}

// A failed run is kept with its reason, the end of its stderr and its command; the others are all there.
TEST_F(SweepRun, FailedRunsAreRecordedBesideTheOthers) {
    const std::vector<ChildRun> runs = {fakeRun("t0", {"--downlink", m_traces[0]}), fakeRun("t1", {"--exit", "2"}),
                                        fakeRun("t2", {"--echo", "hello"}), fakeRun("t3", {"--crash"}),
                                        fakeRun("t4", {"--echo", summaryJson(Json::array()).dump()})};
    const std::vector<ChildResult> results = runChildren(runs, 2, kGenerousLimit);
    std::vector<SweepResultsRun> outcomes;
    for (size_t i = 0; i < results.size(); ++i) {
        outcomes.push_back(runOutcome(results[i], i, runs[i]));
    }
    ASSERT_TRUE(outcomes[0].summary);
    EXPECT_FALSE(outcomes[0].failed);
    const std::vector<std::string> reasons = {"", "exit status 2",
                                              "its summary: not one JSON object: ", "killed by signal 6 (Aborted)",
                                              "its summary: field \"metrics\": expected an object, got array"};
    for (size_t i = 1; i < outcomes.size(); ++i) {
        ASSERT_TRUE(outcomes[i].failed) << i;
        EXPECT_FALSE(outcomes[i].summary) << i;
        EXPECT_THAT(outcomes[i].failed->reason, StartsWith(reasons[i]));
        EXPECT_EQ(outcomes[i].failed->command, runs[i].argv);
    }
    EXPECT_EQ(outcomes[1].failed->stderrEnd, "fake run: failing on request");
    const SweepOutcomes split = splitOutcomes(outcomes);
    EXPECT_EQ(split.summaries.size(), 1u);
    ASSERT_EQ(split.failed.size(), 4u);
    EXPECT_EQ(split.failed[2].run, "t3");
    EXPECT_EQ(split.failed[2].index, 3u);

    // A diff names every failed run, not only the first.
    const std::string refused = inputErrorOf([&] { refuseFailedRuns(outcomes); });
    EXPECT_THAT(refused, StartsWith("run \"t1\": exit status 2; the end of its stderr:\nfake run: failing on request\n"
                                    "run \"t2\": its summary: "));
    EXPECT_THAT(refused, HasSubstr("\nrun \"t3\": killed by signal 6 (Aborted)\nrun \"t4\": "));
}

// The table counts the failed runs and names each with its reason; control characters a run wrote are
// shown, not sent to the terminal.
TEST_F(SweepRun, TheTableNamesTheFailedRuns) {
    SweepTable table = labelledSweepStatistics(run({0, 1}));
    table.failed = {{"t2", 2, "its summary: not JSON: \x1b[2J"}, {"t3", 3, "timed out after 600 s"}};
    std::ostringstream out;
    writeSweepTable(out, table);
    EXPECT_THAT(out.str(), HasSubstr("\n2 of 4 runs failed and are left out of the table:\n"
                                     "  t2 (run 2): its summary: not JSON: \\x1b[2J\n"
                                     "  t3 (run 3): timed out after 600 s\n"));
    EXPECT_THAT(toJsonText(table),
                HasSubstr(R"("failed":[{"run":"t2","index":2,"reason":"its summary: not JSON: \u001b[2J"})"));
}

// --- bad results files -----------------------------------------------------------------------------

RunSummary summaryWithValue(double value) {
    return summaryOf({{"time_upper_pct", metricWithValue(value)}});
}

// Results files of a sweep of 7 runs in 3 shards, written once; each case spoils a copy.
class ResultsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = makeTempDir("sim_sweep");
        const SweepDescription sweep = sweepOf(7);
        for (int k = 1; k <= 3; ++k) {
            const Shard shard{k, 3};
            std::vector<SweepResultsRun> runs;
            for (size_t index : shardRuns(7, shard)) {
                runs.push_back({sweep.runs[index], index, summaryWithValue(static_cast<double>(index) * 10), {}});
            }
            std::ostringstream out;
            writeSweepResults(out, sweep, shard, runs);
            m_texts.push_back(out.str());
            m_paths.push_back(m_dir + "/s" + std::to_string(k));
            writeFile(m_paths.back(), m_texts.back());
        }
    }

    // Writes shard k's text with `from` replaced by `to` (which must occur).
    void spoil(int k, const std::string& from, const std::string& to) {
        std::string text = m_texts[k - 1];
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        writeFile(m_paths[k - 1], text);
    }

    std::string mergeError(const std::vector<std::string>& paths) const {
        return inputErrorOf([&] { mergeSweepResults(paths); });
    }
    std::string mergeError() const { return mergeError(m_paths); }

    std::string m_dir;
    std::vector<std::string> m_texts;
    std::vector<std::string> m_paths;
};

TEST_F(ResultsFiles, AreWrittenAsAHeaderAndOneLinePerRun) {
    EXPECT_EQ(
        m_texts[1],
        R"({"schema":4,"meeting":"meeting.json","meeting_sha256":"5e3c","library_sha256":"11b0",)"
        R"("settings_sha256":null,"seed":1,"options":["--seed","1"],"runs":["t0","t1","t2","t3","t4","t5","t6"],)"
        R"("traces_sha256":["7a0","7a1","7a2","7a3","7a4","7a5","7a6"],"shard":"2/3"})"
        "\n"
        R"({"run":"t1","index":1,"summary":{"schema":2,"meeting":"m","downlink":"d","uplink":null,"estimates":null,)"
        R"("seed":1,"duration_s":60,"metrics":{"time_upper_pct":{"value":10,"unit":"%","better":"higher"}},)"
        R"("peers":[],"conference":null},"failed":null})"
        "\n"
        R"({"run":"t4","index":4,"summary":{"schema":2,"meeting":"m","downlink":"d","uplink":null,"estimates":null,)"
        R"("seed":1,"duration_s":60,"metrics":{"time_upper_pct":{"value":40,"unit":"%","better":"higher"}},)"
        R"("peers":[],"conference":null},"failed":null})"
        "\n");
    EXPECT_EQ(mergeSweepResults(m_paths).runs.size(), 7u);
}

// A shard started again keeps the runs of its complete lines; a line or header cut short by a kill is
// dropped to be written again; a file of another shard or sweep is refused.
TEST_F(ResultsFiles, AShardStartedAgainKeepsItsCompleteLines) {
    const SweepDescription sweep = sweepOf(7);
    const Shard shard{1, 3};
    const std::string& text = m_texts[0];  // the header, then runs 0, 3 and 6
    const size_t lastLine = text.rfind('\n', text.size() - 2) + 1;
    struct Case {
        std::string content;
        bool headerWritten;
        std::vector<uint64_t> runs;
        size_t completeBytes;
    };
    const std::vector<Case> cases = {
        {text, true, {0, 3, 6}, text.size()},
        {text.substr(0, text.size() - 5), true, {0, 3}, lastLine},
        {text.substr(0, lastLine), true, {0, 3}, lastLine},
        {text.substr(0, 20), false, {}, 0},
        {"", false, {}, 0},
    };
    for (const Case& c : cases) {
        const RecordedShard recorded = readRecordedShard({"s1", c.content}, sweep, shard);
        EXPECT_EQ(recorded.headerWritten, c.headerWritten) << c.content.size();
        std::vector<uint64_t> runs;
        for (const SweepResultsRun& run : recorded.runs) {
            runs.push_back(run.index);
        }
        EXPECT_EQ(runs, c.runs) << c.content.size();
        EXPECT_EQ(recorded.completeBytes, c.completeBytes) << c.content.size();
    }
    const auto refusal = [&](const SweepDescription& other, const Shard& otherShard) {
        return inputErrorOf([&] { readRecordedShard({"s1", text}, other, otherShard); });
    };
    EXPECT_EQ(refusal(sweep, {2, 3}),
              "s1: written by another sweep: it holds shard 1/3, not 2/3; give another "
              "--results file, or remove this one to start the shard again");
    SweepDescription reseeded = sweep;
    reseeded.seed = 2;
    EXPECT_THAT(refusal(reseeded, shard), StartsWith("s1: written by another sweep: the seed 2 is not 1;"));
    const std::string twice =
        text + text.substr(text.find('\n') + 1, text.find('\n', text.find('\n') + 1) - text.find('\n'));
    EXPECT_EQ(inputErrorOf([&] {
                  readRecordedShard({"s1", twice}, sweep, shard);
              }),
              "s1: line 5: run 0 (\"t0\") is also at s1: line 2");
}

TEST_F(ResultsFiles, ATruncatedFileIsRefused) {
    writeFile(m_paths[0], m_texts[0].substr(0, m_texts[0].size() - 5));
    EXPECT_EQ(mergeError(), m_paths[0] + ": line 4: truncated: the file ends inside this line");
    const size_t thirdLineEnd = m_texts[0].find('\n', m_texts[0].find('\n', m_texts[0].find('\n') + 1) + 1);
    writeFile(m_paths[0], m_texts[0].substr(0, thirdLineEnd + 1));
    EXPECT_EQ(mergeError(), m_paths[0] + ": run 6 (\"t6\") of shard 1/3 is missing: the file is incomplete");
    writeFile(m_paths[0], "");
    EXPECT_EQ(mergeError(), m_paths[0] + ": empty: a results file starts with a header line");
}

TEST_F(ResultsFiles, AnotherSchemaOrNoHeaderIsRefused) {
    spoil(1, R"("schema":4,"meeting")", R"("schema":3,"meeting")");
    EXPECT_EQ(mergeError(), m_paths[0] +
                                ": line 1: not a results header: a results file of schema 3; this ktr reads "
                                "schema 4");
    writeFile(m_paths[0], "hello\n");
    EXPECT_THAT(mergeError(), StartsWith(m_paths[0] + ": line 1: not a results header: not JSON: "));
    spoil(1, R"("shard":"1/3")", R"("shard":"0/3")");
    EXPECT_EQ(mergeError(), m_paths[0] +
                                ": line 1: not a results header: field \"shard\": expected K/N with 1 <= K <= N, "
                                "got \"0/3\"");
}

// Shards run from different folders name the same meeting by different paths: its content decides.
TEST_F(ResultsFiles, TheSameMeetingByAnotherPathMerges) {
    spoil(2, R"("meeting":"meeting.json")", R"("meeting":"/home/ci/sweep/meeting.json")");
    EXPECT_EQ(mergeSweepResults(m_paths).runs.size(), 7u);
}

TEST_F(ResultsFiles, FilesOfDifferentSweepsAreRefused) {
    spoil(2, R"("meeting_sha256":"5e3c")", R"("meeting_sha256":"77aa")");
    EXPECT_EQ(mergeError(), m_paths[1] + ": line 1: from another sweep than " + m_paths[0] +
                                ": the meeting \"meeting.json\" is not the meeting \"meeting.json\" (their contents "
                                "differ)");
    writeFile(m_paths[1], m_texts[1]);
    spoil(3, R"("options":["--seed","1"])", R"("options":["--seed","2"])");
    EXPECT_EQ(mergeError(), m_paths[2] + ": line 1: from another sweep than " + m_paths[0] + ": the options differ");
    writeFile(m_paths[2], m_texts[2]);
    spoil(2, R"("t6"])", R"("u6"])");
    EXPECT_EQ(mergeError(),
              m_paths[1] + ": line 1: from another sweep than " + m_paths[0] + ": the runs' traces differ");
    spoil(2, R"(,"t6"])", "]");
    EXPECT_EQ(mergeError(), m_paths[1] +
                                ": line 1: not a results header: field \"traces_sha256\": expected one hash "
                                "per run (6), got 7");
    struct Case {
        std::string from;
        std::string to;
        std::string difference;
    };
    const std::vector<Case> cases = {
        {R"("library_sha256":"11b0")", R"("library_sha256":"11b1")", "the library builds differ"},
        {R"("settings_sha256":null)", R"("settings_sha256":"5e")", "the settings (--config) differ"},
        {R"("seed":1,)", R"("seed":2,)", "the seed 2 is not 1"},
        {R"("7a4")", R"("7b4")", "the trace \"t4\" has another content"},
    };
    for (const Case& c : cases) {
        writeFile(m_paths[1], m_texts[1]);
        spoil(3, c.from, c.to);
        EXPECT_EQ(mergeError(), m_paths[2] + ": line 1: from another sweep than " + m_paths[0] + ": " + c.difference);
    }
}

TEST_F(ResultsFiles, ARunTwiceOrNowhereIsRefused) {
    const std::string copy = m_dir + "/copy";
    writeFile(copy, m_texts[0]);
    EXPECT_EQ(mergeError({m_paths[0], m_paths[1], m_paths[2], copy}),
              copy + ": line 2: run 0 (\"t0\") is also at " + m_paths[0] + ": line 2");
    EXPECT_EQ(mergeError({m_paths[0], m_paths[2]}), "run 1 (\"t1\") is in none of the files (shards read: 1/3, 3/3)");
    EXPECT_EQ(mergeError({}), "no results files to merge");
    EXPECT_EQ(mergeError({m_dir + "/none"}), m_dir + "/none: no such file");
}

TEST_F(ResultsFiles, BadRunLinesAreRefusedWithTheirLine) {
    struct Case {
        std::string from;
        std::string to;
        std::string message;
    };
    const std::vector<Case> cases = {
        {R"({"run":"t3","index":3,)", "{", "line 3: field \"run\": missing"},
        {R"("run":"t0","index":0)", R"("run":"t0","index":9)",
         "line 2: field \"index\": expected a run index below 7, got 9"},
        {R"("run":"t0","index":0)", R"("run":"t0","index":-1)",
         "line 2: field \"index\": expected an integer from 0 to 18446744073709551615, got -1"},
        {R"("run":"t0","index":0)", R"("run":"x","index":0)", "line 2: run 0 is \"t0\" in the header, not \"x\""},
        {R"("run":"t3","index":3)", R"("run":"t4","index":4)", "line 3: run 4 (\"t4\") does not belong to shard 1/3"},
        {R"("value":0)", R"("value":"high")",
         "line 2: field \"summary.metrics.time_upper_pct.value\": expected a number, got string \"high\""},
        {R"("time_upper_pct":{"value":0)", R"("up_pct":{"value":0)",
         "line 2: its summary: field \"metrics\": \"up_pct\" is not a metric of this ktr"},
        {R"(,"summary":{"schema":2,"meeting":"m","downlink":"d","uplink":null,"estimates":null,"seed":1,)"
         R"("duration_s":60,"metrics":{"time_upper_pct":{"value":30,"unit":"%","better":"higher"}},"peers":[],)"
         R"("conference":null})",
         "", "line 3: expected either a \"summary\" or a \"failed\", and not both"},
        {R"("summary":{"schema":2,"meeting":"m")", R"("summary":{"schema":1,"meeting":"m")",
         "line 2: its summary: a summary of schema 1; this ktr reads schema 2"},
    };
    for (const Case& c : cases) {
        spoil(1, c.from, c.to);
        EXPECT_EQ(mergeError(), m_paths[0] + ": " + c.message) << c.to;
    }
    spoil(1, R"({"run":"t0")", R"(["run":"t0")");
    EXPECT_THAT(mergeError(), StartsWith(m_paths[0] + ": line 2: not JSON: "));
}

}  // namespace
}  // namespace ktr::sim

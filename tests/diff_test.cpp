// ktr diff: the step comparer, the paired bootstrap and the verdicts, and the differ run on real builds: a
// stand-in build (support/ktrsdk_altered.cpp) that alters one answer once the host sets scene type 7, the
// real build against itself, two settings, and sides that crash or hang.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DiffHtml.h"
#include "InputFile.h"
#include "LogCatalogue.h"
#include "MetricComparer.h"
#include "MetricTable.h"
#include "PairedBootstrap.h"
#include "ScenarioDiffer.h"
#include "SimDiffer.h"
#include "StepComparer.h"
#include "TimelineComparer.h"
#include "support/NamedItem.h"
#include "support/ReportData.h"
#include "support/TestFiles.h"

namespace ktr::diff {
namespace {

using ktr::test_support::inputErrorOf;
using ktr::test_support::makeTempDir;
using ktr::test_support::namedItem;
using ktr::test_support::writeFile;

using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kProgram = KTR_PROGRAM;
const std::string kLibrary = KTR_LIBRARY;
const std::string kAlteredLibrary = KTR_ALTERED_LIBRARY;
const std::string kScenarioDir = KTR_SCENARIO_DIR;

// A line of the library's at a level, as a replay reads it: its catalogue entry and values.
FiredRule line(const char* formatId, std::vector<std::string> values, LogLevel level = LogLevel::Info) {
    FiredRule rule;
    rule.line = ParsedLine{&logFormat(formatId), std::move(values)};
    rule.level = level;
    rule.text = rule.line.print();
    return rule;
}

// A line no entry of the catalogue matches.
FiredRule unknownLine(const std::string& text) {
    FiredRule rule;
    rule.text = text;
    return rule;
}

const FiredRule kInitLine = line("mgr.init", {"1001", "8"});
const FiredRule kJoinLine = line("mgr.addUser", {"2002", "8"});

TimelineStep step(int number, const std::string& event, Answer answer, std::vector<FiredRule> rules) {
    TimelineStep step;
    step.index = number;
    step.event = event;
    step.answer = std::move(answer);
    step.rules = std::move(rules);
    return step;
}

Record record(int width, int bitrate) {
    Record record;
    record.width = width;
    record.bitrate = bitrate;
    record.fps = 30;
    return record;
}

// --- one step against another ------------------------------------------------------------------------

struct StepCase {
    std::string name;
    TimelineStep a;
    TimelineStep b;
    bool answersOnly;
    bool differs;
    std::vector<std::string> fields;
    bool logDiffers;
};

void PrintTo(const StepCase& c, std::ostream* out) {
    *out << c.name;
}

class StepRules : public ::testing::TestWithParam<StepCase> {};

TEST_P(StepRules, FindsTheDifferingFieldsAndLines) {
    const StepCase& c = GetParam();
    StepDifference difference;
    ASSERT_EQ(StepComparer(c.answersOnly).differs(c.a, c.b, difference), c.differs);
    if (c.differs) {
        EXPECT_EQ(difference.step, c.a.index);
        EXPECT_EQ(difference.event, c.a.event);
        EXPECT_EQ(difference.fields, c.fields);
        EXPECT_EQ(difference.logDiffers, c.logDiffers);
        EXPECT_EQ(difference.a.answer, answerJson(c.a.answer));
        ASSERT_EQ(difference.b.rules.size(), c.b.rules.size());
        for (size_t i = 0; i < c.b.rules.size(); ++i) {
            EXPECT_EQ(difference.b.rules[i].text, c.b.rules[i].text);
        }
    }
}

const UploadAnswer kUpload{1, true, std::vector<Record>{record(1280, 716800), record(320, 204800)}};

UploadAnswer uploadWith(const std::function<void(UploadAnswer&)>& change) {
    UploadAnswer answer = kUpload;
    change(answer);
    return answer;
}

DownloadAnswer downloadChanged(bool changed) {
    DownloadAnswer answer;
    answer.changed = changed;
    return answer;
}

HdLdAnswer hdld(std::set<uint64_t> hd, std::set<uint64_t> ld) {
    return HdLdAnswer{std::move(hd), std::move(ld)};
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StepRules,
    ::testing::Values(
        StepCase{"same_answer_same_lines",
                 step(4, "upload", kUpload, {kJoinLine}),
                 step(4, "upload", kUpload, {kJoinLine}),
                 false,
                 false,
                 {},
                 false},
        StepCase{
            "events_without_answers", step(1, "addUser", {}, {}), step(1, "addUser", {}, {}), false, false, {}, false},
        StepCase{"a_record_field",
                 step(4, "upload", kUpload, {}),
                 step(4, "upload", uploadWith([](UploadAnswer& a) { (*a.records)[1].bitrate = 102400; }), {}),
                 false,
                 true,
                 {"records[1].bitrate"},
                 false},
        StepCase{"the_changed_flag_and_a_width",
                 step(4, "upload", kUpload, {}),
                 step(4, "upload", uploadWith([](UploadAnswer& a) {
                          a.changed = false;
                          (*a.records)[0].width = 640;
                      }),
                      {}),
                 false,
                 true,
                 {"changed", "records[0].width"},
                 false},
        StepCase{"a_record_only_b_has",
                 step(4, "upload", uploadWith([](UploadAnswer& a) { a.records->pop_back(); }), {}),
                 step(4, "upload", kUpload, {}),
                 false,
                 true,
                 // The answer's JSON holds its keys in alphabetical order.
                 {"records[1].bitrate", "records[1].channel", "records[1].dft", "records[1].fps", "records[1].height",
                  "records[1].maxbitrate", "records[1].minbitrate", "records[1].width"},
                 false},
        StepCase{"a_uid_set_is_one_field",
                 step(2, "hdld", hdld({2002, 3003}, {}), {}),
                 step(2, "hdld", hdld({2002}, {3003}), {}),
                 false,
                 true,
                 {"hd", "ld"},
                 false},
        StepCase{"an_unknown_flag_against_a_known_one",
                 step(3, "download", downloadChanged(false), {}),
                 step(3, "download", DownloadAnswer{std::nullopt, std::vector<PeerRequest>()}, {}),
                 false,
                 true,
                 {"changed"},
                 false},
        StepCase{"a_field_value_of_a_line",
                 step(5, "addUser", {}, {kJoinLine}),
                 step(5, "addUser", {}, {line("mgr.addUser", {"2002", "9"})}),
                 false,
                 true,
                 {},
                 true},
        StepCase{"another_format",
                 step(5, "addUser", {}, {kJoinLine}),
                 step(5, "addUser", {}, {line("mgr.removeUser", {"2002", "8"})}),
                 false,
                 true,
                 {},
                 true},
        StepCase{"the_same_line_at_another_level",
                 step(5, "addUser", {}, {kJoinLine}),
                 step(5, "addUser", {}, {line("mgr.addUser", {"2002", "8"}, LogLevel::Warning)}),
                 false,
                 true,
                 {},
                 true},
        StepCase{"a_line_more",
                 step(5, "addUser", {}, {kJoinLine}),
                 step(5, "addUser", {}, {kJoinLine, kJoinLine}),
                 false,
                 true,
                 {},
                 true},
        StepCase{"unknown_lines_by_their_text",
                 step(5, "addUser", {}, {unknownLine("[X]: one")}),
                 step(5, "addUser", {}, {unknownLine("[X]: two")}),
                 false,
                 true,
                 {},
                 true},
        StepCase{"the_same_unknown_line",
                 step(5, "addUser", {}, {unknownLine("[X]: one")}),
                 step(5, "addUser", {}, {unknownLine("[X]: one")}),
                 false,
                 false,
                 {},
                 false},
        StepCase{"lines_do_not_count_for_answers_only",
                 step(5, "upload", kUpload, {kJoinLine}),
                 step(5, "upload", kUpload, {kInitLine}),
                 true,
                 false,
                 {},
                 false},
        StepCase{"answers_still_count_for_answers_only",
                 step(5, "upload", kUpload, {kJoinLine}),
                 step(5, "upload", uploadWith([](UploadAnswer& a) { a.channel = 2; }), {kInitLine}),
                 true,
                 true,
                 {"channel"},
                 false}),
    [](const ::testing::TestParamInfo<StepCase>& info) { return info.param.name; });

TEST(AnswerFields, TakesRecordsApartAndKeepsUidSetsWhole) {
    const std::vector<AnswerField> fields =
        answerFields({{"changed", true}, {"records", {{{"uid", 2002}, {"width", 320}}}}, {"hd", {2002, 3003}}});
    std::vector<std::string> paths;
    for (const AnswerField& field : fields) {
        paths.push_back(field.first);
    }
    EXPECT_THAT(paths, ElementsAre("changed", "hd", "records[0].uid", "records[0].width"));
    EXPECT_EQ(fields[1].second, json({2002, 3003}));
    EXPECT_TRUE(answerFields(nullptr).empty());
}

// --- whole timelines, step by step as they arrive ---------------------------------------------------

std::vector<TimelineStep> timeline(const std::vector<int>& bitrates) {
    std::vector<TimelineStep> steps{step(0, "init", {}, {kInitLine})};
    for (size_t i = 0; i < bitrates.size(); ++i) {
        steps.push_back(step(static_cast<int>(i) + 1, "upload",
                             UploadAnswer{1, true, std::vector<Record>{record(1280, bitrates[i])}}, {}));
    }
    return steps;
}

// Hands both timelines to a comparer the way a run does: each side read while the comparison wants it.
TimelineComparison compareTimelines(const std::vector<TimelineStep>& a, const std::vector<TimelineStep>& b, bool all) {
    TimelineComparer comparer(false, all);
    const std::array<const std::vector<TimelineStep>*, 2> sides{&a, &b};
    std::array<size_t, 2> next{0, 0};
    std::array<bool, 2> ended{false, false};
    while (!ended[0] || !ended[1]) {
        bool moved = false;
        for (size_t side = 0; side < 2; ++side) {
            while (!ended[side] && comparer.wants(side)) {
                moved = true;
                if (next[side] == sides[side]->size()) {
                    ended[side] = true;
                    comparer.end(side);
                } else {
                    comparer.add(side, (*sides[side])[next[side]++]);
                }
            }
        }
        if (!moved) {
            ADD_FAILURE() << "the comparer wants neither side before both ended";
            break;
        }
    }
    return comparer.result();
}

TEST(TimelineComparison, StopsAtTheFirstDifferenceUnlessAll) {
    const std::vector<TimelineStep> a = timeline({100, 200, 300, 400});
    const std::vector<TimelineStep> b = timeline({100, 201, 300, 401});
    const TimelineComparison first = compareTimelines(a, b, false);
    ASSERT_EQ(first.differences.size(), 1u);
    EXPECT_EQ(first.differences[0].step, 2);
    EXPECT_EQ(first.steps, 3u) << "init and steps 1 and 2";
    const TimelineComparison all = compareTimelines(a, b, true);
    ASSERT_EQ(all.differences.size(), 2u);
    EXPECT_EQ(all.differences[1].step, 4);
    EXPECT_EQ(all.steps, 5u);
}

TEST(TimelineComparison, LeavesOutTheSettingsStepsOnlyOneSideInstalls) {
    std::vector<TimelineStep> a = timeline({100, 200});
    std::vector<TimelineStep> b = a;
    b.insert(b.begin() + 1, step(0, "config", {}, {kJoinLine}));
    const TimelineComparison comparison = compareTimelines(a, b, true);
    EXPECT_TRUE(comparison.differences.empty());
    EXPECT_EQ(comparison.steps, 3u);
    // Installed on both sides, the settings steps are compared like any other.
    a.insert(a.begin() + 1, step(0, "config", {}, {kInitLine}));
    const TimelineComparison both = compareTimelines(a, b, true);
    ASSERT_EQ(both.differences.size(), 1u);
    EXPECT_EQ(both.differences[0].event, "config");
    EXPECT_TRUE(both.differences[0].logDiffers);
}

TEST(TimelineComparison, ASideThatEndsEarlyLeavesTheOthersLastStepsUncompared) {
    const std::vector<TimelineStep> a = timeline({100, 200, 300});
    const std::vector<TimelineStep> b = timeline({100});
    const TimelineComparison comparison = compareTimelines(a, b, true);
    EXPECT_TRUE(comparison.differences.empty());
    EXPECT_EQ(comparison.steps, 2u) << "init and step 1";
    EXPECT_EQ(compareTimelines(b, a, true).steps, 2u);
    EXPECT_EQ(compareTimelines({}, a, true).steps, 0u);
}

// --- the paired bootstrap and the verdicts -----------------------------------------------------------

std::vector<double> normalSample(uint64_t seed, size_t count, double mean, double deviation) {
    std::mt19937_64 engine(seed);
    std::normal_distribution<double> distribution(mean, deviation);
    std::vector<double> values(count);
    for (double& value : values) {
        value = distribution(engine);
    }
    return values;
}

std::vector<std::optional<double>> optionals(const std::vector<double>& values) {
    return {values.begin(), values.end()};
}

TEST(PairedBootstrap, IdenticalSidesGiveAnIntervalAroundZero) {
    const std::vector<double> a = normalSample(3, 40, 50, 10);
    const DifferenceInterval d = PairedBootstrap().meanDifference(a, a);
    EXPECT_EQ(d.mean, 0);
    EXPECT_TRUE(d.holdsZero()) << d.low << " " << d.high;
    const PairedBootstrap bootstrap;
    const MetricComparison comparison =
        MetricComparer(bootstrap).compare({"time_upper_pct", "%", "higher", optionals(a), optionals(a), ""});
    ASSERT_TRUE(comparison.verdict);
    EXPECT_EQ(*comparison.verdict, Verdict::NoClearDifference);
    EXPECT_EQ(comparison.traces, a.size());
}

TEST(PairedBootstrap, NoisySidesOfTheSameDistributionHoldZero) {
    // b differs from a by noise of mean 0: the interval of the mean difference must hold 0.
    const std::vector<double> a = normalSample(5, 60, 50, 10);
    std::vector<double> b = a;
    const std::vector<double> noise = normalSample(6, 60, 0, 1);
    for (size_t i = 0; i < b.size(); ++i) {
        b[i] += noise[i];
    }
    const DifferenceInterval d = PairedBootstrap().meanDifference(a, b);
    EXPECT_TRUE(d.holdsZero()) << d.low << " " << d.high;
    EXPECT_LT(d.low, d.mean);
    EXPECT_GT(d.high, d.mean);
}

TEST(PairedBootstrap, AShiftWithNoiseIsFoundAndTheSameSeedGivesTheSameInterval) {
    const std::vector<double> a = normalSample(7, 60, 50, 10);
    std::vector<double> b = a;
    const std::vector<double> noise = normalSample(8, 60, 3, 1);
    for (size_t i = 0; i < b.size(); ++i) {
        b[i] += noise[i];
    }
    const DifferenceInterval d = PairedBootstrap().meanDifference(a, b);
    EXPECT_FALSE(d.holdsZero());
    EXPECT_LT(d.low, 3.0);
    EXPECT_GT(d.high, 3.0) << "the interval holds the shift the noise was drawn around";
    const DifferenceInterval again = PairedBootstrap().meanDifference(a, b);
    EXPECT_EQ(again.low, d.low);
    EXPECT_EQ(again.high, d.high);
}

TEST(PairedBootstrap, RefusesSidesOfDifferentLengths) {
    EXPECT_THROW(PairedBootstrap().meanDifference({1, 2}, {1}), std::invalid_argument);
    EXPECT_THROW(PairedBootstrap().meanDifference({}, {}), std::invalid_argument);
    EXPECT_THROW(PairedBootstrap(sim::BootstrapSettings{0, 1}), std::invalid_argument);
}

struct ShiftCase {
    std::string better;
    double shift;
    std::optional<Verdict> verdict;
};

void PrintTo(const ShiftCase& c, std::ostream* out) {
    *out << c.better << " is better, B shifted by " << c.shift;
}

class ShiftVerdicts : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(ShiftVerdicts, FollowTheMetricsDirection) {
    const ShiftCase& c = GetParam();
    const std::vector<double> a = normalSample(11, 20, 10, 2);
    std::vector<double> b = a;
    for (double& value : b) {
        value += c.shift;
    }
    const PairedBootstrap bootstrap;
    const MetricComparison comparison =
        MetricComparer(bootstrap).compare({"metric", "%", c.better, optionals(a), optionals(b), ""});
    ASSERT_TRUE(comparison.difference);
    EXPECT_NEAR(comparison.difference->mean, c.shift, 1e-9);
    EXPECT_NEAR(comparison.difference->low, c.shift, 1e-9) << "every resample has the same difference";
    EXPECT_NEAR(*comparison.meanB - *comparison.meanA, c.shift, 1e-9);
    EXPECT_EQ(comparison.verdict, c.verdict) << c.better << " " << c.shift;
}

INSTANTIATE_TEST_SUITE_P(
    Shifts, ShiftVerdicts,
    ::testing::Values(ShiftCase{"higher", 5, Verdict::Better}, ShiftCase{"higher", -5, Verdict::Worse},
                      ShiftCase{"lower", 5, Verdict::Worse}, ShiftCase{"lower", -5, Verdict::Better},
                      ShiftCase{"lower", 0, Verdict::NoClearDifference}, ShiftCase{"none", 5, std::nullopt}));

TEST(MetricComparer, UsesTheTracesBothSidesDefineAndNoVerdictWithoutAny) {
    const PairedBootstrap bootstrap;
    const MetricComparer comparer(bootstrap);
    const MetricComparison undefined =
        comparer.compare({"time_to_cut_s.median", "s", "lower", {std::nullopt, std::nullopt}, {std::nullopt, 2.0}, ""});
    EXPECT_EQ(undefined.traces, 0u);
    EXPECT_FALSE(undefined.verdict);
    EXPECT_FALSE(undefined.meanA);
    const MetricComparison partly =
        comparer.compare({"m", "s", "lower", {1.0, std::nullopt, 3.0}, {2.0, 9.0, 4.0}, ""});
    EXPECT_EQ(partly.traces, 2u);
    EXPECT_DOUBLE_EQ(*partly.meanA, 2.0);
    EXPECT_DOUBLE_EQ(*partly.meanB, 3.0);
    EXPECT_EQ(partly.verdict, Verdict::Worse);
}

TEST(MetricComparer, NamesTheVerdicts) {
    EXPECT_STREQ(verdictName(Verdict::Better), "better");
    EXPECT_STREQ(verdictName(Verdict::Worse), "worse");
    EXPECT_STREQ(verdictName(Verdict::NoClearDifference), "no clear difference");
}

ktr::RunSummary summary(std::optional<double> upper, std::optional<double> cutMedian) {
    ktr::Metric timeUpper;
    timeUpper.value = upper;
    timeUpper.unit = "%";
    timeUpper.better = "higher";
    ktr::Metric timeToCut;
    timeToCut.episodes = 1;
    timeToCut.median = cutMedian;
    timeToCut.max = cutMedian;
    timeToCut.unit = "s";
    timeToCut.better = "lower";
    ktr::RunSummary summary;
    summary.metrics.entries = {{"time_upper_pct", timeUpper}, {"time_to_cut_s", timeToCut}};
    return summary;
}

TEST(SimComparison, ComparesEveryMetricRowOfTheSummaries) {
    const std::vector<ktr::RunSummary> a = {summary(50, std::nullopt), summary(60, std::nullopt),
                                            summary(70, std::nullopt)};
    const std::vector<ktr::RunSummary> b = {summary(40, std::nullopt), summary(50, std::nullopt), summary(60, 1.5)};
    const std::vector<MetricComparison> rows = compareSummaries(a, b, PairedBootstrap());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].metric, "time_upper_pct");
    EXPECT_EQ(rows[0].verdict, Verdict::Worse) << "ten points less of a metric where higher is better";
    EXPECT_EQ(rows[1].metric, "time_to_cut_s.median");
    EXPECT_EQ(rows[1].traces, 0u);
    EXPECT_FALSE(rows[1].verdict) << "defined on one side only";
    EXPECT_EQ(rows[2].metric, "time_to_cut_s.max");
}

ktr::RunSummary upperAndNone(double upper, double none) {
    ktr::Metric timeUpper;
    timeUpper.value = upper;
    timeUpper.unit = "%";
    timeUpper.better = "higher";
    ktr::Metric timeNone = timeUpper;
    timeNone.value = none;
    timeNone.better = "lower";
    ktr::RunSummary summary;
    summary.metrics.entries = {{"time_upper_pct", timeUpper}, {"time_none_pct", timeNone}};
    return summary;
}

// B raises both metrics by 10 on every trace: better where the table says higher is better, worse where it says
// lower; each row carries the table's definition, both sides' values per trace and, on 3 traces, the warning.
TEST(SimComparison, VerdictFollowsTheMetricTablesDirection) {
    const std::vector<ktr::RunSummary> a = {upperAndNone(50, 5), upperAndNone(60, 6), upperAndNone(70, 7)};
    const std::vector<ktr::RunSummary> b = {upperAndNone(60, 15), upperAndNone(70, 16), upperAndNone(80, 17)};
    const std::vector<MetricComparison> rows = compareSummaries(a, b, PairedBootstrap());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].metric, "time_upper_pct");
    EXPECT_EQ(rows[0].verdict, Verdict::Better);
    EXPECT_EQ(rows[0].definition, ktr::findMetric("time_upper_pct")->definition);
    EXPECT_EQ(rows[1].metric, "time_none_pct");
    EXPECT_EQ(rows[1].verdict, Verdict::Worse);
    EXPECT_EQ(rows[1].b, (std::vector<std::optional<double>>{15.0, 16.0, 17.0}));
    EXPECT_TRUE(rows[1].fewTraces);
    const SimDiff diff{"m.json", {"t0", "t1", "t2"}, {}, rows};
    EXPECT_EQ(diff.fewTracesWarning(),
              "warning: 2 of 2 intervals rest on fewer than 10 traces (the fewest on 3): "
              "intervals from so few are rough");
}

// A summary that gives a metric another direction than the table's is not compared by that direction: it is
// refused.
TEST(SimComparison, RefusesADirectionTheTableDoesNotGive) {
    ktr::RunSummary flipped = upperAndNone(50, 5);
    flipped.metrics.entries[0].second.better = "lower";
    EXPECT_EQ(inputErrorOf([&] { compareSummaries({flipped}, {flipped}, PairedBootstrap()); }),
              "field \"metrics\": \"time_upper_pct\": expected unit \"%\", better \"higher\" and a value, got \"%\", "
              "\"lower\" and a value");
}

// --- the differ on real builds -----------------------------------------------------------------------

// Steps 1 to 4 set up a peer and ask for downloads; step 5 sets the scene type; step 6 asks again.
std::string scenarioWithSceneType(int sceneType) {
    json steps = json::array();
    steps.push_back({{"step", "addUser"}, {"uid", 2002}, {"dt", 8}});
    steps.push_back({{"step", "setUsers"}, {"users", {{{"uid", 2002}, {"dt", 8}}}}});
    steps.push_back({{"step", "peerReport"},
                     {"uid", 2002},
                     {"streams",
                      {{{"width", 1280},
                        {"height", 720},
                        {"fps", 30},
                        {"bitrate", 716800},
                        {"maxbitrate", 1024000},
                        {"minbitrate", 512000}},
                       {{"width", 320},
                        {"height", 240},
                        {"fps", 15},
                        {"bitrate", 204800},
                        {"maxbitrate", 256000},
                        {"minbitrate", 102400}}}}});
    steps.push_back({{"step", "download"}});
    steps.push_back({{"step", "sceneType"}, {"value", sceneType}});
    steps.push_back({{"step", "download"}});
    steps.push_back({{"step", "hdld"}});
    steps.push_back({{"step", "download"}});
    return json{
        {"name", "scene type " + std::to_string(sceneType)}, {"local", {{"uid", 1001}, {"dt", 8}}}, {"steps", steps}}
        .dump(2);
}

std::vector<std::string> bundledScenarios() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(kScenarioDir)) {
        if (entry.path().extension() == ".json") {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

class Differ : public ::testing::Test {
protected:
    std::vector<ScenarioDiff> diff(const DiffSide& a, const DiffSide& b, const std::vector<std::string>& scenarios,
                                   bool all = false) const {
        ScenarioDiffOptions options;
        options.all = all;
        options.jobs = 2;
        options.program = kProgram;
        return ScenarioDiffer(a, b, options).run(scenarios);
    }

    const std::string m_dir = makeTempDir("diff");
    const DiffSide m_real{"A", kLibrary, ""};
    const DiffSide m_altered{"B", kAlteredLibrary, ""};
};

TEST_F(Differ, FindsTheFirstStepWhereTheAlteredBuildParts) {
    const std::string reaching = writeFile(m_dir + "/reaching.json", scenarioWithSceneType(7));
    const std::vector<ScenarioDiff> diffs = diff(m_real, m_altered, {reaching});
    ASSERT_EQ(diffs.size(), 1u);
    EXPECT_EQ(diffs[0].name, "scene type 7");
    ASSERT_EQ(diffs[0].comparison.differences.size(), 1u);
    const StepDifference& first = diffs[0].comparison.differences[0];
    EXPECT_EQ(first.step, 6);
    EXPECT_EQ(first.event, "download");
    EXPECT_THAT(first.fields, ElementsAre("changed"));
    EXPECT_FALSE(first.logDiffers) << "the stand-in alters no line";
    EXPECT_EQ(first.a.answer.at("changed"), !first.b.answer.at("changed").get<bool>());
    EXPECT_EQ(first.a.answer.at("records"), first.b.answer.at("records"));
    EXPECT_EQ(diffs[0].comparison.steps, 7u) << "init and steps 1 to 6";

    const std::vector<ScenarioDiff> all = diff(m_real, m_altered, {reaching}, true);
    ASSERT_EQ(all[0].comparison.differences.size(), 2u) << "both downloads after the scene type";
    EXPECT_EQ(all[0].comparison.differences[1].step, 8);
}

TEST_F(Differ, ReportsSameWhereTheAlteredAnswerIsNotReached) {
    std::vector<std::string> scenarios = bundledScenarios();
    scenarios.push_back(writeFile(m_dir + "/other-scene.json", scenarioWithSceneType(3)));
    for (const ScenarioDiff& scenario : diff(m_real, m_altered, scenarios)) {
        EXPECT_TRUE(scenario.same()) << scenario.path << " from step " << scenario.comparison.differences.front().step;
        EXPECT_GT(scenario.comparison.steps, 1u) << scenario.path;
    }
}

TEST_F(Differ, IdenticalBuildsAreTheSameOnEveryBundledScenario) {
    const std::vector<std::string> scenarios = bundledScenarios();
    ASSERT_GE(scenarios.size(), 4u);
    const std::vector<ScenarioDiff> diffs = diff(m_real, DiffSide{"B", kLibrary, ""}, scenarios, true);
    ASSERT_EQ(diffs.size(), scenarios.size());
    for (const ScenarioDiff& scenario : diffs) {
        EXPECT_TRUE(scenario.same()) << scenario.path;
        EXPECT_GT(scenario.comparison.steps, 1u) << scenario.path;
    }
}

TEST_F(Differ, TwoSettingsPartWhereTheConfigMatters) {
    const std::string plain = writeFile(m_dir + "/plain.json", R"({"config": {"forceHD": false}})");
    const std::string forced = writeFile(m_dir + "/forced.json", R"({"config": {"forceHD": true}})");
    const std::string scenario = kScenarioDir + "/one-to-one-phone.json";
    const std::vector<ScenarioDiff> same =
        diff(DiffSide{"A", kLibrary, plain}, DiffSide{"B", kLibrary, plain}, {scenario});
    EXPECT_TRUE(same[0].same());
    EXPECT_GT(same[0].comparison.steps, 2u) << "the config step is compared too";
    const std::vector<ScenarioDiff> differing =
        diff(DiffSide{"A", kLibrary, plain}, DiffSide{"B", kLibrary, forced}, {scenario});
    ASSERT_FALSE(differing[0].same());
    // Force-HD answers the phone's first camera question with the 720p entry of the table, not its 480p.
    const StepDifference& first = differing[0].comparison.differences[0];
    EXPECT_EQ(first.event, "upload");
    EXPECT_TRUE(first.logDiffers);
    EXPECT_EQ(first.a.answer.at("records").at(0).at("height"), 480);
    EXPECT_EQ(first.b.answer.at("records").at(0).at("height"), 720);
}

TEST_F(Differ, NamesTheSideAndTheReasonOfARunThatFails) {
    const std::string scenario = kScenarioDir + "/team-meeting.json";
    EXPECT_THAT(inputErrorOf([&] {
                    diff(m_real, DiffSide{"B", m_dir + "/missing.so", ""}, {scenario});
                }),
                ::testing::AllOf(HasSubstr("team-meeting.json on side B"), HasSubstr("exit status 2"),
                                 HasSubstr("cannot load the library")));
    const std::string crashing = writeFile(m_dir + "/crashing.sh", "#!/bin/sh\nkill -SEGV $$\n");
    const std::string hanging = writeFile(m_dir + "/hanging.sh", "#!/bin/sh\nexec sleep 30\n");
    chmod(crashing.c_str(), 0755);
    chmod(hanging.c_str(), 0755);
    ScenarioDiffOptions options;
    options.program = crashing;
    EXPECT_THAT(inputErrorOf([&] { ScenarioDiffer(m_real, m_altered, options).run({scenario}); }),
                HasSubstr("killed by signal 11"));
    options.program = hanging;
    options.timeoutS = 0.25;
    EXPECT_THAT(inputErrorOf([&] { ScenarioDiffer(m_real, m_altered, options).run({scenario}); }),
                HasSubstr("timed out after 0.25 s"));
}

TEST_F(Differ, RefusesBadInputBeforeAnyRun) {
    const std::string scenario = kScenarioDir + "/team-meeting.json";
    EXPECT_THAT(inputErrorOf([&] { diff(m_real, m_altered, {m_dir + "/none.json"}); }), HasSubstr("none.json"));
    const std::string badSettings = writeFile(m_dir + "/bad-settings.json", R"({"config": {"forceHd": true}})");
    EXPECT_THAT(inputErrorOf([&] {
                    diff(m_real, DiffSide{"B", kLibrary, badSettings}, {scenario});
                }),
                HasSubstr("forceHd"));
}

// A side whose replay is `ktr replay` with its output passed through a shell pipeline.
std::string replayThrough(const std::string& dir, const std::string& name, const std::string& pipeline) {
    const std::string path = writeFile(dir + "/" + name, "#!/bin/sh\n" + kProgram + " \"$@\" | " + pipeline + "\n");
    chmod(path.c_str(), 0755);
    return path;
}

TEST_F(Differ, ReadsChildrenThatWriteMoreThanTheOld64MiBCap) {
    // Every line padded with 4 MiB of blanks (JSON allows them after a value): the team meeting's 28 lines make
    // 112 MiB a side, which a reader that held or capped a child's output refused.
    const std::string padding =
        "awk 'BEGIN { pad = \" \"; while (length(pad) < 4194304) pad = pad pad } { print $0 pad }'";
    ScenarioDiffOptions options;
    options.program = replayThrough(m_dir, "padded.sh", padding);
    options.all = true;
    const std::vector<ScenarioDiff> diffs =
        ScenarioDiffer(m_real, DiffSide{"B", kLibrary, ""}, options).run({kScenarioDir + "/team-meeting.json"});
    ASSERT_EQ(diffs.size(), 1u);
    EXPECT_TRUE(diffs[0].same());
    EXPECT_EQ(diffs[0].comparison.steps, 27u) << "the meeting's init and its 26 steps";
}

TEST_F(Differ, NamesASideThatDiesMidStream) {
    const std::string scenario = kScenarioDir + "/team-meeting.json";
    ScenarioDiffOptions options;
    // The header and four steps, part of a later one, then the end of a crash. Both sides run this program:
    // whichever is found first is named.
    options.program = replayThrough(m_dir, "dying.sh", "{ head -n 5; head -c 100; kill -SEGV $$; }");
    EXPECT_THAT(inputErrorOf([&] { ScenarioDiffer(m_real, m_altered, options).run({scenario}); }),
                ::testing::AllOf(HasSubstr("team-meeting.json on side "), HasSubstr("killed by signal 11")));
    // Output cut short by a run that says it succeeded is named for what it is.
    options.program = replayThrough(m_dir, "cut.sh", "{ head -n 5; head -c 100; }");
    EXPECT_THAT(inputErrorOf([&] { ScenarioDiffer(m_real, m_altered, options).run({scenario}); }),
                ::testing::AllOf(HasSubstr("team-meeting.json on side "), HasSubstr("line 6: not JSON")));
    options.program = replayThrough(m_dir, "garbage.sh", "{ head -n 3; echo '{\"step\": 3}'; cat; }");
    EXPECT_THAT(inputErrorOf([&] { ScenarioDiffer(m_real, m_altered, options).run({scenario}); }),
                ::testing::AllOf(HasSubstr("team-meeting.json on side "), HasSubstr("line 4")));
}

// --- the HTML page ----------------------------------------------------------------------------------------

// The JSON of a data element of the page, by its id.
json dataBlock(const std::string& html, const std::string& id) {
    return ktr::test_support::reportData(html, id);
}

TEST_F(Differ, ThePageHoldsBothSidesStepsAndChartsAndKeepsHostileTextsInert) {
    const std::string hostile = "</script><script>alert(1)</script>&\u2028";
    json scenario = json::parse(scenarioWithSceneType(7));
    scenario["name"] = hostile;
    const std::string path = writeFile(m_dir + "/hostile.json", scenario.dump());
    std::ostringstream html;
    DiffReport report;
    report.a = m_real;
    report.b = m_altered;
    DiffPage page(html);
    ScenarioDiffOptions options;
    options.all = true;
    options.program = kProgram;
    report.scenarios = ScenarioDiffer(m_real, m_altered, options).run({path}, &page);
    page.end(report);
    const std::string text = html.str();
    EXPECT_EQ(text.find("<script>alert"), std::string::npos);
    const json data = dataBlock(text, "ktr-report");
    ASSERT_TRUE(data.is_object());
    EXPECT_EQ(data.at("axis"), "step");
    const json& shown = data.at("diff").at("scenarios").at(0);
    EXPECT_EQ(shown.at("name"), hostile);
    EXPECT_EQ(shown.at("differences").at(0).at("step"), 6);
    ASSERT_EQ(shown.at("sides").size(), 2u);
    for (size_t side = 0; side < 2; ++side) {
        const json& written = shown.at("sides").at(side);
        const json steps = dataBlock(text, written.at("blocks").get<std::string>() + "-0");
        ASSERT_TRUE(steps.is_array()) << "side " << side;
        // init and the scenario's eight steps, the first with the whole state.
        ASSERT_EQ(steps.size(), 9u);
        EXPECT_EQ(steps[6].at("step"), 6);
        EXPECT_EQ(steps[0].at("state").at("scene").at("local_uid"), 1001);
        EXPECT_EQ(written.at("stepX"), json({0, 1, 2, 3, 4, 5, 6, 7, 8}));
        EXPECT_EQ(written.at("timeline").at("schema"), 2);
        EXPECT_FALSE(written.at("timeline").at("catalogue").empty());
        // The peer is received on its upper stream from the first download on.
        const json& peer = namedItem(written.at("series"), "peer 2002");
        EXPECT_EQ(peer.at("y").back(), 716800) << peer.dump();
    }
}

TEST(DiffPage, ASimulationPageHoldsTheMetricsAndNoScenario) {
    DiffReport report;
    SimDiff sim;
    sim.meeting = "<meeting>.json";
    sim.traces = {"a.csv", "b.csv"};
    MetricComparison metric;
    metric.metric = "freezes";
    sim.metrics.push_back(metric);
    report.sim = sim;
    std::ostringstream page;
    DiffPage(page).end(report);
    const json data = dataBlock(page.str(), "ktr-report");
    ASSERT_TRUE(data.is_object());
    EXPECT_EQ(data.at("title"), "ktr diff: <meeting>.json");
    EXPECT_EQ(data.at("diff").at("scenarios"), json::array());
    EXPECT_EQ(data.at("diff").at("sim").at("metrics").at(0).at("metric"), "freezes");
    EXPECT_EQ(data.at("diff").at("sim").at("metrics").at(0).at("verdict"), nullptr);
}

}  // namespace
}  // namespace ktr::diff

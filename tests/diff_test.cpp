// ktr diff: the step comparer, the paired bootstrap and the verdicts, and the differ run on real builds: a
// stand-in build (support/ktrsdk_altered.cpp) that alters one answer once the host sets scene type 7, the
// real build against itself, two settings, and sides that crash or hang.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "DiffHtml.h"
#include "InputFile.h"
#include "MetricComparer.h"
#include "PairedBootstrap.h"
#include "ScenarioDiffer.h"
#include "SimDiffer.h"
#include "StepComparer.h"
#include "support/TestFiles.h"

namespace ktr::diff {
namespace {

using ktr::test_support::inputErrorOf;
using ktr::test_support::makeTempDir;
using ktr::test_support::writeFile;

using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kProgram = KTR_PROGRAM;
const std::string kLibrary = KTR_LIBRARY;
const std::string kAlteredLibrary = KTR_ALTERED_LIBRARY;
const std::string kScenarioDir = KTR_SCENARIO_DIR;

json step(int number, const std::string& event, json answer, std::vector<std::string> log) {
    return {{"step", number}, {"event", event}, {"answer", std::move(answer)}, {"log", std::move(log)}};
}

json record(int width, int bitrate) {
    return {{"width", width}, {"bitrate", bitrate}, {"fps", 30}};
}

// --- one step against another ------------------------------------------------------------------------

struct StepCase {
    std::string name;
    json a;
    json b;
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
    ASSERT_EQ(StepComparer(c.answersOnly).differs(c.a, c.b, difference), c.differs)
        << "a " << c.a.dump() << "\nb " << c.b.dump();
    if (c.differs) {
        EXPECT_EQ(difference.step, c.a.at("step").get<int>());
        EXPECT_EQ(difference.event, c.a.at("event").get<std::string>());
        EXPECT_EQ(difference.fields, c.fields);
        EXPECT_EQ(difference.logDiffers, c.logDiffers);
        EXPECT_EQ(difference.a.at("answer"), c.a.at("answer"));
        EXPECT_EQ(difference.b.at("log"), c.b.at("log"));
    }
}

const json kUpload = {{"channel", 1}, {"changed", true}, {"records", {record(1280, 716800), record(320, 204800)}}};

json uploadWith(const std::function<void(json&)>& change) {
    json answer = kUpload;
    change(answer);
    return answer;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StepRules,
    ::testing::Values(StepCase{"same_answer_same_lines",
                               step(4, "upload", kUpload, {"line"}),
                               step(4, "upload", kUpload, {"line"}),
                               false,
                               false,
                               {},
                               false},
                      StepCase{"events_without_answers",
                               step(1, "addUser", nullptr, {}),
                               step(1, "addUser", nullptr, {}),
                               false,
                               false,
                               {},
                               false},
                      StepCase{"a_record_field",
                               step(4, "upload", kUpload, {}),
                               step(4, "upload", uploadWith([](json& a) { a["records"][1]["bitrate"] = 102400; }), {}),
                               false,
                               true,
                               {"records[1].bitrate"},
                               false},
                      StepCase{"the_changed_flag_and_a_width",
                               step(4, "upload", kUpload, {}),
                               step(4, "upload", uploadWith([](json& a) {
                                        a["changed"] = false;
                                        a["records"][0]["width"] = 640;
                                    }),
                                    {}),
                               false,
                               true,
                               {"changed", "records[0].width"},
                               false},
                      StepCase{"a_record_only_b_has",
                               step(4, "upload", uploadWith([](json& a) { a["records"].erase(1); }), {}),
                               step(4, "upload", kUpload, {}),
                               false,
                               true,
                               {"records[1].bitrate", "records[1].fps", "records[1].width"},
                               false},
                      StepCase{"a_uid_set_is_one_field",
                               step(2, "hdld", {{"hd", {2002, 3003}}, {"ld", json::array()}}, {}),
                               step(2, "hdld", {{"hd", {2002}}, {"ld", {3003}}}, {}),
                               false,
                               true,
                               {"hd", "ld"},
                               false},
                      StepCase{"an_answer_against_none",
                               step(3, "download", {{"changed", false}}, {}),
                               step(3, "download", nullptr, {}),
                               false,
                               true,
                               {"changed"},
                               false},
                      StepCase{"log_lines_differ",
                               step(5, "upload", kUpload, {"x"}),
                               step(5, "upload", kUpload, {"y"}),
                               false,
                               true,
                               {},
                               true},
                      StepCase{"a_line_more",
                               step(5, "addUser", nullptr, {"x"}),
                               step(5, "addUser", nullptr, {"x", "x"}),
                               false,
                               true,
                               {},
                               true},
                      StepCase{"lines_do_not_count_for_answers_only",
                               step(5, "upload", kUpload, {"x"}),
                               step(5, "upload", kUpload, {"y"}),
                               true,
                               false,
                               {},
                               false},
                      StepCase{"answers_still_count_for_answers_only",
                               step(5, "upload", kUpload, {"x"}),
                               step(5, "upload", uploadWith([](json& a) { a["channel"] = 2; }), {"y"}),
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

// --- whole timelines ---------------------------------------------------------------------------------

std::vector<json> timeline(const std::vector<int>& bitrates) {
    std::vector<json> steps{step(0, "init", nullptr, {"init line"})};
    for (size_t i = 0; i < bitrates.size(); ++i) {
        steps.push_back(step(static_cast<int>(i) + 1, "upload", {{"records", {record(1280, bitrates[i])}}}, {}));
    }
    return steps;
}

TEST(TimelineComparison, StopsAtTheFirstDifferenceUnlessAll) {
    const std::vector<json> a = timeline({100, 200, 300, 400});
    const std::vector<json> b = timeline({100, 201, 300, 401});
    const TimelineComparison first = StepComparer(false).compare(a, b, false);
    ASSERT_EQ(first.differences.size(), 1u);
    EXPECT_EQ(first.differences[0].step, 2);
    EXPECT_EQ(first.steps, 3u) << "init and steps 1 and 2";
    const TimelineComparison all = StepComparer(false).compare(a, b, true);
    ASSERT_EQ(all.differences.size(), 2u);
    EXPECT_EQ(all.differences[1].step, 4);
    EXPECT_EQ(all.steps, 5u);
}

TEST(TimelineComparison, LeavesOutTheSettingsStepsOnlyOneSideInstalls) {
    std::vector<json> a = timeline({100, 200});
    std::vector<json> b = a;
    b.insert(b.begin() + 1, step(0, "config", nullptr, {"config line"}));
    const TimelineComparison comparison = StepComparer(false).compare(a, b, true);
    EXPECT_TRUE(comparison.differences.empty());
    EXPECT_EQ(comparison.steps, 3u);
    // Installed on both sides, the settings steps are compared like any other.
    a.insert(a.begin() + 1, step(0, "config", nullptr, {"another config line"}));
    const TimelineComparison both = StepComparer(false).compare(a, b, true);
    ASSERT_EQ(both.differences.size(), 1u);
    EXPECT_EQ(both.differences[0].event, "config");
    EXPECT_TRUE(both.differences[0].logDiffers);
}

TEST(TimelineComparison, ReadsJsonLinesAndRefusesOtherText) {
    const std::string lines =
        "{\"schema\":1,\"command\":\"replay\"}\n"
        "{\"step\":0,\"event\":\"init\",\"answer\":null,\"log\":[]}\n"
        "{\"step\":1,\"event\":\"upload\",\"answer\":{\"changed\":true},\"log\":[]}\n";
    const std::vector<json> steps = timelineSteps(lines, "run");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1].at("event"), "upload");
    EXPECT_THAT(inputErrorOf([] { timelineSteps("{\"step\":0,\"event\":\"init\"}\nnot json\n", "run A"); }),
                HasSubstr("run A: line 2: not JSON"));
    EXPECT_THAT(inputErrorOf([] { timelineSteps("[1]\n", "run A"); }), HasSubstr("line 1: not a JSON object"));
    EXPECT_THAT(inputErrorOf([] { timelineSteps("{\"step\":\"x\",\"event\":\"init\"}\n", "run A"); }),
                HasSubstr("line 1: a step needs"));
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
        MetricComparer(bootstrap).compare({"time_upper_pct", "%", "higher", optionals(a), optionals(a)});
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
        MetricComparer(bootstrap).compare({"metric", "%", c.better, optionals(a), optionals(b)});
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
        comparer.compare({"time_to_cut_s.median", "s", "lower", {std::nullopt, std::nullopt}, {std::nullopt, 2.0}});
    EXPECT_EQ(undefined.traces, 0u);
    EXPECT_FALSE(undefined.verdict);
    EXPECT_FALSE(undefined.meanA);
    const MetricComparison partly = comparer.compare({"m", "s", "lower", {1.0, std::nullopt, 3.0}, {2.0, 9.0, 4.0}});
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
    EXPECT_EQ(first.a.at("answer").at("changed"), !first.b.at("answer").at("changed").get<bool>());
    EXPECT_EQ(first.a.at("answer").at("records"), first.b.at("answer").at("records"));
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
    EXPECT_EQ(first.a.at("answer").at("records").at(0).at("height"), 480);
    EXPECT_EQ(first.b.at("answer").at("records").at(0).at("height"), 720);
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

// --- the HTML page ----------------------------------------------------------------------------------------

// The JSON of the page's data element, as the page reads it.
json reportBlock(const std::string& html) {
    const std::string start = "id=\"ktr-report\">";
    const size_t from = html.find(start);
    if (from == std::string::npos) {
        return nullptr;
    }
    const size_t begin = from + start.size();
    return json::parse(html.substr(begin, html.find("</script>", begin) - begin));
}

json stepWithState(int step, const json& answer, const json& peers) {
    return {{"step", step},
            {"event", "download"},
            {"answer", answer},
            {"log", json::array({"line of step " + std::to_string(step)})},
            {"state", {{"download_estimate", {{"bitrate", 900}}}, {"peers", peers}}}};
}

TEST(DiffPage, HoldsBothTimelinesWithTheirChartValuesAndKeepsHostileTextsInert) {
    const std::string hostile = "</script><script>alert(1)</script>&\u2028";
    const json peerA =
        json::array({{{"uid", 2002}, {"received", true}, {"choice", "upper"}, {"chosen", {{"bitrate", 700}}}}});
    const json peerB = json::array({{{"uid", 2002}, {"received", true}, {"choice", "none"}}});
    const json upload = {{"channel", 2}, {"changed", true}, {"records", json::array({{{"bitrate", 300}}})}};
    DiffReport report;
    report.a = DiffSide{"A", "liba.so", ""};
    report.b = DiffSide{"B", "libb.so", ""};
    ScenarioDiff scenario{"s.json", hostile, {}, {stepWithState(1, upload, peerA)}, {stepWithState(1, upload, peerB)}};
    scenario.comparison.steps = 1;
    scenario.comparison.differences.push_back({1, "download", {}, true, {}, {}});
    report.scenarios.push_back(scenario);

    std::ostringstream page;
    writeDiffHtml(page, report);
    const std::string html = page.str();
    EXPECT_EQ(html.find("<script>alert"), std::string::npos);
    const json data = reportBlock(html);
    ASSERT_TRUE(data.is_object());
    EXPECT_EQ(data.at("title"), "ktr diff: s.json");
    EXPECT_EQ(data.at("axis"), "step");
    const json& shown = data.at("diff").at("scenarios").at(0);
    EXPECT_EQ(shown.at("name"), hostile);
    EXPECT_EQ(shown.at("differences").at(0).at("step"), 1);
    const json& timelines = shown.at("timelines");
    ASSERT_EQ(timelines.size(), 2u);
    EXPECT_FALSE(timelines[0][0].contains("state"));
    EXPECT_EQ(timelines[0][0].at("log"), json::array({"line of step 1"}));
    EXPECT_EQ(timelines[0][0].at("chart"), json({{"estimate", 900}, {"peer 2002", 700}, {"share", 300}}));
    EXPECT_EQ(timelines[1][0].at("chart").at("peer 2002"), 0) << "a peer that receives nothing";
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
    writeDiffHtml(page, report);
    const json data = reportBlock(page.str());
    ASSERT_TRUE(data.is_object());
    EXPECT_EQ(data.at("title"), "ktr diff: <meeting>.json");
    EXPECT_EQ(data.at("diff").at("scenarios"), json::array());
    EXPECT_EQ(data.at("diff").at("sim").at("metrics").at(0).at("metric"), "freezes");
    EXPECT_EQ(data.at("diff").at("sim").at("metrics").at(0).at("verdict"), nullptr);
}

}  // namespace
}  // namespace ktr::diff

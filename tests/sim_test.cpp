#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Bottleneck.h"
#include "Conference.h"
#include "FreezeDetector.h"
#include "InputFile.h"
#include "LinkEstimator.h"
#include "Meeting.h"
#include "MetricTable.h"
#include "ProvenanceOf.h"
#include "QualityMetrics.h"
#include "RecordedEstimates.h"
#include "Replayer.h"
#include "Scenario.h"
#include "ScenarioWriter.h"
#include "SdkLibrary.h"
#include "SeriesSink.h"
#include "Simulation.h"
#include "SyntheticTrace.h"
#include "support/TimelineCollector.h"

namespace {

using ktr::kMicrosPerSecond;
using ktr::Micros;
using tarn::video::VideoStreamInfo;

constexpr Micros kMs = 1000;

const ktr::SdkLibrary& library() {
    static const ktr::SdkLibrary loaded(KTR_LIBRARY);
    return loaded;
}

using ktr::testing::TimelineCollector;

// Frames every 33 ms: the freeze limit is max(3 x 33, 33 + 150) = 183 ms.
TEST(FreezeDetector, CountsGapsBeyondTheLimitOfTheRecentMeanInterval) {
    struct Case {
        Micros gap;
        int freezes;
    };
    for (const Case& c : {Case{182 * kMs, 0}, Case{183 * kMs, 1}, Case{400 * kMs, 1}}) {
        ktr::sim::FreezeDetector detector;
        Micros at = 0;
        for (int frame = 0; frame < 40; ++frame, at += 33 * kMs) {
            detector.rendered(at);
        }
        detector.rendered(at - 33 * kMs + c.gap);
        EXPECT_EQ(detector.freezes(), c.freezes) << "gap " << c.gap;
        EXPECT_EQ(detector.frozenTime(), c.freezes == 1 ? c.gap : 0) << "gap " << c.gap;
    }
    // The first interval has no mean to compare with; a stop counts a gap that already is a freeze.
    ktr::sim::FreezeDetector detector;
    detector.rendered(0);
    detector.rendered(10 * kMicrosPerSecond);
    EXPECT_EQ(detector.freezes(), 0);
    ktr::sim::FreezeDetector stopped;
    for (Micros at = 0; at < 40 * 33 * kMs; at += 33 * kMs) {
        stopped.rendered(at);
    }
    EXPECT_EQ(stopped.stopped(39 * 33 * kMs + 400 * kMs), std::optional<Micros>(400 * kMs));
    EXPECT_EQ(stopped.freezes(), 1);
}

// Frames of `sendBps` every 33 ms through a bottleneck of `capacity`, estimated every 100 ms; the
// estimates of the last second.
std::vector<ktr::sim::LinkEstimate> estimates(double sendBps, const std::string& capacity) {
    const ktr::sim::CapacityTrace trace = ktr::sim::parseSyntheticTrace(capacity);
    ktr::sim::Bottleneck link(trace, 150000);
    ktr::sim::LinkEstimator estimator;
    std::deque<std::pair<Micros, Micros>> inFlight;  // (sent, arrival)
    std::vector<ktr::sim::LinkEstimate> last;
    const int64_t frameBytes = static_cast<int64_t>(sendBps / 30 / 8);
    for (Micros at = 0; at < 10 * kMicrosPerSecond; at += kMs) {
        if (at % (33 * kMs) == 0) {
            const ktr::sim::Bottleneck::Outcome outcome = link.send(at, frameBytes);
            if (outcome.dropped) {
                estimator.dropped(frameBytes);
            } else {
                inFlight.emplace_back(at, outcome.departure + 25 * kMs);
            }
        }
        while (!inFlight.empty() && inFlight.front().second <= at) {
            estimator.arrived(inFlight.front().first, inFlight.front().second, frameBytes);
            inFlight.pop_front();
        }
        if (at > 0 && at % (100 * kMs) == 0) {
            last.push_back(estimator.update(at, sendBps));
        }
    }
    last.erase(last.begin(), last.end() - 10);
    return last;
}

TEST(LinkEstimator, HeadroomReadsAsRoomToRaiseAndOverloadAsCongestion) {
    for (const ktr::sim::LinkEstimate& e : estimates(1e6, "constant:6mbps")) {
        EXPECT_TRUE(e.status == 2 || e.status == 3) << "status " << e.status;
        EXPECT_GT(e.score, 85);
        EXPECT_GT(e.maxBitrate, e.bitrate);
    }
    int congested = 0;
    for (const ktr::sim::LinkEstimate& e : estimates(3e6, "constant:1mbps")) {
        congested += e.status >= 4 ? 1 : 0;
        EXPECT_LT(e.maxBitrate, 3000000);
        EXPECT_LE(e.bitrate, 1100000);
    }
    EXPECT_GE(congested, 5) << "an overloaded link reads as congested most of the time";
}

std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

constexpr const char* kEstimatesHeader = "time_s,status,score,bitrate,max_bitrate\n";

TEST(RecordedEstimates, EachRowHoldsUntilTheNext) {
    const ktr::sim::RecordedEstimates estimates = ktr::sim::RecordedEstimates::read(
        writeFile("estimates.csv", std::string(kEstimatesHeader) + "1.5,2,95,800000,3000000\n\n4,5,10,100,200\n"));
    EXPECT_EQ(estimates.at(1499999), nullptr);
    ASSERT_NE(estimates.at(1500000), nullptr);
    EXPECT_EQ(estimates.at(1500000)->status, 2);
    EXPECT_EQ(estimates.at(3999999)->maxBitrate, 3000000);
    EXPECT_EQ(estimates.at(4000000)->status, 5);
    EXPECT_EQ(estimates.at(99 * kMicrosPerSecond)->bitrate, 100);
}

TEST(RecordedEstimates, RefusesBadFilesNamingTheLine) {
    struct Case {
        std::string text;
        std::string message;
    };
    for (const Case& c :
         {Case{"time,status\n", "line 1: expected the header time_s,status,score,bitrate,max_bitrate"},
          Case{kEstimatesHeader, "no estimate after the header"},
          Case{std::string(kEstimatesHeader) + "1,2,3,4\n", "line 2: expected 5 cells, got 4"},
          Case{std::string(kEstimatesHeader) + "1,2,3,4,x\n", "line 2: max_bitrate: \"x\" is not a number"},
          Case{std::string(kEstimatesHeader) + "1,2,3,2147483648,0\n",
               "line 2: bitrate: expected an integer from -2147483648 to 2147483647, got 2147483648"},
          Case{std::string(kEstimatesHeader) + "2,1,1,1,1\n2,1,1,1,1\n", "line 3: time_s: times must increase"},
          Case{std::string(kEstimatesHeader) + "-1,1,1,1,1\n", "line 2: time_s: expected 0 to"}}) {
        const std::string path = writeFile("bad-estimates.csv", c.text);
        try {
            ktr::sim::RecordedEstimates::read(path);
            ADD_FAILURE() << "accepted " << c.text;
        } catch (const ktr::InputError& error) {
            EXPECT_NE(std::string(error.what()).find(path + ": " + c.message), std::string::npos)
                << error.what() << " / expected " << c.message;
        }
    }
}

// A meeting of `peers` desktop peers publishing 720P + 240P, the last one speaking throughout.
ktr::sim::Meeting meeting(int peers, Micros duration) {
    ktr::sim::Meeting m;
    m.name = "test meeting";
    m.localUid = 1;
    m.localDt = 8;
    m.duration = duration;
    for (int i = 0; i < peers; ++i) {
        ktr::sim::MeetingPeer peer;
        peer.uid = 2 + i;
        peer.streams = {VideoStreamInfo{1, 0, 1280, 720, 30, 716800, 1024000, 512000},
                        VideoStreamInfo{1, 0, 320, 240, 15, 204800, 256000, 102400}};
        m.peers.push_back(peer);
    }
    m.speakers.push_back({0, duration, 2 + static_cast<uint64_t>(peers) - 1});
    m.selectRequests.push_back({0, {{640, 480, 20, 358400}}});
    return m;
}

// Every sample of the series, in the order written.
class SeriesCollector : public ktr::SeriesSink {
public:
    struct Sample {
        double timeS;
        std::string kind;
        uint64_t uid;
        double value;
    };
    void sample(double timeS, const char* kind, uint64_t uid, double value) override {
        samples.push_back({timeS, kind, uid, value});
    }
    std::vector<Sample> samples;
};

struct RunResult {
    ktr::RunSummary summary;
    TimelineCollector timeline;
    std::string record;
    SeriesCollector series;
    ktr::sim::PathTotals download;

    const std::vector<ktr::TimelineStep>& steps() const { return timeline.steps; }
};

RunResult simulate(const ktr::sim::Meeting& m, const std::string& downlink, const std::string& uplink = "",
                   bool conference = false) {
    const ktr::sim::CapacityTrace down = ktr::sim::parseSyntheticTrace(downlink);
    const std::optional<ktr::sim::CapacityTrace> up =
        uplink.empty() ? std::nullopt : std::optional<ktr::sim::CapacityTrace>(ktr::sim::parseSyntheticTrace(uplink));
    ktr::sim::SimulationSetup setup;
    setup.meeting = &m;
    setup.downlink = &down;
    setup.uplink = up ? &*up : nullptr;
    setup.conference = conference;
    TimelineCollector timeline;
    std::ostringstream record;
    ktr::ScenarioWriter recorder(record, "recorded", "", ktr::Init{m.localUid, m.localDt});
    std::srand(1);  // the library draws from rand(): every run starts from the same point
    RunResult result;
    ktr::sim::Simulation simulation(setup);
    simulation.run(library(), {&timeline, &recorder, &result.series}, result.summary);
    result.download = simulation.downloadTotals();
    recorder.finish();
    result.timeline = std::move(timeline);
    result.record = record.str();
    return result;
}

double value(const ktr::RunSummary& summary, const char* metric) {
    const ktr::Metric* found = summary.metrics.find(metric);
    return found != nullptr && found->value ? *found->value : -1.0;
}

TEST(Simulation, AmpleLinkReceivesEveryoneWithoutFreezes) {
    const RunResult run = simulate(meeting(3, 60 * kMicrosPerSecond), "constant:20mbps", "constant:5mbps");
    EXPECT_EQ(value(run.summary, "freezes_per_min"), 0.0) << ktr::toJsonText(run.summary);
    EXPECT_EQ(value(run.summary, "overshoot_time_pct"), 0.0);
    EXPECT_EQ(value(run.summary, "time_none_pct"), 0.0);
    EXPECT_EQ(value(run.summary, "upload_overshoot_pct"), 0.0);
    EXPECT_GT(value(run.summary, "utilization_pct"), 0.0);
    EXPECT_EQ(run.summary.peers.size(), 3u);
}

TEST(Simulation, SameMeetingSameTraceSameSummary) {
    const ktr::sim::Meeting m = meeting(4, 90 * kMicrosPerSecond);
    EXPECT_EQ(ktr::toJsonText(simulate(m, "walk:1.5mbps/300kbps-4mbps/seed=7").summary),
              ktr::toJsonText(simulate(m, "walk:1.5mbps/300kbps-4mbps/seed=7").summary));
}

// Every call the simulation made, replayed from the recorded scenario, gives the same answers and lines, at
// the simulated time of the call.
TEST(Simulation, RecordedScenarioReplaysIdentically) {
    const RunResult run = simulate(meeting(4, 60 * kMicrosPerSecond), "steps:20s@3mbps,20s@400kbps,20s@3mbps");
    const ktr::Scenario scenario = ktr::parseScenario(run.record, "recorded.json");
    ASSERT_EQ(scenario.steps.size(), run.steps().size());
    TimelineCollector replayed;
    std::srand(1);
    ktr::replay::Replayer(library()).run(scenario, ktr::provenanceOf(library(), ""), replayed);
    bool someStepsShareASecond = false;
    for (size_t i = 0; i < run.steps().size(); ++i) {
        ASSERT_TRUE(replayed.steps[i].action == run.steps()[i].action) << i;
        ASSERT_TRUE(run.steps()[i].time.has_value()) << i;
        EXPECT_EQ(scenario.steps[i].time, *run.steps()[i].time) << "call " << i;
        EXPECT_EQ(replayed.steps[i].time, run.steps()[i].time) << "call " << i;
        someStepsShareASecond =
            someStepsShareASecond || (i > 0 && scenario.steps[i].time < scenario.steps[i - 1].time + 1);
        std::vector<std::string> simulated, again;
        for (const ktr::FiredRule& rule : run.steps()[i].rules)
            simulated.push_back(rule.text);
        for (const ktr::FiredRule& rule : replayed.steps[i].rules)
            again.push_back(rule.text);
        ASSERT_EQ(simulated, again) << "call " << i;
    }
    EXPECT_TRUE(someStepsShareASecond) << "the times are the simulation's, not one step per second";
}

// Capacity far below demand for 20 s: the demand overshoots, the policy cuts, and video recovers later.
TEST(Simulation, CapacityDropIsCutAndRecovered) {
    const RunResult run = simulate(meeting(4, 90 * kMicrosPerSecond), "steps:30s@4mbps,20s@500kbps,40s@4mbps");
    EXPECT_GT(value(run.summary, "overshoot_time_pct"), 0.0) << ktr::toJsonText(run.summary);
    EXPECT_GT(value(run.summary, "freezes_per_min"), 0.0);
    EXPECT_GE(run.summary.metrics.find("time_to_cut_s")->episodes.value_or(0), 1u);
}

// The link's sampled series, by time: capacity and delivered.
struct LinkSeries {
    std::map<double, double> capacity;
    std::map<double, double> delivered;
};

LinkSeries linkSeriesOf(const SeriesCollector& collected) {
    LinkSeries series;
    for (const SeriesCollector::Sample& sample : collected.samples) {
        if (sample.kind == "capacity") {
            series.capacity[sample.timeS] = sample.value;
        } else if (sample.kind == "delivered") {
            series.delivered[sample.timeS] = sample.value;
        }
    }
    return series;
}

// Rounding of the bytes carried, summed over a trace: far below one bit per interval.
constexpr double kRoundingBps = 1e-3;

// On varied links, no sampling interval delivers more than its capacity, and utilization and idle headroom,
// counted over the same intervals against the same capacity, add up to at most 100 %.
TEST(Simulation, DeliveredStaysWithinCapacityAndTheLinkSharesWithinTheWhole) {
    for (const std::string& downlink :
         {std::string("walk:1.5mbps/300kbps-4mbps/seed=3"), std::string("walk:2mbps/200kbps-6mbps/seed=19/every=200ms"),
          std::string("outage:3mbps/20s/4s"), std::string("steps:15s@4mbps,15s@300kbps,30s@2mbps"),
          std::string("constant:800kbps")}) {
        const RunResult run = simulate(meeting(5, 60 * kMicrosPerSecond), downlink);
        const LinkSeries series = linkSeriesOf(run.series);
        ASSERT_EQ(series.delivered.size(), series.capacity.size()) << downlink;
        ASSERT_EQ(series.delivered.size(), 599u) << downlink << ": a sample every 100 ms, none at the end";
        for (const auto& [time, delivered] : series.delivered) {
            ASSERT_LE(delivered, series.capacity.at(time) + kRoundingBps) << downlink << " at " << time << " s";
        }
        const double utilization = value(run.summary, "utilization_pct");
        const double idle = value(run.summary, "idle_headroom_pct");
        EXPECT_GT(utilization, 0.0) << downlink;
        EXPECT_LE(utilization + idle, 100.0 + 1e-9) << downlink << ": utilization " << utilization << ", idle " << idle;
    }
}

// Drops of a synthetic capacity trace under a demand the host cuts and raises at given times; delivered is
// what a link without a queue carries, min(demand, capacity). Samples every 100 ms; the drop starts at the
// sample before the first one over capacity, 10.0 s in every case; delivery falls when the delivered bitrate
// over a second after the start is below 90 % of the demand at the start (1.5 Mbit/s: 1.35 Mbit/s), and is
// back once it reaches that level again.
struct RecoveryCase {
    std::string name;
    std::string capacity;
    Micros cutAt;    // the demand is 400 kbit/s in the samples after this time (0: never cut)
    Micros raiseAt;  // and 1.5 Mbit/s again after this one (0: never raised)
    std::optional<double> timeToCut;
    std::optional<double> timeToRecover;
};

void PrintTo(const RecoveryCase& c, std::ostream* os) {
    *os << c.name;
}

class RecoveryEpisodes : public ::testing::TestWithParam<RecoveryCase> {};

TEST_P(RecoveryEpisodes, MeasuredFromTheDropStartToTheFirstSecondBackAtTheDemandAfterAFall) {
    const RecoveryCase& c = GetParam();
    const ktr::sim::CapacityTrace trace = ktr::sim::parseSyntheticTrace(c.capacity);
    ktr::sim::QualityMetrics metrics;
    const Micros step = 100 * kMs;
    for (Micros at = step; at <= 40 * kMicrosPerSecond; at += step) {
        const bool cut = c.cutAt > 0 && at > c.cutAt && (c.raiseAt == 0 || at <= c.raiseAt);
        ktr::sim::LinkSample link;
        link.at = at;
        link.length = step;
        link.capacityBps = trace.bitsPerSecond(at - step, at);
        link.demandBps = cut ? 4e5 : 1.5e6;
        link.deliveredBps = std::min(link.demandBps, link.capacityBps);
        metrics.sample(link, {});
    }
    ktr::RunSummary summary;
    metrics.summarize(summary);
    const auto expectEpisode = [&](const char* name, std::optional<double> expected) {
        const ktr::Metric* metric = summary.metrics.find(name);
        ASSERT_NE(metric, nullptr) << name;
        EXPECT_EQ(metric->episodes.value_or(0), expected ? 1u : 0u) << c.name << ": " << name;
        if (expected) {
            EXPECT_NEAR(metric->median.value_or(-1), *expected, 1e-9) << c.name << ": " << name;
        }
    };
    expectEpisode("time_to_cut_s", c.timeToCut);
    expectEpisode("time_to_recover_s", c.timeToRecover);
}

INSTANTIATE_TEST_SUITE_P(
    SyntheticDrops, RecoveryEpisodes,
    ::testing::Values(
        // Cut at 12 s (first sample at or below capacity: 12.1 s); capacity back at 20 s, demand raised at
        // 23 s: the second ending at 23.9 s holds nine samples at 1.5 and one at 0.4 Mbit/s, 1.39 Mbit/s
        // (at 23.8 s: 1.28). Recovery 23.9 - 10.0.
        RecoveryCase{"cut_then_raised", "steps:10s@2mbps,10s@500kbps,20s@2mbps", 12 * kMicrosPerSecond,
                     23 * kMicrosPerSecond, 2.1, 13.9},
        // Never cut: capacity back at 20 s ends the overshoot (20.1 s), and delivery reaches 1.5 Mbit/s in
        // the samples from 20.1 s; the second ending at 20.9 s holds nine of them and one at 0.5: 1.4.
        RecoveryCase{"never_cut", "steps:10s@2mbps,10s@500kbps,20s@2mbps", 0, 0, 10.1, 10.9},
        // A shallow drop to 1.4 Mbit/s (93 % of the demand): delivery never falls below 90 %, so there is
        // nothing to recover; the cut comes with capacity at 20.1 s.
        RecoveryCase{"shallow", "steps:10s@2mbps,10s@1400kbps,20s@2mbps", 0, 0, 10.1, std::nullopt},
        // A drop to 1.3 Mbit/s (87 %) is felt: the first second after the start (to 11.0 s) delivers
        // 1.3 Mbit/s. Capacity is back at 20 s: the second ending at 20.3 s holds seven samples at 1.3 and
        // three at 1.5 Mbit/s, 1.36 (at 20.2 s: 1.34). Recovery 20.3 - 10.0.
        RecoveryCase{"felt", "steps:10s@2mbps,10s@1300kbps,20s@2mbps", 0, 0, 10.1, 10.3},
        // Cut at 12 s and never raised: 400 kbit/s is never 90 % of 1.5 Mbit/s.
        RecoveryCase{"never_raised", "steps:10s@2mbps,10s@500kbps,20s@2mbps", 12 * kMicrosPerSecond, 0, 2.1,
                     std::nullopt},
        // Over capacity for 0.5 s only: no drop.
        RecoveryCase{"too_short", "steps:10s@2mbps,500ms@500kbps,29500ms@2mbps", 0, 0, std::nullopt, std::nullopt}),
    [](const ::testing::TestParamInfo<RecoveryCase>& info) { return info.param.name; });

// A desktop calls one desktop colleague on a link far above any stream the library can ask for; nobody
// speaks. Every raise the library asks for is met, the colleague publishes it, and its report confirms it
// (the library chooses the upper stream again for a peer it knows while the estimate is good, nobody
// speaks or shares and fewer than three users are listed), so nothing is dropped, nothing freezes and no
// received stream ever goes back to where it was.
TEST(HostModel, OneToOneOnAnAmpleConstantLinkDropsNothingFreezesNeverAndDoesNotFlap) {
    ktr::sim::Meeting m = meeting(1, 120 * kMicrosPerSecond);
    m.speakers.clear();
    const RunResult run = simulate(m, "constant:10mbps");
    EXPECT_EQ(run.download.dropped, 0);
    EXPECT_EQ(value(run.summary, "freezes_per_min"), 0.0) << ktr::toJsonText(run.summary);
    EXPECT_EQ(value(run.summary, "flaps_per_min"), 0.0) << ktr::toJsonText(run.summary);
    EXPECT_EQ(value(run.summary, "time_none_pct"), 0.0);
    double last = 0;
    for (const SeriesCollector::Sample& sample : run.series.samples) {
        last = sample.kind == "received" ? sample.value : last;
    }
    EXPECT_GT(last, 716800.0) << "the raises the library asked for were never received";
}

bool near(double a, double b) {
    return std::abs(a - b) < 1e-9;
}

// The library answers the host had at timeS that account for a change of what it receives of uid: an HD/LD
// answer at that instant naming it (the answers after a report or a new user list included), a download
// request for it made one request delay earlier, or its leave.
bool answerExplains(const RunResult& run, const ktr::sim::Meeting& m, double timeS, uint64_t uid) {
    const double requestDelayS = static_cast<double>(m.host.requestDelay) / kMicrosPerSecond;
    for (const ktr::TimelineStep& step : run.steps()) {
        const double at = *step.time;
        if (const auto* hdld = std::get_if<ktr::HdLdAnswer>(&step.answer); hdld != nullptr && near(at, timeS)) {
            if (hdld->hd->count(uid) != 0 || hdld->ld->count(uid) != 0) {
                return true;
            }
        }
        if (const auto* download = std::get_if<ktr::DownloadAnswer>(&step.answer);
            download != nullptr && near(at + requestDelayS, timeS) && download->request(uid) != nullptr) {
            return true;
        }
        if (const auto* leave = std::get_if<ktr::RemoveUser>(&step.action);
            leave != nullptr && near(at, timeS) && leave->uid == uid) {
            return true;
        }
    }
    return false;
}

// Peers join late and leave early over a link that drops and recovers: every change of a received stream
// follows an answer of the library or a report, never the host's own reading of the library's state.
TEST(HostModel, EverySwitchOfAReceivedStreamFollowsARequestAnAnswerOrALeave) {
    ktr::sim::Meeting m = meeting(4, 90 * kMicrosPerSecond);
    m.peers[1].join = 10 * kMicrosPerSecond;
    m.peers[2].leave = 60 * kMicrosPerSecond;
    const RunResult run = simulate(m, "steps:30s@4mbps,20s@500kbps,40s@4mbps");
    int changes = 0;
    for (const SeriesCollector::Sample& sample : run.series.samples) {
        if (sample.kind == "received") {
            ++changes;
            EXPECT_TRUE(answerExplains(run, m, sample.timeS, sample.uid))
                << "peer " << sample.uid << " received at " << sample.value << " bit/s from " << sample.timeS << " s";
        }
    }
    EXPECT_GT(changes, 8) << "the run should raise and cut, besides the joins and the leave";
}

// The greatest bitrate of the camera streams an upload answer publishes.
int32_t topBitrate(const ktr::UploadAnswer& answer) {
    int32_t top = 0;
    for (const ktr::Record& record : *answer.records) {
        top = std::max(top, record.bitrate.value_or(0));
    }
    return top;
}

// Three people on rich links, everybody running the library. The local participant is a publisher: its
// select requests are its two subscribers' subscriptions. A subscription to a published stream asks for
// that stream, so a select request above everything published so far can only be a subscriber's raised
// download request; the loop is closed when one arrives and a later upload answer publishes above what was
// published before it. Nobody speaks: a listener's camera is asked for 180P, which the built-in table lacks,
// so with a speaker the listeners' answers would be "no result" and nothing would change.
TEST(Conference, ASubscribersRaisedRequestReachesThePublisherAndChangesWhatItPublishes) {
    ktr::sim::Meeting m = meeting(2, 60 * kMicrosPerSecond);
    m.speakers.clear();
    const RunResult run = simulate(m, "constant:20mbps", "constant:20mbps", true);
    int32_t publishedSoFar = 0;
    std::optional<double> raisedAt;
    std::optional<double> publishedAt;
    for (const ktr::TimelineStep& step : run.steps()) {
        if (const auto* request = std::get_if<ktr::SelectRequest>(&step.action);
            request != nullptr && publishedSoFar > 0 && request->bitrate > publishedSoFar && !raisedAt) {
            raisedAt = *step.time;
        }
        if (const auto* upload = std::get_if<ktr::UploadAnswer>(&step.answer);
            upload != nullptr && upload->channel == 1) {
            if (raisedAt && !publishedAt && topBitrate(*upload) > publishedSoFar) {
                publishedAt = *step.time;
            }
            publishedSoFar = raisedAt ? publishedSoFar : std::max(publishedSoFar, topBitrate(*upload));
        }
    }
    ASSERT_TRUE(raisedAt) << "no subscriber asked the publisher for more than it published";
    ASSERT_TRUE(publishedAt) << "the raised request at " << *raisedAt << " s never changed what was published";
    EXPECT_GE(*publishedAt, *raisedAt);
}

// Three peers, the last speaking throughout: every listener, the local participant among them, is answered
// the 180P scene default, all zero in the built-in table ("no result"). A listener keeps publishing what it
// published before, so the local participant receives each peer on some stream the whole meeting.
TEST(Conference, AListenersNoResultAnswerKeepsWhatItPublishes) {
    const RunResult run = simulate(meeting(3, 60 * kMicrosPerSecond), "constant:20mbps", "constant:20mbps", true);
    bool noResult = false;
    for (const ktr::TimelineStep& step : run.steps()) {
        if (const auto* upload = std::get_if<ktr::UploadAnswer>(&step.answer);
            upload != nullptr && upload->channel == 1 && !upload->records->empty()) {
            noResult = noResult || topBitrate(*upload) == 0;
        }
    }
    EXPECT_TRUE(noResult) << "the local listener was never answered \"no result\"";
    EXPECT_EQ(value(run.summary, "time_none_pct"), 0.0) << ktr::toJsonText(run.summary);
}

// One process, one rand() sequence: the same meeting, links and seed give the same calls and the same
// summary, byte for byte.
TEST(Conference, SameMeetingSameLinksSameSeedSameOutputs) {
    ktr::sim::Meeting m = meeting(4, 60 * kMicrosPerSecond);
    m.speakers.clear();
    const RunResult first = simulate(m, "walk:1.5mbps/300kbps-4mbps/seed=7", "constant:2mbps", true);
    const RunResult second = simulate(m, "walk:1.5mbps/300kbps-4mbps/seed=7", "constant:2mbps", true);
    EXPECT_EQ(first.record, second.record);
    EXPECT_EQ(ktr::toJsonText(first.summary), ktr::toJsonText(second.summary));
    EXPECT_GT(first.steps().size(), 100u);
}

// The local participant's download path: what was sent either arrived, was dropped or is still on its way.
TEST(Conference, TheDownloadPathLosesNoBytesUnaccounted) {
    ktr::sim::Meeting m = meeting(4, 60 * kMicrosPerSecond);
    m.speakers.clear();
    const RunResult run = simulate(m, "steps:20s@3mbps,20s@100kbps,20s@3mbps", "constant:2mbps", true);
    EXPECT_GT(run.download.sent, 0);
    EXPECT_GT(run.download.dropped, 0) << "the drop to 100 kbit/s should overflow the buffer";
    EXPECT_LE(run.download.delivered + run.download.dropped, run.download.sent);
}

// A conference on ample links, every participant's uplink included, but uid 2's uplink: the one given.
ktr::sim::SimulationSetup conferenceWithUplinkOf2(const ktr::sim::Meeting& m, const ktr::sim::CapacityTrace& ample,
                                                  const ktr::sim::CapacityTrace& uplinkOf2) {
    ktr::sim::SimulationSetup setup;
    setup.meeting = &m;
    setup.downlink = &ample;
    setup.uplink = &ample;
    setup.ownUplinks[2] = &uplinkOf2;
    setup.conference = true;
    return setup;
}

// Uid 1 and two peers, nobody speaking; uid 2 shares a 1 Mbit/s 720p stream from `from` to `to`. The
// built-in table has no 720P row for the share channel (the share answer would be all zero): the meeting
// installs one.
ktr::sim::Meeting sharingMeeting(Micros duration, Micros from, Micros to) {
    ktr::sim::Meeting m = meeting(2, duration);
    m.speakers.clear();
    m.definitions.push_back(VideoStreamInfo{2, 5, 1280, 720, 10, 1000000, 1500000, 500000});
    m.sharing.push_back({from, to, 2});
    return m;
}

// Three people on ample downlinks and uplinks, except that uid 2's uplink falls to 100 kbit/s from 20 s to
// 40 s, a fifth of the 512 kbit/s or more it publishes (the library's upload answers do not read the upload
// estimate, so it goes on publishing). The server forwards what crossed each uplink, so most of uid 2's
// frames are missing at both of its subscribers then: after 30 frames a second, the first gap is far beyond
// three mean intervals, so each subscriber sees uid 2 freeze and the other peer never, while its own
// downlink, far above what it receives, drops nothing. Uid 2 receives both others cleanly.
TEST(Conference, ACongestedUplinkFreezesThatPublisherAtEverySubscriberAndNoOther) {
    ktr::sim::Meeting m = meeting(2, 60 * kMicrosPerSecond);
    m.speakers.clear();
    const ktr::sim::CapacityTrace ample = ktr::sim::parseSyntheticTrace("constant:20mbps");
    const ktr::sim::CapacityTrace narrow = ktr::sim::parseSyntheticTrace("steps:20s@20mbps,20s@100kbps,20s@20mbps");
    std::srand(1);
    ktr::sim::Simulation simulation(conferenceWithUplinkOf2(m, ample, narrow));
    ktr::RunSummary local;
    simulation.run(library(), {}, local);
    const ktr::sim::PathTotals& download = simulation.downloadTotals();
    EXPECT_GT(download.sent, 0);
    EXPECT_EQ(download.dropped, 0) << "the local downlink carries 20 Mbit/s";
    EXPECT_LE(download.delivered, download.sent);
    ASSERT_EQ(simulation.participants().size(), 3u);
    for (const auto& [uid, summary] : simulation.participants()) {
        ASSERT_EQ(summary.peers.size(), 2u) << "participant " << uid;
        for (const ktr::PeerSummary& peer : summary.peers) {
            const ktr::Metric* freezes = peer.metrics.find("freezes_per_min");
            ASSERT_TRUE(freezes != nullptr && freezes->value) << "participant " << uid << ", peer " << peer.uid;
            if (peer.uid == 2) {
                EXPECT_GT(*freezes->value, 0.0) << "participant " << uid << " receives uid 2 cleanly";
            } else {
                EXPECT_EQ(*freezes->value, 0.0) << "participant " << uid << ", peer " << peer.uid;
            }
        }
    }
}

// A peer shares from 10 s to 25 s: its share answer travels to the local participant beside the cameras, so
// the local downlink's demand exceeds the cameras it receives by the share stream's bitrate then, and only
// then. At one instant the local participant (uid 1) samples before the sharer (uid 2) acts, so the sample at
// 10 s has no share yet and the one at 25 s still has it.
TEST(Conference, ASharersShareStreamReachesEveryoneElseWhileItShares) {
    const ktr::sim::Meeting m = sharingMeeting(40 * kMicrosPerSecond, 10 * kMicrosPerSecond, 25 * kMicrosPerSecond);
    const RunResult run = simulate(m, "constant:20mbps", "", true);
    std::map<uint64_t, double> cameras;
    int sharing = 0;
    for (const SeriesCollector::Sample& sample : run.series.samples) {
        if (sample.kind == "received") {
            cameras[sample.uid] = sample.value;
        } else if (sample.kind == "demand") {
            double received = 0;
            for (const auto& [uid, bitrate] : cameras) {
                received += bitrate;
            }
            const bool shares = sample.timeS > 10.0 && sample.timeS <= 25.0;
            if (shares) {
                ++sharing;
                EXPECT_GT(sample.value, received) << "no share stream at " << sample.timeS << " s";
            } else {
                EXPECT_EQ(sample.value, received) << "a share stream at " << sample.timeS << " s";
            }
        }
    }
    EXPECT_EQ(sharing, 150);
}

// Uid 2 shares from 10 s to the end at 40 s; uid 3 joins at 20 s, in the middle of it. From its join the
// server forwards it the share in progress, so at the end it receives the same share stream as uid 1,
// present throughout: on each one's downlink, what is sent beyond the two peers' cameras.
TEST(Conference, AJoinerDuringAShareReceivesTheShareFromItsJoin) {
    ktr::sim::Meeting m = sharingMeeting(40 * kMicrosPerSecond, 10 * kMicrosPerSecond, 40 * kMicrosPerSecond);
    m.peers[1].join = 20 * kMicrosPerSecond;
    const ktr::sim::CapacityTrace link = ktr::sim::parseSyntheticTrace("constant:20mbps");
    ktr::sim::SimulationSetup setup;
    setup.meeting = &m;
    setup.downlink = &link;
    setup.conference = true;
    std::srand(1);
    ktr::sim::Conference conference(setup, library(), {});
    ktr::RunSummary local;
    std::vector<std::pair<uint64_t, ktr::RunSummary>> participants;
    conference.run(local, participants);
    std::map<uint64_t, double> shareOf;
    for (const std::unique_ptr<ktr::sim::Participant>& participant : conference.participants()) {
        const ktr::sim::MediaPath& download = participant->download();
        double cameras = 0;
        for (uint64_t peer : {1, 2, 3}) {
            const VideoStreamInfo& camera = download.streamOf(peer);
            cameras += peer != participant->uid() && ktr::sim::sends(camera) ? camera.bitrate : 0;
        }
        shareOf[participant->uid()] = download.sendingBitrate() - cameras;
    }
    EXPECT_GT(shareOf[1], 0.0) << "uid 1 receives no share";
    EXPECT_EQ(shareOf[3], shareOf[1]) << "the joiner receives another share than uid 1";
    EXPECT_EQ(shareOf[2], 0.0) << "the sharer receives its own share";
}

// Every bit a subscriber receives crossed a publisher's uplink first: the cameras and the share alike. Uid 2
// shares a 1 Mbit/s stream from 10 s to the end; on an ample uplink the share adds its bitrate to what the
// sharer's uplink carries, and on a 300 kbit/s uplink every subscriber receives no more than that uplink and
// the other publisher's carried, so the share is held back where it is sent, not at the server.
TEST(Conference, EveryBitASubscriberReceivesCrossedAPublishersUplinkTheShareIncluded) {
    struct Case {
        const char* sharerUplink;
        bool shareFitsTheUplink;
    };
    for (const Case& c : {Case{"constant:20mbps", true}, Case{"constant:300kbps", false}}) {
        SCOPED_TRACE(c.sharerUplink);
        const ktr::sim::Meeting m = sharingMeeting(40 * kMicrosPerSecond, 10 * kMicrosPerSecond, 40 * kMicrosPerSecond);
        const ktr::sim::CapacityTrace ample = ktr::sim::parseSyntheticTrace("constant:20mbps");
        const ktr::sim::CapacityTrace sharers = ktr::sim::parseSyntheticTrace(c.sharerUplink);
        std::srand(1);
        ktr::sim::Conference conference(conferenceWithUplinkOf2(m, ample, sharers), library(), {});
        ktr::RunSummary local;
        std::vector<std::pair<uint64_t, ktr::RunSummary>> participants;
        conference.run(local, participants);
        std::map<uint64_t, ktr::sim::PathTotals> up;
        std::map<uint64_t, ktr::sim::PathTotals> down;
        for (const std::unique_ptr<ktr::sim::Participant>& participant : conference.participants()) {
            up[participant->uid()] = participant->uploadTotals();
            down[participant->uid()] = participant->downloadTotals();
        }
        for (const auto& [uid, received] : down) {
            int64_t crossed = 0;
            for (const auto& [publisher, uplink] : up) {
                crossed += publisher != uid ? uplink.delivered : 0;
            }
            EXPECT_LE(received.delivered, crossed) << "participant " << uid;
        }
        const int64_t shareBytes = 1000000 / 8 * 30;
        if (c.shareFitsTheUplink) {
            EXPECT_GE(up[2].delivered, up[3].delivered + shareBytes * 9 / 10) << "the share is not on its uplink";
            EXPECT_EQ(up[2].dropped, 0);
        } else {
            EXPECT_LE(down[1].delivered, up[3].delivered + 300000 / 8 * 40);
            EXPECT_GT(up[2].dropped, 0);
        }
    }
}

// Peer 7 present for 10 s (ten 1 s samples); 100 frames rendered, 90 of them 10.4 ms after they were sent and
// 10 of them 200 ms after: 10 frames a second; the median delay is 10 ms (whole milliseconds) and the 95th
// percentile 200 ms, since only 90 % of the frames are at 10 ms. The camera's set changes three times after
// its first publication over the 10 s sampled: 18 a minute. The peer is received 480 rows high for the first
// 4 s and 720 for the next 6: 40 % and 60 % of its time, none in the other bands.
TEST(QualityMetrics, FrameRateDelaysAndPublishedSwitchesFromTheirDefinitions) {
    ktr::sim::QualityMetrics metrics;
    for (int second = 1; second <= 10; ++second) {
        metrics.sample(ktr::sim::LinkSample{second * kMicrosPerSecond, kMicrosPerSecond, 1e6, 5e5, 5e5, std::nullopt,
                                            std::nullopt},
                       {ktr::sim::PeerSample{7, ktr::sim::ReceivedClass::Upper, 5e5, 5e5, 1, second <= 4 ? 480 : 720}});
    }
    for (int frame = 0; frame < 100; ++frame) {
        metrics.rendered(7, frame < 90 ? 10400 : 200000);
    }
    for (int change = 0; change < 3; ++change) {
        metrics.publishedChanged();
    }
    ktr::RunSummary summary;
    metrics.summarize(summary);
    EXPECT_EQ(value(summary, "received_fps"), 10.0);
    EXPECT_EQ(value(summary, "frame_delay_p50_ms"), 10.0);
    EXPECT_EQ(value(summary, "frame_delay_p95_ms"), 200.0);
    EXPECT_EQ(value(summary, "published_switches_per_min"), 18.0);
    EXPECT_DOUBLE_EQ(value(summary, "time_720p_pct"), 60.0);
    EXPECT_DOUBLE_EQ(value(summary, "time_480p_pct"), 40.0);
    for (const char* band : {"time_360p_pct", "time_240p_pct", "time_below_240p_pct"}) {
        EXPECT_EQ(value(summary, band), 0.0) << band;
    }
    ASSERT_EQ(summary.peers.size(), 1u);
    const ktr::Metric* peerFps = summary.peers[0].metrics.find("received_fps");
    ASSERT_TRUE(peerFps != nullptr && peerFps->value);
    EXPECT_EQ(*peerFps->value, 10.0);
}

// Every metric the summary writes is a row of the metric table, in the table's order, with its unit, direction
// and shape, and every row is written; each peer gets exactly the rows marked per peer.
TEST(MetricTable, SummaryWritesEveryRowOfTheTableAndNoOther) {
    ktr::sim::QualityMetrics metrics;
    metrics.sample(ktr::sim::LinkSample{kMicrosPerSecond, kMicrosPerSecond, 1e6, 5e5, 5e5, 7u, std::nullopt},
                   {ktr::sim::PeerSample{7, ktr::sim::ReceivedClass::Upper, 5e5, 5e5, 1, 720}});
    ktr::RunSummary summary;
    metrics.summarize(summary);
    std::vector<std::string> rows;
    std::vector<std::string> peerRows;
    for (const ktr::MetricDefinition& row : ktr::metricTable()) {
        rows.push_back(row.name);
        if (row.perPeer) {
            peerRows.push_back(row.name);
        }
    }
    std::vector<std::string> written;
    for (const auto& [name, metric] : summary.metrics.entries) {
        written.push_back(name);
        const ktr::MetricDefinition* row = ktr::findMetric(name);
        ASSERT_NE(row, nullptr) << name;
        EXPECT_EQ(metric.unit, row->unit) << name;
        EXPECT_EQ(metric.better, row->better) << name;
        EXPECT_EQ(metric.episodes.has_value(), row->shape == ktr::MetricShape::Episodes) << name;
    }
    EXPECT_EQ(written, rows);
    ASSERT_EQ(summary.peers.size(), 1u);
    std::vector<std::string> writtenPerPeer;
    for (const auto& entry : summary.peers[0].metrics.entries) {
        writtenPerPeer.push_back(entry.first);
    }
    EXPECT_EQ(writtenPerPeer, peerRows);
}

}  // namespace

// The simulator's speed: a one-hour meeting of 25 peers, each publishing two streams at 30 fps, carried
// frame by frame, with an estimate every 100 ms, an adjustment every second and the summary as the only
// output, for the local client alone and for the conference in which every participant runs the library.
// The library's lines are formatted, parsed and dropped as in every ktr run.
#include <benchmark/benchmark.h>

#include <chrono>

#include "Meeting.h"
#include "SdkLibrary.h"
#include "Simulation.h"
#include "SyntheticTrace.h"

namespace {

using ktr::kMicrosPerSecond;
using tarn::video::VideoStreamInfo;

constexpr int kPeers = 25;
constexpr ktr::Micros kHour = 3600 * kMicrosPerSecond;

ktr::sim::Meeting hourLongMeeting() {
    ktr::sim::Meeting meeting;
    meeting.name = "one hour, 25 peers";
    meeting.localUid = 1;
    meeting.duration = kHour;
    for (int i = 0; i < kPeers; ++i) {
        ktr::sim::MeetingPeer peer;
        peer.uid = 2 + i;
        peer.streams = {VideoStreamInfo{1, 0, 1280, 720, 30, 716800, 1024000, 512000},
                        VideoStreamInfo{1, 0, 320, 240, 30, 204800, 256000, 102400}};
        meeting.peers.push_back(peer);
    }
    meeting.talkModel = ktr::sim::TalkSpurtModel{};
    meeting.selectRequests.push_back({0, {{640, 480, 20, 358400}, {320, 240, 15, 204800}}});
    return meeting;
}

// One hour of the meeting, with every participant running the library (conference) or the local one alone.
void runHourLongMeeting(benchmark::State& state, bool conference) {
    const ktr::SdkLibrary library(KTR_LIBRARY);
    const ktr::sim::Meeting meeting = hourLongMeeting();
    const ktr::sim::CapacityTrace downlink = ktr::sim::parseSyntheticTrace("walk:6mbps/2mbps-12mbps/seed=3");
    const ktr::sim::CapacityTrace uplink = ktr::sim::parseSyntheticTrace("constant:3mbps");
    ktr::sim::SimulationSetup setup;
    setup.meeting = &meeting;
    setup.downlink = &downlink;
    setup.uplink = &uplink;
    setup.conference = conference;
    std::chrono::nanoseconds insideLibrary{0};
    for (auto _ : state) {
        ktr::sim::Simulation simulation(setup);
        ktr::RunSummary summary;
        simulation.run(library, {}, summary);
        benchmark::DoNotOptimize(summary);
        insideLibrary += simulation.libraryTime();
    }
    const double seconds = std::chrono::duration<double>(insideLibrary).count() / state.iterations();
    state.counters["library_s"] = seconds;
    state.counters["simulated_s"] = static_cast<double>(kHour) / kMicrosPerSecond;
}

void HourLongMeeting(benchmark::State& state) {
    runHourLongMeeting(state, false);
}

// Every one of the 26 participants receives the 25 others: about 25 times the single client's frame work.
void HourLongConference(benchmark::State& state) {
    runHourLongMeeting(state, true);
}

BENCHMARK(HourLongMeeting)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(HourLongConference)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

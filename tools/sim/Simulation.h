// One simulated meeting: the host model drives a library instance through its public interface, a
// frame-level model carries every received stream over the download bottleneck (and the camera's over
// the upload one), an estimator turns the links into the estimates the library reads, and the quality
// metrics are measured on the way.
#ifndef KTRSDK_TOOLS_SIM_SIMULATION_H
#define KTRSDK_TOOLS_SIM_SIMULATION_H

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "CapacityTrace.h"
#include "LinkEstimator.h"
#include "MediaPath.h"
#include "Meeting.h"
#include "RecordedEstimates.h"
#include "ScenarioWriter.h"
#include "SdkLibrary.h"
#include "SeriesSink.h"
#include "Summary.h"
#include "TimelineWriter.h"
#include "Units.h"

namespace ktr::sim {

struct SimulationSetup {
    const Meeting* meeting = nullptr;
    const CapacityTrace* downlink = nullptr;
    const CapacityTrace* uplink = nullptr;  // none: the upload side is not modelled
    uint64_t seed = 1;
    EstimatorParameters estimator;
    const RecordedEstimates* recordedEstimates = nullptr;  // replayed in place of the download estimator
    bool conference = false;  // every participant runs the library (as the meeting's own key asks too)
    // A conference's links: each participant's downlink and uplink drawn with the seed from these (none: the
    // downlink and uplink above for everybody).
    std::vector<const CapacityTrace*> linkPool;
    // A conference's links named per participant in the meeting, by uid; they take precedence.
    std::map<uint64_t, const CapacityTrace*> ownDownlinks;
    std::map<uint64_t, const CapacityTrace*> ownUplinks;
};

// Where a run's outputs go; every one is optional.
struct SimulationOutputs {
    TimelineWriter* timeline = nullptr;  // every library call, as a timeline step
    ScenarioWriter* record = nullptr;    // every library call, as a replayable scenario step
    SeriesSink* series = nullptr;        // the sampled series for the plot and the HTML report
};

class Simulation {
public:
    explicit Simulation(const SimulationSetup& setup);
    ~Simulation() = default;
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    // Runs the meeting on a new instance of the library; fills the summary's metrics (per peer and for the
    // meeting).
    void run(const SdkLibrary& library, const SimulationOutputs& outputs, RunSummary& summary);
    // Of the last run, the time spent inside the library's calls.
    std::chrono::nanoseconds libraryTime() const { return m_libraryTime; }
    // Of the last run, the bytes the download path was given, delivered and dropped.
    const PathTotals& downloadTotals() const { return m_downloadTotals; }
    // Of the last run in a conference, every participant's own metrics by uid; none otherwise.
    const std::vector<std::pair<uint64_t, RunSummary>>& participants() const { return m_participants; }

private:
    SimulationSetup m_setup;
    std::chrono::nanoseconds m_libraryTime{0};
    PathTotals m_downloadTotals;
    std::vector<std::pair<uint64_t, RunSummary>> m_participants;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SIMULATION_H

#include "Replayer.h"

#include "LibraryDriver.h"

namespace ktr::replay {
namespace {

// Each scenario step takes one second of the synthetic clock.
constexpr double kSecondsPerStep = 1.0;

}  // namespace

void Replayer::run(const Scenario& scenario, const Provenance& provenance, TimelineWriter& out) const {
    LibraryDriver driver(m_library);
    TimelineHeader header;
    header.command = "replay";
    header.source = scenario.name;
    header.provenance = provenance;
    out.begin(header);
    for (const Step& step : scenario.steps) {
        TimelineStep result = driver.perform(step.action, step.name, step.index * kSecondsPerStep);
        result.index = step.index;
        out.write(result);
    }
    out.end();
}

}  // namespace ktr::replay

#include "Replayer.h"

#include "LibraryDriver.h"

namespace ktr::replay {

void Replayer::run(const Scenario& scenario, const Provenance& provenance, TimelineWriter& out) const {
    LibraryDriver driver(m_library);
    TimelineHeader header;
    header.command = "replay";
    header.source = scenario.name;
    header.provenance = provenance;
    out.begin(header);
    for (const Step& step : scenario.steps) {
        TimelineStep result = driver.perform(step.action, step.name, step.time);
        result.index = step.index;
        out.write(result);
    }
    out.end();
}

}  // namespace ktr::replay

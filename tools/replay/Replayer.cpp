#include "Replayer.h"

#include "LibraryDriver.h"

namespace ktr {
namespace {

// Each scenario step takes one second of the synthetic clock.
constexpr double kSecondsPerStep = 1.0;

}  // namespace

void Replayer::run(const Scenario& scenario, TimelineWriter& out) const {
    LibraryDriver driver(m_library);
    out.begin(TimelineHeader{"replay", scenario.name, m_library.path(), m_library.soname()});
    for (const Step& step : scenario.steps) {
        TimelineStep result = driver.perform(step.action, step.name, step.index * kSecondsPerStep);
        result.index = step.index;
        result.input = step.input;
        out.write(result);
    }
    out.end();
}

}  // namespace ktr

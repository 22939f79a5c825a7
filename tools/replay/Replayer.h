// Replays a scenario through a loaded library build, exactly as a host would, and turns every step into
// a timeline step: the answer, the lines it logged with their catalogue entries, notes and what the step
// changed of the state.
#ifndef KTRSDK_TOOLS_REPLAY_REPLAYER_H
#define KTRSDK_TOOLS_REPLAY_REPLAYER_H

#include "Scenario.h"
#include "SdkLibrary.h"
#include "TimelineWriter.h"

namespace ktr::replay {

class Replayer {
public:
    explicit Replayer(const SdkLibrary& library) : m_library(library) {}

    // Runs the scenario on a new instance and hands each step to out as soon as it is done.
    void run(const Scenario& scenario, const Provenance& provenance, TimelineWriter& out) const;

private:
    const SdkLibrary& m_library;
};

}  // namespace ktr::replay

#endif  // KTRSDK_TOOLS_REPLAY_REPLAYER_H

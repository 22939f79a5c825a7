// A meeting in which every participant runs the library: one Participant per user (the local one and every
// peer), each seeing the others as its peers, joined by a conference server. The participants' events run
// in time order, and at one instant in the order of their uids, all in one process: the instances draw from
// one rand() sequence, so a run is repeatable for a meeting, its traces and a seed.
#ifndef KTRSDK_TOOLS_SIM_CONFERENCE_H
#define KTRSDK_TOOLS_SIM_CONFERENCE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <utility>
#include <vector>

#include "Meeting.h"
#include "Participant.h"
#include "Server.h"
#include "Simulation.h"

namespace ktr::sim {

// The meeting as the participant uid sees it: it is the local user, every other user (the meeting's local
// one included) is a peer present while both are, and the speaker turns are the meeting's own (a talk-spurt
// model's drawn once for everybody).
Meeting conferenceViewOf(const Meeting& meeting, uint64_t uid, const std::vector<SpeakerTurn>& turns);

class Conference {
public:
    // The local participant writes the outputs; the others none.
    Conference(const SimulationSetup& setup, const SdkLibrary& library, const SimulationOutputs& outputs);

    // Runs the meeting; the summary is the local participant's, and each participant's own (its metrics
    // only) goes to participants in uid order.
    void run(RunSummary& summary, std::vector<std::pair<uint64_t, RunSummary>>& participants);
    // Every participant, in uid order.
    const std::vector<std::unique_ptr<Participant>>& participants() const { return m_participants; }

private:
    // A participant's next event as the scheduler last learnt it: (time, index in uid order), the earliest
    // first. An entry whose participant's next event has moved since is stale and skipped.
    using Due = std::pair<SimTime, size_t>;

    void watch(size_t index);

    const Meeting& m_meeting;
    Server m_server;
    std::vector<std::unique_ptr<Participant>> m_participants;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> m_due;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_CONFERENCE_H

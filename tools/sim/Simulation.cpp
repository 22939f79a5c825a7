#include "Simulation.h"

#include "Conference.h"
#include "Participant.h"
#include "SweepStatistics.h"

namespace ktr::sim {

namespace {

// The summary names the local participant's links, drawn from a pool or not.
void nameLinks(const SimulationSetup& own, RunSummary& summary) {
    summary.downlink = own.downlink->label();
    summary.uplink = own.uplink != nullptr ? Known<std::string>(own.uplink->label()) : std::nullopt;
}

// Every participant's own metrics, and every metric's distribution over the participants.
ConferenceSummary conferenceSummaryOf(const std::vector<std::pair<uint64_t, RunSummary>>& participants) {
    ConferenceSummary conference;
    std::vector<LabelledSummary> labelled;
    for (const auto& [uid, own] : participants) {
        conference.participants.push_back(ParticipantSummary{uid, own.metrics, own.peers});
        labelled.push_back({"participant " + std::to_string(uid), labelled.size(), own});
    }
    conference.overParticipants = labelledSweepStatistics(labelled, BootstrapSettings{}, kParticipants);
    return conference;
}

}  // namespace

Simulation::Simulation(const SimulationSetup& setup) : m_setup(setup) {}

void Simulation::run(const SdkLibrary& library, const SimulationOutputs& outputs, RunSummary& summary) {
    const Meeting& meeting = *m_setup.meeting;
    if (m_setup.conference || meeting.conference) {
        Conference conference(m_setup, library, outputs);
        m_participants.clear();
        conference.run(summary, m_participants);
        summary.conference = conferenceSummaryOf(m_participants);
        for (const std::unique_ptr<Participant>& participant : conference.participants()) {
            m_libraryTime += participant->host().libraryTime();
            if (participant->uid() == meeting.localUid) {
                m_downloadTotals = participant->downloadTotals();
                nameLinks(participant->setup(), summary);
            }
        }
        return;
    }
    Participant local(meeting, m_setup, library, outputs, nullptr);
    local.start();
    const SimTime end{meeting.duration};
    while (local.hasEventBefore(end)) {
        local.step();
    }
    local.finish(end, summary);
    m_libraryTime = local.host().libraryTime();
    m_downloadTotals = local.downloadTotals();
}

}  // namespace ktr::sim

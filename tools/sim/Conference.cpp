#include "Conference.h"

#include <algorithm>
#include <map>
#include <random>

#include "MeetingScript.h"

namespace ktr::sim {
namespace {

// The speaker turns the meeting's script holds, a talk-spurt model's drawn with the seed.
std::vector<SpeakerTurn> speakerTurnsOf(const Meeting& meeting, uint64_t seed) {
    std::vector<SpeakerTurn> turns;
    std::map<uint64_t, Micros> started;
    for (const ScriptEvent& event : scriptOf(meeting, seed)) {
        if (event.kind == ScriptEvent::Kind::SpeakerOn) {
            started[event.uid] = event.at;
        } else if (event.kind == ScriptEvent::Kind::SpeakerOff) {
            turns.push_back({started[event.uid], event.at, event.uid});
        }
    }
    std::stable_sort(turns.begin(), turns.end(),
                     [](const SpeakerTurn& a, const SpeakerTurn& b) { return a.start < b.start; });
    return turns;
}

// Everybody in the meeting as a peer: the local user joins at the start and stays.
std::vector<MeetingPeer> everybody(const Meeting& meeting) {
    MeetingPeer local;
    local.uid = meeting.localUid;
    local.dt = static_cast<uint16_t>(meeting.localDt);
    local.streams = defaultStreams(local.dt);
    std::vector<MeetingPeer> users = meeting.peers;
    users.push_back(local);
    std::sort(users.begin(), users.end(), [](const MeetingPeer& a, const MeetingPeer& b) { return a.uid < b.uid; });
    return users;
}

// A participant's links: the ones the meeting names for it, else drawn from the pool (downlink, then uplink)
// with the conference's own engine, else the setup's own for everybody. The draws are made for everybody,
// so naming one participant's links leaves the others' draws as they were.
SimulationSetup withOwnLinks(const SimulationSetup& setup, uint64_t uid, std::mt19937_64& engine) {
    SimulationSetup own = setup;
    if (!setup.linkPool.empty()) {
        std::uniform_int_distribution<size_t> pick(0, setup.linkPool.size() - 1);
        own.downlink = setup.linkPool[pick(engine)];
        own.uplink = setup.linkPool[pick(engine)];
    }
    if (const auto named = setup.ownDownlinks.find(uid); named != setup.ownDownlinks.end()) {
        own.downlink = named->second;
    }
    if (const auto named = setup.ownUplinks.find(uid); named != setup.ownUplinks.end()) {
        own.uplink = named->second;
    }
    return own;
}

Micros leaveOf(const MeetingPeer& user, Micros duration) {
    return user.leave.value_or(duration);
}

}  // namespace

Meeting conferenceViewOf(const Meeting& meeting, uint64_t uid, const std::vector<SpeakerTurn>& turns) {
    const std::vector<MeetingPeer> users = everybody(meeting);
    const MeetingPeer& self =
        *std::find_if(users.begin(), users.end(), [&](const MeetingPeer& u) { return u.uid == uid; });
    Meeting view = meeting;
    view.localUid = uid;
    view.localDt = self.dt;
    view.peers.clear();
    for (const MeetingPeer& user : users) {
        MeetingPeer peer = user;
        peer.join = std::max(user.join, self.join);
        const Micros leave = std::min(leaveOf(user, meeting.duration), leaveOf(self, meeting.duration));
        peer.leave = leave < meeting.duration ? std::optional<Micros>(leave) : std::nullopt;
        if (user.uid != uid && peer.join < leave) {
            view.peers.push_back(peer);
        }
    }
    view.speakers = turns;
    view.talkModel.reset();
    view.selectRequests.clear();  // the subscribers' subscriptions are the requests
    return view;
}

Conference::Conference(const SimulationSetup& setup, const SdkLibrary& library, const SimulationOutputs& outputs)
    : m_meeting(*setup.meeting) {
    const std::vector<SpeakerTurn> turns = speakerTurnsOf(m_meeting, setup.seed);
    std::mt19937_64 linkEngine(setup.seed);  // its own: the talk spurts draw from theirs
    for (const MeetingPeer& user : everybody(m_meeting)) {
        const bool local = user.uid == m_meeting.localUid;
        m_participants.push_back(std::make_unique<Participant>(conferenceViewOf(m_meeting, user.uid, turns),
                                                               withOwnLinks(setup, user.uid, linkEngine), library,
                                                               local ? outputs : SimulationOutputs{}, &m_server));
        m_server.add(user.uid, m_participants.back()->host(), user.streams);
        m_participants.back()->connect(m_server.relayOf(user.uid));
    }
}

// Every participant's next event has an entry in m_due: the participant that steps gets one for its new
// next event, and one whose next event another participant's step made earlier (a relayed frame, a report)
// gets one through its queue (as its first events do). The earliest valid entry is the earliest event of all, at one
// instant the participant with the lowest uid first.
void Conference::watch(size_t index) {
    m_participants[index]->onEarlierNext([this, index](SimTime at) { m_due.emplace(at, index); });
}

void Conference::run(RunSummary& summary, std::vector<std::pair<uint64_t, RunSummary>>& participants) {
    for (size_t i = 0; i < m_participants.size(); ++i) {
        watch(i);
        m_participants[i]->start();  // its first events reach m_due through the watch
    }
    const SimTime end{m_meeting.duration};
    while (!m_due.empty() && m_due.top().first < end) {
        const auto [at, index] = m_due.top();
        m_due.pop();
        Participant& next = *m_participants[index];
        if (!next.hasEventBefore(end) || next.nextTime() != at) {
            continue;  // stale: it has stepped past that event
        }
        next.step();
        if (next.hasEventBefore(end)) {
            m_due.emplace(next.nextTime(), index);
        }
    }
    for (const std::unique_ptr<Participant>& participant : m_participants) {
        RunSummary own;
        participant->finish(end, own);
        if (participant->uid() == m_meeting.localUid) {
            summary.metrics = own.metrics;
            summary.peers = own.peers;
        }
        participants.emplace_back(participant->uid(), std::move(own));
    }
}

}  // namespace ktr::sim

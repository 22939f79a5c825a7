#include "MeetingScript.h"

#include <algorithm>
#include <random>

namespace ktr::sim {
namespace {

using Kind = ScriptEvent::Kind;

bool presentAt(const MeetingPeer& peer, Micros at) {
    return peer.join <= at && (!peer.leave || at < *peer.leave);
}

Micros endOf(const MeetingPeer& peer, Micros duration) {
    return peer.leave ? std::min(*peer.leave, duration) : duration;
}

void addPeerEvents(const Meeting& meeting, std::vector<ScriptEvent>& events) {
    for (const MeetingPeer& peer : meeting.peers) {
        if (peer.join >= meeting.duration) {
            continue;
        }
        events.push_back({peer.join, Kind::Join, peer.uid, 0});
        const Micros end = endOf(peer, meeting.duration);
        if (meeting.host.reportInterval > 0) {
            for (Micros at = peer.join + meeting.host.reportInterval; at < end; at += meeting.host.reportInterval) {
                events.push_back({at, Kind::Report, peer.uid, 0});
            }
        }
        if (peer.leave && *peer.leave < meeting.duration) {
            events.push_back({*peer.leave, Kind::Leave, peer.uid, 0});
        }
    }
}

void addTurn(std::vector<ScriptEvent>& events, Micros start, Micros end, uint64_t uid, Kind on, Kind off) {
    events.push_back({start, on, uid, 0});
    events.push_back({end, off, uid, 0});
}

// Alternating silences and talk spurts of exponential lengths; each spurt goes to the local user with
// its share, otherwise to a peer present at its start, drawn uniformly.
void addTalkSpurts(const Meeting& meeting, const TalkSpurtModel& model, uint64_t seed,
                   std::vector<ScriptEvent>& events) {
    std::mt19937_64 engine(seed);
    std::exponential_distribution<double> pause(1.0 / model.meanPauseS);
    std::exponential_distribution<double> spurt(1.0 / model.meanSpurtS);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Micros at = 0;
    while (true) {
        at += static_cast<Micros>(pause(engine) * kMicrosPerSecond);
        const Micros length = std::max<Micros>(1, static_cast<Micros>(spurt(engine) * kMicrosPerSecond));
        const bool local = unit(engine) < model.localShare;
        const double pick = unit(engine);
        if (at >= meeting.duration) {
            return;
        }
        std::vector<const MeetingPeer*> present;
        for (const MeetingPeer& peer : meeting.peers) {
            if (presentAt(peer, at)) {
                present.push_back(&peer);
            }
        }
        if (local || !present.empty()) {
            const MeetingPeer* peer =
                local ? nullptr : present[std::min(present.size() - 1, static_cast<size_t>(pick * present.size()))];
            const Micros end =
                std::min(at + length, peer != nullptr ? endOf(*peer, meeting.duration) : meeting.duration);
            addTurn(events, at, end, peer != nullptr ? peer->uid : meeting.localUid, Kind::SpeakerOn, Kind::SpeakerOff);
        }
        at += length;
    }
}

void addSpeakers(const Meeting& meeting, uint64_t seed, std::vector<ScriptEvent>& events) {
    for (const SpeakerTurn& turn : meeting.speakers) {
        addTurn(events, turn.start, std::min(turn.end, meeting.duration), turn.uid, Kind::SpeakerOn, Kind::SpeakerOff);
    }
    if (meeting.talkModel) {
        addTalkSpurts(meeting, *meeting.talkModel, seed, events);
    }
}

}  // namespace

std::vector<ScriptEvent> scriptOf(const Meeting& meeting, uint64_t seed) {
    std::vector<ScriptEvent> events;
    addPeerEvents(meeting, events);
    addSpeakers(meeting, seed, events);
    for (const SharePeriod& period : meeting.sharing) {
        addTurn(events, period.start, std::min(period.end, meeting.duration), period.uid, Kind::ShareOn,
                Kind::ShareOff);
    }
    for (size_t i = 0; i < meeting.selectRequests.size(); ++i) {
        events.push_back({meeting.selectRequests[i].at, Kind::Requests, 0, i});
    }
    // Ends before starts at the same moment, so that a turn handed over at t leaves one speaker at t.
    std::stable_sort(events.begin(), events.end(), [](const ScriptEvent& a, const ScriptEvent& b) {
        const auto rank = [](Kind kind) {
            return kind == Kind::SpeakerOff || kind == Kind::ShareOff || kind == Kind::Leave ? 0 : 1;
        };
        return a.at != b.at ? a.at < b.at : rank(a.kind) < rank(b.kind);
    });
    return events;
}

}  // namespace ktr::sim

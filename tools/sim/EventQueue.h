// The simulator's scheduler: events in time order on a typed clock. Its time is the time of the event
// last taken; what happens between two events (frames arriving) is handled before the next is taken.
#ifndef KTRSDK_TOOLS_SIM_EVENTQUEUE_H
#define KTRSDK_TOOLS_SIM_EVENTQUEUE_H

#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

#include "Units.h"

namespace ktr::sim {

// What an event does. Events at the same instant run in the order of this list, and events of the same
// kind at the same instant in the order they were scheduled: the scene changes a script event makes and
// the requests that take effect are known to the library before it is asked for an estimate, an
// adjustment or an upload decision at that instant, and frames are sent last, on the streams those
// answers left in force.
enum class EventKind {
    Script,        // the meeting's next scripted event (join, leave, report, speaker, sharing, requests)
    Apply,         // a download request takes effect: the peer's stream changes
    Report,        // a peer's report of its changed published streams reaches the host
    Estimate,      // the host reports the network estimates (and the run is sampled)
    Adjust,        // the host asks for the download adjustment and the HD/LD split
    Upload,        // the host's upload check
    PeerFrame,     // a peer sends a frame towards the local participant
    CameraFrame,   // the local camera sends a frame
    RelayedFrame,  // a frame the server forwards of a peer's camera reaches the local downlink
};

// Small, since the queue moves its events about as it orders them: what an event carries beyond the
// numbers below stays with the part that scheduled it.
struct SimEvent {
    SimTime at{0};
    EventKind kind = EventKind::Script;
    uint64_t subject = 0;  // script event index, peer uid or camera stream index
    uint64_t epoch = 0;    // a frame's stream generation (frames of a stream that changed since are stale);
                           // Apply: the host's number of the request
};

class EventQueue {
public:
    void push(const SimEvent& event);
    // Whether an event is due before end (the end itself excluded).
    bool hasEventBefore(SimTime end) const { return !m_events.empty() && m_events.top().at < end; }
    // The time of the next event; only while one is queued.
    SimTime nextTime() const { return m_events.top().at; }
    // Takes the next event and moves the clock to its time.
    SimEvent pop();
    // Moves the clock to a later time without an event (the end of the meeting).
    void advanceTo(SimTime time) { m_now = time; }
    SimTime now() const { return m_now; }
    // Called with the event's time whenever a push makes the next event earlier (or gives an empty queue
    // one): how a scheduler over several queues learns of events another part schedules into this one.
    void onEarlierNext(std::function<void(SimTime)> notify) { m_onEarlierNext = std::move(notify); }

private:
    struct Entry {
        SimTime at;
        uint64_t order;  // the kind in the top byte, the scheduling order below it
        uint64_t subject;
        uint64_t epoch;
    };
    // The order above: time, then kind, then scheduling order.
    struct RunsLater {
        bool operator()(const Entry& a, const Entry& b) const;
    };

    std::priority_queue<Entry, std::vector<Entry>, RunsLater> m_events;
    uint64_t m_sequence = 0;
    SimTime m_now{0};
    std::function<void(SimTime)> m_onEarlierNext;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_EVENTQUEUE_H

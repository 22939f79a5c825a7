#include "EventQueue.h"

#include <tuple>

namespace ktr::sim {

bool EventQueue::RunsLater::operator()(const Entry& a, const Entry& b) const {
    return std::tie(a.event.at, a.event.kind, a.sequence) > std::tie(b.event.at, b.event.kind, b.sequence);
}

void EventQueue::push(const SimEvent& event) {
    m_events.push(Entry{event, m_sequence++});
}

SimEvent EventQueue::pop() {
    const SimEvent event = m_events.top().event;
    m_events.pop();
    m_now = event.at;
    return event;
}

}  // namespace ktr::sim

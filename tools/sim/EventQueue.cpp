#include "EventQueue.h"

namespace ktr::sim {
namespace {

constexpr int kKindShift = 56;

}  // namespace

bool EventQueue::RunsLater::operator()(const Entry& a, const Entry& b) const {
    return a.at != b.at ? a.at > b.at : a.order > b.order;
}

void EventQueue::push(const SimEvent& event) {
    const uint64_t order = static_cast<uint64_t>(event.kind) << kKindShift | m_sequence++;
    const bool earlier = m_events.empty() || event.at < m_events.top().at;
    m_events.push(Entry{event.at, order, event.subject, event.epoch});
    if (earlier && m_onEarlierNext) {
        m_onEarlierNext(event.at);
    }
}

SimEvent EventQueue::pop() {
    const Entry& next = m_events.top();
    SimEvent event;
    event.at = next.at;
    event.kind = static_cast<EventKind>(next.order >> kKindShift);
    event.subject = next.subject;
    event.epoch = next.epoch;
    m_events.pop();
    m_now = event.at;
    return event;
}

}  // namespace ktr::sim

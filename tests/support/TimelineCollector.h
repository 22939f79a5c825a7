// Keeps every step a timeline hands its writers, each with a copy of the state after it (a step's own state
// points at its builder's, which the next step changes).
#ifndef KTRSDK_TESTS_SUPPORT_TIMELINECOLLECTOR_H
#define KTRSDK_TESTS_SUPPORT_TIMELINECOLLECTOR_H

#include <deque>
#include <vector>

#include "TimelineWriter.h"

namespace ktr::testing {

class TimelineCollector : public ktr::TimelineWriter {
public:
    void begin(const ktr::TimelineHeader& timelineHeader) override { header = timelineHeader; }
    void write(const ktr::TimelineStep& step) override {
        m_states.push_back(step.state != nullptr ? *step.state : ktr::StateSnapshot{});
        steps.push_back(step);
        steps.back().state = &m_states.back();
    }

    ktr::TimelineHeader header;
    std::vector<ktr::TimelineStep> steps;

private:
    std::deque<ktr::StateSnapshot> m_states;  // stable addresses as it grows
};

}  // namespace ktr::testing

#endif  // KTRSDK_TESTS_SUPPORT_TIMELINECOLLECTOR_H

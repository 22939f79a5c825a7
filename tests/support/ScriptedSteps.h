// Timeline steps written by hand: each with the state after it and the change from the state before, as a
// command builds them.
#ifndef KTRSDK_TESTS_SUPPORT_SCRIPTEDSTEPS_H
#define KTRSDK_TESTS_SUPPORT_SCRIPTEDSTEPS_H

#include <deque>

#include "Timeline.h"

namespace ktr::test_support {

class ScriptedSteps {
public:
    // The step's state stays valid while this object lives.
    TimelineStep step(int index, double time, const Action& action, const StateSnapshot& state = {}) {
        TimelineStep step;
        step.index = index;
        step.time = time;
        step.event = actionName(action);
        step.action = action;
        step.change = m_states.empty() ? StateChange::whole(state) : StateChange::between(m_states.back(), state);
        m_states.push_back(state);
        step.state = &m_states.back();
        return step;
    }

private:
    std::deque<StateSnapshot> m_states;
};

}  // namespace ktr::test_support

#endif  // KTRSDK_TESTS_SUPPORT_SCRIPTEDSTEPS_H

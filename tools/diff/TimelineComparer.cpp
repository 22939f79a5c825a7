#include "TimelineComparer.h"

#include <algorithm>
#include <limits>
#include <map>
#include <string>
#include <utility>

namespace ktr::diff {
namespace {

constexpr int kNoStep = std::numeric_limits<int>::max();

// What a step is paired by within its number: its event and how often the event came before.
using PairKey = std::pair<std::string, int>;

std::vector<PairKey> keysOf(const std::vector<TimelineStep>& steps) {
    std::map<std::string, int> seen;
    std::vector<PairKey> keys;
    keys.reserve(steps.size());
    for (const TimelineStep& step : steps) {
        keys.emplace_back(step.event, seen[step.event]++);
    }
    return keys;
}

// A step as the comparison keeps it: without the state.
TimelineStep kept(const TimelineStep& step) {
    TimelineStep copy;
    copy.index = step.index;
    copy.event = step.event;
    copy.answer = step.answer;
    copy.rules = step.rules;
    return copy;
}

}  // namespace

bool TimelineComparer::wants(size_t side) const {
    return !m_sides[side].groupComplete();
}

void TimelineComparer::add(size_t side, const TimelineStep& step) {
    Side& s = m_sides[side];
    if (s.group.empty() || s.group.front().index == step.index) {
        s.group.push_back(kept(step));
    } else {
        s.next = kept(step);
    }
    compareGroups();
}

void TimelineComparer::end(size_t side) {
    m_sides[side].ended = true;
    compareGroups();
}

// Pairs the groups of both sides while both are complete: groups of one number are compared, a group whose
// number the other side lacks is passed over.
void TimelineComparer::compareGroups() {
    Side& a = m_sides[kSideA];
    Side& b = m_sides[kSideB];
    while (a.groupComplete() && b.groupComplete() && !(a.group.empty() && b.group.empty())) {
        const int numberA = a.group.empty() ? kNoStep : a.group.front().index;
        const int numberB = b.group.empty() ? kNoStep : b.group.front().index;
        if (numberA == numberB) {
            const std::vector<PairKey> keysB = keysOf(b.group);
            std::map<PairKey, const TimelineStep*> stepsB;
            for (size_t i = 0; i < b.group.size(); ++i) {
                stepsB.emplace(keysB[i], &b.group[i]);
            }
            const std::vector<PairKey> keysA = keysOf(a.group);
            for (size_t i = 0; i < a.group.size(); ++i) {
                if (const auto other = stepsB.find(keysA[i]); other != stepsB.end()) {
                    compare(a.group[i], *other->second);
                }
            }
        }
        for (Side* side : {&a, &b}) {
            const int number = side->group.empty() ? kNoStep : side->group.front().index;
            if (number == std::min(numberA, numberB)) {
                side->group.clear();
                if (side->next) {
                    side->group.push_back(std::move(*side->next));
                    side->next.reset();
                }
            }
        }
    }
}

void TimelineComparer::compare(const TimelineStep& a, const TimelineStep& b) {
    if (!m_all && !m_result.differences.empty()) {
        return;
    }
    ++m_result.steps;
    StepDifference difference;
    if (m_comparer.differs(a, b, difference)) {
        m_result.differences.push_back(std::move(difference));
    }
}

}  // namespace ktr::diff

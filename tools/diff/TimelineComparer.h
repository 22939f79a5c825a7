// Compares two timelines of the same scenario as their steps arrive, without holding either: steps are
// paired by step number, event and how often that pair came before within the number; a step only one side
// has (the settings that side alone installs) is not compared. Memory holds the steps of one step number
// per side.
#ifndef KTRSDK_TOOLS_DIFF_TIMELINECOMPARER_H
#define KTRSDK_TOOLS_DIFF_TIMELINECOMPARER_H

#include <array>
#include <optional>
#include <vector>

#include "StepComparer.h"

namespace ktr::diff {

class TimelineComparer {
public:
    static constexpr size_t kSideA = 0;
    static constexpr size_t kSideB = 1;

    // all: every differing step, else the first one only.
    TimelineComparer(bool answersOnly, bool all) : m_comparer(answersOnly), m_all(all) {}

    // Whether the comparison needs side's next step (or its end) before it can go on.
    bool wants(size_t side) const;
    // The next step of side (its state is not kept).
    void add(size_t side, const TimelineStep& step);
    // Side's timeline has no more steps.
    void end(size_t side);

    const TimelineComparison& result() const { return m_result; }

private:
    // The steps of one step number, and the first step of the next number once it arrived.
    struct Side {
        std::vector<TimelineStep> group;
        std::optional<TimelineStep> next;
        bool ended = false;

        bool groupComplete() const { return ended || next.has_value(); }
    };

    void compareGroups();
    void compare(const TimelineStep& a, const TimelineStep& b);

    StepComparer m_comparer;
    bool m_all;
    std::array<Side, 2> m_sides;
    TimelineComparison m_result;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_TIMELINECOMPARER_H

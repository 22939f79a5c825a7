// One scenario replayed on both sides at once: each side's `ktr replay --json -` read step by step as its
// lines arrive (TimelineReader over a ChildStream), handed to the side's writer, and compared on the fly.
#ifndef KTRSDK_TOOLS_DIFF_SCENARIORUN_H
#define KTRSDK_TOOLS_DIFF_SCENARIORUN_H

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ChildStream.h"
#include "TimelineComparer.h"
#include "TimelineFormat.h"
#include "TimelineWriter.h"

namespace ktr::diff {

class ScenarioRun {
public:
    // runs: side A's replay and side B's; writers: where each side's steps go as they are read (null: nowhere).
    ScenarioRun(const std::array<ChildRun, 2>& runs, int64_t timeLimitMicros, TimelineComparer comparer,
                const std::array<TimelineWriter*, 2>& writers);

    // Reads and compares what has arrived. Throws InputError naming the side of a run that failed (its
    // reason and the end of its stderr) or whose output is not a timeline.
    void advance();
    // Whether both sides' timelines were read and both runs ended well.
    bool done() const;
    const TimelineComparison& comparison() const { return m_comparer.result(); }
    void addStreams(std::vector<ChildStream*>& streams);

private:
    struct Side {
        std::unique_ptr<ChildStream> child;
        std::optional<TimelineReader> reader;
        TimelineWriter* writer = nullptr;
        bool ended = false;
        std::string error;  // why its output is not a timeline
    };

    bool read(size_t index);
    bool readable(const Side& side) const;
    void refuseFailures() const;

    std::array<Side, 2> m_sides;
    TimelineComparer m_comparer;
    TimelineStep m_step;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_SCENARIORUN_H

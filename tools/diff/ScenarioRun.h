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

    // Reads and compares what has arrived. Once a side has failed, the other is read to its end without
    // comparing, so that a failure of its own is named too.
    void advance();
    // Whether both runs ended and, unless a side failed, both timelines were read.
    bool done() const;
    // The sides that failed, each as "run \"LABEL\": reason" with the end of its stderr: a run that failed
    // by itself, or whose output is not a timeline. Empty when neither did.
    std::vector<std::string> failures() const;
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
    bool sideFailed(const Side& side) const;
    bool anySideFailed() const;
    void discardOutput(Side& side);

    std::array<Side, 2> m_sides;
    TimelineComparer m_comparer;
    TimelineStep m_step;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_SCENARIORUN_H

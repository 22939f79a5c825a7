// --since, --until and --uid of `ktr log`: only the steps in the window, or naming one of the uids, reach
// the writers. The state is still followed from the start of the log: a step written after some that were
// left out carries their changes with its own, so that a reader merging the changes holds the right state.
#ifndef KTRSDK_TOOLS_LOG_STEPFILTER_H
#define KTRSDK_TOOLS_LOG_STEPFILTER_H

#include <cstdint>
#include <optional>
#include <set>

#include "TimelineWriter.h"

namespace ktr::log {

struct StepWindow {
    std::optional<double> since;  // a prefix time (seconds as the log's stamps count them), inclusive
    std::optional<double> until;  // inclusive
    std::set<uint64_t> uids;      // none: every step

    bool filters() const { return since || until || !uids.empty(); }
};

class StepFilter : public ktr::TimelineWriter {
public:
    StepFilter(StepWindow window, ktr::TimelineWriter& out) : m_window(std::move(window)), m_out(out) {}

    // The prefix time of the log's first line: step times count from it.
    void setOrigin(double origin) { m_origin = origin; }

    void begin(const ktr::TimelineHeader& header) override { m_out.begin(header); }
    void write(const ktr::TimelineStep& step) override;
    void end() override { m_out.end(); }

private:
    bool keeps(const ktr::TimelineStep& step) const;

    StepWindow m_window;
    ktr::TimelineWriter& m_out;
    double m_origin = 0;
    std::optional<ktr::StateChange> m_skipped;  // the changes of the steps left out since the last one written
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_STEPFILTER_H

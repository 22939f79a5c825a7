// --redact as one stage between a run and every one of its outputs: the steps the writers get, the samples
// the series get, the summaries and the texts pass through the same redactor, so a uid has one pseudonym in
// all of them. Off, everything passes unchanged. The uids are found through the timeline model's uid fields
// (Uids.h) and the log catalogue's uid values, not by each writer.
#ifndef KTRSDK_TOOLS_COMMON_WRITERS_REDACTIONSTAGE_H
#define KTRSDK_TOOLS_COMMON_WRITERS_REDACTIONSTAGE_H

#include <memory>
#include <string>
#include <string_view>

#include "RedactingSeries.h"
#include "RedactingWriter.h"
#include "SeriesSink.h"
#include "Summary.h"
#include "TimelineWriter.h"
#include "UidRedactor.h"

namespace ktr {

class RedactionStage {
public:
    explicit RedactionStage(bool enabled) : m_enabled(enabled) {}
    RedactionStage(const RedactionStage&) = delete;
    RedactionStage& operator=(const RedactionStage&) = delete;

    bool enabled() const { return m_enabled; }
    // Where a run hands its steps: out itself, or a writer that redacts each step on its way to out.
    TimelineWriter& timeline(TimelineWriter& out);
    // Where a simulation hands its samples (null stays null).
    SeriesSink* series(SeriesSink* out);
    // A step built outside the writers (a rebuilt log operation) as every output gets it.
    TimelineStep step(TimelineStep step) { return m_enabled ? m_redactor.step(std::move(step)) : step; }
    // A summary of steps that went through the stage unredacted.
    RunSummary summary(RunSummary summary) { return m_enabled ? m_redactor.summary(std::move(summary)) : summary; }
    std::string text(std::string_view text) const { return m_enabled ? m_redactor.text(text) : std::string(text); }
    // For a writer that takes the redactor itself (a recorded scenario); null when off.
    UidRedactor* redactor() { return m_enabled ? &m_redactor : nullptr; }

private:
    bool m_enabled = false;
    UidRedactor m_redactor;
    std::unique_ptr<RedactingWriter> m_writer;
    std::unique_ptr<RedactingSeries> m_series;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_WRITERS_REDACTIONSTAGE_H

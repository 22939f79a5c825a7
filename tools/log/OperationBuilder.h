// Groups the library's lines of a client log into the operations that wrote them and rebuilds each as a
// timeline step: the input and the answer as far as the lines show them (null where they do not), the
// rules, and the state derived from what was rebuilt.
#ifndef KTRSDK_TOOLS_LOG_OPERATIONBUILDER_H
#define KTRSDK_TOOLS_LOG_OPERATIONBUILDER_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "LibraryLine.h"
#include "StateTracker.h"
#include "Timeline.h"

namespace ktr::log {

// The note on a select request that the builder takes to start a new collection of requests.
extern const char* const kNewCollectionNote;

class OperationBuilder {
public:
    // Receives each step as it is completed; the step's state is the builder's, valid until the next step.
    using StepSink = std::function<void(ktr::TimelineStep&&)>;

    explicit OperationBuilder(StepSink sink) : m_sink(std::move(sink)) {}

    // Takes the next library line; the operation before it ends when the next one's first line arrives.
    void add(const LibraryLine& line);
    // The last operation, and the end of the log.
    void finish();
    // Signs of trouble, each naming its line: a second init, lines no format matches, lines whose
    // operation started before the log did.
    const std::vector<std::string>& warnings() const { return m_warnings; }
    // Library lines that went into no step: those before the first line of any operation.
    uint64_t skippedLines() const { return m_skipped; }
    // Warnings past the listed ones, only counted.
    uint64_t unlistedWarnings() const { return m_unlistedWarnings; }

private:
    struct Operation {
        std::string event;
        std::vector<LibraryLine> lines;
    };

    // The operation the line opens, if it opens one.
    std::optional<std::string> eventStartedBy(const LibraryLine& line) const;
    bool continuesWithPeer(uint64_t uid) const;
    void startOperation(const std::string& event, const LibraryLine& line);
    void skip(const LibraryLine& line);
    void warn(std::string warning);
    void complete(bool lastOfLog);
    void deliverEstimate(const ktr::EstimateState& estimate, ktr::TimelineStep& download);
    ktr::TimelineStep newStep(const std::string& event, const LibraryLine& first);
    void followCollection(ktr::TimelineStep& step);
    // Applies the step to the derived state and hands it on.
    void deliver(ktr::TimelineStep& step, const ktr::Answer& checked);

    StepSink m_sink;
    std::optional<Operation> m_current;
    std::optional<double> m_firstTime;
    ktr::StateTracker m_tracker;
    ktr::EstimateState m_lastEstimate;  // the download estimate last seen, as a fresh instance starts
    bool m_cameraDecidedSinceRequest = false;
    bool m_initSeen = false;
    uint64_t m_localUid = 0;
    bool m_skipping = false;
    int m_nextIndex = 0;
    uint64_t m_skipped = 0;
    std::vector<std::string> m_warnings;
    uint64_t m_unlistedWarnings = 0;  // past the listed ones
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_OPERATIONBUILDER_H

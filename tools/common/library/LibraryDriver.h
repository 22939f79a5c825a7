// Drives one library instance as a host does: performs one action at a time and turns it into a
// timeline step (the answer, the lines logged with their catalogue entries, notes, and what the step
// changed of the derived state). The replay and the simulator both build their timelines through it.
#ifndef KTRSDK_TOOLS_COMMON_LIBRARYDRIVER_H
#define KTRSDK_TOOLS_COMMON_LIBRARYDRIVER_H

#include <chrono>
#include <string>

#include "AnswerNotes.h"
#include "LibraryLog.h"
#include "SdkLibrary.h"
#include "StateTracker.h"
#include "Timeline.h"

namespace ktr {

class LibraryDriver {
public:
    explicit LibraryDriver(const SdkLibrary& library);

    // Performs the action on the instance; the step carries time and event as given, and points at the
    // driver's state, which the next perform changes.
    TimelineStep perform(const Action& action, const std::string& event, double time);
    // Performs the action and returns its answer alone: the lines it logged are dropped unread and no state
    // is derived, for a caller that writes no timeline. A driver serves one of the two for its whole life.
    Answer answer(const Action& action);

    // The state derived so far (the stream chosen for every peer, the HD/LD split, ...).
    const StateSnapshot& state() const { return m_tracker.state(); }
    // Time spent inside the library's calls so far (its own log formatting included).
    std::chrono::nanoseconds libraryTime() const { return m_libraryTime; }

private:
    Answer timedAction(const Action& action);

    LibraryLog m_log;  // declared first: it outlives the instance, which may log while it goes
    SdkLibrary::Instance m_sdk;
    StateTracker m_tracker;
    AnswerNotes m_notes;
    std::chrono::nanoseconds m_libraryTime{0};
};

// Runs one action on an instance and returns its answer (none for an event).
Answer performAction(tarn::video::IKTRSDK& sdk, const Action& action);

// The lines as rules: each matched to its catalogue entry.
std::vector<FiredRule> firedRules(std::vector<LogLine> lines);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_LIBRARYDRIVER_H

// Follows the library's state from the outside. The interface shows neither the stream chosen for each
// peer nor the HD/LD split between questions, and asking would change the run (log lines, the cut
// rotation, rand()). So the state is derived from the inputs, the answers and the logged lines; what
// they do not show stays unknown. Each input and line updates the part of the state it touches and marks
// it; a step's change is what differs in the marked parts from what the previous change left.
#ifndef KTRSDK_TOOLS_COMMON_STATETRACKER_H
#define KTRSDK_TOOLS_COMMON_STATETRACKER_H

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DefinitionTable.h"
#include "Timeline.h"

namespace ktr {

class StateTracker {
public:
    // Takes one step into account. Returns a note for every place where the library's own output
    // contradicts the derived state (the state then follows the library).
    std::vector<std::string> apply(const Action& action, const Answer& answer, const std::vector<FiredRule>& rules);

    // The whole state after the steps so far.
    const StateSnapshot& state() const { return m_state; }
    // What the steps since the last call changed.
    StateChange takeChange();
    const DefinitionTable& definitions() const { return m_definitions; }

private:
    void applyInput(const Action& action);
    void applyLine(const ParsedLine& line, std::vector<std::string>& notes);
    void startChoice(uint64_t uid, int64_t streamCount);
    void finishChoice(bool upper, uint64_t uid, int64_t bitrate, std::vector<std::string>& notes);
    // Compares what a line shows of a peer's chosen stream (its bitrate, and one bound when given) with
    // the derived stream.
    void checkChosen(uint64_t uid, int64_t bitrate, Known<int32_t> Record::*bound, int64_t boundValue,
                     std::vector<std::string>& notes);
    void checkAnswer(const Answer& answer, std::vector<std::string>& notes);
    void checkSplit(const HdLdAnswer& answer, std::vector<std::string>& notes);
    void checkRaises(const DownloadAnswer& answer, std::vector<std::string>& notes);
    void forgetUnknownPeers();

    // The peer's state, created when new; marks it touched.
    PeerState& peer(uint64_t uid);
    void setReceived(PeerState& peer, bool received);
    void markUnknown(uint64_t uid);
    // What follows from the rest: a peer not received has no choice; a received one's definition.
    void derive(PeerState& peer) const;
    void deriveAll();

    StateSnapshot m_state;
    StateSnapshot m_written;  // the state as the changes taken so far describe it
    bool m_sceneTouched = true;
    bool m_downloadTouched = true;
    bool m_uploadTouched = true;
    bool m_requestsTouched = true;
    std::set<uint64_t> m_peersTouched;
    DefinitionTable m_definitions;
    std::optional<int64_t> m_adjustStatus;  // the net status of this step's download adjustment
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_STATETRACKER_H

// What the meeting says happens, in time order, as the host events it turns into: joins and leaves,
// peers re-reporting their streams, speaker and sharing changes, new sets of select requests.
#ifndef KTRSDK_TOOLS_SIM_MEETINGSCRIPT_H
#define KTRSDK_TOOLS_SIM_MEETINGSCRIPT_H

#include <cstdint>
#include <vector>

#include "Meeting.h"
#include "Units.h"

namespace ktr::sim {

struct ScriptEvent {
    enum class Kind { Join, Leave, Report, SpeakerOn, SpeakerOff, ShareOn, ShareOff, Requests };
    Micros at = 0;
    Kind kind = Kind::Join;
    uint64_t uid = 0;     // the peer, speaker or sharer
    size_t requests = 0;  // Requests: index into the meeting's select request sets
};

// The events of the whole meeting up to its end, ordered by time and then by the order they were made
// in. A talk-spurt model draws its turns from its own engine seeded with seed.
std::vector<ScriptEvent> scriptOf(const Meeting& meeting, uint64_t seed);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_MEETINGSCRIPT_H

#ifndef KTRSDK_TOOLS_SIM_MEETINGRULES_H
#define KTRSDK_TOOLS_SIM_MEETINGRULES_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "FieldPlace.h"
#include "IKTRSDK.h"
#include "Meeting.h"

// The rules a meeting's peers, speaker turns and share periods must follow. Each check throws
// ktr::InputError naming the file, the field and the problem when its rule does not hold.
namespace ktr::sim {

// A speaker turn or a share period as written, with its place for messages.
struct TimedSpan {
    Micros start;
    Micros end;
    uint64_t uid;
    FieldPlace place;
};

// A peer's uid is not 0, not the local user's and not one that an earlier peer has (earlier maps each uid
// to the path of the peer that has it).
void checkPeerUid(const FieldPlace& place, uint64_t uid, uint64_t localUid,
                  const std::map<uint64_t, std::string>& earlier);

// The uids first to first + count - 1 of a group of peers exist and do not include the local user's.
void checkGroupUids(const FieldPlace& place, uint64_t first, int64_t count, uint64_t localUid);

// A peer leaves after it joins; a peer that stays joins before the meeting ends.
void checkPeerStay(const FieldPlace& place, const MeetingPeer& peer, Micros duration);

// A published stream has a size, a frame rate the frame model can pace and a bitrate.
void checkPublishedStream(const FieldPlace& place, const tarn::video::VideoStreamInfo& stream);

// A span ends after it starts.
void checkSpanOrder(const TimedSpan& span);

// A span belongs to the local user or to a peer in the meeting from its start to its end. The meeting's
// peers are in ascending uid.
void checkSpanUid(const TimedSpan& span, const Meeting& meeting);

// Spans sorted by start do not overlap; one may start when the one before ends.
void checkNoOverlap(const std::vector<TimedSpan>& sortedSpans);

// "12.5 s", for messages.
std::string secondsText(Micros time);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_MEETINGRULES_H

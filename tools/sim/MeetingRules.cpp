#include "MeetingRules.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "InputFile.h"

namespace ktr::sim {
namespace {

// The frame model paces frames 1/fps apart; faster than this is no camera.
constexpr int32_t kMaxFrameRate = 120;

[[noreturn]] void fail(const FieldPlace& place, const std::string& field, const std::string& problem) {
    throw InputError(place.describe(field, problem));
}

void requireAtLeastOne(const FieldPlace& place, const std::string& field, int32_t value, int32_t high) {
    if (value < 1 || value > high) {
        fail(place, field, fmt::format("expected an integer from 1 to {}, got {}", high, value));
    }
}

}  // namespace

void checkPeerUid(const FieldPlace& place, uint64_t uid, uint64_t localUid,
                  const std::map<uint64_t, std::string>& earlier) {
    if (uid == 0) {
        fail(place, "uid", "0 is nobody to the library; a peer needs another uid");
    }
    if (uid == localUid) {
        fail(place, "uid", fmt::format("{} is the local user's uid", uid));
    }
    const auto other = earlier.find(uid);
    if (other != earlier.end()) {
        fail(place, "uid", fmt::format("{} is already the uid of {}", uid, other->second));
    }
}

void checkGroupUids(const FieldPlace& place, uint64_t first, int64_t count, uint64_t localUid) {
    if (first == 0) {
        fail(place, "first_uid", "0 is nobody to the library; the group needs uids from 1 on");
    }
    const uint64_t lastOffset = static_cast<uint64_t>(count) - 1;
    if (first > std::numeric_limits<uint64_t>::max() - lastOffset) {
        fail(place, "first_uid", fmt::format("{} peers from uid {} pass the largest uid", count, first));
    }
    const uint64_t last = first + lastOffset;
    if (localUid >= first && localUid <= last) {
        fail(place, "first_uid",
             fmt::format("the group's uids {} to {} include the local user's uid {}", first, last, localUid));
    }
}

void checkPeerStay(const FieldPlace& place, const MeetingPeer& peer, Micros duration) {
    if (peer.leave && *peer.leave <= peer.join) {
        fail(place, "leave_s",
             fmt::format("leaves at {}, not after joining at {}", secondsText(*peer.leave), secondsText(peer.join)));
    }
    if (!peer.leave && peer.join >= duration) {
        fail(place, "join_s",
             fmt::format("joins at {}, not before the meeting ends at {}", secondsText(peer.join),
                         secondsText(duration)));
    }
}

void checkPublishedStream(const FieldPlace& place, const tarn::video::VideoStreamInfo& stream) {
    const int32_t anyPositive = std::numeric_limits<int32_t>::max();
    requireAtLeastOne(place, "width", stream.width, anyPositive);
    requireAtLeastOne(place, "height", stream.height, anyPositive);
    requireAtLeastOne(place, "fps", stream.fps, kMaxFrameRate);
    requireAtLeastOne(place, "bitrate", stream.bitrate, anyPositive);
}

void checkSpanOrder(const TimedSpan& span) {
    if (span.end <= span.start) {
        fail(span.place, "end_s",
             fmt::format("ends at {}, not after starting at {}", secondsText(span.end), secondsText(span.start)));
    }
}

void checkSpanUid(const TimedSpan& span, const Meeting& meeting) {
    if (span.uid == meeting.localUid) {
        return;
    }
    const auto peer = std::lower_bound(meeting.peers.begin(), meeting.peers.end(), span.uid,
                                       [](const MeetingPeer& p, uint64_t uid) { return p.uid < uid; });
    if (peer == meeting.peers.end() || peer->uid != span.uid) {
        fail(span.place, "uid", fmt::format("{} is neither the local user's uid nor a peer's", span.uid));
    }
    const Micros leave = peer->leave.value_or(meeting.duration);
    if (span.start < peer->join || span.end > leave) {
        fail(span.place, "uid",
             fmt::format("peer {} is in the meeting from {} to {}, not from {} to {}", span.uid,
                         secondsText(peer->join), secondsText(leave), secondsText(span.start), secondsText(span.end)));
    }
}

void checkNoOverlap(const std::vector<TimedSpan>& sortedSpans) {
    for (size_t i = 1; i < sortedSpans.size(); ++i) {
        const TimedSpan& before = sortedSpans[i - 1];
        const TimedSpan& span = sortedSpans[i];
        if (span.start < before.end) {
            fail(span.place, "start_s",
                 fmt::format("starts at {}, before {} ends at {}", secondsText(span.start), before.place.pathOf(""),
                             secondsText(before.end)));
        }
    }
}

std::string secondsText(Micros time) {
    return fmt::format("{} s", static_cast<double>(time) / kMicrosPerSecond);
}

}  // namespace ktr::sim

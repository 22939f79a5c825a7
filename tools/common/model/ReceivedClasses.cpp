#include "ReceivedClasses.h"

#include <algorithm>
#include <tuple>

#include "PeerStreams.h"

namespace ktr {
namespace {

bool namesUser(const std::set<UserKey>& users, uint64_t uid) {
    return std::any_of(users.begin(), users.end(), [uid](const UserKey& user) { return user.uid == uid; });
}

// In the meeting: the scene lists the user, or the state holds its peer.
bool inMeeting(const StateSnapshot& state, uint64_t uid) {
    return state.peers.count(uid) != 0 || namesUser(state.scene.users, uid) ||
           namesUser(state.scene.receivedUsers, uid);
}

// Steps that can change who is in the meeting.
bool changesUsers(const Action& action) {
    return std::holds_alternative<AddUser>(action) || std::holds_alternative<RemoveUser>(action) ||
           std::holds_alternative<SetUsers>(action);
}

// Steps after which the state's chosen stream, not an earlier request, says what a peer is received at.
bool choosesAnew(const Action& action) {
    return std::holds_alternative<PeerReport>(action) || std::holds_alternative<SetUsers>(action);
}

// The class of a received peer's stream, and its bitrate.
std::pair<ReceivedClass, double> classOf(const Record& stream, const PeerState& peer) {
    if (!stream.bitrate) {
        return {{kUnknownClass, false}, 0};
    }
    const int32_t bitrate = *stream.bitrate;
    if (bitrate <= 0) {
        return {{kNothingChosen, false}, 0};
    }
    const std::optional<size_t> lower = peerstreams::lower(*peer.published);
    const bool atLowest = lower && bitrate <= peerstreams::bitrateOf((*peer.published)[*lower]);
    return {{resolutionOf(stream), atLowest}, static_cast<double>(bitrate)};
}

}  // namespace

std::string resolutionOf(const Record& stream) {
    return std::to_string(stream.width.value_or(0)) + "x" + std::to_string(stream.height.value_or(0));
}

bool ReceivedClass::isResolution() const {
    return !label.empty() && label[0] >= '0' && label[0] <= '9';
}

bool ReceivedClass::operator==(const ReceivedClass& other) const {
    return std::tie(label, atLowest) == std::tie(other.label, other.atLowest);
}

ReceivedClasses::Peer& ReceivedClasses::peerAt(uint64_t uid) {
    auto [entry, added] = m_peers.try_emplace(uid);
    if (added) {
        entry->second.received = {kNotYetJoined, false};
        entry->second.since = m_start.value_or(0);
    }
    return entry->second;
}

void ReceivedClasses::add(const TimelineStep& step, double x) {
    if (!m_start) {
        m_start = x;
    }
    if (step.state == nullptr) {
        return;
    }
    const StateSnapshot& state = *step.state;
    const bool newChoice = choosesAnew(step.action);
    for (const auto& [uid, changed] : step.change.peers) {
        Peer& peer = peerAt(uid);
        if (!changed || newChoice) {
            peer.request.reset();
        }
        update(uid, peer, state, x);
    }
    if (const auto* download = std::get_if<DownloadAnswer>(&step.answer); download != nullptr && download->records) {
        for (const PeerRequest& request : *download->records) {
            Peer& peer = peerAt(request.uid);
            peer.request = request;
            update(request.uid, peer, state, x);
        }
    }
    if (changesUsers(step.action)) {
        for (const std::set<UserKey>* users : {&state.scene.users, &state.scene.receivedUsers}) {
            for (const UserKey& user : *users) {
                peerAt(user.uid);
            }
        }
        for (auto& [uid, peer] : m_peers) {
            update(uid, peer, state, x);
        }
    }
}

void ReceivedClasses::update(uint64_t uid, Peer& peer, const StateSnapshot& state, double x) {
    ReceivedClass next{kNotReceived, false};
    double bitrate = 0;
    const auto found = state.peers.find(uid);
    const PeerState* known = found == state.peers.end() ? nullptr : &found->second;
    if (!inMeeting(state, uid)) {
        next.label = peer.present ? kLeft : kNotYetJoined;
    } else if (known == nullptr || !known->published || known->published->empty()) {
        next.label = kNoReport;
    } else if (known->received) {
        const Record* stream = peer.request ? &*peer.request : known->chosen ? &*known->chosen : nullptr;
        std::tie(next, bitrate) =
            stream != nullptr ? classOf(*stream, *known) : std::pair(ReceivedClass{kUnknownClass, false}, 0.0);
    }
    peer.present = peer.present || inMeeting(state, uid);
    peer.bitrate = bitrate;
    if (next == peer.received) {
        return;
    }
    if (x > peer.since) {
        m_sink(Span{uid, peer.since, x, peer.received});
    }
    peer.received = next;
    peer.since = x;
}

std::vector<ReceivedClasses::Span> ReceivedClasses::open(double end) const {
    std::vector<Span> spans;
    for (const auto& [uid, peer] : m_peers) {
        if (end > peer.since) {
            spans.push_back(Span{uid, peer.since, end, peer.received});
        }
    }
    return spans;
}

void ReceivedClasses::finish(double end) {
    for (const Span& span : open(end)) {
        m_sink(span);
    }
    for (auto& [uid, peer] : m_peers) {
        peer.since = std::max(peer.since, end);
    }
}

double ReceivedClasses::totalBitrate() const {
    double total = 0;
    for (const auto& [uid, peer] : m_peers) {
        total += peer.bitrate;
    }
    return total;
}

}  // namespace ktr

#include "StateTracker.h"

#include <fmt/format.h>

#include <string_view>
#include <type_traits>

#include "KTRLogFormats.h"

namespace ktr {
namespace {

using tarn::video::VideoStreamInfo;

// How many requests a merge line of two to five requests shows ("select.adjust3.two": three); the
// guard lines of those merges and the merge of six or more show no count.
std::optional<size_t> mergedRequestCount(std::string_view id) {
    constexpr std::string_view kMerge = "select.adjust";
    if (id.substr(0, kMerge.size()) != kMerge || id.size() < kMerge.size() + 2 || id[kMerge.size() + 1] != '.' ||
        id.substr(kMerge.size() + 2) == "tooFew") {
        return std::nullopt;
    }
    const char count = id[kMerge.size()];
    return count >= '2' && count <= '5' ? std::optional<size_t>(count - '0') : std::nullopt;
}

// A raise asks for the chosen bitrate plus this step.
constexpr int64_t kRaiseStep = 30720;

template <class... Visitors>
struct Overloaded : Visitors... {
    using Visitors::operator()...;
};
template <class... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

// The lower of a peer's first two streams, as the library picks it (the first on equal bitrates).
const VideoStreamInfo& lowerOf(const std::vector<VideoStreamInfo>& streams) {
    return streams[0].bitrate > streams[1].bitrate ? streams[1] : streams[0];
}

// The upper of exactly two streams (the second on equal bitrates).
const VideoStreamInfo& upperOf(const std::vector<VideoStreamInfo>& streams) {
    return streams[0].bitrate > streams[1].bitrate ? streams[0] : streams[1];
}

bool isRaise(int64_t status) {
    return status == tarn::video::VIDEO_NET_ESTIMAT_NORMAL + 1 || status == tarn::video::VIDEO_NET_ESTIMAT_NORMAL + 2;
}

}  // namespace

std::vector<std::string> StateTracker::apply(const Action& action, const Answer& answer,
                                             const std::vector<ParsedLine>& lines) {
    std::vector<std::string> notes;
    m_adjustStatus.reset();
    applyInput(action);
    for (const ParsedLine& line : lines) {
        applyLine(line, notes);
    }
    checkAnswer(answer, notes);
    forgetUnknownPeers();
    return notes;
}

void StateTracker::applyInput(const Action& action) {
    std::visit(Overloaded{
                   [this](const Init& s) {
                       m_scene.localUid = s.uid;
                       m_scene.localDt = s.dt;
                   },
                   [this](const SceneType& s) { m_scene.sceneType = s.value; },
                   [this](const Config& s) { m_forceHD = s.config.forceHD; },
                   [this](const AddUser& s) {
                       if (s.user.uid != m_scene.localUid) {
                           m_scene.users.insert(UserKey{s.user.uid, s.user.dt});
                       }
                   },
                   [this](const RemoveUser& s) {
                       m_scene.users.erase(UserKey{s.user.uid, s.user.dt});
                       if (auto found = m_peers.find(s.user.uid); found != m_peers.end()) {
                           found->second.published.reset();
                       }
                   },
                   [this](const SetUsers& s) {
                       m_scene.received.clear();
                       for (const auto& user : s.users) {
                           m_scene.received.insert(UserKey{user.uid, user.dt});
                       }
                   },
                   [this](const Sharing& s) {
                       m_scene.sharing = s.sharing;
                       m_scene.sharer = s.uid;
                   },
                   [this](const Speaker& s) {
                       m_scene.speaking = s.speaking;
                       m_scene.speaker = s.uid;
                   },
                   [this](const PeerReport& s) {
                       if (s.uid != m_scene.localUid) {
                           m_peers[s.uid].published = s.streams;
                       }
                   },
                   [this](const ClearPeerReports&) {
                       for (auto& entry : m_peers) {
                           entry.second.published.reset();
                       }
                   },
                   [this](const SelectRequest& s) {
                       m_requests.push_back(SelectRequestState{s.width, s.height, s.fps, s.bitrate});
                   },
                   [this](const ClearSelectRequests&) { m_requests.clear(); },
                   [this](const NetEstimate& s) {
                       (s.upload ? m_upload : m_download) = EstimateState{s.status, s.score, s.bitrate, s.maxBitrate};
                   },
                   [this](const Definitions& s) { m_definitions.supply(s.streams); },
                   [](const auto&) {},
               },
               action);
}

void StateTracker::applyLine(const ParsedLine& line, std::vector<std::string>& notes) {
    const std::string_view id = line.format->id;
    if (id == ktrlog::DlAddPeer::id) {
        startChoice(line.uid("uid"), line.integer("infos.size"));
    } else if (id == ktrlog::DlAddPeerChosen::id) {
        finishChoice(line.integer("upper") == 1, line.uid("uid"), line.integer("bitrate"), notes);
    } else if (id == ktrlog::DlClear::id) {
        for (auto& entry : m_peers) {
            entry.second.received = false;
        }
    } else if (id == ktrlog::DlRemovePeer::id) {
        if (auto found = m_peers.find(line.uid("uid")); found != m_peers.end()) {
            found->second.received = false;
        }
    } else if (id == ktrlog::DftInfoByDft::id) {
        m_definitions.touch(static_cast<int32_t>(line.integer("channel")), static_cast<int32_t>(line.integer("dft")));
    } else if ((id == ktrlog::SelectAmendMin::id || id == ktrlog::SelectAmendMax::id) && !m_requests.empty()) {
        m_requests.back().bitrate =
            static_cast<int32_t>(line.integer(id == ktrlog::SelectAmendMin::id ? "minBitrate" : "maxBitrate"));
    } else if (const std::optional<size_t> merged = mergedRequestCount(id); merged && m_requests.size() > *merged) {
        // The merge names every request it held: earlier ones were cleared.
        m_requests.erase(m_requests.begin(), m_requests.end() - static_cast<std::ptrdiff_t>(*merged));
    } else if (id == ktrlog::DlRealAdjustEstimate::id) {
        m_adjustStatus = line.integer("net_status");
    } else if (id == ktrlog::DlIsGoodToIncGood::id || id == ktrlog::DlIsGoodToIncMax::id) {
        checkChosen(line.uid("peer"), line.integer("bitrate"), &VideoStreamInfo::maxbitrate, line.integer("maxBitrate"),
                    notes);
    } else if (id == ktrlog::DlIsGoodToDecGood::id || id == ktrlog::DlIsGoodToDecMin::id) {
        // These lines print the chosen stream's minbitrate under the name maxBitrate.
        checkChosen(line.uid("peer"), line.integer("bitrate"), &VideoStreamInfo::minbitrate, line.integer("maxBitrate"),
                    notes);
    }
}

void StateTracker::startChoice(uint64_t uid, int64_t streamCount) {
    if (uid == m_scene.localUid) {
        return;  // refused: the local user is never a peer
    }
    Peer& peer = m_peers[uid];
    peer.received = true;
    const std::vector<VideoStreamInfo> streams = peer.published.value_or(std::vector<VideoStreamInfo>{});
    peer.choice = StreamChoice::Unknown;
    peer.chosen.reset();
    if (streamCount != static_cast<int64_t>(streams.size())) {
        return;  // the library saw another list than the one derived: leave the choice unknown
    }
    if (streams.empty()) {
        peer.choice = StreamChoice::Nothing;
        peer.chosen = VideoStreamInfo{};
    } else if (streams.size() == 1) {
        peer.choice = StreamChoice::Only;
        peer.chosen = streams[0];
    }
}

void StateTracker::finishChoice(bool upper, uint64_t uid, int64_t bitrate, std::vector<std::string>& notes) {
    auto found = m_peers.find(uid);
    if (found == m_peers.end() || !found->second.published || found->second.published->size() < 2) {
        markUnknown(uid);
        return;
    }
    Peer& peer = found->second;
    const std::vector<VideoStreamInfo>& streams = *peer.published;
    if (upper && streams.size() != 2) {
        peer.choice = StreamChoice::Nothing;  // an upper choice needs exactly two streams
        peer.chosen = VideoStreamInfo{};
    } else {
        peer.choice = upper ? StreamChoice::Upper : StreamChoice::Lower;
        peer.chosen = upper ? upperOf(streams) : lowerOf(streams);
    }
    checkChosen(uid, bitrate, nullptr, 0, notes);
}

void StateTracker::checkChosen(uint64_t uid, int64_t bitrate, int32_t VideoStreamInfo::*bound, int64_t boundValue,
                               std::vector<std::string>& notes) {
    auto found = m_peers.find(uid);
    if (found == m_peers.end() || !found->second.chosen) {
        return;
    }
    const VideoStreamInfo& chosen = *found->second.chosen;
    // A maxbitrate of 0 is replaced by the table's before it is logged, so only a set bound is compared.
    const bool boundDiffers = bound != nullptr && chosen.*bound != 0 && chosen.*bound != boundValue;
    if (chosen.bitrate == bitrate && !boundDiffers) {
        return;
    }
    notes.push_back(
        fmt::format("the library shows peer {} at {} (bound {}), not the derived {} (bound {}): its chosen "
                    "stream is shown as unknown",
                    uid, bitrate, boundValue, chosen.bitrate, bound != nullptr ? chosen.*bound : 0));
    markUnknown(uid);
}

void StateTracker::checkAnswer(const Answer& answer, std::vector<std::string>& notes) {
    if (const auto* split = std::get_if<HdLdAnswer>(&answer)) {
        checkSplit(*split, notes);
    } else if (const auto* requests = std::get_if<DownloadAnswer>(&answer)) {
        checkRaises(*requests, notes);
    }
}

void StateTracker::checkSplit(const HdLdAnswer& answer, std::vector<std::string>& notes) {
    for (auto& [uid, peer] : m_peers) {
        if (!peer.received) {
            continue;
        }
        const Definition derived = definitionOf(peer);
        const Definition actual = answer.hd.count(uid) != 0   ? Definition::High
                                  : answer.ld.count(uid) != 0 ? Definition::Low
                                                              : Definition::Unknown;
        if (derived != Definition::Unknown && derived != actual) {
            notes.push_back(fmt::format("derived {} definition for peer {}, the library answers {}",
                                        definitionName(derived), uid, definitionName(actual)));
            markUnknown(uid);
        }
    }
}

void StateTracker::checkRaises(const DownloadAnswer& answer, std::vector<std::string>& notes) {
    if (!m_adjustStatus || !isRaise(*m_adjustStatus)) {
        return;
    }
    for (const auto& [uid, request] : answer.requests) {
        auto found = m_peers.find(uid);
        if (found != m_peers.end() && found->second.chosen &&
            request.bitrate != static_cast<int64_t>(found->second.chosen->bitrate) + kRaiseStep) {
            notes.push_back(fmt::format("peer {} was raised to {}, not to its derived chosen bitrate {} plus {}", uid,
                                        request.bitrate, found->second.chosen->bitrate, kRaiseStep));
            markUnknown(uid);
        }
    }
}

void StateTracker::markUnknown(uint64_t uid) {
    Peer& peer = m_peers[uid];
    peer.choice = StreamChoice::Unknown;
    peer.chosen.reset();
}

void StateTracker::forgetUnknownPeers() {
    for (auto it = m_peers.begin(); it != m_peers.end();) {
        it = !it->second.published && !it->second.received ? m_peers.erase(it) : std::next(it);
    }
}

Definition StateTracker::definitionOf(const Peer& peer) const {
    if (!peer.published || peer.published->size() < 2) {
        return Definition::High;  // one stream or none: nothing lower to receive
    }
    if (!peer.chosen) {
        return Definition::Unknown;
    }
    const bool lowerClass =
        m_definitions.classOf(peer.chosen->bitrate) == m_definitions.classOf(lowerOf(*peer.published).bitrate);
    return lowerClass ? Definition::Low : Definition::High;
}

StateSnapshot StateTracker::snapshot() const {
    StateSnapshot state;
    state.scene = m_scene;
    state.download = m_download;
    state.upload = m_upload;
    state.selectRequests = m_requests;
    state.forceHD = m_forceHD;
    for (const auto& [uid, peer] : m_peers) {
        PeerState shown;
        shown.uid = uid;
        shown.published = peer.published;
        shown.received = peer.received;
        if (peer.received) {
            shown.choice = peer.choice;
            shown.chosen = peer.chosen;
            shown.definition = definitionOf(peer);
        } else {
            shown.choice = StreamChoice::Nothing;
        }
        state.peers.push_back(std::move(shown));
    }
    return state;
}

}  // namespace ktr

#include "StateTracker.h"

#include <fmt/format.h>

#include <string_view>

#include "KTRLogFormats.h"
#include "Overloaded.h"
#include "PeerStreams.h"

namespace ktr {
namespace {

// How many requests a merge line of two to five requests shows (ktrlog::SelectAdjust3Two::id: three); the
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

bool isRaise(int64_t status) {
    return status == tarn::video::VIDEO_NET_ESTIMAT_NORMAL + 1 || status == tarn::video::VIDEO_NET_ESTIMAT_NORMAL + 2;
}

int64_t bitrateOf(const Record& record) {
    return record.bitrate.value_or(0);
}

const std::vector<Record>& streamsOf(const PeerState& peer) {
    static const std::vector<Record> kNone;
    return peer.published ? *peer.published : kNone;
}

UserKey keyOf(const User& user) {
    return UserKey{user.uid, user.dt};
}

template <class T>
void takeSection(StateChange::Section<T>& change, T& written, const T& now, bool& touched) {
    if (touched) {
        change.fields = codec::changedFields(written, now);
        if (change.fields != 0) {
            change.values = now;
            written = now;
        }
        touched = false;
    }
}

}  // namespace

std::vector<std::string> StateTracker::apply(const Action& action, const Answer& answer,
                                             const std::vector<FiredRule>& rules) {
    std::vector<std::string> notes;
    m_adjustStatus.reset();
    applyInput(action);
    for (const FiredRule& rule : rules) {
        if (rule.line.format != nullptr) {
            applyLine(rule.line, notes);
        }
    }
    checkAnswer(answer, notes);
    forgetUnknownPeers();
    return notes;
}

PeerState& StateTracker::peer(uint64_t uid) {
    m_peersTouched.insert(uid);
    return m_state.peers[uid];
}

void StateTracker::applyInput(const Action& action) {
    SceneState& scene = m_state.scene;
    std::visit(Overloaded{
                   [&](const Init& s) {
                       scene.localUid = s.uid;
                       scene.localDt = s.dt;
                       m_sceneTouched = true;
                   },
                   [&](const SceneType& s) {
                       scene.sceneType = s.value;
                       m_sceneTouched = true;
                   },
                   [&](const Config& s) {
                       scene.forceHD = s.forceHD;
                       m_sceneTouched = true;
                   },
                   [&](const AddUser& s) {
                       if (s.uid != scene.localUid) {
                           scene.users.insert(keyOf(s));
                           m_sceneTouched = true;
                       }
                   },
                   [&](const RemoveUser& s) {
                       scene.users.erase(keyOf(s));
                       m_sceneTouched = true;
                       if (auto found = m_state.peers.find(s.uid); found != m_state.peers.end()) {
                           peer(s.uid).published.reset();
                       }
                   },
                   [&](const SetUsers& s) {
                       scene.receivedUsers.clear();
                       for (const User& user : s.users) {
                           scene.receivedUsers.insert(keyOf(user));
                       }
                       m_sceneTouched = true;
                   },
                   [&](const Sharing& s) {
                       scene.sharing = s.sharing;
                       scene.sharer = s.uid;
                       m_sceneTouched = true;
                   },
                   [&](const Speaker& s) {
                       scene.speaking = s.speaking;
                       scene.speaker = s.uid;
                       m_sceneTouched = true;
                   },
                   [&](const PeerReport& s) {
                       if (s.uid != scene.localUid) {
                           peer(s.uid).published = s.streams ? *s.streams : std::vector<Record>();
                       }
                   },
                   [&](const ClearPeerReports&) {
                       for (auto& entry : m_state.peers) {
                           peer(entry.first).published.reset();
                       }
                   },
                   [&](const SelectRequest& s) {
                       m_state.selectRequests.push_back(s);
                       m_requestsTouched = true;
                   },
                   [&](const ClearSelectRequests&) {
                       m_state.selectRequests.clear();
                       m_requestsTouched = true;
                   },
                   [&](const NetEstimate& s) {
                       (s.upload ? m_state.upload : m_state.download) =
                           EstimateState{s.status, s.score, s.bitrate, s.maxBitrate};
                       (s.upload ? m_uploadTouched : m_downloadTouched) = true;
                   },
                   [&](const Definitions& s) {
                       m_definitions.supply(infosOf(s.streams));
                       deriveAll();
                   },
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
        for (auto& entry : m_state.peers) {
            setReceived(peer(entry.first), false);
        }
    } else if (id == ktrlog::DlRemovePeer::id) {
        if (auto found = m_state.peers.find(line.uid("uid")); found != m_state.peers.end()) {
            setReceived(peer(found->first), false);
        }
    } else if (id == ktrlog::DftInfoByDft::id) {
        if (m_definitions.touch(static_cast<int32_t>(line.integer("channel")),
                                static_cast<int32_t>(line.integer("dft")))) {
            deriveAll();
        }
    } else if ((id == ktrlog::SelectAmendMin::id || id == ktrlog::SelectAmendMax::id) &&
               !m_state.selectRequests.empty()) {
        m_state.selectRequests.back().bitrate =
            static_cast<int32_t>(line.integer(id == ktrlog::SelectAmendMin::id ? "minBitrate" : "maxBitrate"));
        m_requestsTouched = true;
    } else if (const std::optional<size_t> merged = mergedRequestCount(id);
               merged && m_state.selectRequests.size() > *merged) {
        // The merge names every request it held: earlier ones were cleared.
        std::vector<SelectRequest>& requests = m_state.selectRequests;
        requests.erase(requests.begin(), requests.end() - static_cast<std::ptrdiff_t>(*merged));
        m_requestsTouched = true;
    } else if (id == ktrlog::DlRealAdjustEstimate::id) {
        m_adjustStatus = line.integer("net_status");
    } else if (id == ktrlog::DlIsGoodToIncGood::id || id == ktrlog::DlIsGoodToIncMax::id) {
        checkChosen(line.uid("peer"), line.integer("bitrate"), &Record::maxbitrate, line.integer("maxBitrate"), notes);
    } else if (id == ktrlog::DlIsGoodToDecGood::id || id == ktrlog::DlIsGoodToDecMin::id) {
        // These lines print the chosen stream's minbitrate under the name maxBitrate.
        checkChosen(line.uid("peer"), line.integer("bitrate"), &Record::minbitrate, line.integer("maxBitrate"), notes);
    }
}

void StateTracker::setReceived(PeerState& state, bool received) {
    state.received = received;
    derive(state);
}

void StateTracker::startChoice(uint64_t uid, int64_t streamCount) {
    if (uid == m_state.scene.localUid) {
        return;  // refused: the local user is never a peer
    }
    PeerState& state = peer(uid);
    state.received = true;
    state.choice.reset();
    state.chosen.reset();
    const std::vector<Record>& streams = streamsOf(state);
    if (streamCount == static_cast<int64_t>(streams.size())) {  // else the library saw another list: unknown
        if (streams.empty()) {
            state.choice = StreamChoice::Nothing;
            state.chosen = Record::of(tarn::video::VideoStreamInfo{});
        } else if (streams.size() == 1) {
            state.choice = StreamChoice::Only;
            state.chosen = streams[0];
        }
    }
    derive(state);
}

void StateTracker::finishChoice(bool upper, uint64_t uid, int64_t bitrate, std::vector<std::string>& notes) {
    auto found = m_state.peers.find(uid);
    if (found == m_state.peers.end() || !peerstreams::hasLower(streamsOf(found->second))) {
        markUnknown(uid);
        return;
    }
    PeerState& state = peer(uid);
    const std::vector<Record>& streams = *state.published;
    const std::optional<size_t> chosen = upper ? peerstreams::upper(streams) : peerstreams::lower(streams);
    if (!chosen) {
        state.choice = StreamChoice::Nothing;  // an upper choice needs exactly two streams
        state.chosen = Record::of(tarn::video::VideoStreamInfo{});
    } else {
        state.choice = upper ? StreamChoice::Upper : StreamChoice::Lower;
        state.chosen = streams[*chosen];
    }
    derive(state);
    checkChosen(uid, bitrate, nullptr, 0, notes);
}

void StateTracker::checkChosen(uint64_t uid, int64_t bitrate, Known<int32_t> Record::*bound, int64_t boundValue,
                               std::vector<std::string>& notes) {
    auto found = m_state.peers.find(uid);
    if (found == m_state.peers.end() || !found->second.chosen) {
        return;
    }
    const Record& chosen = *found->second.chosen;
    const int64_t chosenBound = bound != nullptr ? (chosen.*bound).value_or(0) : 0;
    // A maxbitrate of 0 is replaced by the table's before it is logged, so only a set bound is compared; a
    // bound the source does not show is not compared either.
    const bool boundDiffers =
        bound != nullptr && (chosen.*bound).has_value() && chosenBound != 0 && chosenBound != boundValue;
    if (bitrateOf(chosen) == bitrate && !boundDiffers) {
        return;
    }
    notes.push_back(
        fmt::format("the library shows peer {} at {} (bound {}), not the derived {} (bound {}): its chosen "
                    "stream is shown as unknown",
                    uid, bitrate, boundValue, bitrateOf(chosen), chosenBound));
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
    if (!answer.hd || !answer.ld) {
        return;
    }
    for (auto& [uid, state] : m_state.peers) {
        if (!state.received || !state.definition) {
            continue;
        }
        const Known<Definition> actual = answer.hd->count(uid) != 0   ? Known<Definition>(Definition::High)
                                         : answer.ld->count(uid) != 0 ? Known<Definition>(Definition::Low)
                                                                      : std::nullopt;
        if (*state.definition != actual) {
            notes.push_back(fmt::format("derived {} definition for peer {}, the library answers {}",
                                        definitionName(*state.definition), uid,
                                        actual ? definitionName(*actual) : "unknown"));
            markUnknown(uid);
        }
    }
}

void StateTracker::checkRaises(const DownloadAnswer& answer, std::vector<std::string>& notes) {
    if (!m_adjustStatus || !isRaise(*m_adjustStatus) || !answer.records) {
        return;
    }
    for (const PeerRequest& request : *answer.records) {
        auto found = m_state.peers.find(request.uid);
        if (found != m_state.peers.end() && found->second.chosen &&
            bitrateOf(request) != bitrateOf(*found->second.chosen) + kRaiseStep) {
            notes.push_back(fmt::format("peer {} was raised to {}, not to its derived chosen bitrate {} plus {}",
                                        request.uid, bitrateOf(request), bitrateOf(*found->second.chosen), kRaiseStep));
            markUnknown(request.uid);
        }
    }
}

void StateTracker::markUnknown(uint64_t uid) {
    PeerState& state = peer(uid);
    state.choice.reset();
    state.chosen.reset();
    derive(state);
}

void StateTracker::derive(PeerState& state) const {
    if (!state.received) {
        state.choice = StreamChoice::Nothing;
        state.chosen.reset();
        state.definition.reset();
    } else if (!peerstreams::hasLower(streamsOf(state))) {
        state.definition = Definition::High;  // one stream or none: nothing lower to receive
    } else if (!state.chosen) {
        state.definition.reset();
    } else {
        const std::vector<Record>& streams = *state.published;
        const bool lowerClass =
            m_definitions.classOf(static_cast<int32_t>(bitrateOf(*state.chosen))) ==
            m_definitions.classOf(static_cast<int32_t>(bitrateOf(streams[*peerstreams::lower(streams)])));
        state.definition = lowerClass ? Definition::Low : Definition::High;
    }
}

void StateTracker::deriveAll() {
    for (auto& entry : m_state.peers) {
        derive(peer(entry.first));
    }
}

void StateTracker::forgetUnknownPeers() {
    for (const uint64_t uid : m_peersTouched) {
        const auto found = m_state.peers.find(uid);
        if (found != m_state.peers.end()) {
            derive(found->second);
            if (!found->second.published && !found->second.received) {
                m_state.peers.erase(found);
            }
        }
    }
}

StateChange StateTracker::takeChange() {
    StateChange change;
    takeSection(change.scene, m_written.scene, m_state.scene, m_sceneTouched);
    takeSection(change.download, m_written.download, m_state.download, m_downloadTouched);
    takeSection(change.upload, m_written.upload, m_state.upload, m_uploadTouched);
    if (m_requestsTouched && !(m_written.selectRequests == m_state.selectRequests)) {
        change.selectRequests = m_state.selectRequests;
        m_written.selectRequests = m_state.selectRequests;
    }
    m_requestsTouched = false;
    for (const uint64_t uid : m_peersTouched) {
        const auto now = m_state.peers.find(uid);
        const auto was = m_written.peers.find(uid);
        if (now == m_state.peers.end()) {
            if (was != m_written.peers.end()) {
                change.peers.emplace(uid, std::nullopt);
                m_written.peers.erase(was);
            }
        } else if (was == m_written.peers.end()) {
            change.peers.emplace(uid, StateChange::Section<PeerState>{now->second, codec::allFields<PeerState>()});
            m_written.peers.emplace(uid, now->second);
        } else if (const codec::FieldMask fields = codec::changedFields(was->second, now->second); fields != 0) {
            change.peers.emplace(uid, StateChange::Section<PeerState>{now->second, fields});
            was->second = now->second;
        }
    }
    m_peersTouched.clear();
    return change;
}

}  // namespace ktr

#include "UidRedactor.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>
#include <vector>

#include "Uids.h"

namespace ktr {
namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Whether the number at position follows a word that names a uid ("peer 2002", "uid=2002", "users: 2002, 3003").
bool followsUidWord(std::string_view text, size_t position) {
    static const std::vector<std::string_view> kWords{"peer", "peers",   "user",   "users", "uid",
                                                      "uids", "speaker", "sharer", "hd",    "ld"};
    size_t end = position;
    // Back over the separators and any earlier numbers of a list.
    while (end > 0 &&
           (std::string_view(" =:,[").find(text[end - 1]) != std::string_view::npos || isDigit(text[end - 1]))) {
        --end;
    }
    size_t start = end;
    while (start > 0 && std::isalpha(static_cast<unsigned char>(text[start - 1])) != 0) {
        --start;
    }
    std::string word(text.substr(start, end - start));
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
    return end < position && std::find(kWords.begin(), kWords.end(), word) != kWords.end();
}

}  // namespace

uint64_t UidRedactor::pseudonym(uint64_t uid) {
    if (uid == 0) {
        return 0;
    }
    return m_pseudonyms.try_emplace(uid, kFirstPseudonym + m_pseudonyms.size()).first->second;
}

std::string UidRedactor::text(std::string_view text) const {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (!isDigit(text[i])) {
            out += text[i++];
            continue;
        }
        size_t end = i;
        while (end < text.size() && isDigit(text[end])) {
            ++end;
        }
        uint64_t number = 0;
        const auto parsed = std::from_chars(text.data() + i, text.data() + end, number);
        const auto known = parsed.ec == std::errc() ? m_pseudonyms.find(number) : m_pseudonyms.end();
        if (known != m_pseudonyms.end() && followsUidWord(text, i)) {
            out += std::to_string(known->second);
        } else {
            out.append(text.substr(i, end - i));
        }
        i = end;
    }
    return out;
}

// The uids of the step's structured fields, so that its texts find them.
void UidRedactor::registerUids(const TimelineStep& step) {
    const SceneState& scene = step.change.scene.values;
    for (uint64_t uid : {scene.localUid, scene.sharer, scene.speaker}) {
        pseudonym(uid);
    }
    for (const std::set<UserKey>* users : {&scene.users, &scene.receivedUsers}) {
        for (const UserKey& user : *users) {
            pseudonym(user.uid);
        }
    }
    for (const auto& entry : step.change.peers) {
        pseudonym(entry.first);
    }
    action(step.action);
}

void UidRedactor::userText(User& user) const {
    if (user.ext) {
        user.ext = text(*user.ext);
    }
}

Action UidRedactor::action(Action action) {
    visitUids(action, [this](uint64_t& uid) { uid = pseudonym(uid); });
    std::visit(
        [this](auto& with) {
            using Event = std::decay_t<decltype(with)>;
            if constexpr (std::is_base_of_v<User, Event>) {
                userText(with);
            } else if constexpr (std::is_same_v<Event, SetUsers>) {
                for (User& user : with.users) {
                    userText(user);
                }
            }
        },
        action);
    return action;
}

StateChange UidRedactor::change(StateChange change) {
    SceneState& scene = change.scene.values;
    scene.localUid = pseudonym(scene.localUid);
    scene.sharer = pseudonym(scene.sharer);
    scene.speaker = pseudonym(scene.speaker);
    for (std::set<UserKey>* users : {&scene.users, &scene.receivedUsers}) {
        std::set<UserKey> redacted;
        for (const UserKey& user : *users) {
            redacted.insert(UserKey{pseudonym(user.uid), user.dt});
        }
        *users = redacted;
    }
    decltype(change.peers) peers;
    for (auto& [uid, peer] : change.peers) {
        peers.emplace(pseudonym(uid), std::move(peer));
    }
    change.peers = std::move(peers);
    return change;
}

FiredRule UidRedactor::rule(FiredRule rule) {
    if (rule.line.format == nullptr) {
        rule.text = text(rule.text);
        return rule;
    }
    for (size_t i = 0; i < rule.line.values.size(); ++i) {
        uint64_t uid = 0;
        std::string& value = rule.line.values[i];
        if (rule.line.isUid(i) && std::from_chars(value.data(), value.data() + value.size(), uid).ec == std::errc()) {
            value = std::to_string(pseudonym(uid));
        }
    }
    rule.text = rule.line.print();
    return rule;
}

RunSummary UidRedactor::summary(RunSummary summary) {
    for (PeerSummary& peer : summary.peers) {
        peer.uid = pseudonym(peer.uid);
    }
    summary.meeting = text(summary.meeting);
    if (summary.conference) {
        for (ParticipantSummary& participant : summary.conference->participants) {
            participant.uid = pseudonym(participant.uid);
            for (PeerSummary& peer : participant.peers) {
                peer.uid = pseudonym(peer.uid);
            }
        }
        for (std::string& label : summary.conference->overParticipants.runLabels) {
            label = text(label);
        }
    }
    return summary;
}

TimelineStep UidRedactor::step(TimelineStep step) {
    registerUids(step);
    step.action = action(std::move(step.action));
    visitAnswerUids(step.answer, [this](uint64_t& uid) { uid = pseudonym(uid); });
    if (auto* download = std::get_if<DownloadAnswer>(&step.answer); download != nullptr && download->records) {
        std::sort(download->records->begin(), download->records->end(),
                  [](const PeerRequest& a, const PeerRequest& b) { return a.uid < b.uid; });
    }
    for (FiredRule& fired : step.rules) {
        fired = rule(std::move(fired));
    }
    for (std::vector<std::string>* texts : {&step.notes, &step.mismatches}) {
        for (std::string& note : *texts) {
            note = text(note);
        }
    }
    step.change = change(std::move(step.change));
    step.change.applyTo(m_state);
    step.state = &m_state;
    return step;
}

}  // namespace ktr

#include "UidRedactor.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>
#include <vector>

namespace ktr {
namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool isUid(const nlohmann::json& value) {
    return value.is_number_unsigned() || (value.is_number_integer() && value.get<int64_t>() >= 0);
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

bool holdsUids(const std::string& key) {
    static const std::set<std::string> kKeys{"uid", "local_uid", "sharer", "speaker", "hd", "ld"};
    return kKeys.count(key) != 0;
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

std::string UidRedactor::logLine(const std::string& line, std::optional<LogLevel> level, std::string* explanation) {
    // A client's prefix may give a line another level than its entry's.
    std::optional<ParsedLine> parsed = parseLogLine(line, level);
    if (!parsed && level) {
        parsed = parseLogLine(line);
    }
    if (!parsed) {
        return text(line);
    }
    for (size_t i = 0; i < parsed->values.size(); ++i) {
        uint64_t uid = 0;
        const std::string& value = parsed->values[i];
        if (parsed->isUid(i) && std::from_chars(value.data(), value.data() + value.size(), uid).ec == std::errc()) {
            parsed->values[i] = std::to_string(pseudonym(uid));
        }
    }
    if (explanation != nullptr) {
        *explanation = parsed->explanation();
    }
    return parsed->print();
}

nlohmann::json UidRedactor::json(const nlohmann::json& value) {
    if (value.is_string()) {
        return text(value.get<std::string>());
    }
    if (value.is_array()) {
        nlohmann::json out = nlohmann::json::array();
        for (const nlohmann::json& item : value) {
            out.push_back(json(item));
        }
        return out;
    }
    if (!value.is_object()) {
        return value;
    }
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [key, item] : value.items()) {
        if (holdsUids(key) && isUid(item)) {
            out[key] = pseudonym(item.get<uint64_t>());
        } else if (holdsUids(key) && item.is_array()) {
            nlohmann::json uids = nlohmann::json::array();
            for (const nlohmann::json& uid : item) {
                uids.push_back(isUid(uid) ? nlohmann::json(pseudonym(uid.get<uint64_t>())) : json(uid));
            }
            out[key] = uids;
        } else {
            out[text(key)] = json(item);
        }
    }
    return out;
}

// The uids of the step's structured fields, so that its texts find them.
void UidRedactor::registerUids(const TimelineStep& step) {
    const SceneState& scene = step.state.scene;
    for (uint64_t uid : {scene.localUid, scene.sharer, scene.speaker}) {
        pseudonym(uid);
    }
    for (const std::set<UserKey>* users : {&scene.users, &scene.received}) {
        for (const UserKey& user : *users) {
            pseudonym(user.uid);
        }
    }
    for (const PeerState& peer : step.state.peers) {
        pseudonym(peer.uid);
    }
    json(step.input);
}

tarn::video::KTRUserInfo UidRedactor::user(tarn::video::KTRUserInfo user) {
    user.uid = pseudonym(user.uid);
    user.ext = text(user.ext);
    return user;
}

Action UidRedactor::action(Action action) {
    if (auto* init = std::get_if<Init>(&action)) {
        init->uid = pseudonym(init->uid);
    } else if (auto* added = std::get_if<AddUser>(&action)) {
        added->user = user(added->user);
    } else if (auto* removed = std::get_if<RemoveUser>(&action)) {
        removed->user = user(removed->user);
    } else if (auto* list = std::get_if<SetUsers>(&action)) {
        for (tarn::video::KTRUserInfo& listed : list->users) {
            listed = user(listed);
        }
    } else if (auto* sharing = std::get_if<Sharing>(&action)) {
        sharing->uid = pseudonym(sharing->uid);
    } else if (auto* speaker = std::get_if<Speaker>(&action)) {
        speaker->uid = pseudonym(speaker->uid);
    } else if (auto* report = std::get_if<PeerReport>(&action)) {
        report->uid = pseudonym(report->uid);
    }
    return action;
}

StateSnapshot UidRedactor::state(StateSnapshot state) {
    SceneState& scene = state.scene;
    scene.localUid = pseudonym(scene.localUid);
    scene.sharer = pseudonym(scene.sharer);
    scene.speaker = pseudonym(scene.speaker);
    for (std::set<UserKey>* users : {&scene.users, &scene.received}) {
        std::set<UserKey> redacted;
        for (const UserKey& user : *users) {
            redacted.insert(UserKey{pseudonym(user.uid), user.dt});
        }
        *users = redacted;
    }
    for (PeerState& peer : state.peers) {
        peer.uid = pseudonym(peer.uid);
    }
    std::sort(state.peers.begin(), state.peers.end(),
              [](const PeerState& a, const PeerState& b) { return a.uid < b.uid; });
    return state;
}

TimelineStep UidRedactor::step(TimelineStep step) {
    registerUids(step);
    step.action = action(std::move(step.action));
    step.input = json(step.input);
    if (auto* download = std::get_if<DownloadAnswer>(&step.answer)) {
        std::map<uint64_t, tarn::video::VideoStreamInfo> requests;
        for (const auto& [uid, request] : download->requests) {
            requests.emplace(pseudonym(uid), request);
        }
        download->requests = requests;
    } else if (auto* hdld = std::get_if<HdLdAnswer>(&step.answer)) {
        for (std::set<uint64_t>* uids : {&hdld->hd, &hdld->ld}) {
            std::set<uint64_t> redacted;
            for (uint64_t uid : *uids) {
                redacted.insert(pseudonym(uid));
            }
            *uids = redacted;
        }
    }
    // The rules are the lines' explanations, one per line, in order.
    const bool rulePerLine = step.rules.size() == step.log.size();
    for (size_t i = 0; i < step.log.size(); ++i) {
        std::string explanation;
        step.log[i].text = logLine(step.log[i].text, step.log[i].level, &explanation);
        if (rulePerLine && step.rules[i].format != nullptr && !explanation.empty()) {
            step.rules[i].explanation = explanation;
        }
    }
    for (FiredRule& rule : step.rules) {
        if (!rulePerLine || rule.format == nullptr) {
            rule.explanation = text(rule.explanation);
        }
    }
    for (std::vector<std::string>* texts : {&step.notes, &step.mismatches}) {
        for (std::string& note : *texts) {
            note = text(note);
        }
    }
    step.state = state(std::move(step.state));
    return step;
}

}  // namespace ktr

#include "ScenarioRebuilder.h"

#include <fmt/format.h>

#include <algorithm>
#include <type_traits>

#include "FieldCodec.h"

#include "InputFile.h"
#include "KTRLogFormats.h"
#include "OperationBuilder.h"
#include "ProvenanceOf.h"
#include "Replayer.h"
#include "Scenario.h"

namespace ktr::log {
namespace {

using nlohmann::json;

constexpr const char* kStreamAssumption =
    "frame rates and bitrate bounds are not logged: those of the definition table's entry for each stream's "
    "class are assumed";
constexpr const char* kDeviceTypeAssumption = "the device type is not logged: 0 is kept";
// Users the log never names are added with uids from here on.
constexpr uint64_t kPlaceholderUid = 900000000;

bool asksCamera(const ktr::TimelineStep& step) {
    const auto* upload = std::get_if<ktr::AskUpload>(&step.action);
    return std::holds_alternative<ktr::AskDownload>(step.action) || (upload != nullptr && upload->channel != 2);
}

// The fields of an answer's records that the log carries, as comparable values; null when the log does not
// show the records.
json recordsOf(const ktr::Answer& answer) {
    json records = json::array();
    const auto add = [&records](std::optional<uint64_t> uid, const ktr::Record& r) {
        const auto field = [](const ktr::Known<int32_t>& value) { return value ? json(*value) : json(nullptr); };
        records.push_back({uid ? json(*uid) : json(nullptr), field(r.width), field(r.height), field(r.bitrate),
                           field(r.maxbitrate), field(r.minbitrate)});
    };
    if (const auto* download = std::get_if<ktr::DownloadAnswer>(&answer)) {
        if (!download->records) {
            return nullptr;
        }
        for (const ktr::PeerRequest& request : *download->records) {
            add(request.uid, request);
        }
    } else if (const auto* upload = std::get_if<ktr::UploadAnswer>(&answer)) {
        if (!upload->records) {
            return nullptr;
        }
        for (const ktr::Record& stream : *upload->records) {
            add(std::nullopt, stream);
        }
    }
    return records;
}

// A replayable action: every field the log did not show and no assumption filled is 0, empty or the
// camera channel.
template <class T>
void fillUnknowns(T& value);

template <class T>
void fillUnknown(T& value) {
    if constexpr (ktr::codec::HasFields<T>::value) {
        fillUnknowns(value);
    } else if constexpr (std::is_same_v<T, std::vector<ktr::Record>> || std::is_same_v<T, std::vector<ktr::User>>) {
        for (auto& element : value) {
            fillUnknowns(element);
        }
    }
}

template <class T>
void fillUnknown(std::optional<T>& value) {
    if (!value) {
        value = T{};
    }
    fillUnknown(*value);
}

template <class T>
void fillUnknowns(T& value) {
    ktr::codec::forEachField<T>([&](unsigned, const char*, auto member) { fillUnknown(value.*member); });
}

void fillUnknowns(ktr::Action& action) {
    std::visit([](auto& alternative) { fillUnknowns(alternative); }, action);
}

// Collects the answers of the download and camera questions of a replay, in order.
class AnswerCollector : public ktr::TimelineWriter {
public:
    void write(const ktr::TimelineStep& step) override {
        if (asksCamera(step)) {
            answers.push_back(recordsOf(step.answer));
        }
    }
    std::vector<json> answers;
};

}  // namespace

ScenarioRebuilder::ScenarioRebuilder(std::ostream& out, const std::string& name) : m_out(out), m_name(name) {}

std::string ScenarioRebuilder::assume(ktr::Action& action) {
    if (auto* report = std::get_if<ktr::PeerReport>(&action); report != nullptr && report->streams) {
        for (ktr::Record& stream : *report->streams) {
            stream.channel = 1;
            stream.dft = 0;
            if (const auto entry = m_definitions.entry(1, m_definitions.classOf(stream.bitrate.value_or(0)))) {
                stream.fps = entry->fps;
                stream.maxbitrate = entry->maxbitrate;
                stream.minbitrate = entry->minbitrate;
            }
        }
        return report->streams->empty() ? "" : kStreamAssumption;
    }
    if (const auto* definitions = std::get_if<ktr::Definitions>(&action)) {
        m_definitions.supply(ktr::infosOf(definitions->streams));
        return "frame rates are not logged: 0 is kept";
    }
    // The log shows only the camera's questions.
    if (auto* upload = std::get_if<ktr::AskUpload>(&action)) {
        upload->channel = upload->channel.value_or(1);
    } else if (auto* download = std::get_if<ktr::AskDownload>(&action)) {
        download->channel = download->channel.value_or(1);
    }
    if (std::holds_alternative<ktr::SetUsers>(action) || std::holds_alternative<ktr::RemoveUser>(action)) {
        return kDeviceTypeAssumption;
    }
    return "";
}

// The meeting size a camera decision logged ("users=N", the local user included), if it did.
std::optional<int64_t> loggedUsers(const ktr::TimelineStep& step) {
    for (const ktr::FiredRule& rule : step.rules) {
        if (rule.line.format != nullptr && rule.line.format->id == ktrlog::UlDefaultDefinition::id) {
            return rule.line.integer("users");
        }
    }
    return std::nullopt;
}

// Below 15 users the host's addUser writes nothing: before a camera decision, users are added (peers the
// log names first, then placeholders) or removed until the scene counts what the decision logged.
void ScenarioRebuilder::matchUserCount(const ktr::TimelineStep& step) {
    const std::optional<int64_t> users = loggedUsers(step);
    if (!users) {
        return;
    }
    const std::string comment = fmt::format(
        "addUser and removeUser are not logged below 15 users: made so that the scene counts the {} users the "
        "next camera decision logged",
        *users);
    while (static_cast<int64_t>(m_users.size()) + 1 < *users) {
        const auto named =
            std::find_if(m_seen.begin(), m_seen.end(), [this](uint64_t uid) { return m_users.count(uid) == 0; });
        const uint64_t uid = named != m_seen.end() ? *named : kPlaceholderUid + m_users.size();
        m_users.insert(uid);
        m_writer->write(ktr::AddUser{ktr::User{uid, uint16_t{0}, uint16_t{0}, std::string()}}, comment);
    }
    while (static_cast<int64_t>(m_users.size()) + 1 > *users && !m_users.empty()) {
        const uint64_t uid = *m_users.rbegin();
        m_users.erase(uid);
        m_writer->write(ktr::RemoveUser{ktr::User{uid, uint16_t{0}, uint16_t{0}, std::string()}}, comment);
    }
}

void ScenarioRebuilder::noteUsers(const ktr::Action& action) {
    if (const auto* report = std::get_if<ktr::PeerReport>(&action)) {
        m_seen.insert(report->uid);
    } else if (const auto* list = std::get_if<ktr::SetUsers>(&action)) {
        for (const auto& user : list->users) {
            m_seen.insert(user.uid);
        }
    } else if (const auto* added = std::get_if<ktr::AddUser>(&action)) {
        m_users.insert(added->uid);
    } else if (const auto* removed = std::get_if<ktr::RemoveUser>(&action)) {
        m_users.erase(removed->uid);
    }
}

void ScenarioRebuilder::add(const ktr::TimelineStep& step) {
    if (!m_writer) {
        const auto* init = std::get_if<ktr::Init>(&step.action);
        m_writer.emplace(m_out, m_name,
                         init != nullptr ? "rebuilt from a client's log; each step's comment says what it assumes"
                                         : "rebuilt from a client's log that shows no init: local user 0 on device "
                                           "type 0 assumed",
                         init != nullptr ? *init : ktr::Init{0, 0});
        if (init != nullptr) {
            return;
        }
    }
    ktr::Action action = step.action;
    if (std::find(step.notes.begin(), step.notes.end(), kNewCollectionNote) != step.notes.end()) {
        m_writer->write(ktr::ClearSelectRequests{}, kNewCollectionNote);
    }
    const std::string comment = assume(action);
    fillUnknowns(action);
    noteUsers(action);
    if (asksCamera(step)) {
        matchUserCount(step);
    }
    m_writer->write(action, comment);
    if (asksCamera(step)) {
        m_logged.push_back(recordsOf(step.answer));
    }
}

void ScenarioRebuilder::finish() {
    if (!m_writer) {
        m_writer.emplace(m_out, m_name, "rebuilt from a client's log that shows no operation", ktr::Init{0, 0});
    }
    m_writer->finish();
}

Reproduction ScenarioRebuilder::reproduce(const std::string& scenarioPath, const ktr::SdkLibrary& library) const {
    const ktr::Scenario scenario = ktr::parseScenario(ktr::readInputFile(scenarioPath), scenarioPath);
    AnswerCollector replayed;
    replay::Replayer(library).run(scenario, ktr::provenanceOf(library, ""), replayed);
    Reproduction result;
    for (size_t i = 0; i < m_logged.size(); ++i) {
        if (m_logged[i].is_null()) {
            continue;
        }
        ++result.logged;
        result.reproduced += i < replayed.answers.size() && replayed.answers[i] == m_logged[i] ? 1 : 0;
    }
    return result;
}

}  // namespace ktr::log

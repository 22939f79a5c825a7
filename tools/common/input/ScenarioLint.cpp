#include "ScenarioLint.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string_view>
#include <type_traits>
#include <utility>

#include "FieldPlace.h"

namespace ktr {
namespace {

// The net status codes that the download policy acts on; it does nothing for any other.
constexpr int32_t kLowestNetStatus = 1;
constexpr int32_t kHighestNetStatus = 5;
// The local device types that have an upload table of their own; every other one gets the 480P default.
const std::set<int32_t> kDeviceTypesWithUploadTable{1, 4, 8};
// The key under which duplicate keys of the document's own fields are grouped, outside every step.
constexpr int kDocument = -1;
// A network score runs from 0 to 100; the download policy only asks whether it is above 85.
constexpr int32_t kLowestScore = 0;
constexpr int32_t kHighestScore = 100;
constexpr int32_t kGoodScore = 85;
// The upload question's channels: 2 is the share channel, every other one asks the camera decision.
constexpr int32_t kCameraChannel = 1;
constexpr int32_t kShareChannel = 2;
// The share answer is the share table's 720P entry, which only a record of this height fills.
constexpr int32_t kShareHeight = 720;
// The download policy chooses between two streams at most.
constexpr size_t kMostStreamsChosen = 2;
// The heights the definition table stores a record under; the share table has no 360-line class.
const std::set<int32_t> kCameraHeights{180, 240, 360, 480, 720, 1080};
const std::set<int32_t> kShareHeights{180, 240, 480, 720, 1080};
constexpr int kNoStep = -1;

const char* const kDuplicateKey = "duplicate key; only its last value is used";

struct Finding {
    std::string field;  // the path below the step's object
    std::string reason;
};
using Findings = std::vector<Finding>;

// What the steps before the one checked told the scene, as far as the rules need it.
struct SceneSoFar {
    uint64_t localUid = 0;
    std::map<uint64_t, std::set<uint16_t>> deviceTypes;  // of each user added and not removed
    std::set<uint64_t> listedUids;                       // in the last setUsers list
    bool shareTable = false;                             // a definitions record of channel 2 and height 720 was given
    size_t heldRequests = 0;                             // select requests added since the last clear
    int cameraDecision = kNoStep;                        // the camera decision that came after the held requests
};

struct StepCheck {
    const Step& step;
    const SceneSoFar& scene;
    const std::vector<std::string>& duplicateKeys;  // paths below the step's object
};

Findings duplicateKeys(const StepCheck& check) {
    Findings found;
    for (const std::string& path : check.duplicateKeys) {
        found.push_back({path, kDuplicateKey});
    }
    return found;
}

Findings netStatusWithoutEffect(const StepCheck& check) {
    const auto* estimate = std::get_if<NetEstimate>(&check.step.action);
    if (estimate == nullptr || (estimate->status >= kLowestNetStatus && estimate->status <= kHighestNetStatus)) {
        return {};
    }
    return {{"status", fmt::format("net status {} is not one of {} to {}; the download policy does nothing for it",
                                   estimate->status, kLowestNetStatus, kHighestNetStatus)}};
}

// Every size, frame rate and bitrate of value below 0, with its path; a record's channel and dft and an
// estimate's status and score are codes, not sizes.
template <class T>
void addNegativeFields(const T& value, const std::string& prefix, Findings& found);

template <class T>
void addNegative(const std::string& path, const T& value, Findings& found) {
    if constexpr (std::is_same_v<T, int32_t>) {
        if (value < 0) {
            found.push_back(
                {path, fmt::format("negative value {}; sizes, frame rates and bitrates are never below 0", value)});
        }
    } else if constexpr (std::is_same_v<T, Known<int32_t>>) {
        if (value) {
            addNegative(path, *value, found);
        }
    } else if constexpr (std::is_same_v<T, std::vector<Record>> || std::is_same_v<T, Known<std::vector<Record>>>) {
        const std::vector<Record>* records = nullptr;
        if constexpr (std::is_same_v<T, std::vector<Record>>) {
            records = &value;
        } else {
            records = value ? &*value : nullptr;
        }
        for (size_t i = 0; records != nullptr && i < records->size(); ++i) {
            addNegativeFields((*records)[i], fmt::format("{}[{}].", path, i), found);
        }
    }
}

template <class T>
void addNegativeFields(const T& value, const std::string& prefix, Findings& found) {
    codec::forEachField<T>([&](unsigned, const char* key, auto member) {
        if constexpr (std::is_same_v<decltype(member), int32_t NetEstimate::*>) {
            if (member == &NetEstimate::status || member == &NetEstimate::score) {
                return;
            }
        } else if constexpr (std::is_same_v<decltype(member), Known<int32_t> Record::*>) {
            if (member == &Record::channel || member == &Record::dft) {
                return;
            }
        }
        addNegative(prefix + key, value.*member, found);
    });
}

// The steps whose sizes and bitrates the policies compare.
Findings negativeSizes(const StepCheck& check) {
    Findings found;
    std::visit(
        [&](const auto& action) {
            using T = std::decay_t<decltype(action)>;
            if constexpr (std::is_same_v<T, SelectRequest> || std::is_same_v<T, PeerReport> ||
                          std::is_same_v<T, Definitions> || std::is_same_v<T, NetEstimate> ||
                          std::is_same_v<T, AskDefinition>) {
                addNegativeFields(action, "", found);
            }
        },
        check.step.action);
    return found;
}

std::string countedTwice(uint64_t uid, uint16_t otherDeviceType) {
    return fmt::format("uid {} already has device type {}; the scene counts it as two users", uid, otherDeviceType);
}

Findings userAddedWithAnotherDeviceType(const StepCheck& check) {
    const auto* added = std::get_if<AddUser>(&check.step.action);
    if (added == nullptr) {
        return {};
    }
    const auto known = check.scene.deviceTypes.find(added->uid);
    if (known == check.scene.deviceTypes.end() || known->second.count(added->dt.value_or(0)) != 0) {
        return {};
    }
    return {{"dt", countedTwice(added->uid, *known->second.begin())}};
}

Findings userListedWithTwoDeviceTypes(const StepCheck& check) {
    const auto* listed = std::get_if<SetUsers>(&check.step.action);
    if (listed == nullptr) {
        return {};
    }
    Findings found;
    std::map<uint64_t, uint16_t> firstDeviceType;
    for (size_t i = 0; i < listed->users.size(); ++i) {
        const auto& user = listed->users[i];
        const auto first = firstDeviceType.emplace(user.uid, user.dt.value_or(0)).first;
        if (first->second != user.dt.value_or(0)) {
            found.push_back({fmt::format("users[{}].dt", i), countedTwice(user.uid, first->second)});
        }
    }
    return found;
}

Findings localDeviceTypeWithoutTable(const StepCheck& check) {
    const auto* init = std::get_if<Init>(&check.step.action);
    if (init == nullptr || kDeviceTypesWithUploadTable.count(init->dt) != 0) {
        return {};
    }
    return {{"dt", fmt::format("device type {} has no upload table (1, 4 and 8 have); the camera publishes the "
                               "480P default",
                               init->dt)}};
}

Findings reportForUnlistedUser(const StepCheck& check) {
    const auto* report = std::get_if<PeerReport>(&check.step.action);
    if (report == nullptr || check.scene.listedUids.count(report->uid) != 0) {
        return {};
    }
    return {{"uid", fmt::format("uid {} is not in the current setUsers list; the report is stored but the download "
                                "policy ignores it until a setUsers names it",
                                report->uid)}};
}

Findings scoreOutOfRange(const StepCheck& check) {
    const auto* estimate = std::get_if<NetEstimate>(&check.step.action);
    if (estimate == nullptr || (estimate->score >= kLowestScore && estimate->score <= kHighestScore)) {
        return {};
    }
    std::string effect;
    if (estimate->upload) {
        effect = "no decision reads the upload estimate";
    } else if (estimate->score > kGoodScore) {
        effect = fmt::format(
            "the download policy only asks whether it is above {}: it counts as a good network "
            "(a peer may get its upper stream, and the score holds back no raise)",
            kGoodScore);
    } else {
        effect = fmt::format(
            "the download policy only asks whether it is above {}: it counts as a poor network "
            "(every peer gets its lower stream, and no raise)",
            kGoodScore);
    }
    return {{"score",
             fmt::format("score {} is outside {} to {}; {}", estimate->score, kLowestScore, kHighestScore, effect)}};
}

Findings uploadChannelUnknown(const StepCheck& check) {
    const auto* ask = std::get_if<AskUpload>(&check.step.action);
    const int32_t channel = ask != nullptr ? ask->channel.value_or(kCameraChannel) : kCameraChannel;
    if (channel == kCameraChannel || channel == kShareChannel) {
        return {};
    }
    return {{"channel", fmt::format("channel {} is neither {} (camera) nor {} (share); the library answers it with "
                                    "the camera decision, as channel {}, and compares it with the previous one",
                                    channel, kCameraChannel, kShareChannel, kCameraChannel)}};
}

Findings shareBeforeShareTable(const StepCheck& check) {
    const auto* ask = std::get_if<AskUpload>(&check.step.action);
    if (ask == nullptr || ask->channel.value_or(kCameraChannel) != kShareChannel || check.scene.shareTable) {
        return {};
    }
    return {{"", fmt::format("share asked before any definitions record of channel {} and height {}; the share "
                             "answer is an all-zero record",
                             kShareChannel, kShareHeight)}};
}

Findings requestsNotCleared(const StepCheck& check) {
    if (!std::holds_alternative<SelectRequest>(check.step.action) || check.scene.cameraDecision == kNoStep) {
        return {};
    }
    return {{"", fmt::format("no clearSelectRequests since the camera decision of step {}; the library adds this "
                             "request to the {} it holds, and the next camera decision merges them all",
                             check.scene.cameraDecision, check.scene.heldRequests)}};
}

Findings tooManyStreams(const StepCheck& check) {
    const auto* report = std::get_if<PeerReport>(&check.step.action);
    if (report == nullptr || report->uid == check.scene.localUid || !report->streams ||
        report->streams->size() <= kMostStreamsChosen) {
        return {};
    }
    return {{"streams",
             fmt::format("{} streams; the download policy chooses between the first two only: when it chooses the "
                         "upper stream (download score above {} and, for a peer it does not handle yet, a local "
                         "device type other than 1 and at most 3 received users; for a peer it handles, fewer than 3 "
                         "received users and nobody sharing or speaking) it stores an all-zero record as the "
                         "stream received and logs an error; otherwise it receives the lower of the first two",
                         report->streams->size(), kGoodScore)}};
}

// What the library does with a definitions record of that channel and height.
std::string definitionRangeEffect(const Record& record) {
    const int32_t channel = record.channel.value_or(kCameraChannel);
    const int32_t height = record.height.value_or(0);
    if (channel == kCameraChannel && kCameraHeights.count(height) != 0) {
        return "the camera table keeps the record as given; no bitrate lies in its range, so the lookup of a "
               "bitrate's class by range never answers this class";
    }
    if (channel == kShareChannel && height == kShareHeight) {
        return "the share table keeps the record as given, and the share answer carries both bounds as they are";
    }
    if (channel == kShareChannel && kShareHeights.count(height) != 0) {
        return "the share table keeps the record as given; no answer reads it (the share answer is the 720-line "
               "record)";
    }
    return "the library stores no record of this channel and height";
}

void addInvertedRanges(const std::vector<Record>& records, bool peerStreams, Findings& found) {
    for (size_t i = 0; i < records.size(); ++i) {
        const int32_t max = records[i].maxbitrate.value_or(0);
        const int32_t min = records[i].minbitrate.value_or(0);
        // A peer's stream without a maximum takes its class's maximum.
        if (max >= min || (peerStreams && max == 0)) {
            continue;
        }
        const std::string effect =
            peerStreams ? "the library checks neither bound and weighs the stream against each as given (a raise "
                          "against maxbitrate, a cut against minbitrate)"
                        : definitionRangeEffect(records[i]);
        found.push_back({fmt::format("streams[{}].maxbitrate", i),
                         fmt::format("maxbitrate {} is below minbitrate {}; {}", max, min, effect)});
    }
}

Findings maxBelowMin(const StepCheck& check) {
    Findings found;
    if (const auto* report = std::get_if<PeerReport>(&check.step.action); report != nullptr && report->streams) {
        addInvertedRanges(*report->streams, true, found);
    } else if (const auto* table = std::get_if<Definitions>(&check.step.action)) {
        addInvertedRanges(table->streams, false, found);
    }
    return found;
}

using Rule = Findings (*)(const StepCheck&);
const Rule kRules[] = {duplicateKeys,
                       netStatusWithoutEffect,
                       negativeSizes,
                       userAddedWithAnotherDeviceType,
                       userListedWithTwoDeviceTypes,
                       localDeviceTypeWithoutTable,
                       reportForUnlistedUser,
                       scoreOutOfRange,
                       uploadChannelUnknown,
                       shareBeforeShareTable,
                       requestsNotCleared,
                       tooManyStreams,
                       maxBelowMin};

bool fillsShareTable(const Record& record) {
    return record.channel.value_or(kCameraChannel) == kShareChannel && record.height.value_or(0) == kShareHeight;
}

// The select requests as the library holds them, and whether a camera decision came after them.
void updateRequests(SceneSoFar& scene, const Step& step) {
    if (std::holds_alternative<SelectRequest>(step.action)) {
        ++scene.heldRequests;
        scene.cameraDecision = kNoStep;
    } else if (std::holds_alternative<ClearSelectRequests>(step.action)) {
        scene.heldRequests = 0;
        scene.cameraDecision = kNoStep;
    } else if (const auto* ask = std::get_if<AskUpload>(&step.action)) {
        if (ask->channel.value_or(kCameraChannel) != kShareChannel && scene.heldRequests != 0 &&
            scene.cameraDecision == kNoStep) {
            scene.cameraDecision = step.index;
        }
    }
}

// Follows the scene as the library keeps it: the local user never joins its own user set, and a user is
// one uid with one device type.
void updateScene(SceneSoFar& scene, const Step& step) {
    if (const auto* init = std::get_if<Init>(&step.action)) {
        scene.localUid = init->uid;
    } else if (const auto* added = std::get_if<AddUser>(&step.action)) {
        if (added->uid != scene.localUid) {
            scene.deviceTypes[added->uid].insert(added->dt.value_or(0));
        }
    } else if (const auto* removed = std::get_if<RemoveUser>(&step.action)) {
        const auto known = scene.deviceTypes.find(removed->uid);
        if (known != scene.deviceTypes.end() && known->second.erase(removed->dt.value_or(0)) != 0 &&
            known->second.empty()) {
            scene.deviceTypes.erase(known);
        }
    } else if (const auto* listed = std::get_if<SetUsers>(&step.action)) {
        scene.listedUids.clear();
        for (const auto& user : listed->users) {
            scene.listedUids.insert(user.uid);
        }
    } else if (const auto* table = std::get_if<Definitions>(&step.action)) {
        scene.shareTable =
            scene.shareTable || std::any_of(table->streams.begin(), table->streams.end(), fillsShareTable);
    }
    updateRequests(scene, step);
}

bool isKey(const JsonPath::value_type& segment, const std::string& key) {
    const auto* text = std::get_if<std::string>(&segment);
    return text != nullptr && *text == key;
}

// The duplicate keys by the step whose object holds them (step 0 is "local"), as paths below that object.
std::map<int, std::vector<std::string>> duplicatesByStep(const std::vector<JsonPath>& duplicateKeys) {
    std::map<int, std::vector<std::string>> byStep;
    for (const JsonPath& path : duplicateKeys) {
        if (path.size() > 2 && isKey(path[0], scenariokeys::kSteps) && std::holds_alternative<size_t>(path[1])) {
            const int index = static_cast<int>(std::get<size_t>(path[1])) + 1;
            byStep[index].push_back(jsonPathText(path.begin() + 2, path.end()));
        } else if (path.size() > 1 && isKey(path[0], scenariokeys::kLocal)) {
            byStep[0].push_back(jsonPathText(path.begin() + 1, path.end()));
        } else {
            byStep[kDocument].push_back(jsonPathText(path.begin(), path.end()));
        }
    }
    return byStep;
}

}  // namespace

ScenarioLint::ScenarioLint(std::string fileName) : m_fileName(std::move(fileName)) {}

std::vector<std::string> ScenarioLint::check(const Scenario& scenario,
                                             const std::vector<JsonPath>& duplicateKeys) const {
    std::map<int, std::vector<std::string>> duplicates = duplicatesByStep(duplicateKeys);
    std::vector<std::string> warnings;
    for (const std::string& path : duplicates[kDocument]) {
        warnings.push_back(FieldPlace(m_fileName, "").describe(path, kDuplicateKey));
    }
    SceneSoFar scene;
    for (const Step& step : scenario.steps) {
        const FieldPlace place = FieldPlace::ofStep(m_fileName, step.index, step.name);
        const StepCheck check{step, scene, duplicates[step.index]};
        for (const Rule rule : kRules) {
            for (const Finding& finding : rule(check)) {
                warnings.push_back(place.describe(finding.field, finding.reason));
            }
        }
        updateScene(scene, step);
    }
    return warnings;
}

}  // namespace ktr

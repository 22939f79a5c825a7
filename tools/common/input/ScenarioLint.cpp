#include "ScenarioLint.h"

#include <fmt/format.h>

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

using Rule = Findings (*)(const StepCheck&);
const Rule kRules[] = {duplicateKeys,
                       netStatusWithoutEffect,
                       negativeSizes,
                       userAddedWithAnotherDeviceType,
                       userListedWithTwoDeviceTypes,
                       localDeviceTypeWithoutTable,
                       reportForUnlistedUser};

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
    }
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

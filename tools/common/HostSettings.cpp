#include "HostSettings.h"

#include <fmt/format.h>

#include "DuplicateKeyFinder.h"
#include "FieldReader.h"
#include "RecordFields.h"

namespace ktr {
namespace {

using nlohmann::json;

// Document, definitions array, stream.
constexpr size_t kSettingsDepth = 3;
constexpr const char* kDefinitionsField = "definitions";
constexpr const char* kConfigField = "config";

}  // namespace

HostSettings parseHostSettings(const std::string& text, const std::string& fileName) {
    json document;
    try {
        document = DuplicateKeyFinder(kSettingsDepth).parse(text);
    } catch (const json::exception& error) {
        throw InputError(fmt::format("{}: not valid JSON: {}", fileName, error.what()));
    }
    FieldReader top(document, FieldPlace(fileName, ""), FieldReader::Comments::Ignored);
    HostSettings settings;
    if (top.contains(kDefinitionsField)) {
        settings.definitions = readStreams(top, kDefinitionsField, true);
        settings.definitionsInput = json{{"streams", top.child(kDefinitionsField)}};
    }
    if (top.contains(kConfigField)) {
        top.object(kConfigField, [&settings](FieldReader& config) { settings.config = readConfig(config); });
        settings.configInput = top.child(kConfigField);
    }
    top.finish();
    return settings;
}

void installHostSettings(const HostSettings& settings, Scenario& scenario) {
    std::vector<Step> steps;
    if (settings.definitions) {
        steps.push_back(Step{0, "definitions", Definitions{*settings.definitions}, settings.definitionsInput});
    }
    if (settings.config) {
        steps.push_back(Step{0, "config", Config{*settings.config}, settings.configInput});
    }
    const auto afterInit = scenario.steps.empty() ? scenario.steps.end() : scenario.steps.begin() + 1;
    scenario.steps.insert(afterInit, steps.begin(), steps.end());
}

}  // namespace ktr

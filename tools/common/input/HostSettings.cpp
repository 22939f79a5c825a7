#include "HostSettings.h"

#include <fmt/format.h>

#include "DuplicateKeyFinder.h"
#include "FieldReader.h"

namespace ktr {
namespace {

using json = JsonValue;

// Document, definitions array, stream.
constexpr size_t kSettingsDepth = 3;

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
    requireStreamChannels(top, HostSettings::kDefinitions);
    codec::readFields(top, settings, Nulls::Refused);
    top.finish();
    return settings;
}

void installHostSettings(const HostSettings& settings, Scenario& scenario) {
    std::vector<Step> steps;
    if (settings.definitions) {
        const Action definitions = Definitions{*settings.definitions};
        steps.push_back(Step{0, actionName(definitions), definitions});
    }
    if (settings.config) {
        const Action config = Config{*settings.config};
        steps.push_back(Step{0, actionName(config), config});
    }
    const auto afterInit = scenario.steps.empty() ? scenario.steps.end() : scenario.steps.begin() + 1;
    scenario.steps.insert(afterInit, steps.begin(), steps.end());
}

}  // namespace ktr

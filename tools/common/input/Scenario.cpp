#include "Scenario.h"

#include <fmt/format.h>

#include <set>

#include "DuplicateKeyFinder.h"
#include "FieldReader.h"
#include "NameSuggestion.h"
#include "ScenarioLint.h"

namespace ktr {
namespace {

using json = JsonValue;
namespace keys = scenariokeys;

// The deepest objects and arrays a scenario has: document, steps, step, streams or users, and their elements.
constexpr size_t kScenarioDepth = 5;

// The longest time a step may carry (a year): beyond it a time is taken for a mistake.
constexpr double kLatestTime = 365.0 * 24 * 3600;

Step parseStep(const json& object, const std::string& fileName, int index, double previousTime) {
    FieldReader in(object, FieldPlace(fmt::format("{}: step {}", fileName, index), ""));
    const std::string name = in.text(keys::kStep, "");
    if (name.empty()) {
        in.fail(keys::kStep, "missing; it names the event or question, e.g. \"addUser\" or \"upload\"");
    }
    if (!isActionName(name)) {
        const std::set<std::string> names(actionNames().begin(), actionNames().end());
        in.fail(keys::kStep, fmt::format("unknown step \"{}\"", name) + suggestName(name, names, "steps"));
    }
    FieldReader fields(object, FieldPlace::ofStep(fileName, index, name));
    fields.skip(keys::kStep);
    fields.text(keys::kComment, "");
    const double time = fields.number(keys::kTime, 0, kLatestTime, previousTime + 1);
    if (time < previousTime) {
        fields.fail(keys::kTime, fmt::format("{} s is before the previous step's time {} s", time, previousTime));
    }
    Action action = readAction(name, fields, Nulls::Refused);
    fields.finish();
    return Step{index, name, std::move(action), time};
}

Step parseLocalUser(FieldReader& top, const std::string& fileName) {
    const std::string name = actionName(Init{});
    FieldReader local(top.child(keys::kLocal), FieldPlace::ofStep(fileName, 0, name));
    local.text(keys::kComment, "");
    Action action = readAction(name, local, Nulls::Refused);
    local.finish();
    return Step{0, name, std::move(action), 0.0};
}

Scenario readScenario(const json& document, const std::string& fileName) {
    FieldReader top(document, FieldPlace(fileName, ""));
    Scenario scenario;
    scenario.name = top.text(keys::kName, fileName);
    top.text(keys::kDescription, "");
    top.text(keys::kComment, "");
    scenario.steps.push_back(parseLocalUser(top, fileName));
    const json& steps = top.child(keys::kSteps);
    if (!steps.is_array()) {
        top.fail(keys::kSteps, "expected an array of steps");
    }
    int index = 1;
    for (const json& object : steps) {
        scenario.steps.push_back(parseStep(object, fileName, index++, scenario.steps.back().time));
    }
    top.finish();
    return scenario;
}

}  // namespace

Scenario parseScenario(const std::string& text, const std::string& fileName) {
    DuplicateKeyFinder parser(kScenarioDepth);
    json document;
    try {
        document = parser.parse(text);
    } catch (const json::exception& error) {  // parse_error, or out_of_range for a number beyond double
        throw ScenarioError(fmt::format("{}: not valid JSON: {}", fileName, error.what()));
    }
    Scenario scenario = readScenario(document, fileName);
    scenario.warnings = ScenarioLint(fileName).check(scenario, parser.duplicates());
    return scenario;
}

}  // namespace ktr

// The scenario reader over arbitrary text. An accepted scenario, written back with the scenario writer, must
// be accepted again with the same name, steps, actions and times.
#include <cstdint>
#include <sstream>
#include <string>
#include <variant>

#include "ParserFuzzing.h"
#include "Scenario.h"
#include "ScenarioWriter.h"

namespace {

constexpr const char* kFileName = "fuzz.json";

std::string written(const ktr::Scenario& scenario) {
    std::ostringstream out;
    ktr::ScenarioWriter writer(out, scenario.name, "", std::get<ktr::Init>(scenario.steps.front().action));
    for (size_t i = 1; i < scenario.steps.size(); ++i) {
        writer.write(scenario.steps[i].action, "", scenario.steps[i].time);
    }
    writer.finish();
    return out.str();
}

bool sameSteps(const ktr::Scenario& one, const ktr::Scenario& other) {
    if (one.name != other.name || one.steps.size() != other.steps.size()) {
        return false;
    }
    for (size_t i = 0; i < one.steps.size(); ++i) {
        if (!(one.steps[i].action == other.steps[i].action) || one.steps[i].time != other.steps[i].time) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ktr::fuzz::checkRoundTrip(
        ktr::fuzz::textOf(data, size), [](const std::string& text) { return ktr::parseScenario(text, kFileName); },
        written, sameSteps);
    return 0;
}

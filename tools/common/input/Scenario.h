// A scenario: the local user, then the host's actions in order. The file is JSON:
// {"name", "local": {uid, dt}, "steps": [{"step": name, "time_s": t, fields...}, ...]}; the document, "local"
// and every step may carry a "comment", a note that nothing reads. A step's "time_s" (optional, seconds from
// the start, never before the previous step's) is when the host made the call; a step without it comes one
// second after the previous step.
#ifndef KTRSDK_TOOLS_COMMON_SCENARIO_H
#define KTRSDK_TOOLS_COMMON_SCENARIO_H

#include <cstdint>
#include <string>
#include <vector>

#include "Actions.h"
#include "InputFile.h"

namespace ktr {

// The keys of a scenario document that are not an action's fields.
namespace scenariokeys {
constexpr const char* kName = "name";
constexpr const char* kDescription = "description";
constexpr const char* kLocal = "local";
constexpr const char* kSteps = "steps";
constexpr const char* kStep = "step";  // the action's name, in a step
constexpr const char* kComment = "comment";
constexpr const char* kTime = "time_s";  // when the step was taken, in a step
}  // namespace scenariokeys

struct Step {
    int index = 0;     // 0 is the local user's init; the file's steps count from 1
    std::string name;  // as written in the file ("share" and "upload" both ask the upload question)
    Action action;
    double time = 0;  // seconds from the start: the step's "time_s", or one second after the previous step
};

struct Scenario {
    std::string name;
    std::vector<Step> steps;
    // Input that is accepted but suspicious, one message each, naming the file, the step and the field.
    std::vector<std::string> warnings;
};

// Parses a scenario from JSON text and checks it for suspicious input; fileName only names the input in
// messages.
Scenario parseScenario(const std::string& text, const std::string& fileName);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_SCENARIO_H

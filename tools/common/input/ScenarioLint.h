#ifndef KTRSDK_TOOLS_COMMON_SCENARIOLINT_H
#define KTRSDK_TOOLS_COMMON_SCENARIOLINT_H

#include <string>
#include <vector>

#include "DuplicateKeyFinder.h"
#include "Scenario.h"

namespace ktr {

// Finds input that a scenario accepts but that is probably not what its author meant. It only warns: the
// replay still passes every step to the library as written. Each check is a small rule that looks at one
// step and at what the steps before it told the scene.
class ScenarioLint {
public:
    explicit ScenarioLint(std::string fileName);

    // One message per finding, naming the file, the step and the field as parse errors do, and why the
    // input is suspicious. duplicateKeys are the keys that the scenario's objects repeat.
    std::vector<std::string> check(const Scenario& scenario, const std::vector<JsonPath>& duplicateKeys) const;

private:
    std::string m_fileName;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_SCENARIOLINT_H

// Writes actions back in the scenario format, so that a run made by a tool (a simulation, a client's log)
// can be replayed step by step with `ktr replay`.
#ifndef KTRSDK_TOOLS_COMMON_SCENARIOWRITER_H
#define KTRSDK_TOOLS_COMMON_SCENARIOWRITER_H

#include <optional>
#include <ostream>
#include <string>

#include "Scenario.h"
#include "UidRedactor.h"

namespace ktr {

// Streams a scenario: the header with the local user, then the steps as they come, then the closing.
class ScenarioWriter {
public:
    // With a redactor, every uid is written as its pseudonym.
    ScenarioWriter(std::ostream& out, const std::string& name, const std::string& comment, const Init& local,
                   UidRedactor* redactor = nullptr);
    // The comment, when not empty, says what the step assumes; the time, when given, is when the step was
    // taken (seconds from the start).
    void write(const Action& action, const std::string& comment = "", std::optional<double> time = std::nullopt);
    void finish();

private:
    std::ostream& m_out;
    UidRedactor* m_redactor;
    bool m_first = true;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_SCENARIOWRITER_H

#ifndef KTRSDK_TOOLS_REPLAY_REPORT_H
#define KTRSDK_TOOLS_REPLAY_REPORT_H

#include <ostream>
#include <vector>

#include "Replayer.h"

namespace replay {
using namespace ktr;

// Prints one line per event and an aligned table per question; with withLog, the library's lines
// follow the step that produced them.
void printReport(std::ostream& out, const std::string& scenarioName, const std::vector<StepOutcome>& outcomes,
                 bool withLog);

// Writes the answers as a timeline: one row per published stream, requested peer stream, or HD/LD uid.
void writeCsv(std::ostream& out, const std::vector<StepOutcome>& outcomes);

}  // namespace replay

#endif  // KTRSDK_TOOLS_REPLAY_REPORT_H

// What the lines of one operation show of it: the action with its input, and the answer, with the
// fields the log does not carry named so that they are written as null.
#ifndef KTRSDK_TOOLS_LOG_REBUILTOPERATION_H
#define KTRSDK_TOOLS_LOG_REBUILTOPERATION_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "LogCatalogue.h"
#include "Scenario.h"
#include "Timeline.h"

namespace ktr::logs {

struct RebuiltOperation {
    ktr::Action action;         // fields the log does not carry left 0 or empty
    nlohmann::json input;       // the action's fields as a scenario writes them, null where the log does not carry them
    ktr::Answer answer;         // what the log shows of the answer, unknown fields 0
    ktr::Answer checkedAnswer;  // the answer the derived state may be checked against: none when it is not known
    std::vector<std::string> unknownAnswerFields;
    std::vector<std::string> notes;
};

// event is the operation's name as its first line tells it; lines are its recognised lines, in order;
// before is the state derived up to the operation.
RebuiltOperation rebuildOperation(const std::string& event, const std::vector<ktr::ParsedLine>& lines,
                                  const ktr::StateSnapshot& before);

// The download estimate a download operation read, when its lines show it.
std::optional<ktr::EstimateState> estimateRead(const std::vector<ktr::ParsedLine>& lines);

}  // namespace ktr::logs

#endif  // KTRSDK_TOOLS_LOG_REBUILTOPERATION_H

// What the lines of one operation show of it: the action and the answer, with every field the log does not
// carry unknown.
#ifndef KTRSDK_TOOLS_LOG_REBUILTOPERATION_H
#define KTRSDK_TOOLS_LOG_REBUILTOPERATION_H

#include <string>
#include <vector>

#include "LogCatalogue.h"
#include "Scenario.h"
#include "Timeline.h"

namespace ktr::log {

struct RebuiltOperation {
    ktr::Action action;
    ktr::Answer answer;         // what the log shows of the answer
    ktr::Answer checkedAnswer;  // the answer the derived state may be checked against: none when it is not known
    std::vector<std::string> notes;
};

// The lines of one operation that the catalogue recognises, in order, read in place from its rules.
class OperationLines {
public:
    explicit OperationLines(const std::vector<ktr::FiredRule>& rules);

    // The first line; an operation always starts with a recognised one.
    const ktr::ParsedLine& front() const { return *m_lines.front(); }
    const std::vector<const ktr::ParsedLine*>& all() const { return m_lines; }

private:
    std::vector<const ktr::ParsedLine*> m_lines;
};

// event is the operation's name as its first line tells it; before is the state derived up to the operation.
RebuiltOperation rebuildOperation(const std::string& event, const OperationLines& lines,
                                  const ktr::StateSnapshot& before);

// The download estimate a download operation read, when its lines show it.
std::optional<ktr::EstimateState> estimateRead(const OperationLines& lines);

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_REBUILTOPERATION_H

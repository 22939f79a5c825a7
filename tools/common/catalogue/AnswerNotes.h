// Notes on answers that a newcomer reads as wrong, saying why they are right here: all-zero records,
// the built-in 720P width, the share table, what the change flag compares, where a peer's definition
// comes from.
#ifndef KTRSDK_TOOLS_COMMON_ANSWERNOTES_H
#define KTRSDK_TOOLS_COMMON_ANSWERNOTES_H

#include <string>
#include <vector>

#include "DefinitionTable.h"
#include "Timeline.h"

namespace ktr {

// state is the state after the step that gave the answer.
std::vector<std::string> answerNotes(const Answer& answer, const std::vector<FiredRule>& lines,
                                     const StateSnapshot& state, const DefinitionTable& definitions);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_ANSWERNOTES_H

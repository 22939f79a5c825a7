// Which values of a step are uids: the fields of the actions and answers that name a user, and the %llu
// fields of the library's lines. Filters and redaction find a step's users through it.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_UIDS_H
#define KTRSDK_TOOLS_COMMON_MODEL_UIDS_H

#include <cstdint>
#include <set>

#include "Timeline.h"

namespace ktr {

// Every uid the step's action, answer and lines name (0, nobody, left out).
std::set<uint64_t> uidsOf(const TimelineStep& step);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_UIDS_H

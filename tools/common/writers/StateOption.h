// --state: how the JSON Lines write the state, for every command that writes a timeline.
#ifndef KTRSDK_TOOLS_COMMON_STATEOPTION_H
#define KTRSDK_TOOLS_COMMON_STATEOPTION_H

#include <CLI/CLI.hpp>

#include <string>

#include "Timeline.h"

namespace ktr {

void addStateOption(CLI::App& command, std::string& value);
StateWriting stateWriting(const std::string& value);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_STATEOPTION_H

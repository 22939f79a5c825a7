// Receives the lines of the loaded library. The tool links the stand-in logger, which every build it
// loads imports its three logging functions from: the logger is already loaded, so a build binds to it
// whatever its own search path holds, and its lines reach the collector that the tool installs.
#ifndef KTRSDK_TOOLS_COMMON_LIBRARYLOG_H
#define KTRSDK_TOOLS_COMMON_LIBRARYLOG_H

#include "LogCatalogue.h"
#include "xlog/logsdk.h"

namespace ktr {

// One line with its level.
using LogLine = xlog::Line;

// Collects the lines written while it lives (take() hands them over, oldest first); one at a time per
// process.
using LibraryLog = xlog::LineCollector;

// "I", "W" or "E".
using xlog::levelMark;

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_LIBRARYLOG_H

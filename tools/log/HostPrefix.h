// The time and level that a host's prefix gives a line, recognised without a pattern: one walk over the
// prefix tries a time stamp where a number starts and a level mark where a token starts, and skips a
// stamp once found (no mark starts inside one).
#ifndef KTRSDK_TOOLS_LOG_HOSTPREFIX_H
#define KTRSDK_TOOLS_LOG_HOSTPREFIX_H

#include <optional>
#include <string_view>

#include "LogCatalogue.h"
#include "TimeStamp.h"

namespace ktr::log {

class HostPrefix {
public:
    struct Facts {
        std::optional<TimeStamp::Time> time;  // of the first stamp; nothing when its fields are out of range
        std::optional<ktr::LogLevel> level;   // of the first mark
    };

    static Facts read(std::string_view prefix);
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_HOSTPREFIX_H

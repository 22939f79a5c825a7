// One line of the library's found in a client's log: where it was, what the host's prefix said of its
// time and level, and the catalogue entry its text matched.
#ifndef KTRSDK_TOOLS_LOG_LIBRARYLINE_H
#define KTRSDK_TOOLS_LOG_LIBRARYLINE_H

#include <cstdint>
#include <optional>
#include <string>

#include "LogCatalogue.h"

namespace ktr::logs {

struct LibraryLine {
    uint64_t number = 0;                 // line number in the input, from 1
    std::optional<double> time;          // seconds from the prefix: since the epoch (UTC) for a dated stamp or
                                         // epoch seconds/ms, since midnight for a time of day
    std::optional<ktr::LogLevel> level;  // from the prefix
    std::string text;                    // the library's text, from its "[KTR..." (or a dump's start) to the end
    ktr::ParsedLine parsed;              // its catalogue entry and values
};

}  // namespace ktr::logs

#endif  // KTRSDK_TOOLS_LOG_LIBRARYLINE_H

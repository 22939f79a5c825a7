// The level that hosts write before a log line: "I", "W", "E" (either case), "INFO", "WARN", "WARNING",
// "ERROR" (any case), or Android's "I/", "W/", "E/". Recognised character by character: the reader looks at
// the prefix of every line of the library.
#ifndef KTRSDK_TOOLS_LOG_LEVELMARK_H
#define KTRSDK_TOOLS_LOG_LEVELMARK_H

#include <cstddef>
#include <optional>
#include <string_view>

#include "LogCatalogue.h"

namespace ktr::log {

class LevelMark {
public:
    // The level of the mark that starts at position, if one does standing as a token of its own: after the
    // start, a blank, an opening bracket or a bar; before a blank, a closing bracket, a colon, a bar,
    // Android's slash or the end.
    static std::optional<ktr::LogLevel> at(std::string_view text, size_t position);
    // The level that mark names, when it is one of the forms above; nothing otherwise.
    static std::optional<ktr::LogLevel> parse(std::string_view mark);
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LEVELMARK_H

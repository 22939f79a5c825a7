// The level that hosts write before a log line: "I", "W", "E" (either case), "INFO", "WARN", "WARNING",
// "ERROR" (any case), or Android's "I/", "W/", "E/".
#ifndef KTRSDK_TOOLS_LOG_LEVELMARK_H
#define KTRSDK_TOOLS_LOG_LEVELMARK_H

#include <optional>
#include <string_view>

#include "LogCatalogue.h"
#include "Pcre2Pattern.h"

namespace ktr::logs {

class LevelMark {
public:
    LevelMark();

    // The first level mark standing as a token of its own in text.
    std::optional<ktr::LogLevel> find(std::string_view text);
    // The level that mark names, when it is one of the forms above; nothing otherwise.
    static std::optional<ktr::LogLevel> parse(std::string_view mark);

private:
    Pcre2Pattern m_search;
    std::optional<int> m_markGroup;
};

}  // namespace ktr::logs

#endif  // KTRSDK_TOOLS_LOG_LEVELMARK_H

// Finds the log calls in C++ sources: for each call of xlog::logi, logw or loge, its level, its tag and
// its format as the compiler sees them (adjacent string literals joined, a tag given as a literal or as
// a string constant of the same file).
#ifndef KTRSDK_TESTS_SUPPORT_LOGCALLSCANNER_H
#define KTRSDK_TESTS_SUPPORT_LOGCALLSCANNER_H

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "LogCatalogue.h"

struct LogCall {
    ktr::LogLevel level;
    std::string tag;  // empty for the formats without the "[%s]: " prefix
    std::string format;
    std::string where;  // file:line
};

class LogCallScanner {
public:
    // Every call in the .cpp and .h files below directory. A call whose format or tag the scanner cannot
    // resolve is described in problems instead.
    static std::vector<LogCall> scanTree(const std::filesystem::path& directory, std::vector<std::string>& problems);

    // Every call in one file's text.
    static std::vector<LogCall> scanSource(std::string_view source, const std::string& file,
                                           std::vector<std::string>& problems);
};

#endif  // KTRSDK_TESTS_SUPPORT_LOGCALLSCANNER_H

// Receives the lines of the loaded library: the tool defines the three logging functions that the
// library imports, so every build it loads logs here.
#ifndef KTRSDK_TOOLS_COMMON_LIBRARYLOG_H
#define KTRSDK_TOOLS_COMMON_LIBRARYLOG_H

#include <string>
#include <vector>

#include "LogCatalogue.h"

namespace ktr {

struct LogLine {
    LogLevel level;
    std::string text;
};

// Collects the lines written while it lives; one at a time per process.
class LibraryLog {
public:
    LibraryLog();
    ~LibraryLog();
    LibraryLog(const LibraryLog&) = delete;
    LibraryLog& operator=(const LibraryLog&) = delete;

    // The lines since the last call, oldest first.
    std::vector<LogLine> take();

    void receive(LogLevel level, std::string text);

private:
    std::vector<LogLine> m_lines;
};

// "I", "W" or "E".
const char* levelMark(LogLevel level);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_LIBRARYLOG_H

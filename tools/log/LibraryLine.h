// One line of the library's found in a client's log: where it was, what the host's prefix said of its
// time and level, and the catalogue entry its text matched.
#ifndef KTRSDK_TOOLS_LOG_LIBRARYLINE_H
#define KTRSDK_TOOLS_LOG_LIBRARYLINE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "LogCatalogue.h"

namespace ktr::log {

// Where a line stands, for messages: its number, after its file's name when the log is several files
// ("b.log.gz:1234").
inline std::string linePlace(const std::string* file, uint64_t number) {
    return file != nullptr ? *file + ":" + std::to_string(number) : std::to_string(number);
}

struct LibraryLine {
    std::shared_ptr<const std::string> file;  // the file it was read from when the log is several; null for one
    uint64_t number = 0;                      // line number in its file, from 1
    std::optional<double> time;               // seconds from the prefix: since the epoch (UTC) for a dated stamp or
                                              // epoch seconds/ms; for a time of day, since the midnight before
                                              // the log's first line (it continues across midnight)
    std::optional<ktr::LogLevel> level;       // from the prefix
    std::string text;                         // the library's text, from its "[KTR..." (or a dump's start) to the end
    ktr::ParsedLine parsed;                   // its catalogue entry and values

    std::string place() const { return linePlace(file.get(), number); }
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LIBRARYLINE_H

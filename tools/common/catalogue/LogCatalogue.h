// The catalogue of every log line the library can write: one entry per (tag, level, format), with the
// names of its fields and a plain explanation, and the parser that turns a logged line back into its
// entry and field values.
#ifndef KTRSDK_TOOLS_COMMON_LOGCATALOGUE_H
#define KTRSDK_TOOLS_COMMON_LOGCATALOGUE_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xlog/logsdk.h"

namespace ktr {

// Which of the logger's three functions wrote a line.
using LogLevel = xlog::Level;

struct LogFormat {
    std::string_view id;                   // stable identifier, e.g. ktrlog::DlAddPeerChosen::id
    LogLevel level;                        // logi, logw or loge
    std::string_view tag;                  // e.g. "KTRDLPolicy::addPeer"; empty for the dump formats
    std::string_view format;               // the printf format exactly as the library passes it
    std::vector<std::string_view> fields;  // one name per conversion after the tag, in order
    std::string_view explanation;          // one sentence; "{name}" placeholders take the field values
};

struct ParsedLine {
    const LogFormat* format = nullptr;
    std::vector<std::string> values;  // the text of each field, in format order

    // The value of a %d field; throws std::out_of_range when the entry has no %d field of that name.
    int64_t integer(std::string_view field) const;
    // The value of a %llu field; throws std::out_of_range when the entry has no %llu field of that name.
    uint64_t uid(std::string_view field) const;
    // The entry's explanation with the values filled in.
    std::string explanation() const;
    // The line as the library prints the entry with these values ("[Tag]: message" for a tagged entry).
    std::string print() const;
    // Whether the value at index is a uid (a %llu field).
    bool isUid(size_t index) const;
};

const std::vector<LogFormat>& logCatalogue();

// Throws std::out_of_range for an unknown id.
const LogFormat& logFormat(std::string_view id);
// Null for an unknown id.
const LogFormat* findLogFormat(std::string_view id);

// text is one line as the library formatted it ("[Tag]: message" for the tagged formats), without the
// level mark. With a level, only entries of that level match. Returns nothing when no entry matches.
std::optional<ParsedLine> parseLogLine(std::string_view text, std::optional<LogLevel> level = std::nullopt);

// Every entry that matches text.
std::vector<ParsedLine> parseLogLineAll(std::string_view text, std::optional<LogLevel> level = std::nullopt);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_LOGCATALOGUE_H

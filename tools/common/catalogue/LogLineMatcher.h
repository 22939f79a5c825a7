// Matches a logged line against the log catalogue, and prints an entry back as the library logs it. The
// entries of a line's tag are found by a hash on the tag, those without a tag (the dump lines) are tried
// after them, and each candidate's format is compared literal by literal: matching allocates nothing.
#ifndef KTRSDK_TOOLS_COMMON_LOGLINEMATCHER_H
#define KTRSDK_TOOLS_COMMON_LOGLINEMATCHER_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "LogCatalogue.h"
#include "LogPattern.h"

namespace ktr {

class LogLineMatcher {
public:
    // The matcher of the catalogue's entries, built once.
    static const LogLineMatcher& instance();

    // The first entry (of that level, when given) whose format prints text, nothing when none does. text is
    // one line as the library formatted it, without the level mark; values receives the text of each of
    // the entry's conversions, as views into text.
    const LogFormat* match(std::string_view text, std::optional<LogLevel> level,
                           std::vector<std::string_view>& values) const;
    // Every entry that matches text, each with its values.
    std::vector<std::pair<const LogFormat*, std::vector<std::string_view>>> matchAll(
        std::string_view text, std::optional<LogLevel> level) const;

    // The line as the library prints the entry with these values ("[Tag]: message" for a tagged entry);
    // empty for a format that is not one of the catalogue's own.
    std::string print(const LogFormat& format, const std::vector<std::string>& values) const;

    // The pattern of a catalogue entry; null for a format that is not one of the catalogue's own.
    const LogPattern* patternOf(const LogFormat& format) const;
    // The entry of that id; null when there is none.
    const LogFormat* find(std::string_view id) const;

private:
    // The tags' length and last eight characters tell them apart: hashed in a few instructions, as every
    // line's tag is looked up.
    struct TagHash {
        size_t operator()(std::string_view tag) const;
    };

    LogLineMatcher();

    // Calls onMatch(format, values) for every entry that matches text, until onMatch returns false.
    template <typename OnMatch>
    void forEachMatch(std::string_view text, std::optional<LogLevel> level, std::vector<std::string_view>& values,
                      OnMatch onMatch) const;

    const std::vector<LogFormat>& m_catalogue;
    std::vector<LogPattern> m_patterns;  // by catalogue position
    std::unordered_map<std::string_view, std::vector<size_t>, TagHash> m_byTag;
    std::vector<size_t> m_untagged;
    std::unordered_map<std::string_view, size_t> m_byId;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_LOGLINEMATCHER_H

#include "LibraryText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace ktr::logs {
namespace {

constexpr std::string_view kTagStart = "[KTR";
constexpr std::string_view kTagEnd = "]: ";
// The words every dump line holds, for the cheap test.
constexpr std::string_view kDumpWords = "ktr select";
constexpr std::string_view kRequestWords = "ktr request";
// The dump lines' fixed starts; the indented ones are searched without their indent, which is then taken
// from the blanks before them (a host's prefix ends with a blank of its own).
constexpr std::string_view kDumpIndent = "    ";
constexpr std::array<std::string_view, 3> kDumpStarts = {"ktr select reqs, ", "ktr select info, ", "ktr select map, "};
constexpr std::array<std::string_view, 3> kIndentedDumpStarts = {"ktr request ",
                                                                 "ktr select width=", "ktr select, uid="};

size_t findBytes(std::string_view text, std::string_view needle, size_t from) {
    if (from > text.size()) {
        return std::string_view::npos;
    }
    const void* found = memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
    return found == nullptr ? std::string_view::npos : static_cast<const char*>(found) - text.data();
}

bool isTagChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':';
}

bool indentedBefore(std::string_view line, size_t position) {
    return position >= kDumpIndent.size() &&
           line.substr(position - kDumpIndent.size(), kDumpIndent.size()) == kDumpIndent;
}

}  // namespace

bool LibraryText::mayHold(std::string_view line) {
    return findBytes(line, kTagStart, 0) != std::string_view::npos ||
           findBytes(line, kDumpWords, 0) != std::string_view::npos ||
           findBytes(line, kRequestWords, 0) != std::string_view::npos;
}

std::optional<size_t> LibraryText::find(std::string_view line, size_t from) {
    const std::optional<size_t> tagged = findTagged(line, from);
    // A dump line counts only where it starts before any tagged text, and only where its words stand.
    const std::string_view before = tagged ? line.substr(0, *tagged) : line;
    const bool dumpWords = findBytes(before, kDumpWords, from) != std::string_view::npos ||
                           findBytes(before, kRequestWords, from) != std::string_view::npos;
    const std::optional<size_t> dump = dumpWords ? findDump(line, from) : std::nullopt;
    if (tagged && dump) {
        return std::min(*tagged, *dump);
    }
    return tagged ? tagged : dump;
}

std::optional<size_t> LibraryText::findTagged(std::string_view line, size_t from) {
    for (size_t start = findBytes(line, kTagStart, from); start != std::string_view::npos;
         start = findBytes(line, kTagStart, start + 1)) {
        size_t end = start + kTagStart.size();
        while (end < line.size() && isTagChar(line[end])) {
            ++end;
        }
        if (line.substr(end, kTagEnd.size()) == kTagEnd) {
            return start;
        }
    }
    return std::nullopt;
}

std::optional<size_t> LibraryText::findDump(std::string_view line, size_t from) {
    std::optional<size_t> first;
    const auto keep = [&first](size_t position) {
        if (!first || position < *first) {
            first = position;
        }
    };
    for (std::string_view start : kDumpStarts) {
        const size_t position = findBytes(line, start, from);
        if (position != std::string_view::npos) {
            keep(position);
        }
    }
    for (std::string_view start : kIndentedDumpStarts) {
        for (size_t position = findBytes(line, start, from); position != std::string_view::npos;
             position = findBytes(line, start, position + 1)) {
            if (position >= from + kDumpIndent.size() && indentedBefore(line, position)) {
                keep(position - kDumpIndent.size());
                break;
            }
        }
    }
    return first;
}

}  // namespace ktr::logs

#include "LibraryText.h"

#include <array>
#include <cstring>

namespace ktr::log {
namespace {

constexpr char kTagOpen = '[';
constexpr std::string_view kTagStart = "[KTR";
constexpr std::string_view kTagEnd = "]: ";
// Every dump line's words start with it.
constexpr char kDumpFirst = 'k';
constexpr std::string_view kDumpWords = "ktr ";
// The dump lines' fixed starts; the indented ones are searched without their indent, which is then taken
// from the blanks before them (a host's prefix ends with a blank of its own).
constexpr std::string_view kDumpIndent = "    ";
constexpr std::array<std::string_view, 3> kDumpStarts = {"ktr select reqs, ", "ktr select info, ", "ktr select map, "};
constexpr std::array<std::string_view, 3> kIndentedDumpStarts = {"ktr request ",
                                                                 "ktr select width=", "ktr select, uid="};

// The first c in line[from, end); end when there is none.
size_t findChar(std::string_view line, char c, size_t from, size_t end) {
    if (from >= end) {
        return end;
    }
    const void* found = std::memchr(line.data() + from, c, end - from);
    return found == nullptr ? end : static_cast<size_t>(static_cast<const char*>(found) - line.data());
}

// The characters of a "Class::method" tag, by byte: looked up, as the tag is most of a short line.
constexpr std::array<bool, 256> tagChars() {
    std::array<bool, 256> chars{};
    for (size_t c = 0; c < chars.size(); ++c) {
        chars[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ':';
    }
    return chars;
}
constexpr std::array<bool, 256> kTagChars = tagChars();

bool isTagChar(char c) {
    return kTagChars[static_cast<unsigned char>(c)];
}

// Compared character by character: most candidates differ from start in its first few.
bool startsAt(std::string_view line, size_t position, std::string_view start) {
    if (position > line.size() || line.size() - position < start.size()) {
        return false;
    }
    for (size_t i = 0; i < start.size(); ++i) {
        if (line[position + i] != start[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<size_t> LibraryText::find(std::string_view line, size_t from) {
    if (from > line.size()) {
        return std::nullopt;
    }
    // A dump line counts only where it starts before any tagged text.
    const size_t tagged = findTagged(line, from);
    const size_t start = findDump(line, from, tagged);
    if (start == line.size()) {
        return std::nullopt;
    }
    return start;
}

size_t LibraryText::findTagged(std::string_view line, size_t from) {
    for (size_t start = findChar(line, kTagOpen, from, line.size()); start < line.size();
         start = findChar(line, kTagOpen, start + 1, line.size())) {
        if (!startsAt(line, start, kTagStart)) {
            continue;
        }
        size_t end = start + kTagStart.size();
        while (end < line.size() && isTagChar(line[end])) {
            ++end;
        }
        if (startsAt(line, end, kTagEnd)) {
            return start;
        }
    }
    return line.size();
}

size_t LibraryText::findDump(std::string_view line, size_t from, size_t end) {
    for (size_t position = findChar(line, kDumpFirst, from, end); position < end;
         position = findChar(line, kDumpFirst, position + 1, end)) {
        if (const std::optional<size_t> start = dumpStartAt(line, from, position)) {
            return *start;
        }
    }
    return end;
}

std::optional<size_t> LibraryText::dumpStartAt(std::string_view line, size_t from, size_t position) {
    if (!startsAt(line, position, kDumpWords)) {
        return std::nullopt;
    }
    for (std::string_view start : kDumpStarts) {
        if (startsAt(line, position, start)) {
            return position;
        }
    }
    const bool indented =
        position >= from + kDumpIndent.size() && startsAt(line, position - kDumpIndent.size(), kDumpIndent);
    if (!indented) {
        return std::nullopt;
    }
    for (std::string_view start : kIndentedDumpStarts) {
        if (startsAt(line, position, start)) {
            return position - kDumpIndent.size();
        }
    }
    return std::nullopt;
}

}  // namespace ktr::log

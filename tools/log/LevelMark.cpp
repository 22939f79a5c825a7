#include "LevelMark.h"

#include <array>
#include <utility>

namespace ktr::log {
namespace {

// Tried in this order; the first followed by a token's end counts (WARN stops inside WARNING, so it comes after).
const std::array<std::pair<std::string_view, ktr::LogLevel>, 7> kMarks = {{
    {"I", ktr::LogLevel::Info},
    {"W", ktr::LogLevel::Warning},
    {"E", ktr::LogLevel::Error},
    {"INFO", ktr::LogLevel::Info},
    {"WARNING", ktr::LogLevel::Warning},
    {"WARN", ktr::LogLevel::Warning},
    {"ERROR", ktr::LogLevel::Error},
}};

// The blanks of the C locale.
bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool startsToken(char before) {
    return isBlank(before) || before == '[' || before == '(' || before == '|';
}

bool endsToken(char after) {
    return isBlank(after) || after == ']' || after == ')' || after == ':' || after == '|' || after == '/';
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether text starts with name (upper case), in any case.
bool startsWithName(std::string_view text, std::string_view name) {
    if (text.size() < name.size()) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        if (upper(text[i]) != name[i]) {
            return false;
        }
    }
    return true;
}

// The letters marks start with, by byte: looked up, as every character of a prefix is one to try.
constexpr std::array<bool, 256> kMarkStarts = [] {
    std::array<bool, 256> starts{};
    for (char c : std::string_view("IWEiwe")) {
        starts[static_cast<unsigned char>(c)] = true;
    }
    return starts;
}();

bool startsMark(char c) {
    return kMarkStarts[static_cast<unsigned char>(c)];
}

}  // namespace

std::optional<ktr::LogLevel> LevelMark::at(std::string_view text, size_t position) {
    if (position >= text.size() || !startsMark(text[position]) || (position > 0 && !startsToken(text[position - 1]))) {
        return std::nullopt;
    }
    const std::string_view rest = text.substr(position);
    for (const auto& [name, level] : kMarks) {
        if (startsWithName(rest, name) && (rest.size() == name.size() || endsToken(rest[name.size()]))) {
            return level;
        }
    }
    return std::nullopt;
}

std::optional<ktr::LogLevel> LevelMark::parse(std::string_view mark) {
    if (!mark.empty() && mark.back() == '/') {
        mark.remove_suffix(1);
    }
    for (const auto& [name, level] : kMarks) {
        if (mark.size() == name.size() && startsWithName(mark, name)) {
            return level;
        }
    }
    return std::nullopt;
}

}  // namespace ktr::log

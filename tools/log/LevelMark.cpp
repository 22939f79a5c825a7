#include "LevelMark.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <utility>

namespace ktr::logs {
namespace {

// A mark stands alone: after the start, a blank or an opening bracket; before a blank, a closing
// bracket, a colon, Android's slash or the end.
constexpr const char* kMarkPattern = R"((?<![^\s\[(|])(?<mark>[IWEiwe]|(?i:INFO|WARNING|WARN|ERROR))(?=[\s\]):|/]|$))";

const std::array<std::pair<std::string_view, ktr::LogLevel>, 7> kMarks = {{
    {"I", ktr::LogLevel::Info},
    {"INFO", ktr::LogLevel::Info},
    {"W", ktr::LogLevel::Warning},
    {"WARN", ktr::LogLevel::Warning},
    {"WARNING", ktr::LogLevel::Warning},
    {"E", ktr::LogLevel::Error},
    {"ERROR", ktr::LogLevel::Error},
}};

}  // namespace

LevelMark::LevelMark() : m_search(kMarkPattern), m_markGroup(m_search.groupNumber("mark")) {}

std::optional<ktr::LogLevel> LevelMark::find(std::string_view text) {
    if (!m_search.match(text)) {
        return std::nullopt;
    }
    return parse(*m_search.group(m_markGroup));
}

std::optional<ktr::LogLevel> LevelMark::parse(std::string_view mark) {
    if (!mark.empty() && mark.back() == '/') {
        mark.remove_suffix(1);
    }
    std::string upper(mark);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    for (const auto& [name, level] : kMarks) {
        if (upper == name) {
            return level;
        }
    }
    return std::nullopt;
}

}  // namespace ktr::logs

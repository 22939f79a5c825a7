// A compiled PCRE2 pattern (JIT when available) with its own match data: one match at a time.
#ifndef KTRSDK_TOOLS_LOG_PCRE2PATTERN_H
#define KTRSDK_TOOLS_LOG_PCRE2PATTERN_H

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ktr::log {

class Pcre2Pattern {
public:
    // Throws InputError with PCRE2's message and the offset of the fault when pattern does not compile.
    explicit Pcre2Pattern(const std::string& pattern, uint32_t options = 0);

    // Whether the pattern matches in subject; the groups below describe the last successful match.
    bool match(std::string_view subject);

    size_t matchStart() const;
    size_t matchEnd() const;
    // The group's number, or nothing when the pattern has no group of that name.
    std::optional<int> groupNumber(const char* name) const;
    // The text the group matched in the last match; nothing when it took no part.
    std::optional<std::string_view> group(std::optional<int> number) const;

private:
    struct CodeDeleter {
        void operator()(pcre2_code* code) const { pcre2_code_free(code); }
    };
    struct MatchDataDeleter {
        void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
    };

    std::unique_ptr<pcre2_code, CodeDeleter> m_code;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> m_matchData;
    std::string_view m_subject;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_PCRE2PATTERN_H

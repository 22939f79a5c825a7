#include "Pcre2Pattern.h"

#include <fmt/format.h>

#include "InputFile.h"

namespace ktr::log {
namespace {

constexpr size_t kErrorMessageSize = 256;

}  // namespace

Pcre2Pattern::Pcre2Pattern(const std::string& pattern, uint32_t options) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    m_code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options, &errorCode,
                               &errorOffset, nullptr));
    if (!m_code) {
        PCRE2_UCHAR message[kErrorMessageSize];
        pcre2_get_error_message(errorCode, message, sizeof message);
        throw InputError(fmt::format("bad pattern \"{}\": {} at offset {}", pattern,
                                     reinterpret_cast<const char*>(message), errorOffset));
    }
    // Without JIT the interpreter matches the same, only slower.
    pcre2_jit_compile(m_code.get(), PCRE2_JIT_COMPLETE);
    m_matchData.reset(pcre2_match_data_create_from_pattern(m_code.get(), nullptr));
}

bool Pcre2Pattern::match(std::string_view subject) {
    m_subject = subject;
    // Compiled without PCRE2_UTF: log lines may hold invalid UTF-8, and the patterns match byte by byte.
    const int result = pcre2_match(m_code.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0,
                                   m_matchData.get(), nullptr);
    return result > 0;
}

size_t Pcre2Pattern::matchStart() const {
    return pcre2_get_ovector_pointer(m_matchData.get())[0];
}

size_t Pcre2Pattern::matchEnd() const {
    return pcre2_get_ovector_pointer(m_matchData.get())[1];
}

std::optional<int> Pcre2Pattern::groupNumber(const char* name) const {
    const int number = pcre2_substring_number_from_name(m_code.get(), reinterpret_cast<PCRE2_SPTR>(name));
    if (number < 0) {
        return std::nullopt;
    }
    return number;
}

std::optional<std::string_view> Pcre2Pattern::group(std::optional<int> number) const {
    if (!number || static_cast<uint32_t>(*number) >= pcre2_get_ovector_count(m_matchData.get())) {
        return std::nullopt;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(m_matchData.get());
    const size_t pair = 2 * static_cast<size_t>(*number);
    const PCRE2_SIZE start = ovector[pair];
    const PCRE2_SIZE end = ovector[pair + 1];
    if (start == PCRE2_UNSET || end < start) {
        return std::nullopt;
    }
    return m_subject.substr(start, end - start);
}

}  // namespace ktr::log

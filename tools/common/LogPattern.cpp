#include "LogPattern.h"

#include <charconv>
#include <cstdint>
#include <stdexcept>

namespace ktr {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of the number at the front of text as the conversion prints it (digits taken greedily,
// %d with an optional minus), or 0 when there is none or it is out of the conversion's range.
size_t numberLength(std::string_view text, LogPattern::Conversion conversion) {
    size_t length = conversion == LogPattern::Conversion::Int32 && !text.empty() && text[0] == '-' ? 1 : 0;
    const size_t digitsStart = length;
    while (length < text.size() && isDigit(text[length])) {
        ++length;
    }
    if (length == digitsStart) {
        return 0;
    }
    const char* first = text.data();
    const char* last = first + length;
    std::from_chars_result result;
    if (conversion == LogPattern::Conversion::Int32) {
        int32_t value;
        result = std::from_chars(first, last, value);
    } else {
        uint64_t value;
        result = std::from_chars(first, last, value);
    }
    return result.ec == std::errc() && result.ptr == last ? length : 0;
}

}  // namespace

LogPattern::LogPattern(std::string_view format) {
    std::string literal;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            literal += format[i];
            continue;
        }
        const std::string_view afterPercent = format.substr(i + 1);
        if (afterPercent.substr(0, 1) == "%") {
            literal += '%';
            i += 1;
            continue;
        }
        if (afterPercent.substr(0, 1) == "d") {
            m_conversions.push_back(Conversion::Int32);
            i += 1;
        } else if (afterPercent.substr(0, 3) == "llu") {
            m_conversions.push_back(Conversion::Uint64);
            i += 3;
        } else {
            throw std::invalid_argument("unsupported conversion in log format: " + std::string(format));
        }
        m_literals.push_back(literal);
        literal.clear();
    }
    m_literals.push_back(literal);
}

std::string LogPattern::print(const std::vector<std::string>& values) const {
    std::string text = m_literals[0];
    for (size_t i = 0; i < m_conversions.size() && i < values.size(); ++i) {
        text += values[i];
        text += m_literals[i + 1];
    }
    return text;
}

bool LogPattern::match(std::string_view text, std::vector<std::string_view>& values) const {
    values.clear();
    if (text.substr(0, m_literals[0].size()) != m_literals[0]) {
        return false;
    }
    size_t position = m_literals[0].size();
    for (size_t i = 0; i < m_conversions.size(); ++i) {
        const size_t length = numberLength(text.substr(position), m_conversions[i]);
        if (length == 0) {
            return false;
        }
        values.push_back(text.substr(position, length));
        position += length;
        const std::string& literal = m_literals[i + 1];
        if (text.substr(position, literal.size()) != literal) {
            return false;
        }
        position += literal.size();
    }
    return position == text.size();
}

}  // namespace ktr

#include "LogPattern.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace ktr {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The largest magnitudes the conversions print, in digits.
constexpr std::string_view kMaxInt32 = "2147483647";
constexpr std::string_view kMinInt32Magnitude = "2147483648";
constexpr std::string_view kMaxUint64 = "18446744073709551615";

// Whether the number that digits (leading zeros allowed) write is at most limit's.
bool atMost(std::string_view digits, std::string_view limit) {
    size_t zeros = 0;
    while (zeros + 1 < digits.size() && digits[zeros] == '0') {
        ++zeros;
    }
    digits.remove_prefix(zeros);
    return digits.size() < limit.size() || (digits.size() == limit.size() && digits <= limit);
}

// The length of the number at the front of text as the conversion prints it (digits taken greedily,
// %d with an optional minus), or 0 when there is none or it is out of the conversion's range.
size_t numberLength(std::string_view text, LogPattern::Conversion conversion) {
    const bool negative = conversion == LogPattern::Conversion::Int32 && !text.empty() && text[0] == '-';
    const size_t digitsStart = negative ? 1 : 0;
    size_t length = digitsStart;
    while (length < text.size() && isDigit(text[length])) {
        ++length;
    }
    if (length == digitsStart) {
        return 0;
    }
    const std::string_view limit = conversion == LogPattern::Conversion::Uint64 ? kMaxUint64
                                   : negative                                   ? kMinInt32Magnitude
                                                                                : kMaxInt32;
    const std::string_view digits = text.substr(digitsStart, length - digitsStart);
    // Fewer digits than the largest value has are in range: most numbers end here.
    return digits.size() < limit.size() || atMost(digits, limit) ? length : 0;
}

// Whether literal stands in text at position; its first character is compared first, as most candidate
// formats differ from the line there.
bool literalAt(std::string_view text, size_t position, const std::string& literal) {
    if (literal.empty()) {
        return true;
    }
    return text.size() - position >= literal.size() && text[position] == literal[0] &&
           std::memcmp(text.data() + position, literal.data(), literal.size()) == 0;
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
    if (!literalAt(text, 0, m_literals[0])) {
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
        if (!literalAt(text, position, literal)) {
            return false;
        }
        position += literal.size();
    }
    return position == text.size();
}

}  // namespace ktr

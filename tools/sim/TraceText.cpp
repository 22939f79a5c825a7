#include "TraceText.h"

#include <cctype>
#include <cstdlib>

namespace ktr::sim {
namespace {

// Longer input is cut in messages: a whole binary line helps nobody.
constexpr size_t kLongestQuote = 40;

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The number of digits at the start of text.
size_t digitsAt(std::string_view text) {
    size_t count = 0;
    while (count < text.size() && isDigit(text[count])) {
        ++count;
    }
    return count;
}

bool isWrittenInFull(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        text.remove_prefix(1);
    }
    const size_t whole = digitsAt(text);
    text.remove_prefix(whole);
    size_t fraction = 0;
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        fraction = digitsAt(text);
        if (fraction == 0) {
            return false;
        }
        text.remove_prefix(fraction);
    }
    if (whole == 0 && fraction == 0) {
        return false;
    }
    if (!text.empty() && (text.front() == 'e' || text.front() == 'E')) {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            text.remove_prefix(1);
        }
        const size_t exponent = digitsAt(text);
        if (exponent == 0) {
            return false;
        }
        text.remove_prefix(exponent);
    }
    return text.empty();
}

}  // namespace

std::optional<double> parseDecimal(std::string_view text) {
    if (!isWrittenInFull(text)) {
        return std::nullopt;
    }
    // strtod reads the same grammar, and gives an infinity for a number too large.
    const std::string terminated(text);
    return std::strtod(terminated.c_str(), nullptr);
}

std::string quoteForMessage(std::string_view text) {
    std::string quoted = "\"";
    for (size_t i = 0; i < text.size() && i < kLongestQuote; ++i) {
        quoted += std::isprint(static_cast<unsigned char>(text[i])) ? text[i] : '?';
    }
    if (text.size() > kLongestQuote) {
        quoted += "...";
    }
    return quoted + "\"";
}

}  // namespace ktr::sim

#ifndef KTRSDK_TOOLS_SIM_TRACETEXT_H
#define KTRSDK_TOOLS_SIM_TRACETEXT_H

#include <optional>
#include <string>
#include <string_view>

namespace ktr::sim {

// A decimal number written in full: an optional sign, digits with an optional fraction that has digits
// ("12", "-3", "0.5", ".5"), and an optional exponent with digits ("1e3"). Anything else, a half number
// such as "12." or "3e" included, is not a number. A number too large for a double is infinite.
std::optional<double> parseDecimal(std::string_view text);

// text in double quotes for a message: shortened when long, with bytes that do not print replaced by '?'.
std::string quoteForMessage(std::string_view text);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_TRACETEXT_H

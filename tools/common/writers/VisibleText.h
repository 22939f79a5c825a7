// Text that a child process or an input file wrote, made safe to print on a terminal: a control character
// (an escape sequence's start, a carriage return that would overwrite the line) is shown as \xNN.
#ifndef KTRSDK_TOOLS_COMMON_VISIBLETEXT_H
#define KTRSDK_TOOLS_COMMON_VISIBLETEXT_H

#include <string>
#include <string_view>

namespace ktr {

// Every byte below 0x20 but the line break and the tab, and 0x7f, as \xNN; the rest as it is.
std::string visibleText(std::string_view text);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_VISIBLETEXT_H

#include "VisibleText.h"

#include <fmt/format.h>

namespace ktr {

std::string visibleText(std::string_view text) {
    std::string visible;
    visible.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7f) {
            visible += fmt::format("\\x{:02x}", byte);
        } else {
            visible += c;
        }
    }
    return visible;
}

}  // namespace ktr

// How the library writes a line: ktrlog::write<Format>(args...) logs Format's text with args through the
// logger function of Format's level, the tag first for a tagged format.
#ifndef KTRSDK_LOG_KTRLOG_H
#define KTRSDK_LOG_KTRLOG_H

#include <type_traits>

#include "log/KTRLogFormats.h"
#include "log/xlog.h"

namespace ktrlog {

template <typename Format, typename... Formats>
constexpr bool isListed(FormatList<Formats...>) {
    return (std::is_same_v<Format, Formats> || ...);
}

// args holds the tag too when the format has one. Format::text reaches the logger as the constant it is,
// so the compiler checks args against it.
template <typename Format, typename... Args>
void writeLine(Args... args) {
    if constexpr (Format::level == Level::Info) {
        xlog::logi(Format::text, args...);
    } else if constexpr (Format::level == Level::Warning) {
        xlog::logw(Format::text, args...);
    } else {
        xlog::loge(Format::text, args...);
    }
}

template <typename Format, typename... Args>
void write(Args... args) {
    static_assert(isListed<Format>(AllFormats{}), "a format missing from AllFormats, which the tools read");
    if constexpr (Format::tag[0] == '\0') {
        writeLine<Format>(args...);
    } else {
        writeLine<Format>(Format::tag, args...);
    }
}

}  // namespace ktrlog

#endif  // KTRSDK_LOG_KTRLOG_H

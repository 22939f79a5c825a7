#include "LibraryLog.h"

#include <cstdarg>
#include <cstdio>

namespace ktr {
namespace {

LibraryLog* g_current = nullptr;

void deliver(LogLevel level, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (g_current == nullptr || length < 0) {
        return;
    }
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    g_current->receive(level, std::move(text));
}

}  // namespace

LibraryLog::LibraryLog() {
    g_current = this;
}

LibraryLog::~LibraryLog() {
    g_current = nullptr;
}

std::vector<LogLine> LibraryLog::take() {
    std::vector<LogLine> lines;
    lines.swap(m_lines);
    return lines;
}

void LibraryLog::receive(LogLevel level, std::string text) {
    m_lines.push_back(LogLine{level, std::move(text)});
}

const char* levelMark(LogLevel level) {
    switch (level) {
        case LogLevel::Info:
            return "I";
        case LogLevel::Warning:
            return "W";
        case LogLevel::Error:
            return "E";
    }
    return "?";
}

}  // namespace ktr

// The library's imports. They are exported from the executable (see xlog.dynlist), so a library loaded
// later binds to them ahead of its own logsdk dependency.
namespace xlog {

#define KTR_DEFINE_XLOG(name, level)                                           \
    __attribute__((visibility("default"))) int name(const char* format, ...) { \
        va_list args;                                                          \
        va_start(args, format);                                                \
        ktr::deliver(level, format, args);                                     \
        va_end(args);                                                          \
        return 0;                                                              \
    }

KTR_DEFINE_XLOG(logi, ktr::LogLevel::Info)
KTR_DEFINE_XLOG(logw, ktr::LogLevel::Warning)
KTR_DEFINE_XLOG(loge, ktr::LogLevel::Error)

}  // namespace xlog

#include "xlog/logsdk.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace xlog {
namespace {

struct SinkSlot {
    std::mutex mutex;
    Sink sink = nullptr;
    void* context = nullptr;
};

SinkSlot& sinkSlot() {
    static SinkSlot slot;
    return slot;
}

const char* levelName(Level level) {
    switch (level) {
        case Level::Info:
            return "I";
        case Level::Warning:
            return "W";
        case Level::Error:
            return "E";
    }
    return "?";
}

std::string format(const char* fmt, va_list args) {
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (length < 0) {
        return std::string();
    }
    if (static_cast<size_t>(length) < sizeof small) {
        return std::string(small, static_cast<size_t>(length));
    }
    std::string line(static_cast<size_t>(length), '\0');
    std::vsnprintf(&line[0], line.size() + 1, fmt, args);
    return line;
}

int write(Level level, const char* fmt, va_list args) {
    const std::string line = format(fmt, args);
    Sink sink;
    void* context;
    {
        std::lock_guard<std::mutex> lock(sinkSlot().mutex);
        sink = sinkSlot().sink;
        context = sinkSlot().context;
    }
    if (sink != nullptr) {
        sink(level, line.c_str(), context);
    } else {
        std::fprintf(stderr, "%s %s\n", levelName(level), line.c_str());
    }
    return static_cast<int>(line.size());
}

}  // namespace

void setSink(Sink sink, void* context) {
    std::lock_guard<std::mutex> lock(sinkSlot().mutex);
    sinkSlot().sink = sink;
    sinkSlot().context = context;
}

#define LOGSDK_DEFINE_WRITER(name, level)            \
    int name(const char* fmt, ...) {                 \
        va_list args;                                \
        va_start(args, fmt);                         \
        const int written = write(level, fmt, args); \
        va_end(args);                                \
        return written;                              \
    }

LOGSDK_DEFINE_WRITER(logi, Level::Info)
LOGSDK_DEFINE_WRITER(logw, Level::Warning)
LOGSDK_DEFINE_WRITER(loge, Level::Error)

}  // namespace xlog

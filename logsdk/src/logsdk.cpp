#include "xlog/logsdk.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

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

// Formats into a stack buffer, or into malloc'd memory for long lines, so that logging never throws
// (a failed allocation only truncates the line).
class FormattedLine {
public:
    FormattedLine(const char* fmt, va_list args) {
        va_list copy;
        va_copy(copy, args);
        const int length = std::vsnprintf(m_small, sizeof m_small, fmt, copy);
        va_end(copy);
        m_length = length < 0 ? 0 : static_cast<size_t>(length);
        if (m_length >= sizeof m_small) {
            m_large = static_cast<char*>(std::malloc(m_length + 1));
            if (m_large != nullptr) {
                std::vsnprintf(m_large, m_length + 1, fmt, args);
            } else {
                m_length = sizeof m_small - 1;
            }
        }
    }
    ~FormattedLine() { std::free(m_large); }
    FormattedLine(const FormattedLine&) = delete;
    FormattedLine& operator=(const FormattedLine&) = delete;

    const char* text() const { return m_large != nullptr ? m_large : m_small; }
    int length() const { return static_cast<int>(m_length); }

private:
    char m_small[1024];
    char* m_large = nullptr;
    size_t m_length = 0;
};

int write(Level level, const char* fmt, va_list args) {
    const FormattedLine line(fmt, args);
    Sink sink;
    void* context;
    {
        std::lock_guard<std::mutex> lock(sinkSlot().mutex);
        sink = sinkSlot().sink;
        context = sinkSlot().context;
    }
    if (sink != nullptr) {
        sink(level, line.text(), context);
    } else {
        std::fprintf(stderr, "%s %s\n", levelName(level), line.text());
    }
    return line.length();
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

#include "xlog/logsdk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace xlog {
namespace {

// Lines up to this length are formatted on the stack.
constexpr size_t kSmallLine = 1024;
constexpr const char* kCaptureFileVariable = "LOGSDK_CAPTURE_FILE";
// A captured line adds its level mark and a blank before the text and a newline after it.
constexpr size_t kCaptureMarkup = 3;

struct SinkSlot {
    std::mutex mutex;
    Sink sink = nullptr;
    void* context = nullptr;
};

SinkSlot& sinkSlot() {
    static SinkSlot slot;
    return slot;
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
    char m_small[kSmallLine];
    char* m_large = nullptr;
    size_t m_length = 0;
};

// When LOGSDK_CAPTURE_FILE names a file, every line is also appended to it as "I text", "W text" or
// "E text", whatever the sink, so that a test run can check every line the library wrote. Each line is
// one write() on an O_APPEND descriptor, which keeps the lines of concurrent threads and processes whole.
// Never throws and never calls operator new: tests replace it to make allocations fail.
class CaptureFile {
public:
    static const CaptureFile& instance() {
        static const CaptureFile file;
        return file;
    }

    void append(Level level, const char* text, size_t length) const {
        if (m_fd < 0) {
            return;
        }
        char small[kSmallLine + kCaptureMarkup];
        const size_t size = length + kCaptureMarkup;
        char* line = size <= sizeof small ? small : static_cast<char*>(std::malloc(size));
        if (line == nullptr) {  // out of memory: the line is cut, as the formatting cuts it
            line = small;
            length = sizeof small - kCaptureMarkup;
        }
        line[0] = *levelMark(level);
        line[1] = ' ';
        std::memcpy(line + 2, text, length);
        line[length + 2] = '\n';
        while (::write(m_fd, line, length + kCaptureMarkup) < 0 && errno == EINTR) {
        }
        if (line != small) {
            std::free(line);
        }
    }

private:
    // The descriptor stays open until the process ends, so that lines logged by static destructors are
    // still captured.
    CaptureFile() {
        const char* path = std::getenv(kCaptureFileVariable);
        if (path == nullptr || *path == '\0') {
            return;
        }
        m_fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            std::fprintf(stderr, "logsdk: cannot open %s=%s: %s\n", kCaptureFileVariable, path, std::strerror(errno));
        }
    }

    int m_fd = -1;
};

int write(Level level, const char* fmt, va_list args) {
    const FormattedLine line(fmt, args);
    CaptureFile::instance().append(level, line.text(), static_cast<size_t>(line.length()));
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
        std::fprintf(stderr, "%s %s\n", levelMark(level), line.text());
    }
    return line.length();
}

}  // namespace

const char* levelMark(Level level) {
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

LineCollector::LineCollector() {
    setSink(&LineCollector::receive, this);
}

LineCollector::~LineCollector() {
    setSink(nullptr, nullptr);
}

std::vector<Line> LineCollector::take() {
    std::vector<Line> lines;
    std::lock_guard<std::mutex> lock(m_mutex);
    lines.swap(m_lines);
    return lines;
}

void LineCollector::receive(Level level, const char* text, void* context) {
    auto* self = static_cast<LineCollector*>(context);
    Line line{level, text};
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_lines.push_back(std::move(line));
}

}  // namespace xlog

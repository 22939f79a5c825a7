// Captures every line that the library logs while a LogCapture lives, as "I text", "W text" or "E text".
#ifndef KTRSDK_TESTS_LOGCAPTURE_H
#define KTRSDK_TESTS_LOGCAPTURE_H

#include <mutex>
#include <string>
#include <vector>

#include "xlog/logsdk.h"

class LogCapture {
public:
    LogCapture() { xlog::setSink(&LogCapture::receive, this); }
    ~LogCapture() { xlog::setSink(nullptr, nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The lines captured since the last take(), which forgets them.
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> lines;
        lines.swap(m_lines);
        return lines;
    }

private:
    static void receive(xlog::Level level, const char* line, void* context) {
        auto* self = static_cast<LogCapture*>(context);
        const char* mark = level == xlog::Level::Info ? "I " : level == xlog::Level::Warning ? "W " : "E ";
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_lines.push_back(mark + std::string(line));
    }

    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

#endif  // KTRSDK_TESTS_LOGCAPTURE_H

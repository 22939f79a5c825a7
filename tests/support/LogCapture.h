// Captures every line that the library logs while a LogCapture lives, as "I text", "W text" or "E text".
#ifndef KTRSDK_TESTS_LOGCAPTURE_H
#define KTRSDK_TESTS_LOGCAPTURE_H

#include <string>
#include <vector>

#include "xlog/logsdk.h"

class LogCapture {
public:
    // The lines captured since the last take(), which forgets them.
    std::vector<std::string> take() {
        std::vector<std::string> marked;
        for (const xlog::Line& line : m_collector.take()) {
            marked.push_back(xlog::levelMark(line.level) + (' ' + line.text));
        }
        return marked;
    }

private:
    xlog::LineCollector m_collector;
};

#endif  // KTRSDK_TESTS_LOGCAPTURE_H

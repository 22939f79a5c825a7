// The library's lines as a host's logger writes them: one per line behind a time stamp and the level,
// so that a log reader can take them back.
#ifndef KTRSDK_TOOLS_COMMON_LOGFILEWRITER_H
#define KTRSDK_TOOLS_COMMON_LOGFILEWRITER_H

#include <ostream>

#include "TimelineWriter.h"

namespace ktr {

class LogFileWriter : public TimelineWriter {
public:
    explicit LogFileWriter(std::ostream& out) : m_out(out) {}
    void write(const TimelineStep& step) override;

private:
    std::ostream& m_out;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_LOGFILEWRITER_H

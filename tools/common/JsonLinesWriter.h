// JSON Lines: a header object (schema version, command, source, library build), then one object per step.
#ifndef KTRSDK_TOOLS_COMMON_JSONLINESWRITER_H
#define KTRSDK_TOOLS_COMMON_JSONLINESWRITER_H

#include <ostream>

#include "TimelineWriter.h"

namespace ktr {

class JsonLinesWriter : public TimelineWriter {
public:
    explicit JsonLinesWriter(std::ostream& out) : m_out(out) {}
    void begin(const TimelineHeader& header) override;
    void write(const TimelineStep& step) override;

private:
    std::ostream& m_out;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_JSONLINESWRITER_H

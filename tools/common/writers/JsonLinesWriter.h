// JSON Lines of schema 2: the header, then one line per step (see TimelineFormat.h).
#ifndef KTRSDK_TOOLS_COMMON_JSONLINESWRITER_H
#define KTRSDK_TOOLS_COMMON_JSONLINESWRITER_H

#include <ostream>
#include <string>

#include "TimelineWriter.h"

namespace ktr {

class JsonLinesWriter : public TimelineWriter {
public:
    JsonLinesWriter(std::ostream& out, StateWriting state) : m_out(out), m_state(state) {}
    void begin(const TimelineHeader& header) override;
    void write(const TimelineStep& step) override;
    void end() override;

private:
    std::ostream& m_out;
    StateWriting m_state;
    bool m_first = true;
    std::string m_line;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_JSONLINESWRITER_H

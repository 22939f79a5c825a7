#include "JsonLinesWriter.h"

#include "TimelineFormat.h"

namespace ktr {

void JsonLinesWriter::begin(const TimelineHeader& header) {
    TimelineHeader written = header;
    written.state = m_state;
    m_line.clear();
    JsonOut out(m_line);
    writeTimelineHeader(out, written);
    m_line += '\n';
    m_out << m_line;
}

void JsonLinesWriter::write(const TimelineStep& step) {
    m_line.clear();
    JsonOut out(m_line);
    writeTimelineStep(out, step, m_first || m_state == StateWriting::Every);
    m_line += '\n';
    m_out << m_line;
    m_first = false;
}

void JsonLinesWriter::end() {
    m_out.flush();
}

}  // namespace ktr

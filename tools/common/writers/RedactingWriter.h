// --redact for the timeline's writers: each step passes with its uids replaced by pseudonyms.
#ifndef KTRSDK_TOOLS_COMMON_REDACTINGWRITER_H
#define KTRSDK_TOOLS_COMMON_REDACTINGWRITER_H

#include "TimelineWriter.h"
#include "UidRedactor.h"

namespace ktr {

// Hands every step to its writer with the uids redacted.
class RedactingWriter : public TimelineWriter {
public:
    RedactingWriter(UidRedactor& redactor, TimelineWriter& out) : m_redactor(redactor), m_out(out) {}
    void begin(const TimelineHeader& header) override {
        TimelineHeader redacted = header;
        redacted.source = m_redactor.text(header.source);
        m_out.begin(redacted);
    }
    void write(const TimelineStep& step) override { m_out.write(m_redactor.step(step)); }
    void end() override { m_out.end(); }

private:
    UidRedactor& m_redactor;
    TimelineWriter& m_out;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_REDACTINGWRITER_H

// --redact for a simulation's samples: each passes with its uid replaced by a pseudonym.
#ifndef KTRSDK_TOOLS_COMMON_REDACTINGSERIES_H
#define KTRSDK_TOOLS_COMMON_REDACTINGSERIES_H

#include "SeriesSink.h"
#include "UidRedactor.h"

namespace ktr {

// Hands every sample to its sink with the uid redacted.
class RedactingSeries : public SeriesSink {
public:
    RedactingSeries(UidRedactor& redactor, SeriesSink& out) : m_redactor(redactor), m_out(out) {}
    void sample(double timeS, const char* kind, uint64_t uid, double value) override {
        m_out.sample(timeS, kind, uid == 0 ? 0 : m_redactor.pseudonym(uid), value);
    }

private:
    UidRedactor& m_redactor;
    SeriesSink& m_out;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_REDACTINGSERIES_H

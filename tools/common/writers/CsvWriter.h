// CSV: one row per answer record, per HD/LD peer, per network estimate and per empty answer.
#ifndef KTRSDK_TOOLS_COMMON_CSVWRITER_H
#define KTRSDK_TOOLS_COMMON_CSVWRITER_H

#include <ostream>

#include "TimelineWriter.h"

namespace ktr {

class CsvWriter : public TimelineWriter {
public:
    explicit CsvWriter(std::ostream& out) : m_out(out) {}
    void begin(const TimelineHeader& header) override;
    void write(const TimelineStep& step) override;

private:
    std::ostream& m_out;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_CSVWRITER_H

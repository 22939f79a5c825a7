// CSV: one row per answer record, per HD/LD peer, per network estimate, per empty answer and per change of a
// peer's chosen stream.
#ifndef KTRSDK_TOOLS_COMMON_CSVWRITER_H
#define KTRSDK_TOOLS_COMMON_CSVWRITER_H

#include <cstdint>
#include <map>
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
    std::map<uint64_t, Record> m_chosen;  // each peer's chosen stream as the rows last gave it
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_CSVWRITER_H

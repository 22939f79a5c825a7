// Aligned text for a person: one line per event, a table per answer; optionally the library's lines,
// and with explain the rules that fired, notes on surprising answers and the state after every step.
#ifndef KTRSDK_TOOLS_COMMON_TABLEWRITER_H
#define KTRSDK_TOOLS_COMMON_TABLEWRITER_H

#include <fmt/format.h>

#include <ostream>

#include "TimelineWriter.h"

namespace ktr {

class TableWriter : public TimelineWriter {
public:
    struct Options {
        bool log = false;
        bool explain = false;
    };
    TableWriter(std::ostream& out, Options options) : m_out(out), m_options(options) {}
    void begin(const TimelineHeader& header) override;
    void write(const TimelineStep& step) override;

private:
    void writeExplanation(const TimelineStep& step);
    void writeState(const StateSnapshot& state);
    void flush();

    std::ostream& m_out;
    Options m_options;
    fmt::memory_buffer m_buffer;  // a step's text, written to the stream at once
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_TABLEWRITER_H

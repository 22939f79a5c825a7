#ifndef KTRSDK_TOOLS_SIM_TRACEGENERATOR_H
#define KTRSDK_TOOLS_SIM_TRACEGENERATOR_H

#include <string>
#include <vector>

#include "CapacityTrace.h"

namespace ktr::sim {

// Trace files written from a trace, and the synthetic traces bundled in examples/traces. Every file starts
// with the comment lines given, so that readTrace labels a file whose first comment starts with
// "synthetic" as synthetic.

// The trace over [0, duration) (whole milliseconds) in Mahimahi format: one line per 1500-byte packet, at
// the millisecond by whose end the trace has carried it; the last packet is placed in the last millisecond,
// so that the file's period is the duration.
std::string mahimahiText(const CapacityTrace& trace, Micros duration, const std::vector<std::string>& comments);

// The trace over [0, duration) as rows of seconds and Mbit/s, one every rowInterval (whole milliseconds,
// dividing the duration), each holding the mean capacity over its interval rounded to 1 kbit/s.
std::string mbpsText(const CapacityTrace& trace, Micros duration, Micros rowInterval,
                     const std::vector<std::string>& comments);

struct BundledTrace {
    std::string fileName;
    std::string text;
};

// The files of examples/traces, made from seeded synthetic shapes: the same every time.
std::vector<BundledTrace> bundledTraces();

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_TRACEGENERATOR_H

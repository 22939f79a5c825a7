// The trace readers over arbitrary bytes. The first byte chooses the reader: even, a trace file (Mahimahi,
// one time in ms per line, or seconds and Mbit/s per line, told apart by the first line of data); odd, a
// synthetic shape's text form ("steps:30s@2mbps,10s@300kbps"). The rest is the text. An accepted trace
// carries something in its period; a synthetic trace is labelled with its text form, which must read as
// the same trace again.
#include <cstdint>
#include <string>

#include "CapacityTrace.h"
#include "ParserFuzzing.h"
#include "SyntheticTrace.h"
#include "TraceReader.h"

namespace {

void checkCarries(const ktr::sim::CapacityTrace& trace) {
    if (trace.period() <= 0 || trace.segmentCount() == 0 || !(trace.bytesBetween(0, trace.period()) > 0)) {
        ktr::fuzz::reportFinding("an accepted trace carries nothing", trace.label());
    }
}

bool sameTrace(const ktr::sim::CapacityTrace& one, const ktr::sim::CapacityTrace& other) {
    return one.label() == other.label() && one.synthetic() == other.synthetic() && one.period() == other.period() &&
           one.segmentCount() == other.segmentCount() &&
           one.bytesBetween(0, one.period()) == other.bytesBetween(0, other.period());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string text = ktr::fuzz::textOf(data + 1, size - 1);
    if ((data[0] & 1) != 0) {
        ktr::fuzz::checkRoundTrip(
            text,
            [](const std::string& form) {
                ktr::sim::CapacityTrace trace = ktr::sim::parseSyntheticTrace(form);
                checkCarries(trace);
                return trace;
            },
            [](const ktr::sim::CapacityTrace& trace) { return trace.label(); }, sameTrace);
    } else if (const auto trace = ktr::fuzz::acceptedOrRefused([&] { return ktr::sim::parseTrace(text, "trace"); })) {
        checkCarries(*trace);
    }
    return 0;
}

// The meeting reader over arbitrary text: it accepts a meeting that its rules allow or refuses the text,
// naming the field. Nothing writes meetings, so there is no round trip to check.
#include <cstdint>
#include <string>

#include "Meeting.h"
#include "ParserFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = ktr::fuzz::textOf(data, size);
    ktr::fuzz::acceptedOrRefused([&] { return ktr::sim::parseMeeting(text, "meeting.json"); });
    return 0;
}

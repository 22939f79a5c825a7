// The log reader over arbitrary bytes: the first byte chooses between the default prefix recognition
// and a pattern with time and level groups; the rest is the log. Any crash, leak or undefined
// behaviour is a finding; a line's fields must stay consistent with the counts.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "LogReader.h"

namespace {

constexpr const char* kPrefixPattern = R"((?<time>\S+) (?<level>\S+) \S+ )";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool customPrefix = (data[0] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    ktr::log::LogReader reader(ktr::log::LogReader::FromText{}, text,
                               customPrefix ? std::optional<std::string>(kPrefixPattern) : std::nullopt);
    ktr::log::LibraryLine line;
    uint64_t returned = 0;
    uint64_t lastNumber = 0;
    while (reader.next(line)) {
        ++returned;
        if (line.parsed.format == nullptr || line.number <= lastNumber || line.text.size() > text.size() ||
            line.parsed.values.size() != line.parsed.format->fields.size()) {
            std::abort();
        }
        lastNumber = line.number;
        line.parsed.explanation();
    }
    const ktr::log::ReadCounts& counts = reader.counts();
    if (counts.library != returned || counts.library + counts.unknownLibrary + counts.other != counts.lines ||
        counts.timed > counts.library) {
        std::abort();
    }
    return 0;
}

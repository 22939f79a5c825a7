#include "JsonLinesWriter.h"

#include "TimelineJson.h"

namespace ktr {

// Texts from the input are written with invalid UTF-8 replaced, never refused.
constexpr auto kErrorHandler = nlohmann::json::error_handler_t::replace;

void JsonLinesWriter::begin(const TimelineHeader& header) {
    m_out << headerJson(header).dump(-1, ' ', false, kErrorHandler) << '\n';
}

void JsonLinesWriter::write(const TimelineStep& step) {
    m_out << stepJson(step).dump(-1, ' ', false, kErrorHandler) << '\n';
}

}  // namespace ktr

// The settings reader over arbitrary text. Accepted settings, written back by the model's JSON writer, must
// be accepted again with the same definition table and configuration.
#include <cstdint>
#include <string>

#include "FieldCodec.h"
#include "HostSettings.h"
#include "ParserFuzzing.h"

namespace {

constexpr const char* kFileName = "settings.json";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ktr::fuzz::checkRoundTrip(
        ktr::fuzz::textOf(data, size), [](const std::string& text) { return ktr::parseHostSettings(text, kFileName); },
        [](const ktr::HostSettings& settings) { return ktr::toJsonText(settings); },
        [](const ktr::HostSettings& one, const ktr::HostSettings& other) {
            return one.definitions == other.definitions && one.config == other.config;
        });
    return 0;
}

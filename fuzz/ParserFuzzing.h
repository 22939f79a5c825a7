// What the fuzz targets of the tools' parsers share: a refusal is a parser's normal answer to bad input,
// and a round trip that loses or changes what was accepted is a finding.
#ifndef KTRSDK_FUZZ_PARSERFUZZING_H
#define KTRSDK_FUZZ_PARSERFUZZING_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "InputFile.h"

namespace ktr::fuzz {

// The input's bytes as text.
inline std::string textOf(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// What parse returns, or nothing when it refuses the input with the tools' InputError. Any other exception
// escapes, and the fuzzer reports it.
template <class Parse>
auto acceptedOrRefused(Parse&& parse) -> std::optional<decltype(parse())> {
    try {
        return parse();
    } catch (const InputError&) {
        return std::nullopt;
    }
}

// Stops the run so that the fuzzer keeps the input.
[[noreturn]] inline void reportFinding(const std::string& what, const std::string& detail) {
    std::fprintf(stderr, "finding: %s\n%s\n", what.c_str(), detail.c_str());
    std::abort();
}

// Parses text; when the parser accepts it, writes the value, parses what was written and requires that
// the parser accepts it again with the same value.
template <class Parse, class Write, class Same>
void checkRoundTrip(const std::string& text, Parse&& parse, Write&& write, Same&& same) {
    const auto value = acceptedOrRefused([&] { return parse(text); });
    if (!value) {
        return;
    }
    const std::string written = write(*value);
    try {
        if (!same(*value, parse(written))) {
            reportFinding("what was written reads back differently", written);
        }
    } catch (const InputError& error) {
        reportFinding(std::string("what was written is refused: ") + error.what(), written);
    }
}

}  // namespace ktr::fuzz

#endif  // KTRSDK_FUZZ_PARSERFUZZING_H

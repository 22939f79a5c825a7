// Reads the lines that the tests made the library write (logsdk's LOGSDK_CAPTURE_FILE, "I text",
// "W text" or "E text" each) and requires every one to parse to exactly one log catalogue entry of its
// level. Runs as the cleanup step of the tests that log; prints how many lines and entries it saw.
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "LogCatalogue.h"

namespace {

// Failing lines printed before the rest are only counted.
constexpr int kShownFailures = 20;

std::optional<ktr::LogLevel> levelOfMark(char mark) {
    switch (mark) {
        case 'I':
            return ktr::LogLevel::Info;
        case 'W':
            return ktr::LogLevel::Warning;
        case 'E':
            return ktr::LogLevel::Error;
        default:
            return std::nullopt;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: catalogue_logged_lines CAPTURE_FILE\n";
        return 2;
    }
    std::ifstream file(argv[1]);
    if (!file) {
        std::cerr << argv[1] << ": no line was captured (is the file written by tests with LOGSDK_CAPTURE_FILE?)\n";
        return 1;
    }
    long lines = 0;
    long failures = 0;
    std::set<const ktr::LogFormat*> seen;
    std::string line;
    while (std::getline(file, line)) {
        ++lines;
        const std::optional<ktr::LogLevel> level =
            line.size() >= 2 && line[1] == ' ' ? levelOfMark(line[0]) : std::nullopt;
        const std::vector<ktr::ParsedLine> parsed =
            level ? ktr::parseLogLineAll(std::string_view(line).substr(2), level) : std::vector<ktr::ParsedLine>();
        if (parsed.size() == 1) {
            seen.insert(parsed[0].format);
            continue;
        }
        if (++failures <= kShownFailures) {
            std::cerr << argv[1] << ":" << lines << ": " << parsed.size()
                      << " catalogue entries instead of one: " << line << "\n";
        }
    }
    std::cout << lines << " lines logged by the tests, " << seen.size() << " distinct catalogue entries of "
              << ktr::logCatalogue().size() << "; " << failures << " lines without exactly one entry\n";
    std::cout << "entries not seen:";
    for (const ktr::LogFormat& format : ktr::logCatalogue()) {
        if (seen.count(&format) == 0) {
            std::cout << " " << format.id;
        }
    }
    std::cout << "\n";
    if (lines == 0) {
        std::cerr << argv[1] << ": no line was captured\n";
    }
    return failures == 0 && lines > 0 ? 0 : 1;
}

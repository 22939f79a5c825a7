// Reads the lines that the tests made the library write (logsdk's LOGSDK_CAPTURE_FILE, "I text",
// "W text" or "E text" each) and requires every one to parse to exactly one log catalogue entry of its
// level. Runs as the cleanup step of the tests that log and prints how many lines and entries it saw;
// with --reset, it is the setup step that empties the file.
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

// Empties the capture file before the tests that log run.
int reset(const char* path) {
    std::ofstream file(path, std::ios::trunc);
    if (!file) {
        std::cerr << path << ": cannot empty the capture file\n";
        return 1;
    }
    return 0;
}

void printUnseen(const std::set<const ktr::LogFormat*>& seen) {
    std::cout << "entries not seen:";
    for (const ktr::LogFormat& format : ktr::logCatalogue()) {
        if (seen.count(&format) == 0) {
            std::cout << " " << format.id;
        }
    }
    std::cout << "\n";
}

// A missing file means that the reset step did not run; an empty one that none of the tests that ran
// logs (a run of a few tests may select only such).
int check(const char* path) {
    std::ifstream file(path);
    if (!file) {
        std::cerr << path << ": no capture file; the fixture's reset step did not run\n";
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
        } else if (++failures <= kShownFailures) {
            std::cerr << path << ":" << lines << ": " << parsed.size() << " catalogue entries instead of one: " << line
                      << "\n";
        }
    }
    std::cout << lines << " lines logged by the tests, " << seen.size() << " distinct catalogue entries of "
              << ktr::logCatalogue().size() << "; " << failures << " lines without exactly one entry\n";
    printUnseen(seen);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--reset") {
        return reset(argv[2]);
    }
    if (argc == 2) {
        return check(argv[1]);
    }
    std::cerr << "usage: catalogue_logged_lines [--reset] CAPTURE_FILE\n";
    return 2;
}

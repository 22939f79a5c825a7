// Reads a client's log as a stream and hands out the library's lines in it, each with the time and level
// that the host's prefix gave and the catalogue entry that its text matches. Lines of other components
// are skipped and counted; lines that look like the library's but match no entry are counted and
// sampled.
#ifndef KTRSDK_TOOLS_LOG_LOGREADER_H
#define KTRSDK_TOOLS_LOG_LOGREADER_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "LibraryLine.h"

namespace ktr::logs {

class GzipInput;
class LineSource;
class LevelMark;
class Pcre2Pattern;
class TimeStamp;

struct ReadCounts {
    uint64_t lines = 0;                                            // all lines read
    uint64_t library = 0;                                          // matched a catalogue entry
    uint64_t unknownLibrary = 0;                                   // looked like the library's but matched no entry
    uint64_t other = 0;                                            // other components' lines, skipped
    uint64_t tooLong = 0;                                          // lines cut at the length limit (the rest skipped)
    std::vector<std::pair<uint64_t, std::string>> unknownSamples;  // first 20 unknown library lines (number, text)
};

class LogReader {
public:
    // Selects the constructor that reads a log held in memory.
    struct FromText {};

    // path "-" reads standard input; gzip is detected and read directly. prefix: a PCRE2 pattern with
    // optional named groups `time` and `level`, matched at the start of every line; the library's text is
    // then searched after the match (in the whole line when it does not match). Throws InputError (bad
    // path, bad pattern with PCRE2's message).
    LogReader(const std::string& path, const std::optional<std::string>& prefix = std::nullopt);
    // The same over a log in memory (plain text only), which must outlive the reader.
    LogReader(FromText, std::string_view text, const std::optional<std::string>& prefix = std::nullopt);
    ~LogReader();
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    // The next library line (a line whose level mark disagrees with its catalogue entry is still
    // returned); false at the end of the input. Throws InputError when the input cannot be read.
    bool next(LibraryLine& line);
    const ReadCounts& counts() const;

private:
    struct Prefix {
        size_t searchFrom = 0;
        std::optional<double> time;
        std::optional<ktr::LogLevel> level;
    };

    struct PatternsOnly {};
    LogReader(PatternsOnly, const std::optional<std::string>& prefix);
    // Whether line holds a library line; if so, fills out.
    bool read(std::string_view text, LibraryLine& out);
    Prefix customPrefix(std::string_view text);
    void countUnknown(std::string_view text);

    std::unique_ptr<GzipInput> m_input;
    std::unique_ptr<LineSource> m_lines;
    std::unique_ptr<Pcre2Pattern> m_prefix;
    std::optional<int> m_timeGroup;
    std::optional<int> m_levelGroup;
    std::unique_ptr<TimeStamp> m_timeStamp;
    std::unique_ptr<LevelMark> m_levelMark;
    ReadCounts m_counts;
};

}  // namespace ktr::logs

#endif  // KTRSDK_TOOLS_LOG_LOGREADER_H

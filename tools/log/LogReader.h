// Reads a client's log, one file or several read in order as one log, as a stream and hands out the
// library's lines in it, each with the time and level that the host's prefix gave and the catalogue entry
// that its text matches. Lines of other components are skipped and counted; lines that look like the
// library's but match no entry are counted and sampled.
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
#include "TimeOfDayClock.h"
#include "TimeStamp.h"

namespace ktr::log {

class LineSequence;
class Pcre2Pattern;

struct ReadCounts {
    uint64_t lines = 0;           // all lines read, over all files
    uint64_t library = 0;         // matched a catalogue entry
    uint64_t timed = 0;           // of those, the lines whose prefix gave a time
    uint64_t unknownLibrary = 0;  // looked like the library's but matched no entry
    uint64_t other = 0;           // other components' lines, skipped
    uint64_t tooLong = 0;         // lines cut at the length limit (the rest skipped)
    // The first 20 unknown library lines: where each stands (LibraryLine::place) and its text.
    std::vector<std::pair<std::string, std::string>> unknownSamples;
};

class LogReader {
public:
    // Selects the constructor that reads a log held in memory.
    struct FromText {};

    // The files are read in the order given as one log (a host's rotated logs); "-" reads standard input
    // (once at most); gzip is detected and read directly. prefix: a PCRE2 pattern with optional named groups
    // `time` and `level`, matched at the start of every line; the library's text is then searched after
    // the match (in the whole line when it does not match). Throws InputError (a path that cannot be read,
    // a bad pattern with PCRE2's message).
    LogReader(const std::vector<std::string>& paths, const std::optional<std::string>& prefix = std::nullopt);
    LogReader(const std::string& path, const std::optional<std::string>& prefix = std::nullopt);
    // The same over a log in memory (plain text only), which must outlive the reader.
    LogReader(FromText, std::string_view text, const std::optional<std::string>& prefix = std::nullopt);
    ~LogReader();
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    // The next library line (a line whose level mark disagrees with its catalogue entry is still
    // returned); false at the end of the input. line is filled in place, so that a caller that keeps one
    // LibraryLine for the whole log reads it without allocating. Throws InputError when the input cannot
    // be read.
    bool next(LibraryLine& line);
    const ReadCounts& counts() const;
    // What the reader has to say of the log read so far: that it carries no time, when the library's
    // lines do but none of them had a time in its prefix.
    std::vector<std::string> warnings() const;

private:
    struct Prefix {
        size_t searchFrom = 0;
        std::optional<TimeStamp::Time> time;
        std::optional<ktr::LogLevel> level;
    };

    LogReader(std::unique_ptr<LineSequence> lines, const std::optional<std::string>& prefix);
    // Whether line holds a library line; if so, fills out.
    bool read(std::string_view text, LibraryLine& out);
    // Where the library's text starts in text, and what the prefix before it says.
    std::optional<size_t> libraryStart(std::string_view text, Prefix& prefix);
    Prefix customPrefix(std::string_view text);
    // The catalogue entry of the library's text, preferring one of the prefix's level; m_values holds its
    // values.
    const ktr::LogFormat* match(std::string_view library, std::optional<ktr::LogLevel> level);
    // The time as the line carries it: a time of day continues across midnight.
    std::optional<double> continued(const std::optional<TimeStamp::Time>& time);
    void countUnknown(std::string_view text);

    std::unique_ptr<LineSequence> m_lines;
    std::unique_ptr<Pcre2Pattern> m_prefix;
    std::optional<int> m_timeGroup;
    std::optional<int> m_levelGroup;
    TimeOfDayClock m_clock;
    std::vector<std::string_view> m_values;  // the last match's values, kept for their capacity
    ReadCounts m_counts;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LOGREADER_H

// The lines of a log given as several files (a host's rotated logs), read one file after the other as one
// stream; each line is known by its file and its number there.
#ifndef KTRSDK_TOOLS_LOG_LINESEQUENCE_H
#define KTRSDK_TOOLS_LOG_LINESEQUENCE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ktr::log {

class GzipInput;
class LineSource;

class LineSequence {
public:
    // The files in the order given; "-" reads standard input (once at most), gzip is inflated. Every file
    // is opened here, so that one that cannot be read is refused before any line is. Throws InputError.
    explicit LineSequence(std::vector<std::string> paths);
    // One log held in memory (plain text), which must outlive the sequence.
    explicit LineSequence(std::string_view text);
    ~LineSequence();
    LineSequence(const LineSequence&) = delete;
    LineSequence& operator=(const LineSequence&) = delete;

    // The next line, as LineSource::next gives it; false after the last file's last line.
    bool next(std::string_view& line, bool& cut);
    // The number of the last line in its file, from 1.
    uint64_t number() const { return m_number; }
    // The name of the last line's file when the log is several files; null for one.
    const std::shared_ptr<const std::string>& file() const { return m_file; }

private:
    // Opens the next file; false when there is none.
    bool openNext();

    std::vector<std::string> m_paths;
    size_t m_nextPath = 0;
    std::unique_ptr<GzipInput> m_input;
    std::unique_ptr<LineSource> m_lines;
    std::shared_ptr<const std::string> m_file;
    uint64_t m_number = 0;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LINESEQUENCE_H
